#include "support/sound_recorder.h"

#include "framework/sound.h"
#include "platform/clock.h"

namespace measure::test {

void muteSounds() {
    framework::setSoundSink([](uint16_t, uint32_t lengthMs) { platform::sleepMs(lengthMs); });
}

SoundRecorder::SoundRecorder() : state_(std::make_shared<State>()) {
    framework::setSoundSink([state = state_](uint16_t id, uint32_t lengthMs) {
        const Clock::time_point start = Clock::now();
        platform::sleepMs(lengthMs);
        {
            std::lock_guard lock(state->mutex);
            state->played.push_back({id, lengthMs, start, Clock::now()});
        }
        state->changed.notify_all();
    });
}

SoundRecorder::~SoundRecorder() {
    muteSounds();
}

std::vector<SoundRecorder::Played> SoundRecorder::played() const {
    std::lock_guard lock(state_->mutex);
    return state_->played;
}

std::vector<uint16_t> SoundRecorder::ids() const {
    std::vector<uint16_t> out;
    for (const Played& p : played()) out.push_back(p.id);
    return out;
}

bool SoundRecorder::waitFor(size_t n, int timeoutMs) const {
    std::unique_lock lock(state_->mutex);
    return state_->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                    [&] { return state_->played.size() >= n; });
}

}  // namespace measure::test
