#include "platform/sound.h"

#include <alsa/asoundlib.h>

#include <cerrno>
#include <chrono>
#include <mutex>
#include <thread>

namespace measure::platform {
namespace {

// ALSA reports a missing device on stderr by default; no device is a normal
// state for this library, so its messages are dropped.
void quietAlsa(const char*, int, const char*, int, const char*, ...) {}

struct PcmHandle {
    snd_pcm_t* pcm = nullptr;
    ~PcmHandle() {
        if (pcm != nullptr) snd_pcm_close(pcm);
    }
};

}  // namespace

bool playPcm(const PcmFormat& format, const uint8_t* samples, size_t bytes) {
    if (samples == nullptr || format.channels == 0 || format.samplesPerSecond == 0) return false;
    if (format.bitsPerSample != 8 && format.bitsPerSample != 16) return false;
    const size_t frameBytes = static_cast<size_t>(format.channels) * format.bitsPerSample / 8;
    const size_t frames = bytes / frameBytes;
    if (frames == 0) return false;

    static std::once_flag quiet;
    std::call_once(quiet, [] { snd_lib_error_set_handler(&quietAlsa); });

    PcmHandle handle;
    // Non-blocking, so that a busy or hung device never holds the caller.
    if (snd_pcm_open(&handle.pcm, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0) return false;
    const snd_pcm_format_t sampleFormat =
        format.bitsPerSample == 8 ? SND_PCM_FORMAT_U8 : SND_PCM_FORMAT_S16_LE;
    if (snd_pcm_set_params(handle.pcm, sampleFormat, SND_PCM_ACCESS_RW_INTERLEAVED, format.channels,
                           format.samplesPerSecond, 1, 100000) < 0)
        return false;

    using Clock = std::chrono::steady_clock;
    const auto length = std::chrono::milliseconds(frames * 1000 / format.samplesPerSecond);
    const auto deadline = Clock::now() + length + std::chrono::seconds(1);
    size_t written = 0;
    while (written < frames && Clock::now() < deadline) {
        const snd_pcm_sframes_t n =
            snd_pcm_writei(handle.pcm, samples + written * frameBytes, frames - written);
        if (n == -EAGAIN) {
            snd_pcm_wait(handle.pcm, 50);
        } else if (n < 0) {
            if (snd_pcm_recover(handle.pcm, static_cast<int>(n), 1) < 0) return false;
        } else {
            written += static_cast<size_t>(n);
        }
    }
    // Wait, polling every 5 ms, until the device has played what it holds.
    while (Clock::now() < deadline) {
        snd_pcm_sframes_t delay = 0;
        if (snd_pcm_delay(handle.pcm, &delay) < 0 || delay <= 0) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return written == frames;
}

}  // namespace measure::platform
