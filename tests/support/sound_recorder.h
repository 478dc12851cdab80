// Records the built-in sounds the library plays instead of sending them to
// the audio device, with when each began and ended. Each recorded sound
// still takes its (scaled) length, as playback would. The rest of the test
// program mutes the device the same way without recording.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace measure::test {

class SoundRecorder {
public:
    using Clock = std::chrono::steady_clock;
    struct Played {
        uint16_t id;
        uint32_t lengthMs;  // specified length of the sound
        Clock::time_point start;
        Clock::time_point end;
    };

    SoundRecorder();
    ~SoundRecorder();
    SoundRecorder(const SoundRecorder&) = delete;
    SoundRecorder& operator=(const SoundRecorder&) = delete;

    std::vector<Played> played() const;
    std::vector<uint16_t> ids() const;
    // Waits (real time, bounded) until `n` sounds have ended.
    bool waitFor(size_t n, int timeoutMs = 5000) const;

private:
    // Shared with the installed sink, which a driver's KeyThread may still be
    // running when the recorder goes.
    struct State {
        std::mutex mutex;
        std::condition_variable changed;
        std::vector<Played> played;
    };
    std::shared_ptr<State> state_;
};

// Built-in sounds take their scaled length and reach no device (the test
// program's default).
void muteSounds();

}  // namespace measure::test
