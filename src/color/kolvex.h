// The colour-space library: conversions between reflectance spectra, CIEXYZ
// and CIELAB under a viewing condition, and a colour predictor that turns
// printing device values into reflectance spectra. Drivers that receive
// spectra from their instrument and the chart reference builder use it.
//
// Every call may throw std::invalid_argument for an unknown colour space, a
// vector of the wrong size, a null viewing condition or predictor arguments
// it does not know; callers treat that as a failure of their step. All
// objects are immutable once built and may be shared between threads.
#pragma once

#include <array>
#include <memory>
#include <vector>

namespace Kolvex {

// Illuminant and observer: per-band tristimulus weights on the 36-band grid
// (380 to 730 nm, 10 nm) normalised so that a perfect white has Y = 1.
class ViewingCondition {
public:
    // D50 and the CIE 1931 2 degree observer. Owned by the library.
    static const ViewingCondition* D50();

    const std::array<std::array<double, 3>, 36>& weights() const { return weights_; }
    // XYZ of the perfect white (Y = 1).
    const std::array<double, 3>& white() const { return white_; }

private:
    ViewingCondition() = default;
    std::array<std::array<double, 3>, 36> weights_{};
    std::array<double, 3> white_{};
};

class ColorSpace {
public:
    // Reflectance factors from 380 nm in 10 nm steps, 36 values (the layout
    // of the measurement result block).
    static int Spectral10();
    // CIELAB: L*, a*, b*, relative to the condition's perfect white.
    static int Lab();
    // CIEXYZ with Y = 1 for the perfect white (callers multiply by 100).
    static int XYZ();

    // Converts `in` from space `from` into `out` (resized) in space `to`
    // under `condition`: Spectral10 to XYZ or Lab, XYZ to Lab and back.
    static void Convert(int from, const std::vector<double>& in, int to, std::vector<double>& out,
                        const ViewingCondition* condition);
};

// Predicts the reflectance spectrum of a printed patch from its colorant
// amounts. The model is a Yule-Nielsen modified spectral Neugebauer model
// whose Neugebauer primaries are the paper times the product of the inks'
// transmittances, so that the Demichel sum over all 2^n overprints reduces
// to one product per band:
//
//     R(l)^(1/n) = Rpaper(l)^(1/n) * prod_i (1 - a_i + a_i * T_i(l)^(1/n))
//
// with a_i the area coverage of colorant i (0 to 1) and T_i its double-pass
// transmittance, 10^-(s_i * D_i(l)), where D_i is the built-in optical
// density spectrum of the colorant at full strength and s_i its strength
// (1.0 full, 0.5 for light inks). A solid of one ink is Rpaper * T_i, an
// overprint the product of its inks, and unprinted paper is Rpaper.
//
// Colorant codes: 0 cyan, 1 magenta, 2 yellow, 3 black, 4 orange, 5 red,
// 6 blue, 7 violet, 8 green.
class ColorPredictor {
public:
    // The model, substrate and Yule-Nielsen factor: create(6, 7, 117) is the
    // Yule-Nielsen spectral Neugebauer model (6) on bright coated paper (7)
    // with n = 1.17 (117 hundredths). Other models and substrates throw.
    static std::unique_ptr<ColorPredictor> create(int model, int substrate, int yuleNielsenHundredths);

    // Adds the next channel's colorant (code 0 to 8, strength above 0 and at
    // most 1).
    void addColorant(int code, double strength);
    size_t colorantCount() const { return colorants_.size(); }

    // One value per colorant, area coverage 0 to 1 (values outside are
    // clamped, NaN counts as 0), into 36 reflectance factors (Spectral10).
    void predict(const std::vector<double>& coverage, std::vector<double>& spectrum) const;

    // Built-in spectra, for tests and the profile generator.
    static std::array<double, 36> paperReflectance();
    static std::array<double, 36> colorantDensity(int code);

private:
    explicit ColorPredictor(double n);
    double n_;
    std::array<double, 36> paperRoot_{};             // Rpaper^(1/n)
    std::vector<std::array<double, 36>> colorants_;  // T_i^(1/n)
};

}  // namespace Kolvex
