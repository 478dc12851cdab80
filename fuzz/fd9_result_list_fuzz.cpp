// The FD-9 terminal's result list over arbitrary bytes: the choice of the
// chart's newest result may not crash, and an identifier it hands out cannot
// change the download request's line.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "drivers/konica/myiro9/fd9_terminal_protocol.h"

using namespace measure::konica;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string body(reinterpret_cast<const char*>(data), size);
    std::string id, why;
    if (chooseResult(body, "ABCDE12345", id, why)) {
        if (id.empty() || id.size() > kMaxResultIdLength) std::abort();
        for (char c : id)
            if (c <= ' ' || c >= 127 || c == '&' || c == '#' || c == '?' || c == '%') std::abort();
        const std::string request = downloadRequest(id);
        if (request.find("\r\n") != request.size() - 4) std::abort();
    }
    int64_t seconds = 0;
    (void)parseDateTime(body, seconds);
    return 0;
}
