// The chart the simulated instrument replays: measured files give their own
// values, charts of device values the predicted ones, and every patch the
// file does not cover the built-in values.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "color/chart_references.h"
#include "color/spectral.h"
#include "drivers/simulator/measurement_data.h"
#include "support/test_environment.h"

namespace measure::simulator {
namespace {

std::string spectralChart(int patches, bool withLab) {
    std::ostringstream text;
    text << "CGATS.17\nBEGIN_DATA_FORMAT\nSAMPLE_ID";
    for (int nm = 400; nm <= 700; nm += 10) text << " SPECTRAL_NM_" << nm;
    if (withLab) text << " LAB_L LAB_A LAB_B";
    text << "\nEND_DATA_FORMAT\nNUMBER_OF_SETS " << patches << "\nBEGIN_DATA\n";
    for (int p = 0; p < patches; ++p) {
        text << p + 1;
        for (int b = 0; b < 31; ++b) text << ' ' << 20 + p << ".5";
        if (withLab) text << ' ' << 50 + p << " 1 -1";
        text << '\n';
    }
    text << "END_DATA\n";
    return text.str();
}

class MeasurementData : public ::testing::Test {
protected:
    std::string write(const std::string& text) const {
        std::ofstream(dir_.file("chart.it8")) << text;
        return dir_.file("chart.it8");
    }
    test::TempDir dir_;
    MeasurementTables tables_;
};

TEST_F(MeasurementData, MeasuredSpectraArePlacedOnTheGridAndGiveXyzAndLab) {
    ASSERT_EQ(loadMeasurementTables(write(spectralChart(4, false)), 99, tables_), 0);
    EXPECT_EQ(tables_.count, 4);
    const Bands36 s = patchSpectrum(tables_, 1, 0);
    EXPECT_EQ(s[0], 0.0) << "380 nm is not in a 400..700 nm file";
    EXPECT_DOUBLE_EQ(s[2], 0.215);
    EXPECT_DOUBLE_EQ(s[32], 0.215);
    const uint32_t grid[3] = {380, 10, 36};
    double xyz[3];
    SpectrumToXYZ(xyz, grid, s.data());
    const Triple fileXyz = patchXyz(tables_, 1, 0);
    EXPECT_DOUBLE_EQ(fileXyz[1], xyz[1]);
    double lab[3];
    XYZToLab(xyz[0], xyz[1], xyz[2], &lab[0], &lab[1], &lab[2]);
    EXPECT_DOUBLE_EQ(patchLab(tables_, 1)[0], lab[0]) << "Lab follows the file row, not the position";
}

TEST_F(MeasurementData, FileValuesOnlyWhereTheRuleAllowsThem) {
    ASSERT_EQ(loadMeasurementTables(write(spectralChart(3, true)), 0, tables_), 0);
    EXPECT_DOUBLE_EQ(patchLab(tables_, 0)[0], 50.0);
    EXPECT_DOUBLE_EQ(patchLab(tables_, 1)[0], 51.0);
    EXPECT_EQ(patchLab(tables_, 2), kDefaultLab) << "i + 1 must be below the file's count";
    EXPECT_DOUBLE_EQ(patchSpectrum(tables_, 2, 0)[10], 0.225) << "row 2 through the position";
    EXPECT_EQ(patchSpectrum(tables_, 3, 0), kDefaultSpectrum) << "beyond the table";
    EXPECT_EQ(patchSpectrum(tables_, -1, 0), kDefaultSpectrum) << "before the table";
    EXPECT_EQ(patchXyz(tables_, 0, 5), kDefaultXyz);
}

TEST_F(MeasurementData, DeviceValueChartsReplayThePredictedColours) {
    const std::string path = write(
        "CGATS.17\nBEGIN_DATA_FORMAT\nSAMPLE_ID CMYK_C CMYK_M CMYK_Y CMYK_K\nEND_DATA_FORMAT\n"
        "NUMBER_OF_SETS 3\nBEGIN_DATA\n1 100 0 0 0\n2 0 100 0 0\n3 0 0 0 50\nEND_DATA\n");
    ChartReferences expected;
    ASSERT_EQ(BuildChartReferences(path.c_str(), &expected), 0);
    ASSERT_EQ(loadMeasurementTables(path, 0, tables_), 0);
    EXPECT_EQ(tables_.count, 3);
    const Bands36 cyan = patchSpectrum(tables_, 0, 0);
    for (int b = 0; b < 36; ++b) EXPECT_EQ(cyan[b], expected.spectra[0].values[b]) << b;
    EXPECT_EQ(patchLab(tables_, 1)[1], expected.lab[4]) << "magenta's a*";
    EXPECT_NE(patchXyz(tables_, 0, 1)[0], 0.0) << "XYZ comes from the predicted spectra";
    FreeChartReferences(&expected);
}

TEST_F(MeasurementData, UnreadableFilesLeaveTheBuiltInValues) {
    EXPECT_EQ(loadMeasurementTables(dir_.file("absent.it8"), 12, tables_), -1);
    EXPECT_EQ(tables_.count, 12) << "the count the open started with";
    EXPECT_TRUE(tables_.spectra.empty());
    EXPECT_EQ(patchSpectrum(tables_, 0, 0), kDefaultSpectrum);
    EXPECT_EQ(loadMeasurementTables(write("CGATS.17\nBEGIN_DATA_FORMAT\nSAMPLE_ID\nEND_DATA_FORMAT\n"
                                          "NUMBER_OF_SETS 1\nBEGIN_DATA\n1\nEND_DATA\n"),
                                    0, tables_),
              -1)
        << "a file without colours";
    EXPECT_EQ(loadMeasurementTables(write("garbage"), 0, tables_), -1);
}

}  // namespace
}  // namespace measure::simulator
