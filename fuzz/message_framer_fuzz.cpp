// Feeds arbitrary bytes to the TCP message framer in reads of arbitrary
// sizes: every frame starts with "BEGIN_MESSAGE" and holds "END_MESSAGE", and
// what waits for the rest of a frame never grows past the limit and one read.
// The first byte seeds the read sizes, the rest is the stream; the mutator
// keeps the markers at the start of lines, as the service sends them.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string_view>

#include "keyword_mutator.h"
#include "transport/message_framer.h"

namespace {

constexpr std::string_view kKeywords[] = {"BEGIN_MESSAGE", "END_MESSAGE"};

measure::fuzz::ReachCount frames("inputs giving a frame");

}  // namespace

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t maxSize, unsigned seed) {
    return measure::fuzz::mutateKeepingKeywords(data, size, maxSize, seed, kKeywords);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using measure::transport::MessageFramer;
    if (size == 0) return 0;
    // Small enough that inputs of a few kilobytes cross it.
    constexpr size_t kLimit = 512;
    constexpr size_t kLongestRead = 64;
    MessageFramer framer(kLimit);
    bool framed = false;
    std::minstd_rand readSizes(data[0]);
    size_t at = 1;
    while (at < size) {
        const size_t length = 1 + readSizes() % kLongestRead;
        const size_t take = length < size - at ? length : size - at;
        const auto frame = framer.feed(std::string_view(reinterpret_cast<const char*>(data + at), take));
        at += take;
        framed = framed || frame.has_value();
        if (frame && (frame->compare(0, MessageFramer::kBegin.size(), MessageFramer::kBegin) != 0 ||
                      frame->find(MessageFramer::kEnd) == std::string::npos))
            std::abort();
        if (framer.pending() > kLimit + kLongestRead) std::abort();
    }
    frames.count(framed);
    return 0;
}
