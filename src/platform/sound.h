// Playing sound samples on the default audio output (waveOut on Windows, the
// ALSA "default" device elsewhere).
#pragma once

#include <cstddef>
#include <cstdint>

namespace measure::platform {

struct PcmFormat {
    uint16_t channels;          // 1 or 2
    uint32_t samplesPerSecond;  // for example 44100
    uint16_t bitsPerSample;     // 8 (unsigned) or 16 (signed little-endian)
};

// Plays the samples and returns once they have been played. Without an audio
// device (or when it refuses the format) it returns false at once and plays
// nothing; that is never an error worth more than a log line. The wait is
// bounded by the samples' length plus a second.
bool playPcm(const PcmFormat& format, const uint8_t* samples, size_t bytes);

}  // namespace measure::platform
