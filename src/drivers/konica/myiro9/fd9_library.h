// FD9SDK.dll with every call of MEASURE_FD9_CALLS bound, all or nothing.
#pragma once

#include <memory>
#include <string>

#include "drivers/konica/myiro9/fd9_sdk.h"
#include "framework/driver.h"
#include "framework/vendor_library.h"

namespace measure::konica {

// Binding failures: "loading" or the missing call's name.
MEASURE_DRIVER_ERROR(exFD9_SDK);

class Fd9Library : public framework::VendorLibrary<exFD9_SDK> {
public:
#define MEASURE_FD9_MEMBER(name) fd9fn::name* name = nullptr;
    MEASURE_FD9_CALLS(MEASURE_FD9_MEMBER)
#undef MEASURE_FD9_MEMBER

    // The library bound anew; null when it is missing or lacks a call
    // (`failure` then says which).
    static std::shared_ptr<const Fd9Library> load(std::string& failure);

private:
    Fd9Library();
};

}  // namespace measure::konica
