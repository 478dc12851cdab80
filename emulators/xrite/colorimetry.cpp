#include "colorimetry.h"

#include <algorithm>
#include <cmath>

namespace xrite_emu {
namespace {

double wavelength(int band) {
    return 380.0 + 10.0 * band;
}

// A Gaussian with separate widths left and right of its peak.
double lobe(double nm, double mu, double sigmaLeft, double sigmaRight) {
    const double t = (nm - mu) / (nm < mu ? sigmaLeft : sigmaRight);
    return std::exp(-0.5 * t * t);
}

// Wyman, Sloan, Shirley: multi-lobe fit of the CIE 1931 colour matching functions.
double xBar(double nm) {
    return 1.056 * lobe(nm, 599.8, 37.9, 31.0) + 0.362 * lobe(nm, 442.0, 16.0, 26.7) -
           0.065 * lobe(nm, 501.1, 20.4, 26.2);
}
double yBar(double nm) {
    return 0.821 * lobe(nm, 568.8, 46.9, 40.5) + 0.286 * lobe(nm, 530.9, 16.3, 31.1);
}
double zBar(double nm) {
    return 1.217 * lobe(nm, 437.0, 11.8, 36.0) + 0.681 * lobe(nm, 459.0, 26.0, 13.8);
}

// Relative spectral power of a Planckian radiator at the CCT of D50.
double d50Power(double nm) {
    const double metres = nm * 1e-9;
    return 1.0 / (std::pow(metres, 5.0) * (std::exp(1.4388e-2 / (metres * 5003.0)) - 1.0));
}

struct Weights {
    std::array<std::array<double, 3>, kBands> w{};
    Weights() {
        double ySum = 0;
        for (int i = 0; i < kBands; ++i) {
            const double nm = wavelength(i);
            const double p = d50Power(nm);
            w[i] = {p * xBar(nm), p * yBar(nm), p * zBar(nm)};
            ySum += w[i][1];
        }
        for (auto& row : w)
            for (double& v : row) v *= 100.0 / ySum;
    }
};

const Weights& weights() {
    static const Weights instance;
    return instance;
}

double labF(double t) {
    return t > 0.008856 ? std::cbrt(t) : 7.787 * t + 16.0 / 116.0;
}

struct Filter {
    double centre;
    double width;
};

// Red, green and blue filter centres and widths of the density standards.
bool filtersOf(const std::string& standard, Filter out[3]) {
    if (standard == "DIN") {
        out[0] = {610, 20}, out[1] = {530, 20}, out[2] = {440, 20};
    } else if (standard == "DINNB") {
        out[0] = {620, 8}, out[1] = {530, 8}, out[2] = {430, 8};
    } else if (standard == "ANSIA" || standard == "ANSIE" || standard == "ANSII" || standard == "ANSIT" ||
               standard == "SPI") {
        out[0] = {620, 15}, out[1] = {540, 15}, out[2] = {450, 15};
    } else {
        return false;
    }
    return true;
}

float densityOf(const Spectrum& r, const std::array<double, kBands>& weight) {
    double sum = 0, weightSum = 0;
    for (int i = 0; i < kBands; ++i) {
        sum += r[i] * weight[i];
        weightSum += weight[i];
    }
    // A sensor never reads exactly nothing; the floor keeps the density finite.
    return static_cast<float>(-std::log10(std::max(sum / weightSum, 1e-5)));
}

}  // namespace

Xyz reflectiveXyz(const Spectrum& r) {
    Xyz out;
    for (int i = 0; i < kBands; ++i) {
        out.x += r[i] * weights().w[i][0];
        out.y += r[i] * weights().w[i][1];
        out.z += r[i] * weights().w[i][2];
    }
    return out;
}

Xyz emissiveXyz(const Spectrum& radiance) {
    // 683 lm/W, 10 nm bands.
    Xyz out;
    for (int i = 0; i < kBands; ++i) {
        const double nm = wavelength(i);
        out.x += 6830.0 * radiance[i] * xBar(nm);
        out.y += 6830.0 * radiance[i] * yBar(nm);
        out.z += 6830.0 * radiance[i] * zBar(nm);
    }
    return out;
}

Xyz d50White() {
    Spectrum white;
    white.fill(1.0f);
    return reflectiveXyz(white);
}

bool colourValues(const Xyz& xyz, const Xyz& white, const std::string& space, float out[3]) {
    if (space == "CIEXYZ") {
        out[0] = float(xyz.x), out[1] = float(xyz.y), out[2] = float(xyz.z);
    } else if (space == "CIExyY") {
        const double sum = xyz.x + xyz.y + xyz.z;
        out[0] = float(sum > 0 ? xyz.x / sum : 0), out[1] = float(sum > 0 ? xyz.y / sum : 0),
        out[2] = float(xyz.y);
    } else if (space == "CIELab" || space == "LABmg") {
        const double fx = labF(xyz.x / white.x), fy = labF(xyz.y / white.y), fz = labF(xyz.z / white.z);
        out[0] = float(116.0 * fy - 16.0), out[1] = float(500.0 * (fx - fy)),
        out[2] = float(200.0 * (fy - fz));
    } else {
        return false;
    }
    return true;
}

bool densities(const Spectrum& r, const std::string& standard, float out[4]) {
    Filter filters[3];
    if (!filtersOf(standard, filters)) return false;
    for (int c = 0; c < 3; ++c) {
        std::array<double, kBands> weight{};
        for (int i = 0; i < kBands; ++i)
            weight[i] = lobe(wavelength(i), filters[c].centre, filters[c].width, filters[c].width);
        out[c] = densityOf(r, weight);
    }
    std::array<double, kBands> visual{};
    for (int i = 0; i < kBands; ++i) visual[i] = yBar(wavelength(i));
    out[3] = densityOf(r, visual);
    return true;
}

}  // namespace xrite_emu
