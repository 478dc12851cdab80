// The driver entry table of a registry row, as a driver supplies it. A driver
// fills the slots it implements (the others answer -1); the registry row's
// slot pattern decides which of them the row uses and which answer with a
// default entry. No slot is ever null: comparing a function's address with
// null is not a constant expression under the sanitizers' null checks.
#pragma once

#include "measure/measure.h"

namespace measure {

// The default entries: -1 "not supported" and 0 "nothing to do".
int32_t EntryNotSupported(MEASURESTRUCT* pMeasure);
int32_t EntryNoOp(MEASURESTRUCT* pMeasure);

struct DriverTable {
    DriverEntry open = &EntryNotSupported;
    DriverEntry close = &EntryNotSupported;
    DriverEntry setup = &EntryNotSupported;
    DriverEntry calibrateWhite = &EntryNotSupported;
    DriverEntry calibrateBlack = &EntryNotSupported;
    DriverEntry reserved = &EntryNotSupported;
    DriverEntry startMultiMeasure = &EntryNotSupported;
    DriverEntry stopMultiMeasure = &EntryNotSupported;
    DriverEntry singleMeasure = &EntryNotSupported;
    DriverEntry stopSingleMeasure = &EntryNotSupported;
    DriverEntry cancelStripePass = &EntryNotSupported;
    DriverEntry mustCalibrate = &EntryNotSupported;
    DriverEntry startRegisterCorners = &EntryNotSupported;
    DriverEntry startSimpleMultiMeasure = &EntryNotSupported;
    DriverEntry startInsertPaper = &EntryNotSupported;
};

}  // namespace measure
