// The driver entries of clIO_PRO for the registry row 23 "X-Rite i1i02".
// Each takes the host's record and returns 0 or -1.
#pragma once

#include "core/driver_table.h"
#include "measure/measure.h"

namespace measure::i1io {

int32_t OpenIOPro(MEASURESTRUCT* pMeasure);
// Lets the foil go; 0 without closing while a scan calibration runs.
int32_t CloseIOPro(MEASURESTRUCT* pMeasure);
// The scan calibration.
int32_t CalibrateWhiteIOPro(MEASURESTRUCT* pMeasure);
// Mode 0, 1, 3, 4, 5, 6: the chart, sheet by sheet, each registered first.
int32_t StartMultiMeasureIOPro(MEASURESTRUCT* pMeasure);
// The same modes: the sheet of the record's chart page index between the
// corners registered before.
int32_t StartSimpleMultiMeasureIOPro(MEASURESTRUCT* pMeasure);
int32_t StartRegisterCornersIOPro(MEASURESTRUCT* pMeasure);
// Mode 0, 1, 3, 4, 5, 6, 19, 20: spots aimed with the visor until stopped.
int32_t SingleMeasureIOPro(MEASURESTRUCT* pMeasure);
int32_t StopMultiMeasureIOPro(MEASURESTRUCT* pMeasure);
int32_t StopSingleMeasureIOPro(MEASURESTRUCT* pMeasure);
// 1 until a white calibration has calibrated the scan.
int32_t MustCalibrateIOPro(MEASURESTRUCT* pMeasure);

inline constexpr DriverTable kIoProTable{
    .open = OpenIOPro,
    .close = CloseIOPro,
    .calibrateWhite = CalibrateWhiteIOPro,
    .startMultiMeasure = StartMultiMeasureIOPro,
    .stopMultiMeasure = StopMultiMeasureIOPro,
    .singleMeasure = SingleMeasureIOPro,
    .stopSingleMeasure = StopSingleMeasureIOPro,
    .mustCalibrate = MustCalibrateIOPro,
    .startRegisterCorners = StartRegisterCornersIOPro,
    .startSimpleMultiMeasure = StartSimpleMultiMeasureIOPro,
};

}  // namespace measure::i1io
