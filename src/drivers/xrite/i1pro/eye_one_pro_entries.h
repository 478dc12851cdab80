// The driver entries of clEYE_ONE_PRO, shared by the registry rows 11, 15, 21
// and 22. Each takes the host's record and returns 0 or -1.
#pragma once

#include "core/driver_table.h"
#include "measure/measure.h"

namespace measure::i1pro {

int32_t OpenEyeOne(MEASURESTRUCT* pMeasure);
int32_t CloseEyeOne(MEASURESTRUCT* pMeasure);
int32_t CalibrateWhiteEyeOne(MEASURESTRUCT* pMeasure);
// Mode 0 to 6.
int32_t StartMultiMeasureEyeOne(MEASURESTRUCT* pMeasure);
// The same without the scan's own calibration.
int32_t StartSimpleMultiMeasureEyeOne(MEASURESTRUCT* pMeasure);
int32_t StopMultiMeasureEyeOne(MEASURESTRUCT* pMeasure);
// Mode 0 to 6, or emission 18, 19, 20, 23, 24, 25.
int32_t SingleMeasureEyeOne(MEASURESTRUCT* pMeasure);
int32_t StopSingleMeasureEyeOne(MEASURESTRUCT* pMeasure);
// 1 until a white calibration has calibrated the scan.
int32_t MustCalibrateEyeOne(MEASURESTRUCT* pMeasure);

inline constexpr DriverTable kEyeOneProTable{
    .open = OpenEyeOne,
    .close = CloseEyeOne,
    .calibrateWhite = CalibrateWhiteEyeOne,
    .startMultiMeasure = StartMultiMeasureEyeOne,
    .stopMultiMeasure = StopMultiMeasureEyeOne,
    .singleMeasure = SingleMeasureEyeOne,
    .stopSingleMeasure = StopSingleMeasureEyeOne,
    .mustCalibrate = MustCalibrateEyeOne,
    .startSimpleMultiMeasure = StartSimpleMultiMeasureEyeOne,
};

}  // namespace measure::i1pro
