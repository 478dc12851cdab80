#include "framework/sound.h"

#include <memory>
#include <mutex>

#include "core/delivery.h"
#include "core/logger.h"
#include "core/record.h"
#include "framework/embedded_sounds.h"
#include "framework/wave.h"
#include "platform/sound.h"

namespace measure::framework {
namespace {

std::mutex gSinkMutex;
std::shared_ptr<const SoundSink> gSink;  // guarded by gSinkMutex

std::shared_ptr<const SoundSink> currentSink() {
    std::lock_guard lock(gSinkMutex);
    return gSink;
}

}  // namespace

void setSoundSink(SoundSink sink) {
    auto next = sink ? std::make_shared<const SoundSink>(std::move(sink)) : nullptr;
    std::lock_guard lock(gSinkMutex);
    gSink = std::move(next);
}

std::span<const uint8_t> builtInSound(uint16_t id) {
    for (const EmbeddedSound& sound : embeddedSounds())
        if (sound.id == id) return sound.bytes;
    return {};
}

bool PlayBuiltInSound(uint16_t id) {
    WaveSound wave;
    if (!parseWave(builtInSound(id), wave)) {
        Log(3, "PlayBuiltInSound", "no sound");
        return false;
    }
    if (auto sink = currentSink()) {
        (*sink)(id, wave.lengthMs());
        return true;
    }
    const platform::PcmFormat format{wave.channels, wave.samplesPerSecond, wave.bitsPerSample};
    return platform::playPcm(format, wave.samples.data(), wave.samples.size());
}

void Beep(Tone tone, uint16_t soundId) {
    try {
        const uint32_t selector = soundSelector();
        if (selector == MEASURE_SOUND_BUILT_IN) {
            PlayBuiltInSound(soundId);
        } else if (selector == MEASURE_SOUND_OBSERVER) {
            NotifyBeep(tone.frequencyHz, tone.durationMs);
        }
    } catch (...) {
        Log(0, "Beep", "catch(...)");
    }
}

}  // namespace measure::framework
