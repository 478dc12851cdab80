#include "transport/message_framer.h"

#include <algorithm>

namespace measure::transport {

void MessageFramer::resynchronise() {
    if (text_.compare(0, kBegin.size(), kBegin) == 0) return;
    const size_t begin = text_.find(kBegin);
    scanned_ = 0;
    if (begin != std::string::npos) {
        text_.erase(0, begin);
        return;
    }
    // Keep only what could still grow into "BEGIN_MESSAGE".
    const size_t keep = kBegin.size() - 1;
    if (text_.size() > keep) text_.erase(0, text_.size() - keep);
}

std::optional<std::string> MessageFramer::feed(std::string_view bytes) {
    text_.append(bytes);
    resynchronise();
    if (text_.compare(0, kBegin.size(), kBegin) != 0) return std::nullopt;
    // Search only what arrived since the last look (and a possible split end
    // marker), so a large frame costs linear time.
    const size_t from = scanned_ >= kEnd.size() ? scanned_ - (kEnd.size() - 1) : 0;
    if (text_.find(kEnd, from) == std::string::npos) {
        scanned_ = text_.size();
        if (text_.size() > maxFrame_) {
            ++dropped_;
            text_.clear();
            scanned_ = 0;
        }
        return std::nullopt;
    }
    // The read may also carry the start of the next message, sent right
    // behind: it stays for the next frame rather than being cut off, since
    // its rest would arrive without a "BEGIN_MESSAGE" and be discarded.
    const size_t afterEnd = text_.rfind(kEnd) + kEnd.size();
    size_t keep = text_.find(kBegin, afterEnd);
    if (keep == std::string::npos) {
        keep = text_.size();
        // Or only the first bytes of its "BEGIN_MESSAGE".
        for (size_t k = std::min(kBegin.size() - 1, text_.size() - afterEnd); k > 0; --k) {
            if (text_.compare(text_.size() - k, k, kBegin, 0, k) == 0) {
                keep = text_.size() - k;
                break;
            }
        }
    }
    std::string frame = text_.substr(0, keep);
    text_.erase(0, keep);
    scanned_ = 0;
    return frame;
}

}  // namespace measure::transport
