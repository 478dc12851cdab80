// libFuzzer target: the IT8 companion file reader of reference chart data
// never writes outside the patch slots it was given.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "color/reference_chart_data.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first byte picks the expected patch count; the slots are exactly
    // that many, so AddressSanitizer sees any write beyond them.
    if (size == 0) return 0;
    const int patches = data[0] % 8;
    std::vector<measure::RefPatch> slots(static_cast<size_t>(patches) + 1);
    int kind = 0, send = 0;
    measure::DeviceNInkTable inks;
    measure::parseCMYKRefData(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1),
                              slots.data(), patches, kind, send, inks);
    return 0;
}
