// The test host of the i1Pro rows: the shared host whose user presses the
// virtual instrument's button behind the i1 SDK stand-in.
#pragma once

#include <array>
#include <cstdint>

#include "drivers/i1pro/i1_sdk_stand_in.h"
#include "support/instrument_host.h"

namespace measure::test {

class I1ProHost : public InstrumentHost {
public:
    I1ProHost(uint32_t id, uint32_t mode, int32_t patches = 24)
        : InstrumentHost(id, mode, patches, [] { emu_i1_press_button(); }) {}
};

// The spectrum of a chart patch as the host receives it.
inline std::array<double, 36> chartSpectrum(int32_t patch) {
    float s[36];
    emu_i1_patch_spectrum(patch, s);
    std::array<double, 36> out{};
    for (int i = 0; i < 36; ++i) out[i] = s[i];
    return out;
}

// A strip scan of the chart for the script, references and direction as given.
inline EmuI1Scan strip(int32_t first, int32_t count, bool references = false, bool reversed = false) {
    EmuI1Scan s;
    emu_i1_scan_defaults(&s);
    s.firstPatch = first;
    s.patchCount = count;
    s.withReferences = references ? 1 : 0;
    s.reversed = reversed ? 1 : 0;
    return s;
}

inline void queue(const EmuI1Scan& s) {
    emu_i1_queue_scan(&s);
}

}  // namespace measure::test
