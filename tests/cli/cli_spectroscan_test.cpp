// measure-cli driving the SpectroScan table on a pseudo-terminal named by
// MEASURE_COM1, as the README shows: the user lays the sheet on the table
// (the instrument's own run waits for its key), the corners are registered
// and every patch comes back in chart order with the spectrum under the head.
#include <gtest/gtest.h>

#include "cli/cli_runner.h"
#include "spectroscan/spectroscan_emulator.h"
#include "spectroscan/spectroscan_table.h"

namespace measure::test {
namespace {

namespace ss = measure::emu::spectroscan;

TEST(CliSpectroScan, MeasuresTheChartOnTheTableThroughCom1) {
    ss::ChartLayout layout;
    layout.rows = 2;
    layout.patches = 3;
    ss::Emulator table(layout);
    ASSERT_TRUE(table.start());
    table.setAutoKey(2);

    const char* noPort = "/nonexistent/measure-cli-port";
    CliRunner cli;
    const CliRun run = cli.run({"measure", "--instrument", "5", "--patches", "6", "--per-line", "3", "--mode",
                                "spectral", "-o", "table.txt", "--sound", "off"},
                               // The table's replies get a tenth of their 10 s, not a hundredth:
                               // the emulator thread must be able to answer on a loaded machine.
                               {{"MEASURE_TIME_SCALE", "0.1"},
                                {"MEASURE_COM1", table.path()},
                                {"MEASURE_COM2", noPort},
                                {"MEASURE_COM3", noPort},
                                {"MEASURE_COM4", noPort}});
    ASSERT_EQ(run.exitCode, 0) << run.output << run.errors;
    EXPECT_NE(run.output.find("Lay the chart on the instrument"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("Chart corners registered"), std::string::npos) << run.output;

    const CgatsChartReader reader = readBack(cli.file("table.txt"));
    ASSERT_EQ(reader.GetPatchCount(), 6);
    double spectrum[ss::kBands];
    for (int p = 0; p < 6; ++p) {
        reader.GetSpectrum(p, spectrum);
        const ss::Spectrum expected = ss::patchSpectrum(p);
        // The table answers with a few decimals per band.
        for (int b = 0; b < ss::kBands; ++b) ASSERT_NEAR(spectrum[b], expected[b], 1e-3) << p << "/" << b;
    }
}

}  // namespace
}  // namespace measure::test
