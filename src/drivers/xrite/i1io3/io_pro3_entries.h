// The driver entries of clIO_PRO3, shared by the registry rows 51 and 52.
// Two keep the i1iO's names (CalibrateWhiteIOPro, StartMultiMeasureIOPro)
// in this namespace of their own: rows 51 and 52 reach the i1iO3 driver
// through them, never the i1iO's code on the i1Pro library.
#pragma once

#include "core/driver_table.h"
#include "measure/measure.h"

namespace measure::i1io3 {

int32_t OpenIOPro3(MEASURESTRUCT* pMeasure);
int32_t CloseIOPro3(MEASURESTRUCT* pMeasure);
int32_t CalibrateWhiteIOPro(MEASURESTRUCT* pMeasure);
int32_t StartMultiMeasureIOPro(MEASURESTRUCT* pMeasure);
int32_t StartSimpleMultiMeasureIOPro3(MEASURESTRUCT* pMeasure);
int32_t StartRegisterCornersIOPro3(MEASURESTRUCT* pMeasure);
int32_t SingleMeasureIOPro3(MEASURESTRUCT* pMeasure);
int32_t StopMultiMeasureIOPro3(MEASURESTRUCT* pMeasure);
int32_t StopSingleMeasureIOPro3(MEASURESTRUCT* pMeasure);
int32_t MustCalibrateIOPro3(MEASURESTRUCT* pMeasure);

inline constexpr DriverTable kIoPro3Table{
    .open = OpenIOPro3,
    .close = CloseIOPro3,
    .calibrateWhite = CalibrateWhiteIOPro,
    .startMultiMeasure = StartMultiMeasureIOPro,
    .stopMultiMeasure = StopMultiMeasureIOPro3,
    .singleMeasure = SingleMeasureIOPro3,
    .stopSingleMeasure = StopSingleMeasureIOPro3,
    .mustCalibrate = MustCalibrateIOPro3,
    .startRegisterCorners = StartRegisterCornersIOPro3,
    .startSimpleMultiMeasure = StartSimpleMultiMeasureIOPro3,
};

}  // namespace measure::i1io3
