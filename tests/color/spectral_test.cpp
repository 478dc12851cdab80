// Spectra to XYZ, densities and Lab on the 36-band grid.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <thread>
#include <vector>

#include "color/spectral.h"
#include "support/test_environment.h"

namespace measure {
namespace {

constexpr uint32_t kGrid[3] = {380, 10, 36};

std::vector<double> flat(double value, size_t n = 36) {
    return std::vector<double>(n, value);
}

// The weights' published sums show through the conversion: a perfect white
// gives the D50 white, whose Y the divisor makes exactly 100.
TEST(SpectrumToXYZ, PerfectWhiteIsTheD50White) {
    const auto white = flat(1.0);
    double xyz[3];
    ASSERT_EQ(SpectrumToXYZ(xyz, kGrid, white.data()), 1);
    EXPECT_NEAR(xyz[0], 96.448, 5e-4);
    EXPECT_NEAR(xyz[1], 100.0, 1e-9);
    EXPECT_NEAR(xyz[2], 82.486, 5e-4);
    EXPECT_NEAR(tristimulusDivisor(), 99.942, 1e-9);
    // V(lambda) peaks at 555 nm; at 10 nm its sum is the CIE y-bar sum / 10.
    double sv = 0;
    for (double v : photopicEfficiency()) sv += v;
    EXPECT_NEAR(sv, 10.6856, 1e-3);
}

TEST(SpectrumToXYZ, SpectraStartingOffTheGridAreShiftedNotInterpolated) {
    std::vector<double> in(36);
    for (size_t i = 0; i < in.size(); ++i) in[i] = static_cast<double>(i + 1);

    const uint32_t at400[3] = {400, 10, 36};
    const Spectrum36 a = resampleToGrid(at400, in.data());
    EXPECT_EQ(a[0], 0.0);
    EXPECT_EQ(a[1], 0.0);
    for (size_t b = 2; b < 36; ++b) EXPECT_EQ(a[b], in[b - 2]) << b;

    const uint32_t at360[3] = {360, 10, 36};
    const Spectrum36 c = resampleToGrid(at360, in.data());
    for (size_t b = 0; b < 34; ++b) EXPECT_EQ(c[b], in[b + 2]) << b;
    EXPECT_EQ(c[34], 0.0);
    EXPECT_EQ(c[35], 0.0);

    // Through the export: one value of 1 at 400 nm gives the 400 nm weights.
    std::vector<double> pulse(36, 0.0);
    pulse[0] = 1.0;
    double xyz[3];
    ASSERT_EQ(SpectrumToXYZ(xyz, at400, pulse.data()), 1);
    EXPECT_NEAR(xyz[0], 100.0 * 0.067 / 99.942, 1e-12);
    EXPECT_NEAR(xyz[1], 100.0 * 0.002 / 99.942, 1e-12);
    EXPECT_NEAR(xyz[2], 100.0 * 0.319 / 99.942, 1e-12);

    // Short and far-off spectra fill what they reach and nothing else.
    const uint32_t short31[3] = {400, 10, 31};
    const Spectrum36 d = resampleToGrid(short31, in.data());
    EXPECT_EQ(d[32], 31.0);
    EXPECT_EQ(d[33], 0.0);
    const uint32_t beyond[3] = {740, 10, 36};
    for (double v : resampleToGrid(beyond, in.data())) EXPECT_EQ(v, 0.0);
    const uint32_t before[3] = {0, 10, 30};
    for (double v : resampleToGrid(before, in.data())) EXPECT_EQ(v, 0.0);
}

TEST(SpectralConversion, StepOtherThanTenFailsAndWritesNothing) {
    test::LogCapture log;
    const uint32_t step5[3] = {380, 5, 36};
    const auto s = flat(0.5);
    double xyz[3] = {-7, -7, -7};
    double d[4] = {-7, -7, -7, -7};
    EXPECT_EQ(SpectrumToXYZ(xyz, step5, s.data()), 0);
    EXPECT_EQ(SpectrumToDensity(d, step5, s.data(), 0), 0);
    for (double v : xyz) EXPECT_EQ(v, -7);
    for (double v : d) EXPECT_EQ(v, -7);
    const std::string text = log.text();
    EXPECT_NE(text.find("SpectrumToXYZ: illegal nm_step"), std::string::npos) << text;
    EXPECT_NE(text.find("SpectrumToDensity: illegal nm_step"), std::string::npos) << text;
}

TEST(SpectrumToDensity, OnlyTheFourDensityModesAreAccepted) {
    test::LogCapture log;
    const auto s = flat(0.5);
    double d[4] = {-7, -7, -7, -7};
    for (uint32_t mode : {2u, 3u, 4u, 7u, 16u})
        EXPECT_EQ(SpectrumToDensity(d, kGrid, s.data(), mode), 0) << mode;
    for (double v : d) EXPECT_EQ(v, -7);
    EXPECT_NE(log.text().find("SpectrumToDensity: illegal mode"), std::string::npos);
    for (uint32_t mode : {0u, 1u, 5u, 6u}) EXPECT_EQ(SpectrumToDensity(d, kGrid, s.data(), mode), 1) << mode;
}

TEST(SpectrumToDensity, PerfectWhiteIsZeroAndAFlatGreyIsItsOwnDensity) {
    const auto white = flat(1.0);
    const auto grey = flat(0.5);
    for (uint32_t mode : {0u, 1u, 5u, 6u}) {
        double d[4];
        ASSERT_EQ(SpectrumToDensity(d, kGrid, white.data(), mode), 1);
        for (double v : d) EXPECT_NEAR(v, 0.0, 1e-12) << mode;
        ASSERT_EQ(SpectrumToDensity(d, kGrid, grey.data(), mode), 1);
        for (double v : d) EXPECT_NEAR(v, -std::log10(0.5), 1e-12) << mode;
    }
}

// Expected values summed by hand from the printed tables.
TEST(SpectrumToDensity, FilterDensitiesMatchHandComputedSums) {
    // DIN narrow blue filter: factors 0.1 0.5 0.8 1 0.8 0.5 0.1 at 400..460 nm
    // times the DIN weights 15 18 21 25 29 33 38: weights 1.5 9 16.8 25 23.2
    // 16.5 3.8, sum 95.8. Reflectance 0.2 at 430 and 440 nm, 1 elsewhere.
    auto s = flat(1.0);
    s[5] = s[6] = 0.2;
    double d[4];
    ASSERT_EQ(SpectrumToDensity(d, kGrid, s.data(), 6), 1);
    EXPECT_NEAR(d[2], -std::log10((95.8 - 0.8 * 25 - 0.8 * 23.2) / 95.8), 1e-12);
    EXPECT_NEAR(d[0], 0.0, 1e-12);  // nothing changed under the red filter
    EXPECT_NEAR(d[1], 0.0, 1e-12);

    // Status E red filter: weights 10^v at 570..710 nm (v = 1.778 2.653 4.477
    // 5 4.929 4.74 4.398 4 3.699 3.176 2.699 2.477 2.176 1.699 1), weight 1 in
    // the 21 other bands. Reflectance 0.1 from 570 nm on.
    const double e0[] = {1.778, 2.653, 4.477, 5,     4.929, 4.74,  4.398, 4,
                         3.699, 3.176, 2.699, 2.477, 2.176, 1.699, 1};
    double red = 0;
    for (double v : e0) red += std::pow(10.0, v);
    const double total = red + 21.0;
    const double seen = 19.0 + 0.1 * (red + 2.0);  // 380..560 at 1, 570..730 at 0.1
    s = flat(1.0);
    for (size_t i = 19; i < 36; ++i) s[i] = 0.1;
    ASSERT_EQ(SpectrumToDensity(d, kGrid, s.data(), 0), 1);
    EXPECT_NEAR(d[0], -std::log10(seen / total), 1e-12);

    // Status T differs from E only in the blue filter.
    double t[4];
    ASSERT_EQ(SpectrumToDensity(t, kGrid, s.data(), 1), 1);
    EXPECT_DOUBLE_EQ(t[0], d[0]);
    EXPECT_DOUBLE_EQ(t[1], d[1]);

    // Visual: light only at 550 and 560 nm, V = 0.99495 and 0.995.
    double v = 0;
    for (double p : photopicEfficiency()) v += p;
    s = flat(0.0);
    s[17] = s[18] = 1.0;
    ASSERT_EQ(SpectrumToDensity(d, kGrid, s.data(), 5), 1);
    EXPECT_NEAR(d[3], -std::log10((0.99495 + 0.995) / v), 1e-12);
}

TEST(SpectrumToDensity, NoLightUnderAFilterIsInfiniteNeverNaN) {
    auto s = flat(0.0);
    double d[4];
    ASSERT_EQ(SpectrumToDensity(d, kGrid, s.data(), 5), 1);
    for (double v : d) EXPECT_EQ(v, std::numeric_limits<double>::infinity());
    s[0] = -0.01;  // a noisy black reading
    ASSERT_EQ(SpectrumToDensity(d, kGrid, s.data(), 0), 1);
    for (double v : d) EXPECT_FALSE(std::isnan(v));
}

TEST(SpectrumToDensWORDS, PacksDensitiesIntoTheSlotOrLeavesItAlone) {
    MEASURESTRUCT record{};
    const auto grey = flat(0.1);
    ASSERT_TRUE(SpectrumToDensWORDS(&record, 3, kGrid, grey.data(), 0));
    for (int c = 0; c < 4; ++c) EXPECT_NEAR(record.Density[3][c], 1000, 1) << c;
    const auto black = flat(0.0);
    ASSERT_TRUE(SpectrumToDensWORDS(&record, 4, kGrid, black.data(), 0));
    EXPECT_EQ(record.Density[4][0], 65535);
    EXPECT_FALSE(SpectrumToDensWORDS(&record, 5, kGrid, grey.data(), 3));
    const uint32_t step5[3] = {380, 5, 36};
    EXPECT_FALSE(SpectrumToDensWORDS(&record, 5, step5, grey.data(), 0));
    for (int c = 0; c < 4; ++c) EXPECT_EQ(record.Density[5][c], 0);
}

TEST(SpectralConversion, NullArgumentsFailQuietly) {
    const auto s = flat(1.0);
    double out[4];
    EXPECT_EQ(SpectrumToXYZ(nullptr, kGrid, s.data()), 0);
    EXPECT_EQ(SpectrumToXYZ(out, nullptr, s.data()), 0);
    EXPECT_EQ(SpectrumToXYZ(out, kGrid, nullptr), 0);
    EXPECT_EQ(SpectrumToDensity(nullptr, kGrid, s.data(), 0), 0);
    EXPECT_EQ(SpectrumToDensity(out, kGrid, nullptr, 0), 0);
}

TEST(SpectralConversion, ThreadsConvertingTogetherAgree) {
    const auto s = flat(0.3);
    std::vector<std::thread> threads;
    std::vector<double> results(8 * 7);
    for (size_t t = 0; t < 8; ++t)
        threads.emplace_back([&, t] {
            double* r = &results[t * 7];
            SpectrumToXYZ(r, kGrid, s.data());
            SpectrumToDensity(r + 3, kGrid, s.data(), static_cast<uint32_t>(t % 2));
        });
    for (auto& t : threads) t.join();
    for (size_t t = 1; t < 8; ++t)
        for (size_t i = 0; i < 7; ++i) EXPECT_DOUBLE_EQ(results[t * 7 + i], results[i]);
}

TEST(XYZToLab, UsesTheInstrumentWhiteAndTheLinearSegment) {
    double L, a, b;
    XYZToLab(96.4, 100.0, 82.49, &L, &a, &b);
    EXPECT_NEAR(L, 100.0, 1e-9);
    EXPECT_NEAR(a, 0.0, 1e-9);
    EXPECT_NEAR(b, 0.0, 1e-9);
    // Y = 0.5: t = 0.005 is below 0.008856, so L* = 116 * 7.787 * 0.005.
    XYZToLab(0.482, 0.5, 0.41245, &L, &a, &b);
    EXPECT_NEAR(L, 116.0 * 7.787 * 0.005, 1e-9);
    EXPECT_NEAR(a, 0.0, 1e-9);
    EXPECT_NEAR(b, 0.0, 1e-9);
    // Mid grey: Y 18.42 is L* 50 (to the precision of the 0.3333333 exponent).
    XYZToLab(96.4 * 0.1842, 18.42, 82.49 * 0.1842, &L, &a, &b);
    EXPECT_NEAR(L, 50.0, 0.01);
    // A reddish colour has a positive a*.
    XYZToLab(40, 30, 25, &L, &a, &b);
    EXPECT_GT(a, 20.0);
}

TEST(DeltaE76, IsTheEuclideanDistance) {
    EXPECT_DOUBLE_EQ(DeltaE76(50, 0, 0, 53, 4, 0), 5.0);
    EXPECT_DOUBLE_EQ(DeltaE76(10, 20, 30, 10, 20, 30), 0.0);
    EXPECT_DOUBLE_EQ(DeltaE76(0, 0, 0, 2, 3, 6), 7.0);
}

}  // namespace
}  // namespace measure
