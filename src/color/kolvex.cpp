#include "color/kolvex.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "color/spectral.h"

namespace Kolvex {
namespace {

enum Space { kSpectral10 = 1, kLab = 2, kXYZ = 3 };

constexpr double kEpsilon = 216.0 / 24389.0;  // (6/29)^3
constexpr double kKappa = 24389.0 / 27.0;     // (29/3)^3

// CIE 1976: f(t) = t^(1/3) above (6/29)^3, else (kappa t + 16) / 116.
double labF(double t) {
    return t > kEpsilon ? std::cbrt(t) : (kKappa * t + 16.0) / 116.0;
}
double labFInverse(double f) {
    const double t = f * f * f;
    return t > kEpsilon ? t : (116.0 * f - 16.0) / kKappa;
}

std::vector<double> spectralToXYZ(const std::vector<double>& in, const ViewingCondition& vc) {
    if (in.size() < 36) throw std::invalid_argument("Spectral10 needs 36 values");
    std::vector<double> xyz(3, 0.0);
    for (size_t b = 0; b < 36; ++b)
        for (size_t c = 0; c < 3; ++c) xyz[c] += in[b] * vc.weights()[b][c];
    return xyz;
}

std::vector<double> xyzToLab(const std::vector<double>& xyz, const ViewingCondition& vc) {
    const double fx = labF(xyz[0] / vc.white()[0]);
    const double fy = labF(xyz[1] / vc.white()[1]);
    const double fz = labF(xyz[2] / vc.white()[2]);
    return {116.0 * fy - 16.0, 500.0 * (fx - fy), 200.0 * (fy - fz)};
}

std::vector<double> labToXYZ(const std::vector<double>& lab, const ViewingCondition& vc) {
    const double fy = (lab[0] + 16.0) / 116.0;
    const double fx = fy + lab[1] / 500.0;
    const double fz = fy - lab[2] / 200.0;
    return {labFInverse(fx) * vc.white()[0], labFInverse(fy) * vc.white()[1],
            labFInverse(fz) * vc.white()[2]};
}

double logistic(double x) {
    return 1.0 / (1.0 + std::exp(-x));
}
double gauss(double nm, double centre, double width) {
    const double d = (nm - centre) / width;
    return std::exp(-0.5 * d * d);
}

}  // namespace

const ViewingCondition* ViewingCondition::D50() {
    static const ViewingCondition* const condition = [] {
        auto* vc = new ViewingCondition;
        const double divisor = measure::tristimulusDivisor();
        const auto& w = measure::tristimulusWeights();
        for (size_t b = 0; b < 36; ++b) {
            vc->weights_[b] = {w[b].x / divisor, w[b].y / divisor, w[b].z / divisor};
            for (size_t c = 0; c < 3; ++c) vc->white_[c] += vc->weights_[b][c];
        }
        return vc;
    }();
    return condition;
}

int ColorSpace::Spectral10() {
    return kSpectral10;
}
int ColorSpace::Lab() {
    return kLab;
}
int ColorSpace::XYZ() {
    return kXYZ;
}

void ColorSpace::Convert(int from, const std::vector<double>& in, int to, std::vector<double>& out,
                         const ViewingCondition* condition) {
    if (condition == nullptr) throw std::invalid_argument("no viewing condition");
    const ViewingCondition& vc = *condition;
    if (from != kSpectral10 && in.size() < 3) throw std::invalid_argument("colour needs 3 values");
    std::vector<double> xyz;
    switch (from) {
        case kSpectral10:
            xyz = spectralToXYZ(in, vc);
            break;
        case kXYZ:
            xyz.assign(in.begin(), in.begin() + 3);
            break;
        case kLab:
            xyz = labToXYZ(in, vc);
            break;
        default:
            throw std::invalid_argument("unknown source colour space");
    }
    switch (to) {
        case kXYZ:
            out = xyz;
            break;
        case kLab:
            out = xyzToLab(xyz, vc);
            break;
        default:
            throw std::invalid_argument("unknown or unreachable target colour space");
    }
}

// Bright coated paper: about 89 % reflectance across the visible range,
// falling off in the near ultraviolet, with a small lift around 440 nm from
// its optical brightener.
std::array<double, 36> ColorPredictor::paperReflectance() {
    std::array<double, 36> r{};
    for (size_t b = 0; b < 36; ++b) {
        const double nm = 380.0 + 10.0 * static_cast<double>(b);
        r[b] = 0.89 - 0.12 * std::exp(-(nm - 380.0) / 22.0) + 0.015 * gauss(nm, 440.0, 15.0);
    }
    return r;
}

// Optical density of each colorant at full strength: smooth absorption
// edges and bands placed where process and spot inks absorb (cyan the reds,
// magenta the greens, yellow the blues, black everything).
std::array<double, 36> ColorPredictor::colorantDensity(int code) {
    std::array<double, 36> d{};
    for (size_t b = 0; b < 36; ++b) {
        const double nm = 380.0 + 10.0 * static_cast<double>(b);
        double v = 0.0;
        switch (code) {
            case 0:
                v = 0.15 + 1.45 * logistic((nm - 580.0) / 20.0) + 0.1 * gauss(nm, 400.0, 20.0);
                break;
            case 1:
                v = 0.12 + 1.35 * gauss(nm, 545.0, 38.0) + 0.45 * gauss(nm, 450.0, 35.0);
                break;
            case 2:
                v = 0.03 + 1.2 * (1.0 - logistic((nm - 495.0) / 12.0));
                break;
            case 3:
                v = 1.72 + 0.06 * (nm - 380.0) / 350.0;
                break;
            case 4:
                v = 0.05 + 1.3 * (1.0 - logistic((nm - 565.0) / 14.0));
                break;
            case 5:
                v = 0.05 + 1.5 * (1.0 - logistic((nm - 595.0) / 12.0));
                break;
            case 6:
                v = 0.15 + 1.4 * logistic((nm - 500.0) / 15.0);
                break;
            case 7:
                v = 0.15 + 1.4 * gauss(nm, 565.0, 45.0) + 0.2 * logistic((nm - 640.0) / 20.0);
                break;
            case 8:
                v = 0.1 + 1.3 * (1.0 - logistic((nm - 480.0) / 12.0)) + 1.3 * logistic((nm - 590.0) / 15.0);
                break;
            default:
                throw std::invalid_argument("unknown colorant code");
        }
        d[b] = v;
    }
    return d;
}

ColorPredictor::ColorPredictor(double n) : n_(n) {
    const auto paper = paperReflectance();
    for (size_t b = 0; b < 36; ++b) paperRoot_[b] = std::pow(paper[b], 1.0 / n_);
}

std::unique_ptr<ColorPredictor> ColorPredictor::create(int model, int substrate, int yuleNielsenHundredths) {
    if (model != 6) throw std::invalid_argument("unknown predictor model");
    if (substrate != 7) throw std::invalid_argument("unknown substrate");
    if (yuleNielsenHundredths < 100 || yuleNielsenHundredths > 1000)
        throw std::invalid_argument("Yule-Nielsen factor outside 1 to 10");
    return std::unique_ptr<ColorPredictor>(new ColorPredictor(yuleNielsenHundredths / 100.0));
}

void ColorPredictor::addColorant(int code, double strength) {
    if (!(strength > 0.0 && strength <= 1.0)) throw std::invalid_argument("colorant strength outside 0 to 1");
    const auto density = colorantDensity(code);
    std::array<double, 36> root{};
    for (size_t b = 0; b < 36; ++b) root[b] = std::pow(10.0, -strength * density[b] / n_);
    colorants_.push_back(root);
}

void ColorPredictor::predict(const std::vector<double>& coverage, std::vector<double>& spectrum) const {
    if (coverage.size() != colorants_.size()) throw std::invalid_argument("one value per colorant expected");
    spectrum.assign(36, 0.0);
    std::array<double, 36> root = paperRoot_;
    for (size_t i = 0; i < colorants_.size(); ++i) {
        const double a = std::isnan(coverage[i]) ? 0.0 : std::clamp(coverage[i], 0.0, 1.0);
        if (a == 0.0) continue;
        for (size_t b = 0; b < 36; ++b) root[b] *= 1.0 - a + a * colorants_[i][b];
    }
    for (size_t b = 0; b < 36; ++b) spectrum[b] = std::pow(root[b], n_);
}

}  // namespace Kolvex
