#include "transport/message_framer.h"

#include <gtest/gtest.h>

#include <string>

namespace measure::transport {
namespace {

const std::string kFrame = "BEGIN_MESSAGE\r\nTYPE: INIT\r\nNAME: Init\r\nEND_MESSAGE\r\n";

TEST(MessageFramer, AFrameSplitAnywhereComesOutOnceWhenItsEndHasArrived) {
    const size_t endComplete = kFrame.find("END_MESSAGE") + 11;
    for (size_t cut1 = 1; cut1 < kFrame.size(); ++cut1) {
        for (size_t cut2 = cut1; cut2 < kFrame.size(); cut2 += 3) {
            MessageFramer framer;
            const size_t cuts[] = {0, cut1, cut2, kFrame.size()};
            int frames = 0;
            for (int piece = 0; piece < 3; ++piece) {
                const auto frame = framer.feed(kFrame.substr(cuts[piece], cuts[piece + 1] - cuts[piece]));
                // Out exactly with the read that completes "END_MESSAGE", holding
                // everything up to the end of that read.
                const bool completes = cuts[piece] < endComplete && endComplete <= cuts[piece + 1];
                ASSERT_EQ(frame.has_value(), completes) << cut1 << "," << cut2;
                if (frame) {
                    ++frames;
                    EXPECT_EQ(*frame, kFrame.substr(0, cuts[piece + 1]));
                }
            }
            EXPECT_EQ(frames, 1);
        }
    }
}

TEST(MessageFramer, TwoFramesInOneReadAreOneMessage) {
    MessageFramer framer;
    const auto frame = framer.feed(kFrame + kFrame);
    ASSERT_TRUE(frame);
    EXPECT_EQ(*frame, kFrame + kFrame);
    EXPECT_EQ(framer.pending(), 0u);
}

TEST(MessageFramer, AMessageThatBeginsBehindAnotherWaitsForItsOwnEnd) {
    for (size_t cut : {size_t(20), size_t(8), size_t(1)}) {  // inside the message, inside its begin marker
        MessageFramer framer;
        const auto first = framer.feed(kFrame + kFrame.substr(0, cut));
        ASSERT_TRUE(first) << cut;
        EXPECT_EQ(*first, kFrame);
        EXPECT_EQ(framer.pending(), cut);
        const auto second = framer.feed(kFrame.substr(cut));
        ASSERT_TRUE(second) << cut;
        EXPECT_EQ(*second, kFrame);
    }
}

TEST(MessageFramer, BytesBeforeTheBeginMarkerAreDiscarded) {
    MessageFramer framer;
    EXPECT_FALSE(framer.feed("garbage\r\nmore garbage BEGIN_MES"));
    EXPECT_LT(framer.pending(), MessageFramer::kBegin.size());  // only a possible marker start is kept
    const auto frame = framer.feed(kFrame.substr(9));
    ASSERT_TRUE(frame);
    EXPECT_EQ(*frame, kFrame);

    // Stray bytes between frames, and an end marker without a begin.
    EXPECT_FALSE(framer.feed("END_MESSAGE\r\n"));
    const auto next = framer.feed("junk" + kFrame);
    ASSERT_TRUE(next);
    EXPECT_EQ(*next, kFrame);
}

TEST(MessageFramer, AnOversizedFrameIsDroppedAndTheStreamRecovers) {
    MessageFramer framer(1024);
    EXPECT_FALSE(framer.feed("BEGIN_MESSAGE\r\n"));
    const std::string filler(300, 'x');
    for (int i = 0; i < 10; ++i) {
        EXPECT_FALSE(framer.feed(filler));
        EXPECT_LE(framer.pending(), 1024u + filler.size());
    }
    EXPECT_EQ(framer.droppedFrames(), 1u);
    // The oversized frame's tail and end are skipped; the next frame comes through.
    EXPECT_FALSE(framer.feed(filler + "END_MESSAGE\r\n"));
    const auto frame = framer.feed(kFrame);
    ASSERT_TRUE(frame);
    EXPECT_EQ(*frame, kFrame);
}

TEST(MessageFramer, AnEndMarkerSplitAcrossReadsIsFound) {
    MessageFramer framer;
    const std::string body = "BEGIN_MESSAGE\r\n" + std::string(5000, 'y') + "\r\nEND_MES";
    EXPECT_FALSE(framer.feed(body));
    const auto frame = framer.feed("SAGE\r\n");
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->size(), body.size() + 6);
}

}  // namespace
}  // namespace measure::transport
