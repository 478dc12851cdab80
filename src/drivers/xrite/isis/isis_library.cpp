#include "drivers/xrite/isis/isis_library.h"

#include <cstdlib>
#include <iterator>

namespace measure::isis {
namespace {

// The SDK's own words for its codes 0 to 14 and 16; 15 has none.
constexpr const char* kErrorTexts[] = {
    "No error",
    "Device not ready",
    "Device not connected",
    "measurement not triggered, index out of range (scanning)",
    "unable to get substrate white for paper based density",
    "dirt on the white tile",
    "paper jam in the device, paper must be removed manually",
    "used to test if a chart is inserted",
    "the index (row or column) is out of bounds",
    "internal exception, use GetDeviceInfo(ISIS_LAST_ERROR)\tfor more details",
    "if a passed method argument is invalid (i.e. NULL)",
    "communication over the USB channel",
    "bar not found, marks not found, barcode not detected..",
    "calculation failed",
    "data not within tolerance limits",
};

}  // namespace

IsisLibrary::IsisLibrary() : VendorLibrary("clISIS_LIB", "EyeOne_iSis64.dll") {
#define MEASURE_ISIS_BIND(ordinal, name) bind(name, ordinal##u);
    MEASURE_ISIS_CALLS(MEASURE_ISIS_BIND)
#undef MEASURE_ISIS_BIND
    bound();
}

std::string IsisLibrary::option(const char* key) const {
    const char* text = GetOption(key);
    return text != nullptr ? text : "";
}

std::string IsisLibrary::errorText(int32_t code) const {
    if (code >= 0 && code < static_cast<int32_t>(std::size(kErrorTexts))) return kErrorTexts[code];
    // 15, 16 and whatever else the SDK may answer.
    std::string last = option("LastError");
    return last.empty() ? "Unknown exception" : last;
}

long leadingNumber(const std::string& text) {
    return std::strtol(text.c_str(), nullptr, 10);
}

}  // namespace measure::isis
