// The driver entry table of a registry row, as a driver supplies it. A driver
// fills the slots it implements; the registry row's slot pattern decides
// which of them the row uses and which answer with a default entry.
#pragma once

#include "measure/measure.h"

namespace measure {

struct DriverTable {
    DriverEntry open = nullptr;
    DriverEntry close = nullptr;
    DriverEntry setup = nullptr;
    DriverEntry calibrateWhite = nullptr;
    DriverEntry calibrateBlack = nullptr;
    DriverEntry reserved = nullptr;
    DriverEntry startMultiMeasure = nullptr;
    DriverEntry stopMultiMeasure = nullptr;
    DriverEntry singleMeasure = nullptr;
    DriverEntry stopSingleMeasure = nullptr;
    DriverEntry cancelStripePass = nullptr;
    DriverEntry mustCalibrate = nullptr;
    DriverEntry startRegisterCorners = nullptr;
    DriverEntry startSimpleMultiMeasure = nullptr;
    DriverEntry startInsertPaper = nullptr;
};

// The default entries: -1 "not supported" and 0 "nothing to do".
int32_t EntryNotSupported(MEASURESTRUCT* pMeasure);
int32_t EntryNoOp(MEASURESTRUCT* pMeasure);

}  // namespace measure
