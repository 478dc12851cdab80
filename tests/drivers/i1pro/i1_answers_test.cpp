// The i1 SDK's texts as the drivers read them: version numbers, serial
// numbers beyond 32 bits, and the option bits an instrument's answers give.
#include "drivers/xrite/i1_answers.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "measure/measure.h"

namespace measure::xrite {
namespace {

TEST(I1Answers, VersionIsTheFirstNumberOfTheText) {
    double version = 0;
    ASSERT_TRUE(sdkVersionNumber("SDK 4.2.1 (build 7)", version));
    EXPECT_DOUBLE_EQ(version, 4.2);
    // The digit of a product name counts as the first number.
    ASSERT_TRUE(sdkVersionNumber("i1Pro SDK 4.2.1", version));
    EXPECT_DOUBLE_EQ(version, 1.0);
    ASSERT_TRUE(sdkVersionNumber(".75 beta", version));
    EXPECT_DOUBLE_EQ(version, 0.75);
    EXPECT_FALSE(sdkVersionNumber("no number here", version));
    EXPECT_FALSE(sdkVersionNumber("", version));
    EXPECT_FALSE(sdkVersionNumber(nullptr, version));
}

TEST(I1Answers, SerialNumberTakesLeadingDigitsAndSaturates) {
    EXPECT_EQ(serialNumberFromText("1234567"), 1234567u);
    EXPECT_EQ(serialNumberFromText("  \t89012 rev C"), 89012u);
    EXPECT_EQ(serialNumberFromText("4294967295"), 4294967295u);
    EXPECT_EQ(serialNumberFromText("4294967296"), 4294967295u);
    EXPECT_EQ(serialNumberFromText(std::string(400, '9')), 4294967295u);
    EXPECT_EQ(serialNumberFromText("SN-77"), 0u);
    EXPECT_EQ(serialNumberFromText(""), 0u);
}

// Only the exact texts count: "10" is no zebra ruler, "D" no revision A.
TEST(I1Answers, AbilityBitsFollowTheOptionTexts) {
    std::map<std::string, std::string> answers = {{"AvailableMeasurementModes", "DualReflectanceSpot"},
                                                  {"HasZebraRulerSensor", "10"},
                                                  {"HWRevision", "D"},
                                                  {"AvailableIlluminationsKey", "M1;Emissive"},
                                                  {"HasUVcutFilter", "1"}};
    auto option = [&](const char* key) { return answers[key]; };
    EXPECT_EQ(i1ProAbilityBits(option),
              static_cast<uint32_t>(opDualSpotOption | opM1Mode | opM3Emissive | opUVCutOption |
                                    opLowResolution | opSingleMeasurementOption));
    answers.clear();
    EXPECT_EQ(i1ProAbilityBits(option), static_cast<uint32_t>(opLowResolution | opSingleMeasurementOption));

    // The i1Pro3's lists take any separator; "M33" and "XM3" are no M3 head.
    answers = {{"AvailableIlluminationsKey", "M0, M1;;M2 Emissive"}, {"DeviceHeadSensorKey", ""}};
    EXPECT_EQ(i1Pro3AbilityBits(option), uint32_t(opLowResolution | opSingleMeasurementOption | opM0Mode |
                                                  opM1Mode | opM2Mode | opM3Emissive));
    answers = {{"AvailableIlluminationsKey", "M33;XM3"}, {"DeviceHeadSensorKey", "M3"}};
    EXPECT_EQ(i1Pro3AbilityBits(option),
              uint32_t(opLowResolution | opSingleMeasurementOption | opUVCutOption));
    EXPECT_FALSE(listNames("", ""));
    EXPECT_TRUE(listNames(";;M3;", "M3"));
}

}  // namespace
}  // namespace measure::xrite
