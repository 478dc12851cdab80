// Colour values a host derives from delivered or stored spectra, through the
// library's own spectral conversion exports. A spectrum is described by its
// header: first wavelength, step (must be 10 nm) and number of values.
#pragma once

#include <array>
#include <cstdint>

namespace cli {

// The header of the library's 36-band spectra: 380 nm, 10 nm, 36 values.
extern const uint32_t kGridHeader[3];

// XYZ (D50, 2 degree observer) and L*a*b* of a spectrum; false when the
// step is not 10 nm.
bool spectrumToXyzLab(const uint32_t* header, const double* values, std::array<double, 3>& xyz,
                      std::array<double, 3>& lab);
// L*a*b* of XYZ.
std::array<double, 3> xyzToLab(const std::array<double, 3>& xyz);
// The four densities (red, green, blue filter, visual) of a spectrum under
// density mode 0 (Status E), 1 (Status T), 5 (DIN) or 6 (DIN narrow band).
bool spectrumToDensities(const uint32_t* header, const double* values, uint32_t mode,
                         std::array<double, 4>& densities);

}  // namespace cli
