// The frame every record export runs in: refuse a null record, log entry and
// record summary, call one registry slot, log the result, and turn any
// exception that escapes into the error box and -1.
#pragma once

#include "measure/measure.h"

namespace measure {

// Composes "Exception in <export>: <text>" (or "Exception in <export>"),
// logs it under "ExceptionMessageBox" and shows the system-modal error box.
void ExceptionMessageBox(const char* exportName, const char* text);

void LogRecordSummary(const char* function, const MEASURESTRUCT* record);

// The row the exports dispatch to for a record's instrument ID.
const InstrumentDescriptor& frameRow(uint32_t instrument);

// Lets a test stand a driver of its own behind the row's ID (null removes it).
// The registry itself stays constant.
void setTestDriverRow(const InstrumentDescriptor* row);

}  // namespace measure
