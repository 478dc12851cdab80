// The chart the demo's simulated instrument replays: 24 patches in the
// manner of a colour checker (skin tones, foliage, sky, primaries, six
// greys), as reflectance spectra of 380 to 730 nm in a CGATS file.
#pragma once

#include <string>

namespace cli {

std::string demoChartText();

}  // namespace cli
