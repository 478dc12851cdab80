// The own segmentation of a strip scan on synthetic sample sequences: paper,
// patches with a blended sample at each edge, paper again.
#include "drivers/xrite/i1pro/strip_segmentation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <tuple>
#include <vector>

namespace measure::i1pro {
namespace {

constexpr Tristimulus kPaper{84.0, 87.0, 74.0};

// Patch k of a test strip: dark and light patches alternate, as on a chart
// where every neighbour is a clear step.
Tristimulus patchColour(int k) {
    const double y = k % 2 == 0 ? 8.0 + 1.5 * (k % 5) : 35.0 + 4.0 * (k % 4);
    return {y * (0.8 + 0.05 * (k % 3)), y, y * (1.1 - 0.1 * (k % 4))};
}

struct StripShape {
    int patches = 8;
    int samplesPerPatch = 20;
    int leadingPaper = 30;
    int trailingPaper = 30;
    int widePatch = -1;  // drawn three times as wide
    double noise = 0.0;  // relative
    Tristimulus trailingPaperColour = kPaper;
};

std::vector<Tristimulus> scan(const StripShape& shape) {
    std::vector<std::pair<Tristimulus, int>> regions;
    if (shape.leadingPaper > 0) regions.emplace_back(kPaper, shape.leadingPaper);
    for (int k = 0; k < shape.patches; ++k)
        regions.emplace_back(patchColour(k), shape.samplesPerPatch * (k == shape.widePatch ? 3 : 1));
    if (shape.trailingPaper > 0) regions.emplace_back(shape.trailingPaperColour, shape.trailingPaper);

    std::minstd_rand random(7);
    std::uniform_real_distribution<double> noise(-1.0, 1.0);
    auto noisy = [&](Tristimulus v) {
        const double gain = 1.0 + shape.noise * noise(random);
        for (double& c : v) c *= gain;
        return v;
    };
    std::vector<Tristimulus> out;
    for (size_t r = 0; r < regions.size(); ++r) {
        if (r > 0) {  // the aperture straddling the edge, mostly on the old patch
            Tristimulus blend{};
            for (int c = 0; c < 3; ++c)
                blend[c] = 0.75 * regions[r - 1].first[c] + 0.25 * regions[r].first[c];
            out.push_back(noisy(blend));
        }
        for (int i = 0; i < regions[r].second; ++i) out.push_back(noisy(regions[r].first));
    }
    return out;
}

void expectPatchesInOrder(const Segmentation& s, int patches) {
    ASSERT_EQ(s.patches.size(), size_t(patches));
    for (int k = 0; k < patches; ++k)
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(s.patches[k].xyz[c], patchColour(k)[c], 0.02 * patchColour(k)[c]);
}

TEST(StripSegmentation, CleanOrNoisyStripYieldsEveryPatchInScanOrder) {
    const Segmentation s = segmentTristimulus(scan({}), 8);
    EXPECT_TRUE(s.found);
    EXPECT_EQ(s.count, 8);
    expectPatchesInOrder(s, 8);
    EXPECT_LT(s.substrateDifference, 0.01);
    // The run lengths are the patch widths less the samples the walk never
    // joins to a run (the first after each edge and the blended one).
    for (const auto& p : s.patches) EXPECT_GE(p.samples, 17);

    StripShape noisy;
    noisy.noise = 0.012;  // about 1 to 2 CIE76 between neighbouring samples
    const Segmentation n = segmentTristimulus(scan(noisy), 8);
    EXPECT_EQ(n.count, 8);
    expectPatchesInOrder(n, 8);
}

// A first patch wider than the others, trailing paper missing or shorter
// than half a patch, an expected count that is not the strip's, and
// degenerate inputs all give count 0; a wide patch further along does not.
TEST(StripSegmentation, StripsTheSearchDoesNotFitGiveCountZero) {
    StripShape wideFirst, wideFifth, noTrailingPaper, shortTrailingPaper;
    wideFirst.widePatch = 0;
    wideFifth.widePatch = 4;
    noTrailingPaper.trailingPaper = 0;
    shortTrailingPaper.trailingPaper = 6;
    const std::vector<std::tuple<std::vector<Tristimulus>, int, int>> cases = {
        {scan(wideFirst), 8, 0},
        {scan(wideFifth), 8, 8},
        {scan(noTrailingPaper), 8, 0},
        {scan(shortTrailingPaper), 8, 0},
        {scan({}), 7, 0},
        {scan({}), 9, 0},
        {scan({}), 0, 0},
        {scan({}), -3, 0},
        {{}, 8, 0},
        {std::vector<Tristimulus>(500, kPaper), 4, 0},        // uniform paper: no edges at all
        {std::vector<Tristimulus>(500, Tristimulus{}), 1, 0}  // black samples have no colour
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        const auto& [samples, expected, count] = cases[i];
        EXPECT_EQ(segmentTristimulus(samples, expected).count, count) << "case " << i;
    }
    EXPECT_FALSE(segmentTristimulus(scan(wideFirst), 8).found);
    EXPECT_FALSE(segmentTristimulus(scan(shortTrailingPaper), 8).found);
}

TEST(StripSegmentation, DifferentPaperAfterTheStripGivesCountZeroButThePatches) {
    StripShape shape;
    shape.trailingPaperColour = {60.0, 62.0, 52.0};  // far more than 9.0 CIE76 darker
    const Segmentation s = segmentTristimulus(scan(shape), 8);
    EXPECT_TRUE(s.found);
    EXPECT_EQ(s.count, 0);
    EXPECT_GE(s.substrateDifference, kSubstrateTolerance);
    expectPatchesInOrder(s, 8);
}

TEST(StripSegmentation, SpectraAreAveragedAsSpectra) {
    // Flat greys: paper 0.85, patches alternating 0.08 and 0.45.
    auto flat = [](double r) {
        Spectrum36 s;
        s.fill(r);
        return s;
    };
    std::vector<Spectrum36> samples;
    for (int i = 0; i < 30; ++i) samples.push_back(flat(0.85));
    for (int k = 0; k < 5; ++k) {
        samples.push_back(flat(0.75 * samples.back()[0] + 0.25 * (k % 2 == 0 ? 0.08 : 0.45)));
        for (int i = 0; i < 20; ++i) samples.push_back(flat(k % 2 == 0 ? 0.08 : 0.45));
    }
    samples.push_back(flat(0.75 * 0.08 + 0.25 * 0.85));
    for (int i = 0; i < 30; ++i) samples.push_back(flat(0.85));

    const Segmentation s = segmentSpectra(samples, 5);
    ASSERT_EQ(s.count, 5);
    for (int k = 0; k < 5; ++k) {
        EXPECT_NEAR(s.patches[k].spectrum[10], k % 2 == 0 ? 0.08 : 0.45, 1e-9);
        // The tristimulus values are those of the mean spectrum: Y is 100 x reflectance.
        EXPECT_NEAR(s.patches[k].xyz[1], 100.0 * s.patches[k].spectrum[10], 1e-6);
    }
}

}  // namespace
}  // namespace measure::i1pro
