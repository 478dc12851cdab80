// The chart under the virtual instrument: a printed sheet of patches with
// known spectra, the paper around them, two reference patches and an emission
// source, and what a scan across one strip of it looks like to the SDK.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "colorimetry.h"
#include "i1_emulator.h"

namespace xrite_emu {

// One reading of the instrument. Reflective readings keep the paper's
// fluorescence apart, so the SDK can report it as M0, M1 or M2.
struct Sample {
    Spectrum base{};
    Spectrum fluorescence{};
    bool emissive = false;
    // Taken in an M3 mode through an i1Pro3's polarising filter.
    bool polarised = false;
};

class Chart {
public:
    // Reflectance of a patch (chart index or EMU_I1_PATCH_*), without fluorescence.
    Spectrum patch(int32_t index) const;
    void setPatch(int32_t index, const Spectrum& spectrum);
    void clearOverrides() { overrides_.clear(); }

    // The reading of a spot on a patch.
    Sample spot(int32_t index) const;
    // What the emission source emits (spectral radiance).
    Sample emission() const;

    // The patches the SDK finds on a strip: references included when the
    // strip has them, in the order drawn.
    std::vector<Sample> recognisedStrip(const EmuI1Scan& scan) const;
    // The raw samples of the same strip with paper before and after, blended
    // samples at each edge and noise. rng is a generator state the caller keeps.
    std::vector<Sample> rawStrip(const EmuI1Scan& scan, uint32_t& rng) const;

private:
    std::map<int32_t, Spectrum> overrides_;
};

// The default chart's spectrum of a chart index: neighbours alternate between
// a dark (Y 7..14) and a light (Y 31..55) patch of changing hue, so every edge
// on a strip is a clear step.
Spectrum defaultPatch(int32_t index);

}  // namespace xrite_emu
