// Which driver serves which registry rows. Each driver folder supplies a
// DriverTable of its entry functions; until a driver exists its rows answer
// every driver slot with EntryNotSupported.
#pragma once

#include "core/driver_table.h"
#include "drivers/konica/myiro9/myiro9_entries.h"
#include "drivers/ricoh/ricoh_entries.h"
#include "drivers/simulator/simulator_entries.h"
#include "drivers/spectroscan/spectroscan_entries.h"
#include "drivers/techkon/spectro_dens_entries.h"
#include "drivers/xrite/i1io/io_pro_entries.h"
#include "drivers/xrite/i1io3/io_pro3_entries.h"
#include "drivers/xrite/i1pro/eye_one_pro_entries.h"
#include "drivers/xrite/i1pro3/eye_one_pro3_entries.h"
#include "drivers/xrite/isis/isis_entries.h"
#include "drivers/xrite/isis2net/isis2net_entries.h"

namespace measure::drivers {

inline constexpr DriverTable kBarbieri{};                                          // clBARBIERI
inline constexpr DriverTable kEyeOnePro = i1pro::kEyeOneProTable;                  // clEYE_ONE_PRO
inline constexpr DriverTable kEyeOnePro3 = i1pro3::kEyeOnePro3Table;               // clEYE_ONE_PRO3
inline constexpr DriverTable kIoPro = i1io::kIoProTable;                           // clIO_PRO
inline constexpr DriverTable kIoPro3 = i1io3::kIoPro3Table;                        // clIO_PRO3
inline constexpr DriverTable kIsis = isis::kIsisTable;                             // clISIS
inline constexpr DriverTable kIsis2Net = isis2net::kIsis2NetTable;                 // clISIS2NET
inline constexpr DriverTable kGretag = spectroscan::entryTable();                  // clGRETAG
inline constexpr DriverTable kKonicaMinolta{};                                     // clKONICA_MINOLTA
inline constexpr DriverTable kKonicaMyiro9 = konica::kMyiro9Table;                 // clKONICA_MINOLTA_MYIRO9
inline constexpr DriverTable kKonicaMyiro{};                                       // clKONICA_MINOLTA_MYIRO
inline constexpr DriverTable kSpectroDens = techkon::kSpectroDensTable;            // clSPECTRO_DENS
inline constexpr DriverTable kRicohMonet = ricoh::entryTable();                    // clRICOH_MONET
inline constexpr DriverTable kXriteExact{};                                        // clXRITE_EXACT
inline constexpr DriverTable kNix{};                                               // clNIX
inline constexpr DriverTable kEyeOneStudio{};                                      // clEYE_ONE_STUDIO
inline constexpr DriverTable kSd10{};                                              // clSD10
inline constexpr DriverTable kSd10AutoReader{};                                    // clSD10_AR
inline constexpr DriverTable kSimulatorDevice = simulator::kSimulatorDeviceTable;  // clSIMULATOR_DEVICE

}  // namespace measure::drivers
