// The driver entries of clSPECTRO_DENS (registry row 39, the TECHKON
// SpectroDens). Each takes the host's record and returns 0 or -1.
#pragma once

#include "core/driver_table.h"
#include "measure/measure.h"

namespace measure::techkon {

int32_t OpenSpectroDens(MEASURESTRUCT* pMeasure);
int32_t CloseSpectroDens(MEASURESTRUCT* pMeasure);
int32_t CalibrateWhiteSpectroDens(MEASURESTRUCT* pMeasure);
// Modes 2 (Lab), 3 (XYZ) and 4 (spectra).
int32_t StartMultiMeasureSpectroDens(MEASURESTRUCT* pMeasure);
int32_t StartSimpleMultiMeasureSpectroDens(MEASURESTRUCT* pMeasure);
int32_t StopMultiMeasureSpectroDens(MEASURESTRUCT* pMeasure);
// Any mode is taken; the job ends with 3 for one it cannot measure.
int32_t SingleMeasureSpectroDens(MEASURESTRUCT* pMeasure);
int32_t StopSingleMeasureSpectroDens(MEASURESTRUCT* pMeasure);
int32_t MustCalibrateSpectroDens(MEASURESTRUCT* pMeasure);

inline constexpr DriverTable kSpectroDensTable{
    .open = OpenSpectroDens,
    .close = CloseSpectroDens,
    .calibrateWhite = CalibrateWhiteSpectroDens,
    .startMultiMeasure = StartMultiMeasureSpectroDens,
    .stopMultiMeasure = StopMultiMeasureSpectroDens,
    .singleMeasure = SingleMeasureSpectroDens,
    .stopSingleMeasure = StopSingleMeasureSpectroDens,
    .mustCalibrate = MustCalibrateSpectroDens,
    .startSimpleMultiMeasure = StartSimpleMultiMeasureSpectroDens,
};

}  // namespace measure::techkon
