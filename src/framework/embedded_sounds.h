// The built-in sounds as stored in the library: the RIFF/WAVE files that
// tools/sounds/make_sounds.py writes to resources/sound_<id>.wav, compiled in
// by the build (cmake/MeasureEmbedSounds.cmake generates the table).
#pragma once

#include <cstdint>
#include <span>

namespace measure::framework {

struct EmbeddedSound {
    uint16_t id;
    std::span<const uint8_t> bytes;
};

std::span<const EmbeddedSound> embeddedSounds();

}  // namespace measure::framework
