// Chart files through the chart reader/writer, and predicted reference
// colours for the patches of a chart.
#include "color/chart_references.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "color/chart_file.h"
#include "support/test_environment.h"

namespace measure {
namespace {

class ChartFiles : public ::testing::Test {
protected:
    std::string write(const std::string& name, const std::string& text) {
        const std::string path = dir_.file(name);
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    // Builds the references of a chart text; the block is freed afterwards.
    int build(const std::string& text, ChartReferences& block) {
        return BuildChartReferences(write("chart.txt", text).c_str(), &block);
    }

    test::TempDir dir_;
};

std::string chart(const std::string& header, const std::string& fields,
                  const std::vector<std::string>& rows) {
    std::string text = header + "NUMBER_OF_SETS " + std::to_string(rows.size()) + "\nBEGIN_DATA_FORMAT\n" +
                       fields + "\nEND_DATA_FORMAT\nBEGIN_DATA\n";
    for (const auto& row : rows) text += row + "\n";
    return text + "END_DATA\n";
}

const double* labOf(const ChartReferences& block, int patch) {
    return block.lab + 3 * patch;
}

TEST(ChartReferenceRules, RgbPatchesBecomeCmykPercent) {
    double cmyk[4];
    rgbToCmykPercent(128, 128, 128, cmyk);
    EXPECT_EQ(cmyk[0], 0.0);
    EXPECT_EQ(cmyk[1], 0.0);
    EXPECT_EQ(cmyk[2], 0.0);
    EXPECT_DOUBLE_EQ(cmyk[3], 49.8);
    rgbToCmykPercent(255, 0, 0, cmyk);
    EXPECT_DOUBLE_EQ(cmyk[0], 0.0);
    EXPECT_DOUBLE_EQ(cmyk[1], 100.0);
    EXPECT_DOUBLE_EQ(cmyk[2], 100.0);
    EXPECT_DOUBLE_EQ(cmyk[3], 0.0);
    rgbToCmykPercent(127.6, 128.4, 300, cmyk);  // rounded to 128, 128, clamped to 255
    EXPECT_DOUBLE_EQ(cmyk[0], 49.8);
    EXPECT_DOUBLE_EQ(cmyk[1], 49.8);
    EXPECT_DOUBLE_EQ(cmyk[2], 0.0);
    rgbToCmykPercent(10, 200, 77, cmyk);
    EXPECT_DOUBLE_EQ(cmyk[0], 96.08);  // 245 / 2.55 = 96.078...
    EXPECT_DOUBLE_EQ(cmyk[1], 21.57);
    EXPECT_DOUBLE_EQ(cmyk[2], 69.8);
}

TEST(ChartReferenceRules, ChannelNamesChooseColorantAndStrength) {
    struct Case {
        const char* name;
        int code;
        double strength;
    };
    const Case cases[] = {{"Light#20Grey", 3, 0.5}, {"Orange", 4, 1.0},     {"Red Orange", 5, 1.0},
                          {"Fired ORANGE", 5, 1.0}, {"Light Cyan", 0, 0.5}, {"Magenta", 1, 1.0},
                          {"Yellow", 2, 1.0},       {"Black", 3, 1.0},      {"Green", 8, 1.0},
                          {"Reflex Blue", 6, 1.0},  {"Violet", 7, 1.0},     {"Pink", 1, 1.0},
                          {"Gray", 3, 0.5},         {"Spot 7", 6, 1.0}};
    for (const Case& c : cases) {
        int code = -1;
        double strength = 0;
        ASSERT_TRUE(colorantForChannel(c.name, code, strength)) << c.name;
        EXPECT_EQ(code, c.code) << c.name;
        EXPECT_EQ(strength, c.strength) << c.name;
    }
    int code;
    double strength;
    EXPECT_FALSE(colorantForChannel("", code, strength));
}

TEST_F(ChartFiles, CmykChartRoundTripsToPlausibleLab) {
    ChartReferences block;
    ASSERT_EQ(build(chart("", "SAMPLE_ID CMYK_C CMYK_M CMYK_Y CMYK_K",
                          {"1 0 0 0 0", "2 0 0 0 100", "3 100 0 0 0", "4 0 100 100 0", "5 40 40 40 0"}),
                    block),
              0);
    EXPECT_EQ(block.patchCount, 5);
    EXPECT_EQ(block.colorKind, 4);
    EXPECT_GT(labOf(block, 0)[0], 90.0);   // paper white
    EXPECT_LT(labOf(block, 1)[0], 30.0);   // solid black
    EXPECT_LT(labOf(block, 2)[1], -20.0);  // cyan: green-blue
    EXPECT_LT(labOf(block, 2)[2], -20.0);
    EXPECT_GT(labOf(block, 3)[1], 40.0);  // red overprint
    EXPECT_GT(labOf(block, 3)[2], 20.0);
    EXPECT_NEAR(labOf(block, 4)[1], 0.0, 8.0);  // a three-colour grey stays near neutral
    EXPECT_EQ(block.deviceValues[1 * kReferenceChannels + 3], 100.0);
    for (int p = 0; p < 5; ++p) {
        EXPECT_EQ(block.spectra[p].startNm, 380);
        EXPECT_EQ(block.spectra[p].stepNm, 10);
        EXPECT_EQ(block.spectra[p].count, 36);
        for (int c = 0; c < 3; ++c) EXPECT_EQ(block.second[3 * p + c], 0.0);
    }
    EXPECT_LT(block.spectra[2].values[30], 0.1);  // cyan absorbs the reds
    EXPECT_GT(block.spectra[2].values[8], 0.4);   // and passes the blues
    FreeChartReferences(&block);
    EXPECT_EQ(block.lab, nullptr);
    EXPECT_EQ(block.deviceValues, nullptr);
}

TEST_F(ChartFiles, RgbChartsArePredictedThroughTheirCmykEquivalent) {
    ChartReferences rgb, cmyk;
    ASSERT_EQ(build(chart("", "SAMPLE_ID RGB_R RGB_G RGB_B", {"1 128 128 128", "2 255 0 0"}), rgb), 0);
    ASSERT_EQ(
        build(chart("", "SAMPLE_ID CMYK_C CMYK_M CMYK_Y CMYK_K", {"1 0 0 0 49.8", "2 0 100 100 0"}), cmyk),
        0);
    EXPECT_EQ(rgb.deviceValues[3], 49.8);
    for (int i = 0; i < 6; ++i) EXPECT_DOUBLE_EQ(rgb.lab[i], cmyk.lab[i]) << i;
    FreeChartReferences(&rgb);
    FreeChartReferences(&cmyk);
}

TEST_F(ChartFiles, NColourChannelsAreNamedByDeviceNProcessIdsOrFieldNames) {
    const std::string fields = "SAMPLE_ID 6CLR_1 6CLR_2 6CLR_3 6CLR_4 6CLR_5 6CLR_6";
    const std::vector<std::string> rows = {"1 0 0 0 0 0 0", "2 0 0 0 0 100 0", "3 0 0 0 0 0 100"};
    const std::string deviceN =
        "DEVICEN_CMYK_CLR_1 \"100 0 0 0 Cyan\"\nDEVICEN_CMYK_CLR_2 \"0 100 0 0 Magenta\"\n"
        "DEVICEN_CMYK_CLR_3 \"0 0 100 0 Yellow\"\nDEVICEN_CMYK_CLR_4 \"0 0 0 100 Black\"\n"
        "DEVICEN_CMYK_CLR_5 \"0 60 100 0 Orange\"\nDEVICEN_CMYK_CLR_6 \"0 0 0 0 Opaque#20White\"\n";
    ChartReferences block;
    ASSERT_EQ(build(chart(deviceN, fields, rows), block), 0);
    EXPECT_GT(labOf(block, 1)[1], 20.0);  // orange: red-yellow
    EXPECT_GT(labOf(block, 1)[2], 20.0);
    for (int c = 0; c < 3; ++c)
        EXPECT_DOUBLE_EQ(labOf(block, 2)[c], labOf(block, 0)[c]);  // white adds nothing
    EXPECT_EQ(block.deviceValues[2 * kReferenceChannels + 5], 100.0);
    FreeChartReferences(&block);

    // Process colour IDs: "PC 5 Process Green" names channel 5 green.
    const std::string ids =
        "PROCESSCOLOR_ID_5 \"PC 5 Process Green\"\nPROCESSCOLOR_ID_6 \"PC 6 Light Grey\"\n";
    ASSERT_EQ(build(chart(ids, fields, rows), block), 0);
    EXPECT_LT(labOf(block, 1)[1], -20.0);
    EXPECT_LT(labOf(block, 2)[0], labOf(block, 0)[0] - 5.0);  // light grey darkens a little
    EXPECT_GT(labOf(block, 2)[0], 30.0);
    FreeChartReferences(&block);

    // Only numbered fields: the standard inks, channel 5 red and 6 green.
    ASSERT_EQ(build(chart("", fields, rows), block), 0);
    EXPECT_GT(labOf(block, 1)[1], 40.0);
    EXPECT_LT(labOf(block, 2)[1], -20.0);
    FreeChartReferences(&block);

    // DeviceN names only for the extra inks leave the list without a first
    // name: it is dropped and the unnamed extra channels are skipped.
    ASSERT_EQ(build(chart("DEVICEN_CMYK_CLR_5 \"0 60 100 0 Orange\"\n", fields, rows), block), 0);
    for (int c = 0; c < 3; ++c) EXPECT_DOUBLE_EQ(labOf(block, 1)[c], labOf(block, 0)[c]);
    FreeChartReferences(&block);
}

TEST_F(ChartFiles, FailuresFreeThePredictionsAndReportMinusOne) {
    ChartReferences block;
    EXPECT_EQ(BuildChartReferences(dir_.file("missing.txt").c_str(), &block), -1);
    EXPECT_EQ(block.lab, nullptr);
    EXPECT_EQ(block.spectra, nullptr);
    EXPECT_EQ(BuildChartReferences(nullptr, &block), -1);
    EXPECT_EQ(BuildChartReferences(write("x.txt", "x").c_str(), nullptr), -1);
    // Measured values only: nothing to predict from.
    EXPECT_EQ(build(chart("", "SAMPLE_ID LAB_L LAB_A LAB_B", {"1 50 0 0"}), block), -1);
    EXPECT_EQ(block.lab, nullptr);
    EXPECT_EQ(block.second, nullptr);
    EXPECT_EQ(block.spectra, nullptr);
    FreeChartReferences(&block);  // the device values stay with the caller
    EXPECT_EQ(build(chart("", "SAMPLE_ID CMYK_C CMYK_M CMYK_Y CMYK_K", {"1 0 0 0"}), block), -1);
    FreeChartReferences(&block);
}

TEST_F(ChartFiles, TheChartReaderAnswersKeywordsAndMeasuredValues) {
    std::string fields = "SAMPLE_ID LAB_L LAB_A LAB_B XYZ_X XYZ_Y XYZ_Z";
    std::string row = "1 50 10 -10 20 18 15";
    for (int nm = 400; nm <= 700; nm += 10) {
        fields.append(" nm").append(std::to_string(nm));
        row.append(" ").append(std::to_string(nm / 1000.0));
    }
    const std::string path = write("measureData.it8", chart("TARGET_ID \"T 1\"\n", fields, {row}));
    auto chart = CChartFileFactory::GetReaderWriter(path);
    ASSERT_TRUE(chart);
    EXPECT_FALSE(chart->HasLabData());
    ASSERT_TRUE(chart->Read(path));
    std::string value;
    ASSERT_TRUE(chart->GetKeyword("NUMBER_OF_SETS", value));
    EXPECT_EQ(value, "1");
    ASSERT_TRUE(chart->GetKeyword("target_id", value));
    EXPECT_EQ(value, "T 1");
    EXPECT_FALSE(chart->GetKeyword("DEVICEN_CMYK_CLR_5", value));
    double lab[3], xyz[3], s[36];
    ASSERT_TRUE(chart->GetLab(0, lab));
    EXPECT_EQ(lab[1], 10.0);
    ASSERT_TRUE(chart->GetXYZ(0, xyz));
    EXPECT_EQ(xyz[1], 18.0);
    EXPECT_FALSE(chart->GetLab(1, lab));
    ASSERT_TRUE(chart->GetSpectrum36(0, s));
    EXPECT_EQ(s[0], 0.0);
    EXPECT_EQ(s[1], 0.0);
    EXPECT_DOUBLE_EQ(s[2], 0.4);
    EXPECT_DOUBLE_EQ(s[32], 0.7);
    EXPECT_EQ(s[33], 0.0);
    EXPECT_FALSE(chart->HasRGBData());
    EXPECT_FALSE(chart->HasCMYKData());
    EXPECT_FALSE(chart->HasNColorData());
    EXPECT_FALSE(chart->Read(dir_.file("missing.it8")));
    EXPECT_EQ(chart->GetPatchCount(), 0);
}

TEST_F(ChartFiles, UnevenSpectralFieldsAreNotPlacedOnTheGrid) {
    const std::string path =
        write("uneven.txt", chart("", "SAMPLE_ID SPECTRAL_380 SPECTRAL_390 SPECTRAL_410", {"1 0.1 0.2 0.3"}));
    CChartFileBase chart;
    ASSERT_TRUE(chart.Read(path));
    double s[36];
    EXPECT_FALSE(chart.GetSpectrum36(0, s));
}

}  // namespace
}  // namespace measure
