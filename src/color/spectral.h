// Reflectance spectra to colour values on the library's fixed grid of 36
// bands, 380 to 730 nm in 10 nm steps: CIE XYZ for D50 and the 2 degree
// observer, printing densities (Status E, Status T, DIN 16536, DIN 16536
// narrow band, each with a visual density), CIELAB and back, and the CIE76
// and CIEDE2000 differences.
//
// The exported SpectrumToXYZ and SpectrumToDensity are declared in
// measure/measure.h; the drivers use the helpers below as well.
#pragma once

#include <array>
#include <cstdint>

#include "measure/measure.h"

namespace measure {

inline constexpr int kGridBands = 36;
inline constexpr uint32_t kGridStartNm = 380;
inline constexpr uint32_t kGridStepNm = 10;

using Spectrum36 = std::array<double, kGridBands>;

// Places a spectrum described by header (first nm, step nm, count) onto the
// 36-band grid without interpolation; bands it does not reach stay 0. The
// step must already have been checked to be 10.
Spectrum36 resampleToGrid(const uint32_t* header, const double* spectrum);

// Instruments that measure 31 bands (400 to 700 nm in 10 nm steps) deliver
// them on the 36-band grid: the bands of 400 to 700 nm (0-based 2 to 32) hold
// the values in order, 380, 390, 710, 720 and 730 nm stay 0.
inline constexpr int kBands400To700 = 31;
Spectrum36 placeBands400To700(const double* bands31);

// SpectrumToDensity, then StoreDensities into density slot `slot` of the
// record. False (and the slot untouched) when the conversion fails.
bool SpectrumToDensWORDS(MEASURESTRUCT* record, int slot, const uint32_t* header, const double* spectrum,
                         uint32_t mode);

// CIELAB for the reference white X 96.4, Y 100, Z 82.49 (the white the
// instruments' firmware uses for its own Lab values).
void XYZToLab(double X, double Y, double Z, double* L, double* a, double* b);

// The inverse of XYZToLab for the same white, so that Lab taken from a file
// and turned into XYZ gives the same Lab back.
void LabToXYZ(double L, double a, double b, double* X, double* Y, double* Z);

// CIE76 colour difference: the Euclidean distance of two Lab triples.
double DeltaE76(double L1, double a1, double b1, double L2, double a2, double b2);
// CIEDE2000 colour difference with kL = kC = kH = 1; symmetric in its two
// colours.
double DeltaE2000(double L1, double a1, double b1, double L2, double a2, double b2);

// The weight tables, for the colour-space library and for tests.
struct TristimulusWeight {
    double x, y, z;
};
const std::array<TristimulusWeight, kGridBands>& tristimulusWeights();
// Sum of the y weights (99.942): the divisor that makes a perfect white Y 100.
double tristimulusDivisor();
// CIE 1931 2 degree y-bar, V(lambda), 380 to 730 nm.
const Spectrum36& photopicEfficiency();

}  // namespace measure
