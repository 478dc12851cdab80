// Cuts a TCP byte stream into "BEGIN_MESSAGE" ... "END_MESSAGE" frames.
//
// A frame is everything accumulated from "BEGIN_MESSAGE" up to the end of the
// read that brought "END_MESSAGE", so two messages arriving in one read come
// out as one frame holding both texts; the frame's inner layout belongs to
// the protocol above. Only a message that begins after the read's last
// "END_MESSAGE" (the next one, not yet complete) is held back for the next
// frame, so that its rest is not lost. Two safeguards keep a misbehaving peer from stalling or
// exhausting the client:
// - bytes ahead of "BEGIN_MESSAGE" are discarded (only a tail that could be
//   the start of a split "BEGIN_MESSAGE" is kept), so the stream resynchronises
//   on the next frame;
// - a frame that grows beyond the size limit without "END_MESSAGE" is dropped
//   whole, and the stream resynchronises as above.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace measure::transport {

class MessageFramer {
public:
    static constexpr std::string_view kBegin = "BEGIN_MESSAGE";
    static constexpr std::string_view kEnd = "END_MESSAGE";
    static constexpr size_t kDefaultMaxFrame = 16u << 20;  // 16 MiB

    explicit MessageFramer(size_t maxFrame = kDefaultMaxFrame) : maxFrame_(maxFrame) {}

    // Takes the bytes of one read; returns the frame they completed, if any.
    std::optional<std::string> feed(std::string_view bytes);

    void setMaxFrame(size_t maxFrame) { maxFrame_ = maxFrame; }

    // Bytes held while waiting for the rest of a frame.
    size_t pending() const { return text_.size(); }
    // Frames dropped for exceeding the limit.
    size_t droppedFrames() const { return dropped_; }

private:
    void resynchronise();

    size_t maxFrame_;
    std::string text_;
    size_t scanned_ = 0;  // bytes of text_ already searched for the end marker
    size_t dropped_ = 0;
};

}  // namespace measure::transport
