// The driver entries of clEYE_ONE_PRO3, shared by the registry rows 48, 49
// and 50, with the mode lists of the i1Pro entries. Each takes the host's
// record and returns 0 or -1. The strip entries refuse a record without the
// host's NumPatchesPerLine.
#pragma once

#include "core/driver_table.h"
#include "measure/measure.h"

namespace measure::i1pro3 {

int32_t OpenEyeOnePro3(MEASURESTRUCT* pMeasure);
int32_t CloseEyeOnePro3(MEASURESTRUCT* pMeasure);
int32_t CalibrateWhiteEyeOnePro3(MEASURESTRUCT* pMeasure);
int32_t StartMultiMeasureEyeOnePro3(MEASURESTRUCT* pMeasure);
int32_t StartSimpleMultiMeasureEyeOnePro3(MEASURESTRUCT* pMeasure);
int32_t StopMultiMeasureEyeOnePro3(MEASURESTRUCT* pMeasure);
int32_t SingleMeasureEyeOnePro3(MEASURESTRUCT* pMeasure);
int32_t StopSingleMeasureEyeOnePro3(MEASURESTRUCT* pMeasure);
int32_t MustCalibrateEyeOnePro3(MEASURESTRUCT* pMeasure);

inline constexpr DriverTable kEyeOnePro3Table{
    .open = OpenEyeOnePro3,
    .close = CloseEyeOnePro3,
    .calibrateWhite = CalibrateWhiteEyeOnePro3,
    .startMultiMeasure = StartMultiMeasureEyeOnePro3,
    .stopMultiMeasure = StopMultiMeasureEyeOnePro3,
    .singleMeasure = SingleMeasureEyeOnePro3,
    .stopSingleMeasure = StopSingleMeasureEyeOnePro3,
    .mustCalibrate = MustCalibrateEyeOnePro3,
    .startSimpleMultiMeasure = StartSimpleMultiMeasureEyeOnePro3,
};

}  // namespace measure::i1pro3
