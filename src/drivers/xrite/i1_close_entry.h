// The close entry of the i1 drivers, written once: the driver lets go of
// what `release` says (the table's foil), then, unless an SDK calibration is
// running (it always runs to its end, and the driver stays open), stops its
// request and is destroyed. 0, or -1 for a record without result block.
#pragma once

#include "core/logger.h"
#include "core/record.h"
#include "framework/driver_entries.h"

namespace measure::xrite {

template <class D, class Release>
int32_t CloseI1Entry(MEASURESTRUCT* pMeasure, const char* name, Release release) {
    if (pMeasure == nullptr) return -1;
    Log(1, name, nullptr);
    if (GetResultBlock(pMeasure) == nullptr) return -1;
    D* driver = framework::driverIn<D>(pMeasure);
    if (driver == nullptr) return 0;
    try {
        release(*driver);
        if (driver->busy.load()) return 0;
        driver->requestStop();
        framework::entry::destroyStored(pMeasure);
    } catch (...) {
        Log(0, name, "catch ...");
    }
    return 0;
}

}  // namespace measure::xrite
