// The stand-in SDK's own colorimetry. A real SDK computes colour values from
// its spectra with its own tables; this one uses the analytic fit of the CIE
// 1931 2-degree observer by Wyman, Sloan and Shirley (JCGT 2(2), 2013), a
// Planckian 5003 K source for D50 and Gaussian density filters. Its values are
// close to, not identical with, the library's own tables, as a vendor SDK's
// would be.
#pragma once

#include <array>
#include <string>

namespace xrite_emu {

inline constexpr int kBands = 36;  // 380..730 nm, 10 nm steps
using Spectrum = std::array<float, kBands>;

struct Xyz {
    double x = 0;
    double y = 0;
    double z = 0;
};

// Reflectance factors under D50: a perfect white gives Y = 100.
Xyz reflectiveXyz(const Spectrum& reflectance);
// Spectral radiance (W/(sr m^2 nm)) to absolute XYZ, Y in cd/m^2.
Xyz emissiveXyz(const Spectrum& radiance);
// The reflective white point.
Xyz d50White();

// Values in a "ColorSpaceDescription.Type" space relative to `white`:
// "CIEXYZ", "CIExyY" (x, y, Y), "CIELab" and "LABmg" (both L*, a*, b*).
// False for an unknown space.
bool colourValues(const Xyz& xyz, const Xyz& white, const std::string& space, float out[3]);

// Red, green, blue filter densities and the visual density of a reflectance
// spectrum for a "Colorimetric.DensityStandard". False for an unknown standard.
bool densities(const Spectrum& reflectance, const std::string& standard, float out[4]);

}  // namespace xrite_emu
