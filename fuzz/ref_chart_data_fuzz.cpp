// libFuzzer target: the IT8 companion file reader of reference chart data
// never writes outside the patch slots it was given, and the display colours
// of what it read (through the library's CMYK profile) stay 0 to 255.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
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
    const int result =
        measure::parseCMYKRefData(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1),
                                  slots.data(), patches, kind, send, inks);
    if (result != 0 || patches == 0 || kind < measure::kRefDataCMYK || kind > 9) return 0;
    std::vector<double> rgb(static_cast<size_t>(patches) * 3);
    if (measure::ConvertRefDataToDisplayRGB(MEASURE_SOURCE_DIR "/resources/InputCMYK.icc", slots.data(), kind,
                                            rgb.data(), patches, inks) != 0)
        std::abort();
    for (double v : rgb)
        if (!(v >= 0.0 && v <= 255.0)) std::abort();
    return 0;
}
