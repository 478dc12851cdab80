// Finding the patches of a strip in the raw samples of one scan, for
// instruments whose own patch recognition is switched off. The instrument
// samples continuously while it is drawn across the strip: paper, then each
// patch (with a blended sample or two at each edge), then paper again. The
// search looks for runs of nearly equal samples separated by jumps in CIELAB
// and accepts a strip only when it finds the paper, exactly the expected
// number of patches and the paper again, with the paper alike on both sides.
//
// Pure computation: no SDK, no threads, so it is tested on synthetic scans.
#pragma once

#include <array>
#include <vector>

namespace measure::i1pro {

using Tristimulus = std::array<double, 3>;
using Spectrum36 = std::array<double, 36>;

// One patch found on the strip.
struct SegmentedPatch {
    Tristimulus xyz{};      // mean tristimulus values (of the mean spectrum for spectra)
    Spectrum36 spectrum{};  // mean spectrum; zero when segmenting tristimulus values
    int samples = 0;        // samples of the run the patch was found in
};

struct Segmentation {
    // The expected count when the strip was found and the paper before and
    // after it match (CIE76 below 9.0), else 0.
    int count = 0;
    // The search found paper, the expected patches and paper, of plausible widths.
    bool found = false;
    // The patches between the two paper runs, in scan order (when found).
    std::vector<SegmentedPatch> patches;
    // CIE76 difference of the paper before and after the strip (when found).
    double substrateDifference = 0;
};

// Searches `expected` patches among samples given as tristimulus values.
Segmentation segmentTristimulus(const std::vector<Tristimulus>& samples, int expected);
// The same for samples given as spectra (36 bands from 380 nm, 10 nm steps);
// their tristimulus values are computed for D50 and the 2 degree observer.
Segmentation segmentSpectra(const std::vector<Spectrum36>& samples, int expected);

// Paper before and after a strip that differ by this much (CIE76) or more
// mean the strip was not scanned from paper to paper.
inline constexpr double kSubstrateTolerance = 9.0;

}  // namespace measure::i1pro
