#include "framework/sound.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <vector>

#include "framework/test_driver.h"
#include "framework/wave.h"
#include "platform/clock.h"
#include "platform/sound.h"
#include "support/sound_recorder.h"
#include "support/test_environment.h"

namespace measure::framework {
namespace {

using test::Notification;
using test::SoundRecorder;
using Clock = std::chrono::steady_clock;

struct StoredSound {
    uint16_t id;
    size_t bytes;
    uint32_t lengthMs;
};

TEST(BuiltInSounds, AreMonoPcm44100With16BitsAndTheStatedSizes) {
    for (const StoredSound& expected :
         {StoredSound{107, 7084, 80}, StoredSound{109, 45156, 512}, StoredSound{111, 21932, 249}}) {
        SCOPED_TRACE(expected.id);
        const auto bytes = builtInSound(expected.id);
        EXPECT_EQ(bytes.size(), expected.bytes);
        WaveSound wave;
        ASSERT_TRUE(parseWave(bytes, wave));
        EXPECT_EQ(wave.formatTag, 1);
        EXPECT_EQ(wave.channels, 1);
        EXPECT_EQ(wave.samplesPerSecond, 44100u);
        EXPECT_EQ(wave.bitsPerSample, 16);
        EXPECT_EQ(wave.averageBytesPerSecond, 88200u);
        EXPECT_EQ(wave.lengthMs(), expected.lengthMs);
        // Not silence: the sound must be audible.
        int16_t peak = 0;
        for (size_t i = 0; i + 1 < wave.samples.size(); i += 2) {
            int16_t v;
            std::memcpy(&v, wave.samples.data() + i, 2);
            peak = std::max<int16_t>(peak, static_cast<int16_t>(v < 0 ? -v : v));
        }
        EXPECT_GT(peak, 8000);
    }
    SoundRecorder recorder;
    EXPECT_TRUE(builtInSound(108).empty());
    EXPECT_FALSE(PlayBuiltInSound(108));
    EXPECT_TRUE(recorder.played().empty());
}

// A minimal PCM file around `dataBytes` bytes of silence, with `extra` (a
// whole chunk) between "fmt " and "data".
std::vector<uint8_t> waveFile(uint32_t dataBytes, uint16_t formatTag = 1, uint16_t bits = 16,
                              const std::vector<uint8_t>& extra = {}) {
    std::vector<uint8_t> f;
    auto u32 = [&f](uint32_t v) {
        for (int i = 0; i < 4; ++i) f.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    auto u16 = [&f](uint16_t v) {
        f.push_back(static_cast<uint8_t>(v));
        f.push_back(static_cast<uint8_t>(v >> 8));
    };
    auto tag = [&f](const char* t) {
        for (int i = 0; i < 4; ++i) f.push_back(static_cast<uint8_t>(t[i]));
    };
    tag("RIFF");
    u32(static_cast<uint32_t>(36 + extra.size() + dataBytes));
    tag("WAVE");
    tag("fmt ");
    u32(16);
    u16(formatTag);
    u16(1);
    u32(8000);
    u32(8000 * bits / 8);
    u16(static_cast<uint16_t>(bits / 8));
    u16(bits);
    for (uint8_t b : extra) f.push_back(b);
    tag("data");
    u32(dataBytes);
    f.resize(f.size() + dataBytes, 0);
    return f;
}

TEST(WaveReader, AcceptsOnlyWholePcmFiles) {
    WaveSound wave;
    auto good = waveFile(800);
    ASSERT_TRUE(parseWave(good, wave));
    EXPECT_EQ(wave.samples.size(), 800u);
    EXPECT_EQ(wave.lengthMs(), 50u);

    auto truncated = good;
    truncated.resize(truncated.size() - 1);
    EXPECT_FALSE(parseWave(truncated, wave));

    auto dataTooLong = good;
    dataTooLong[40] = 0xFF;  // data chunk size beyond the file
    EXPECT_FALSE(parseWave(dataTooLong, wave));

    EXPECT_FALSE(parseWave(waveFile(800, 3), wave));      // IEEE float
    EXPECT_FALSE(parseWave(waveFile(800, 1, 24), wave));  // 24-bit

    auto notWave = good;
    std::memcpy(notWave.data() + 8, "AVI ", 4);
    EXPECT_FALSE(parseWave(notWave, wave));
    EXPECT_FALSE(parseWave({}, wave));
    EXPECT_FALSE(parseWave(std::span<const uint8_t>(good.data(), 12), wave));
}

TEST(WaveReader, SkipsUnknownChunksIncludingOddSizedOnes) {
    // A 3-byte "LIST" chunk, padded to 4.
    const auto file = waveFile(100, 1, 16, {'L', 'I', 'S', 'T', 3, 0, 0, 0, 'a', 'b', 'c', 0});
    WaveSound wave;
    ASSERT_TRUE(parseWave(file, wave));
    EXPECT_EQ(wave.samples.size(), 100u);
}

TEST(AudioDevice, PlaybackReturnsPromptlyWithOrWithoutADevice) {
    // Without a sound card this must return false at once; with one it plays
    // 20 ms of silence. Either way it is bounded.
    const std::vector<uint8_t> silence(882 * 2, 0);
    const auto start = Clock::now();
    (void)platform::playPcm({1, 44100, 16}, silence.data(), silence.size());
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1500));
    EXPECT_FALSE(platform::playPcm({1, 44100, 24}, silence.data(), silence.size()));
    EXPECT_FALSE(platform::playPcm({0, 44100, 16}, silence.data(), silence.size()));
    EXPECT_FALSE(platform::playPcm({1, 44100, 16}, nullptr, 10));
    EXPECT_FALSE(platform::playPcm({1, 44100, 16}, silence.data(), 1));
}

using test_driver::clTEST_DRIVER;
using test_driver::TestDriverFixture;
using DriverSounds = TestDriverFixture;

TEST_F(DriverSounds, SelectorZeroHandsTheObserverTheTones) {
    SoundRecorder recorder;
    setSoundSelector(MEASURE_SOUND_OBSERVER);
    ASSERT_EQ(test_driver::OpenTest(m()), 0);
    test::LogCapture log;
    for (auto beep : {+[](clTEST_DRIVER& d) { d.xBeepSuccess(SuccessBeep::Delayed); },
                      +[](clTEST_DRIVER& d) { d.xBeepSuccess(SuccessBeep::Immediate); },
                      +[](clTEST_DRIVER& d) { d.xBeepFailure(); }}) {
        beep(*driver());
        driver()->KeyThread->WaitRequest(platform::kInfinite);
    }
    EXPECT_EQ(observer.all(), (std::vector<Notification>{{Notification::Beep, 1600, 32},
                                                         {Notification::Beep, 1600, 32},
                                                         {Notification::Beep, 1200, 320}}));
    EXPECT_TRUE(recorder.played().empty());
    EXPECT_EQ(log.count("clTEST_DRIVER::xBeepSuccess", ""), 2);
    EXPECT_EQ(log.count("clTEST_DRIVER::xBeepFailure", ""), 1);
}

TEST_F(DriverSounds, SelectorOnePlaysTheBuiltInSoundsAndNotTheObserver) {
    SoundRecorder recorder;
    setSoundSelector(MEASURE_SOUND_BUILT_IN);
    ASSERT_EQ(test_driver::OpenTest(m()), 0);
    const auto asked = Clock::now();
    driver()->xBeepSuccess(SuccessBeep::Delayed);
    driver()->KeyThread->WaitRequest(platform::kInfinite);
    driver()->xBeepSuccess(SuccessBeep::Immediate);
    driver()->KeyThread->WaitRequest(platform::kInfinite);
    ASSERT_EQ(recorder.ids(), (std::vector<uint16_t>{kSoundAccepted, kSoundDelivered}));
    // The delayed form pauses 500 ms (5 ms here) before its sound.
    EXPECT_GE(recorder.played()[0].start - asked, std::chrono::milliseconds(4));
    EXPECT_TRUE(observer.all().empty());
}

TEST_F(DriverSounds, TheFailureSoundEndsBeforeKeyThreadTakesItsNextRequest) {
    SoundRecorder recorder;
    setSoundSelector(MEASURE_SOUND_BUILT_IN);
    ASSERT_EQ(test_driver::OpenTest(m()), 0);
    driver()->xBeepFailure();
    // Offer the next request until KeyThread takes it; every refusal is the
    // worker still busy with the sound.
    Clock::time_point next{};
    for (;;) {
        try {
            driver()->KeyThread->StartRequest([&next] { next = Clock::now(); });
            break;
        } catch (const exWORKER_THREAD&) {
        }
    }
    driver()->KeyThread->WaitRequest(platform::kInfinite);
    ASSERT_EQ(recorder.ids(), (std::vector<uint16_t>{kSoundFailure}));
    const SoundRecorder::Played failure = recorder.played()[0];
    EXPECT_EQ(failure.lengthMs, 512u);
    EXPECT_GE(failure.end - failure.start, std::chrono::microseconds(5000));  // 512 ms scaled
    EXPECT_GE(next, failure.end);
}

TEST_F(DriverSounds, AnyOtherSelectorOrSelectorZeroWithoutObserverKeepsQuiet) {
    test::ErrorBoxCapture boxes;
    SoundRecorder recorder;
    setSoundSelector(2);
    ASSERT_EQ(test_driver::OpenTest(m()), 0);
    driver()->xBeepFailure();
    driver()->KeyNotification();
    driver()->KeyThread->WaitRequest(platform::kInfinite);
    // The key notification's statuses still arrive.
    EXPECT_EQ(observer.all(),
              (std::vector<Notification>{{Notification::Status, 0},
                                         {Notification::Status, MEASURE_STATUS_KEY_PRESSED}}));

    DetachObserver();
    setSoundSelector(MEASURE_SOUND_OBSERVER);
    driver()->xBeepSuccess(SuccessBeep::Immediate);
    driver()->xBeepFailure();
    driver()->KeyThread->WaitRequest(platform::kInfinite);
    EXPECT_TRUE(recorder.played().empty());
    EXPECT_TRUE(boxes.texts().empty());
}

}  // namespace
}  // namespace measure::framework
