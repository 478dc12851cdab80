// libFuzzer target: the i1iSis chart layout parameter file as clISIS reads
// it. Every outcome is read or wrong; a file that reads gives the eleven
// options, each value non-empty, at most 10 characters of its set.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "drivers/xrite/isis/isis_layout.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace measure::isis;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<LayoutOption> options;
    const int result = parseIsisLayout(text, options);
    if (result == kLayoutWrong) {
        if (options.size() >= 11) std::abort();
        return 0;
    }
    if (result != kLayoutRead || options.size() != 11) std::abort();
    for (const auto& option : options) {
        if (option.value.empty() || option.value.size() > 10) std::abort();
        for (char c : option.value)
            if (c != '-' && c != '.' && c != '/' && (c < '0' || c > '9')) std::abort();
    }
    return 0;
}
