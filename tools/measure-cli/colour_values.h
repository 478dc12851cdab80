// Colour values a host derives from delivered spectra, through the library's
// own spectral conversion exports.
#pragma once

#include <array>
#include <cstdint>

namespace cli {

// XYZ (D50, 2 degree observer) and L*a*b* of a 36-band spectrum from 380 nm.
bool spectrumToXyzLab(const double* bands36, std::array<double, 3>& xyz, std::array<double, 3>& lab);
// L*a*b* of XYZ.
std::array<double, 3> xyzToLab(const std::array<double, 3>& xyz);
// The four densities (red, green, blue filter, visual) of a 36-band spectrum
// under density mode 0 (Status E), 1 (Status T), 5 (DIN) or 6 (DIN narrow).
bool spectrumToDensities(const double* bands36, uint32_t mode, std::array<double, 4>& densities);

}  // namespace cli
