// The i1iSis SDK bound at run time, all ordinals or nothing, with the SDK's
// texts: options, and error codes turned into words.
#pragma once

#include <cstdint>
#include <string>

#include "drivers/xrite/isis/isis_sdk.h"
#include "framework/driver.h"
#include "framework/vendor_library.h"

namespace measure::isis {

// Binding failures: "loading" or the missing ordinal.
MEASURE_DRIVER_ERROR(exISIS_SDK);

class IsisLibrary : public framework::VendorLibrary<exISIS_SDK> {
public:
    // Loads EyeOne_iSis64.dll and binds every call; throws exISIS_SDK.
    IsisLibrary();

#define MEASURE_ISIS_MEMBER(ordinal, name) xrite::isisfn::name* name = nullptr;
    MEASURE_ISIS_CALLS(MEASURE_ISIS_MEMBER)
#undef MEASURE_ISIS_MEMBER

    // An option's text; "" when the SDK has none.
    std::string option(const char* key) const;
    // The text of an SDK code. A code without text of its own, and the
    // SDK's "unknown error", are explained by the option "LastError", or
    // "Unknown exception" when that is empty.
    std::string errorText(int32_t code) const;
};

// The leading number of a text ("4.1.0" gives 4, "240" gives 240); 0 when it
// starts with none.
long leadingNumber(const std::string& text);

}  // namespace measure::isis
