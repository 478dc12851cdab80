// The colour-space library: conversions and the colour predictor.
#include "color/kolvex.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>

#include "color/spectral.h"

namespace Kolvex {
namespace {

std::vector<double> toLab(const std::vector<double>& spectrum) {
    std::vector<double> lab;
    ColorSpace::Convert(ColorSpace::Spectral10(), spectrum, ColorSpace::Lab(), lab, ViewingCondition::D50());
    return lab;
}

TEST(KolvexConvert, SpectraGiveD50XYZAndLabFromTheInstrumentWeights) {
    std::vector<double> xyz;
    ColorSpace::Convert(ColorSpace::Spectral10(), std::vector<double>(36, 1.0), ColorSpace::XYZ(), xyz,
                        ViewingCondition::D50());
    ASSERT_EQ(xyz.size(), 3u);
    EXPECT_NEAR(xyz[0], 0.96448, 5e-6);
    EXPECT_NEAR(xyz[1], 1.0, 1e-12);
    EXPECT_NEAR(xyz[2], 0.82486, 5e-6);
    const auto white = toLab(std::vector<double>(36, 1.0));
    EXPECT_NEAR(white[0], 100.0, 1e-9);
    EXPECT_NEAR(white[1], 0.0, 1e-9);
    EXPECT_NEAR(white[2], 0.0, 1e-9);

    // The same XYZ as the exported conversion, scaled to Y = 1.
    std::vector<double> s(36);
    for (size_t b = 0; b < 36; ++b) s[b] = 0.05 + 0.9 * std::fabs(std::sin(0.3 * static_cast<double>(b)));
    const uint32_t header[3] = {380, 10, 36};
    double expected[3];
    ASSERT_EQ(SpectrumToXYZ(expected, header, s.data()), 1);
    ColorSpace::Convert(ColorSpace::Spectral10(), s, ColorSpace::XYZ(), xyz, ViewingCondition::D50());
    for (size_t c = 0; c < 3; ++c) EXPECT_NEAR(xyz[c] * 100.0, expected[c], 1e-9);

    // Lab and XYZ convert both ways; dark colours use the linear segment.
    for (const std::vector<double>& lab : {std::vector<double>{52.0, 30.0, -20.0}, {3.0, 1.0, -2.0}}) {
        std::vector<double> back;
        ColorSpace::Convert(ColorSpace::Lab(), lab, ColorSpace::XYZ(), xyz, ViewingCondition::D50());
        ColorSpace::Convert(ColorSpace::XYZ(), xyz, ColorSpace::Lab(), back, ViewingCondition::D50());
        for (size_t c = 0; c < 3; ++c) EXPECT_NEAR(back[c], lab[c], 1e-9);
    }
}

TEST(KolvexConvert, RefusesWhatItCannotConvert) {
    std::vector<double> out;
    const auto* d50 = ViewingCondition::D50();
    EXPECT_THROW(ColorSpace::Convert(ColorSpace::Spectral10(), std::vector<double>(35, 1.0),
                                     ColorSpace::Lab(), out, d50),
                 std::invalid_argument);
    EXPECT_THROW(ColorSpace::Convert(ColorSpace::Spectral10(), std::vector<double>(36, 1.0),
                                     ColorSpace::Lab(), out, nullptr),
                 std::invalid_argument);
    EXPECT_THROW(ColorSpace::Convert(ColorSpace::Lab(), {50, 0}, ColorSpace::XYZ(), out, d50),
                 std::invalid_argument);
    EXPECT_THROW(ColorSpace::Convert(ColorSpace::Lab(), {50, 0, 0}, ColorSpace::Spectral10(), out, d50),
                 std::invalid_argument);
    EXPECT_THROW(ColorSpace::Convert(99, {50, 0, 0}, ColorSpace::Lab(), out, d50), std::invalid_argument);
}

TEST(KolvexPredictor, OnlyTheKnownModelAndColorantsAreAccepted) {
    EXPECT_NO_THROW(ColorPredictor::create(6, 7, 117));
    EXPECT_THROW(ColorPredictor::create(5, 7, 117), std::invalid_argument);
    EXPECT_THROW(ColorPredictor::create(6, 8, 117), std::invalid_argument);
    EXPECT_THROW(ColorPredictor::create(6, 7, 50), std::invalid_argument);
    auto p = ColorPredictor::create(6, 7, 117);
    EXPECT_THROW(p->addColorant(9, 1.0), std::invalid_argument);
    EXPECT_THROW(p->addColorant(-1, 1.0), std::invalid_argument);
    EXPECT_THROW(p->addColorant(0, 0.0), std::invalid_argument);
    EXPECT_THROW(p->addColorant(0, std::numeric_limits<double>::quiet_NaN()), std::invalid_argument);
    p->addColorant(0, 1.0);
    std::vector<double> s;
    EXPECT_THROW(p->predict({0.5, 0.5}, s), std::invalid_argument);
}

// Solids are paper times the ink's transmittance, overprints multiply, and
// more ink never makes a patch lighter.
TEST(KolvexPredictor, BehavesLikeInkOnPaper) {
    auto p = ColorPredictor::create(6, 7, 117);
    for (int code = 0; code < 4; ++code) p->addColorant(code, 1.0);
    const auto paper = ColorPredictor::paperReflectance();
    std::vector<double> s, c, m;
    p->predict({0, 0, 0, 0}, s);
    for (size_t b = 0; b < 36; ++b) EXPECT_NEAR(s[b], paper[b], 1e-12);
    p->predict({1, 0, 0, 0}, c);
    const auto cyan = ColorPredictor::colorantDensity(0);
    for (size_t b = 0; b < 36; ++b) EXPECT_NEAR(c[b], paper[b] * std::pow(10.0, -cyan[b]), 1e-12);
    p->predict({0, 1, 0, 0}, m);
    p->predict({1, 1, 0, 0}, s);
    for (size_t b = 0; b < 36; ++b) EXPECT_NEAR(s[b], c[b] * m[b] / paper[b], 1e-12);

    double previous = 101.0;
    for (double a = 0.0; a <= 1.0001; a += 0.1) {
        p->predict({0, 0, 0, a}, s);
        const double L = toLab(s)[0];
        EXPECT_LT(L, previous) << a;
        previous = L;
    }
    // Out-of-range and missing amounts are clamped, not extrapolated.
    std::vector<double> clamped;
    p->predict({-1, 2, std::numeric_limits<double>::quiet_NaN(), 0}, clamped);
    p->predict({0, 1, 0, 0}, s);
    EXPECT_EQ(clamped, s);
}

TEST(KolvexPredictor, SolidsLookLikeTheirInks) {
    struct Expect {
        int code;
        double minL, maxL;
        int hueSignA, hueSignB;  // signs of a* and b* (0: either)
    };
    const Expect inks[] = {{0, 45, 70, -1, -1}, {1, 35, 60, 1, 0},  {2, 80, 95, 0, 1},
                           {3, 0, 30, 0, 0},    {4, 50, 75, 1, 1},  {5, 30, 60, 1, 1},
                           {6, 15, 50, 0, -1},  {7, 20, 50, 1, -1}, {8, 50, 80, -1, 1}};
    for (const Expect& e : inks) {
        auto p = ColorPredictor::create(6, 7, 117);
        p->addColorant(e.code, 1.0);
        std::vector<double> s;
        p->predict({1.0}, s);
        const auto lab = toLab(s);
        SCOPED_TRACE(e.code);
        EXPECT_GT(lab[0], e.minL);
        EXPECT_LT(lab[0], e.maxL);
        if (e.hueSignA != 0) {
            EXPECT_GT(lab[1] * e.hueSignA, 10.0);
        }
        if (e.hueSignB != 0) {
            EXPECT_GT(lab[2] * e.hueSignB, 10.0);
        }
        // A light ink of the same colour is lighter.
        auto light = ColorPredictor::create(6, 7, 117);
        light->addColorant(e.code, 0.5);
        light->predict({1.0}, s);
        EXPECT_GT(toLab(s)[0], lab[0]);
    }
}

}  // namespace
}  // namespace Kolvex
