// Display colours of reference chart data through the ICC engine: the
// shipped CMYK profile opened with Little CMS and linked to screen sRGB.
#include <gtest/gtest.h>
#include <lcms2.h>

#include <cmath>
#include <string>
#include <vector>

#include "color/kolvex.h"
#include "color/pxicc.h"
#include "color/reference_chart_data.h"

namespace measure {
namespace {

const std::string kProfile = std::string(MEASURE_TEST_SOURCE_DIR) + "/resources/InputCMYK.icc";

TEST(IccEngine, OpensProfilesAndRefusesWhatItCannotLink) {
    EXPECT_EQ(PXICC_getInstanceFromPredefined(1105), nullptr);
    EXPECT_EQ(PXICC_getInstance("/nonexistent.icc"), nullptr);
    EXPECT_EQ(PXICC_getInstance(nullptr), nullptr);
    PXICC_Profile* cmyk = PXICC_getInstance(kProfile.c_str());
    PXICC_Profile* srgb = PXICC_getInstanceFromPredefined(kPxiccPredefinedSRGB);
    ASSERT_NE(cmyk, nullptr);
    ASSERT_NE(srgb, nullptr);
    PXICC_Conversion* conversion =
        PXICC_getColorSpaceConversionInstance3(cmyk, srgb, kPxiccRelativeColorimetric);
    ASSERT_NE(conversion, nullptr);
    EXPECT_EQ(PXICC_getNumSrcComponents(conversion), 4);
    EXPECT_EQ(PXICC_getNumDstComponents(conversion), 3);
    const uint8_t paper[4] = {0, 0, 0, 0};
    uint8_t rgb[3];
    ASSERT_EQ(PXICC_convert(conversion, paper, rgb), 0);
    for (uint8_t c : rgb) EXPECT_GE(c, 250);
    EXPECT_EQ(PXICC_convert(conversion, nullptr, rgb), -1);
    EXPECT_EQ(PXICC_getColorSpaceConversionInstance3(cmyk, nullptr, 0), nullptr);
    EXPECT_EQ(PXICC_getColorSpaceConversionInstance3(cmyk, srgb, 7), nullptr);
    PXICC_releaseColorSpaceConversionInstance(conversion);
    PXICC_releaseInstance(cmyk);
    PXICC_releaseInstance(srgb);
}

// The shipped profile is the predictor's: its Lab for a CMYK value is the
// predicted Lab relative to the paper, within the error of its grid.
TEST(IccEngine, TheShippedProfileFollowsThePredictor) {
    cmsHPROFILE profile = cmsOpenProfileFromFile(kProfile.c_str(), "r");
    ASSERT_NE(profile, nullptr);
    cmsHPROFILE lab = cmsCreateLab4Profile(nullptr);
    cmsHTRANSFORM toLab =
        cmsCreateTransform(profile, TYPE_CMYK_DBL, lab, TYPE_Lab_DBL, INTENT_RELATIVE_COLORIMETRIC, 0);
    ASSERT_NE(toLab, nullptr);
    auto predictor = Kolvex::ColorPredictor::create(6, 7, 117);
    for (int c = 0; c < 4; ++c) predictor->addColorant(c, 1.0);
    auto predictedXYZ = [&](const std::vector<double>& cmyk) {
        std::vector<double> s, xyz;
        predictor->predict(cmyk, s);
        Kolvex::ColorSpace::Convert(Kolvex::ColorSpace::Spectral10(), s, Kolvex::ColorSpace::XYZ(), xyz,
                                    Kolvex::ViewingCondition::D50());
        return xyz;
    };
    const std::vector<double> paper = predictedXYZ({0, 0, 0, 0});
    for (const std::vector<double>& cmyk : std::vector<std::vector<double>>{
             {0, 0, 0, 0}, {1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}, {0.35, 0.6, 0.15, 0.05}}) {
        const std::vector<double> xyz = predictedXYZ(cmyk);
        const cmsCIEXYZ* d50 = cmsD50_XYZ();
        const cmsCIEXYZ relative = {xyz[0] / paper[0] * d50->X, xyz[1] / paper[1] * d50->Y,
                                    xyz[2] / paper[2] * d50->Z};
        cmsCIELab expected, actual;
        cmsXYZ2Lab(d50, &expected, &relative);
        const double in[4] = {cmyk[0] * 100, cmyk[1] * 100, cmyk[2] * 100, cmyk[3] * 100};
        cmsDoTransform(toLab, in, &actual, 1);
        EXPECT_LT(cmsDeltaE(&expected, &actual), 2.0)
            << cmyk[0] << " " << cmyk[1] << " " << cmyk[2] << " " << cmyk[3];
    }
    cmsDeleteTransform(toLab);
    cmsCloseProfile(lab);
    cmsCloseProfile(profile);
}

TEST(DisplayColours, ProcessAndExtraInksMixIntoScreenRgb) {
    DeviceNInkTable inks;
    inks.cmyk[0] = {0, 60, 100, 0};  // channel 5: orange
    std::vector<RefPatch> slots(6, RefPatch{});
    slots[1].v[3] = 100;  // black
    slots[2].v[0] = 100;  // cyan
    slots[3].v[4] = 100;  // orange alone
    slots[4].v[5] = 100;  // channel 6: no DeviceN description, ignored
    slots[5].v[0] = 50;   // cyan and orange together
    slots[5].v[4] = 50;
    std::vector<double> rgb(6 * 3, -1.0);
    ASSERT_EQ(ConvertRefDataToDisplayRGB(kProfile.c_str(), slots.data(), 6, rgb.data(), 6, inks), 0);
    auto at = [&](int p, int c) { return rgb[static_cast<size_t>(p * 3 + c)]; };
    for (int c = 0; c < 3; ++c) EXPECT_GE(at(0, c), 250.0);
    for (int c = 0; c < 3; ++c) EXPECT_LT(at(1, c), 70.0);
    EXPECT_LT(at(2, 0), 80.0);
    EXPECT_GT(at(2, 2), 180.0);
    EXPECT_GT(at(3, 0), at(3, 2) + 80.0);
    for (int c = 0; c < 3; ++c) EXPECT_EQ(at(4, c), at(0, c));
    for (int p = 0; p < 6; ++p)
        for (int c = 0; c < 3; ++c) {
            EXPECT_GE(at(p, c), 0.0);
            EXPECT_LE(at(p, c), 255.0);
        }
    // One process ink beside one extra ink of about the same amount: the
    // extra ink is laid over at full weight, so the mix is darker than cyan
    // alone at 50 %.
    std::vector<RefPatch> half(1, RefPatch{});
    half[0].v[0] = 50;
    std::vector<double> cyanOnly(3);
    ASSERT_EQ(ConvertRefDataToDisplayRGB(kProfile.c_str(), half.data(), 6, cyanOnly.data(), 1, inks), 0);
    EXPECT_LT(at(5, 1), cyanOnly[1]);

    EXPECT_EQ(ConvertRefDataToDisplayRGB("/nonexistent.icc", slots.data(), 6, rgb.data(), 6, inks), -1);
    EXPECT_EQ(ConvertRefDataToDisplayRGB(kProfile.c_str(), nullptr, 6, rgb.data(), 6, inks), -1);
}

// A companion file may hold "nan" for a value: that ink is not printed, as
// if its amount were 0.
TEST(DisplayColours, NanAmountsAreNoInk) {
    DeviceNInkTable inks;
    inks.cmyk[0] = {0, 60, 100, 0};
    std::vector<RefPatch> slots(2, RefPatch{});
    slots[0].v[0] = std::nan("");
    slots[0].v[2] = 40;
    slots[1].v[2] = 40;
    slots[1].v[4] = std::nan("");
    std::vector<double> withNan(6), plain(3);
    ASSERT_EQ(ConvertRefDataToDisplayRGB(kProfile.c_str(), slots.data(), 5, withNan.data(), 2, inks), 0);
    std::vector<RefPatch> yellow(1, RefPatch{});
    yellow[0].v[2] = 40;
    ASSERT_EQ(ConvertRefDataToDisplayRGB(kProfile.c_str(), yellow.data(), 5, plain.data(), 1, inks), 0);
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(withNan[static_cast<size_t>(c)], plain[static_cast<size_t>(c)]);
        EXPECT_EQ(withNan[static_cast<size_t>(3 + c)], plain[static_cast<size_t>(c)]);
    }
}

}  // namespace
}  // namespace measure
