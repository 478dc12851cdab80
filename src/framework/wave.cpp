#include "framework/wave.h"

#include <cstring>

namespace measure::framework {
namespace {

uint32_t readU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

uint16_t readU16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

bool isTag(const uint8_t* p, const char* tag) {
    return std::memcmp(p, tag, 4) == 0;
}

}  // namespace

uint32_t WaveSound::lengthMs() const {
    const uint64_t bytesPerSecond = static_cast<uint64_t>(blockAlign) * samplesPerSecond;
    if (bytesPerSecond == 0) return 0;
    return static_cast<uint32_t>((samples.size() * 1000ull + bytesPerSecond - 1) / bytesPerSecond);
}

bool parseWave(std::span<const uint8_t> file, WaveSound& out) {
    out = WaveSound{};
    if (file.size() < 12 || !isTag(file.data(), "RIFF") || !isTag(file.data() + 8, "WAVE")) return false;
    // The RIFF size may not claim more than there is.
    const uint64_t riffEnd = 8ull + readU32(file.data() + 4);
    if (riffEnd > file.size()) return false;
    bool haveFormat = false;
    uint64_t pos = 12;
    while (pos + 8 <= riffEnd) {
        const uint8_t* chunk = file.data() + pos;
        const uint64_t size = readU32(chunk + 4);
        const uint64_t body = pos + 8;
        if (body + size > riffEnd) return false;
        if (isTag(chunk, "fmt ")) {
            if (size < 16) return false;
            const uint8_t* f = chunk + 8;
            out.formatTag = readU16(f);
            out.channels = readU16(f + 2);
            out.samplesPerSecond = readU32(f + 4);
            out.averageBytesPerSecond = readU32(f + 8);
            out.blockAlign = readU16(f + 12);
            out.bitsPerSample = readU16(f + 14);
            haveFormat = true;
        } else if (isTag(chunk, "data")) {
            if (!haveFormat) return false;
            out.samples = file.subspan(static_cast<size_t>(body), static_cast<size_t>(size));
            const bool pcm = out.formatTag == 1 && (out.bitsPerSample == 8 || out.bitsPerSample == 16) &&
                             out.channels >= 1 && out.channels <= 2 && out.samplesPerSecond > 0 &&
                             out.blockAlign == out.channels * out.bitsPerSample / 8;
            return pcm;
        }
        pos = body + size + (size & 1);  // chunks are padded to even sizes
    }
    return false;
}

}  // namespace measure::framework
