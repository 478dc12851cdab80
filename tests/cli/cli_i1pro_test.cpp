// measure-cli with an i1Pro behind the i1 SDK stand-in, found through
// MEASURE_SDK_PATH as the README shows: the virtual user calibrates on the
// tile and scans the strips, and the file holds the chart's patches.
#include <gtest/gtest.h>

#include "cli/cli_runner.h"
#include "i1_emulator.h"

namespace measure::test {
namespace {

TEST(CliI1Pro, ScansTheChartInStripsWithTheSdkStandIn) {
    CliRunner cli;
    const CliRun run = cli.run({"measure", "--instrument", "11", "--patches", "12", "--per-line", "6",
                                "--mode", "spectral", "-o", "i1pro.txt", "--sound", "off"},
                               {{"MEASURE_SDK_PATH", MEASURE_I1_EMULATOR_DIR}});
    ASSERT_EQ(run.exitCode, 0) << run.output << run.errors;
    EXPECT_NE(run.output.find("Calibration finished"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("Scan strip 2 of 2"), std::string::npos) << run.output;

    const CgatsChartReader reader = readBack(cli.file("i1pro.txt"));
    ASSERT_EQ(reader.GetPatchCount(), 12);
    // The child's instrument holds the stand-in's default chart.
    emu_i1_reset();
    double spectrum[36];
    float expected[36];
    for (int p = 0; p < 12; ++p) {
        reader.GetSpectrum(p, spectrum);
        emu_i1_patch_spectrum(p, expected);
        for (int b = 0; b < 36; ++b) ASSERT_NEAR(spectrum[b], expected[b], 1e-6) << p << "/" << b;
    }
}

// The README's table example with a chart on two sheets: the virtual user
// shows each sheet's corners, and the file holds both sheets' patches.
TEST(CliI1Pro, MeasuresAChartOfTwoSheetsOnTheTable) {
    CliRunner cli;
    const CliRun run =
        cli.run({"measure", "--instrument", "23", "--patches", "48", "--per-line", "6", "--per-chart", "24",
                 "--mode", "spectral", "-o", "chart.txt", "--sound", "off"},
                {{"MEASURE_SDK_PATH", MEASURE_I1_EMULATOR_DIR}, {"MEASURE_EMU_I1_TABLE", "2"}});
    ASSERT_EQ(run.exitCode, 0) << run.output << run.errors;
    const CgatsChartReader reader = readBack(cli.file("chart.txt"));
    ASSERT_EQ(reader.GetPatchCount(), 48);
    emu_i1_reset();
    double spectrum[36];
    float expected[36];
    for (int p = 0; p < 48; ++p) {
        reader.GetSpectrum(p, spectrum);
        emu_i1_patch_spectrum(p, expected);
        for (int b = 0; b < 36; ++b) ASSERT_NEAR(spectrum[b], expected[b], 1e-6) << p << "/" << b;
    }
}

// The README's i1Pro3 example: M3 through the head's polarising filter
// reads each patch darker by the gloss it takes away.
TEST(CliI1Pro, AnI1Pro3MeasuresM3) {
    CliRunner cli;
    const CliRun run =
        cli.run({"measure", "--instrument", "49", "--patches", "12", "--per-line", "6", "--mode", "spectral",
                 "--condition", "M3", "-o", "m3.txt", "--sound", "off"},
                {{"MEASURE_SDK_PATH", MEASURE_I1_EMULATOR_DIR}, {"MEASURE_EMU_I1_MODEL", "i1pro3"}});
    ASSERT_EQ(run.exitCode, 0) << run.output << run.errors;
    const CgatsChartReader reader = readBack(cli.file("m3.txt"));
    ASSERT_EQ(reader.GetPatchCount(), 12);
    emu_i1_reset();
    double spectrum[36];
    float plain[36];
    for (int p = 0; p < 12; ++p) {
        reader.GetSpectrum(p, spectrum);
        emu_i1_patch_spectrum(p, plain);
        for (int b = 0; b < 36; ++b)
            ASSERT_NEAR(spectrum[b], plain[b] - 0.04 * (1.0 - plain[b]), 1e-6) << p << "/" << b;
    }
}

TEST(CliI1Pro, WithoutTheSdkTheOpenFailsInOneLine) {
    CliRunner cli;
    const CliRun run = cli.run({"measure", "--instrument", "11", "--patches", "6", "--mode", "spectral", "-o",
                                "none.txt", "--sound", "off"},
                               {{"MEASURE_SDK_PATH", cli.work()}});
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_EQ(run.errorLines().size(), 1u) << run.errors;
}

}  // namespace
}  // namespace measure::test
