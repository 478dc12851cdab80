// Reading the built-in sounds: RIFF/WAVE files with a "fmt " and a "data"
// chunk. Only uncompressed PCM (8 or 16 bits, one or two channels) is
// accepted, which is what the audio device is opened with.
#pragma once

#include <cstdint>
#include <span>

namespace measure::framework {

struct WaveSound {
    uint16_t formatTag = 0;  // 1: PCM
    uint16_t channels = 0;
    uint32_t samplesPerSecond = 0;
    uint32_t averageBytesPerSecond = 0;
    uint16_t blockAlign = 0;
    uint16_t bitsPerSample = 0;
    std::span<const uint8_t> samples;  // the "data" chunk, inside the parsed bytes

    // Playing time of the samples in ms, rounded up.
    uint32_t lengthMs() const;
};

// False (leaving `out` unusable) for anything but a complete PCM WAVE file:
// chunks must lie inside `file`, the data chunk must be whole.
bool parseWave(std::span<const uint8_t> file, WaveSound& out);

}  // namespace measure::framework
