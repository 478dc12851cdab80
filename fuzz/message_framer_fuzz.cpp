// Feeds arbitrary bytes to the TCP message framer in reads of arbitrary
// sizes: every frame starts with "BEGIN_MESSAGE" and holds "END_MESSAGE", and
// what waits for the rest of a frame never grows past the limit and one read.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "transport/message_framer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using measure::transport::MessageFramer;
    constexpr size_t kLimit = 4096;
    MessageFramer framer(kLimit);
    size_t at = 0;
    while (at < size) {
        // Each read's length comes from the input too (1..64 bytes).
        const size_t length = 1 + data[at] % 64;
        ++at;
        const size_t take = length < size - at ? length : size - at;
        const auto frame = framer.feed(std::string_view(reinterpret_cast<const char*>(data + at), take));
        at += take;
        if (frame && (frame->compare(0, MessageFramer::kBegin.size(), MessageFramer::kBegin) != 0 ||
                      frame->find(MessageFramer::kEnd) == std::string::npos))
            std::abort();
        if (framer.pending() > kLimit + 64) std::abort();
    }
    return 0;
}
