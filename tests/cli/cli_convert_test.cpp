// measure-cli convert: any CGATS file in, XYZ and L*a*b* out, computed from
// spectra exactly as the library's spectral conversion does, from XYZ, or
// XYZ from Lab; names and device values go through unchanged.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/cli_runner.h"
#include "color/cgats_chart_reader.h"
#include "color/spectral.h"

namespace measure::test {
namespace {

const uint32_t kGrid[3] = {380, 10, 36};

class CliConvert : public ::testing::Test {
protected:
    CliRunner cli_;
};

TEST_F(CliConvert, SpectraBecomeXyzLabAndDensitiesAsTheLibraryComputesThem) {
    std::ofstream(cli_.file("spectra.txt")) << spectralFile(5);
    const CliRun run = cli_.run({"convert", "spectra.txt", "-o", "lab.txt"});
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    CgatsChartReader source;
    source.ReadFromMemory(spectralFile(5));
    const CgatsChartReader out = readBack(cli_.file("lab.txt"));
    ASSERT_EQ(out.GetPatchCount(), 5);
    const int sampleColumn = out.FieldColumn("SAMPLE_ID");
    ASSERT_GE(sampleColumn, 0);
    double spectrum[36];
    for (int p = 0; p < 5; ++p) {
        source.GetSpectrum(p, spectrum);
        double xyz[3];
        ASSERT_EQ(SpectrumToXYZ(xyz, kGrid, spectrum), 1);
        double lab[3];
        measure::XYZToLab(xyz[0], xyz[1], xyz[2], &lab[0], &lab[1], &lab[2]);
        double e[4];
        SpectrumToDensity(e, kGrid, spectrum, MEASURE_MODE_STATUS_E);
        EXPECT_EQ(std::string(out.Cell(p, sampleColumn)), std::string("P").append(std::to_string(p + 1)));
        for (int c = 0; c < 3; ++c) {
            EXPECT_EQ(out.GetXYZ(p, c), xyz[c]) << p;
            EXPECT_EQ(out.CellValue(p, out.LabColumn(c)), lab[c]) << p;
        }
        EXPECT_EQ(out.CellValue(p, out.FieldColumn("D_E_BLUE")), e[2]);
        EXPECT_EQ(out.CellValue(p, out.FieldColumn("D_E_VIS")), e[3]);
    }
    const std::string text = readFile(cli_.file("lab.txt"));
    EXPECT_NE(
        text.find("WEIGHTING_FUNCTION\t\"ILLUMINANT, D50\"\nWEIGHTING_FUNCTION\t\"OBSERVER, 2 degree\"\n"),
        std::string::npos);
}

TEST_F(CliConvert, XyzWithoutLabIsTakenAndLabComputed) {
    std::ofstream(cli_.file("xyz.txt")) << "CGATS.17\nNUMBER_OF_FIELDS 4\nBEGIN_DATA_FORMAT\n"
                                           "SAMPLE_ID XYZ_X XYZ_Y XYZ_Z\nEND_DATA_FORMAT\nNUMBER_OF_SETS 2\n"
                                           "BEGIN_DATA\nA 96,4 100 82,49\nB 20 21 22\nEND_DATA\n";
    const CliRun run = cli_.run({"convert", "xyz.txt"});
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    const CgatsChartReader out = readBack(cli_.file("xyz.txt.lab.txt"));
    ASSERT_EQ(out.GetPatchCount(), 2);
    EXPECT_EQ(out.GetXYZ(0, 0), 96.4);
    EXPECT_NEAR(out.GetLab(0, 0), 100.0, 1e-9);
    EXPECT_NEAR(out.GetLab(0, 1), 0.0, 1e-9);
}

TEST_F(CliConvert, LabOnlyGetsXyzForD50AndTheRoundTripGivesTheLabBack) {
    // A 24-patch colour checker's published Lab values (first row).
    const double labs[6][3] = {{37.986, 13.555, 14.059}, {65.711, 18.13, 17.81},
                               {49.927, -4.88, -21.925}, {43.139, -13.095, 21.905},
                               {55.112, 8.844, -25.399}, {70.719, -33.397, -0.199}};
    std::ostringstream text;
    text << "CGATS.17\nNUMBER_OF_FIELDS 4\nBEGIN_DATA_FORMAT\nSAMPLE_ID LAB_L LAB_A LAB_B\nEND_DATA_FORMAT\n"
            "NUMBER_OF_SETS 6\nBEGIN_DATA\n";
    for (int p = 0; p < 6; ++p)
        text << "A" << p + 1 << ' ' << labs[p][0] << ' ' << labs[p][1] << ' ' << labs[p][2] << '\n';
    text << "END_DATA\n";
    std::ofstream(cli_.file("checker.txt")) << text.str();
    CliRun run = cli_.run({"convert", "checker.txt", "-o", "checker-xyz.txt"});
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_NE(run.output.find("from Lab"), std::string::npos) << run.output;
    const CgatsChartReader out = readBack(cli_.file("checker-xyz.txt"));
    ASSERT_EQ(out.GetPatchCount(), 6);

    // The XYZ alone, as another program would hand it on, converts back.
    std::ostringstream xyzOnly;
    xyzOnly << "CGATS.17\nBEGIN_DATA_FORMAT\nSAMPLE_ID XYZ_X XYZ_Y XYZ_Z\nEND_DATA_FORMAT\nNUMBER_OF_SETS "
               "6\nBEGIN_DATA\n";
    for (int p = 0; p < 6; ++p) {
        double x = 0, y = 0, z = 0;
        LabToXYZ(labs[p][0], labs[p][1], labs[p][2], &x, &y, &z);
        EXPECT_EQ(out.GetXYZ(p, 0), x) << p;
        EXPECT_EQ(out.GetXYZ(p, 1), y) << p;
        EXPECT_EQ(out.GetXYZ(p, 2), z) << p;
        for (int c = 0; c < 3; ++c) EXPECT_EQ(out.GetLab(p, c), labs[p][c]) << p;
        xyzOnly << "A" << p + 1;
        for (int c = 0; c < 3; ++c) xyzOnly << ' ' << out.Cell(p, out.XyzColumn(c));
        xyzOnly << '\n';
    }
    xyzOnly << "END_DATA\n";
    std::ofstream(cli_.file("xyz-only.txt")) << xyzOnly.str();
    run = cli_.run({"convert", "xyz-only.txt", "-o", "back.txt"});
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    const CgatsChartReader back = readBack(cli_.file("back.txt"));
    for (int p = 0; p < 6; ++p)
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(back.GetLab(p, c), labs[p][c], 1e-9) << p << "/" << c;
}

TEST_F(CliConvert, NamesAndDeviceValuesComeFirstAndUnchanged) {
    std::ofstream(cli_.file("target.txt"))
        << "CGATS.17\nNUMBER_OF_FIELDS 13\nBEGIN_DATA_FORMAT\n"
           "SAMPLE_ID SAMPLE_NAME CMYK_C CMYK_M CMYK_Y CMYK_K 6CLR_5 RGB_R RGB_G RGB_B XYZ_X XYZ_Y XYZ_Z\n"
           "END_DATA_FORMAT\nNUMBER_OF_SETS 2\nBEGIN_DATA\n"
           "1 \"Paper white\" 0 0 0 0 0 255 255 255 85.1 88.2 72.3\n"
           "2 K100 0 0 0 100.00 12.5 0 0 0 1.5 1.6 1.3\nEND_DATA\n";
    const CliRun run = cli_.run({"convert", "target.txt", "-o", "target-lab.txt"});
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    const CgatsChartReader out = readBack(cli_.file("target-lab.txt"));
    const std::vector<std::string> expected = {
        "SAMPLE_ID", "SAMPLE_NAME", "CMYK_C", "CMYK_M", "CMYK_Y", "CMYK_K", "6CLR_5", "RGB_R",
        "RGB_G",     "RGB_B",       "XYZ_X",  "XYZ_Y",  "XYZ_Z",  "LAB_L",  "LAB_A",  "LAB_B"};
    EXPECT_EQ(out.FieldNames(), expected);
    EXPECT_EQ(std::string(out.Cell(0, 1)), "Paper white");
    EXPECT_EQ(std::string(out.Cell(1, 1)), "K100");
    EXPECT_EQ(std::string(out.Cell(1, 5)), "100.00");
    EXPECT_EQ(std::string(out.Cell(1, 6)), "12.5");
    EXPECT_EQ(std::string(out.Cell(0, 8)), "255");
    EXPECT_EQ(out.GetXYZ(1, 1), 1.6);
    double lab[3];
    measure::XYZToLab(85.1, 88.2, 72.3, &lab[0], &lab[1], &lab[2]);
    for (int c = 0; c < 3; ++c) EXPECT_EQ(out.CellValue(0, out.LabColumn(c)), lab[c]);
}

TEST_F(CliConvert, AFileWithoutColoursIsRefusedNamingItsFields) {
    std::ofstream(cli_.file("cmyk.txt"))
        << "CGATS.17\nBEGIN_DATA_FORMAT\nSAMPLE_ID CMYK_C CMYK_M CMYK_Y CMYK_K\n"
           "END_DATA_FORMAT\nNUMBER_OF_SETS 1\nBEGIN_DATA\n1 0 0 0 0\nEND_DATA\n";
    const CliRun run = cli_.run({"convert", "cmyk.txt", "-o", "out.txt"});
    EXPECT_EQ(run.exitCode, 1);
    ASSERT_EQ(run.errorLines().size(), 1u) << run.errors;
    EXPECT_NE(run.errors.find("cmyk.txt: no spectral, XYZ or LAB fields to convert (it has SAMPLE_ID CMYK_C "
                              "CMYK_M CMYK_Y CMYK_K)"),
              std::string::npos)
        << run.errors;
    EXPECT_FALSE(std::filesystem::exists(cli_.file("out.txt")));
}

}  // namespace
}  // namespace measure::test
