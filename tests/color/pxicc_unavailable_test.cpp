// A build without Little CMS: the ICC engine opens nothing, and reference
// charts are refused display colours instead of getting made-up ones.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "color/pxicc.h"
#include "color/reference_chart_data.h"
#include "support/test_environment.h"

namespace measure {
namespace {

const std::string kProfile = std::string(MEASURE_TEST_SOURCE_DIR) + "/resources/InputCMYK.icc";

TEST(IccEngineUnavailable, NoProfileNoConversionAndReleasingNothingIsHarmless) {
    EXPECT_EQ(PXICC_getInstance(kProfile.c_str()), nullptr);
    EXPECT_EQ(PXICC_getInstanceFromPredefined(kPxiccPredefinedSRGB), nullptr);
    EXPECT_EQ(PXICC_getColorSpaceConversionInstance3(nullptr, nullptr, kPxiccPerceptual), nullptr);
    EXPECT_EQ(PXICC_getNumSrcComponents(nullptr), 0);
    EXPECT_EQ(PXICC_getNumDstComponents(nullptr), 0);
    uint8_t in[4] = {}, out[3] = {};
    EXPECT_EQ(PXICC_convert(nullptr, in, out), -1);
    PXICC_releaseColorSpaceConversionInstance(nullptr);
    PXICC_releaseInstance(nullptr);
}

TEST(IccEngineUnavailable, DisplayColoursAreRefusedAndTheOutputLeftAlone) {
    std::vector<RefPatch> slots(2, RefPatch{});
    slots[1].v[0] = 100;
    std::vector<double> rgb(6, -1.0);
    test::LogCapture log;
    EXPECT_EQ(ConvertRefDataToDisplayRGB(kProfile.c_str(), slots.data(), 4, rgb.data(), 2, DeviceNInkTable{}),
              -1);
    for (double value : rgb) EXPECT_EQ(value, -1.0);
    EXPECT_TRUE(log.has("ConvertRefDataToDisplayRGB", "cannot open the profile " + kProfile)) << log.text();
}

}  // namespace
}  // namespace measure
