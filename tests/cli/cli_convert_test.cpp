// measure-cli convert: any CGATS file in, XYZ and L*a*b* out, computed from
// spectra exactly as the library's spectral conversion does; a file the
// reader refuses is one line naming the file and the line.
#include <gtest/gtest.h>

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
}

TEST_F(CliConvert, XyzWithoutSpectraIsTakenAndLabComputed) {
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

TEST_F(CliConvert, MalformedFilesAreOneLineNamingFileAndLine) {
    const std::vector<std::pair<std::string, std::string>> bad = {
        {"short-row.txt",
         "CGATS.17\nBEGIN_DATA_FORMAT\nSAMPLE_ID XYZ_X XYZ_Y XYZ_Z\nEND_DATA_FORMAT\nNUMBER_OF_SETS 2\n"
         "BEGIN_DATA\n1 1 2 3\n2 1 2\nEND_DATA\n"},
        {"no-sets.txt",
         "CGATS.17\nBEGIN_DATA_FORMAT\nSAMPLE_ID XYZ_X\nEND_DATA_FORMAT\nBEGIN_DATA\n1 2\nEND_DATA\n"},
        {"long.txt",
         "BEGIN_DATA_FORMAT\nSAMPLE_ID XYZ_X XYZ_Y XYZ_Z\nEND_DATA_FORMAT\nNUMBER_OF_SETS 1\nBEGIN_DATA\n"
         "1 1 2 3\n2 1 2 3\nEND_DATA\n"},
        {"empty.txt", ""},
        {"binary.txt", std::string("\x01\x02\xff\xfe\0\0BEGIN_DATA\xff", 15)},
    };
    for (const auto& [name, text] : bad) {
        std::ofstream(cli_.file(name), std::ios::binary) << text;
        const CliRun run = cli_.run({"convert", name});
        EXPECT_EQ(run.exitCode, 1) << name;
        ASSERT_EQ(run.errorLines().size(), 1u) << name << ": " << run.errors;
        EXPECT_NE(run.errors.find(name), std::string::npos) << run.errors;
    }
    const CliRun shortRow = cli_.run({"convert", "short-row.txt"});
    EXPECT_NE(shortRow.errors.find("line 8"), std::string::npos) << shortRow.errors;
    const CliRun noSpectra = cli_.run({"convert", "no-sets.txt"});
    EXPECT_EQ(noSpectra.exitCode, 1);
}

}  // namespace
}  // namespace measure::test
