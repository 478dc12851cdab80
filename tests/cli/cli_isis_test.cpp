// measure-cli with the chart readers as the README runs them: the i1iSis
// behind its SDK stand-in, reading a chart on two sheets, and the Ethernet
// i1iSis fetching a finished job from the readers' emulator.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "cli/cli_runner.h"
#include "isis_emulator.h"
#include "measure/measure.h"
#include "xrite/isis2net/isis2net_emulator.h"

namespace measure::test {
namespace {

constexpr uint32_t kGrid[3] = {380, 10, 36};

TEST(CliIsis, ReadsTheChartSheetBySheetWithTheSdkStandIn) {
    CliRunner cli;
    const std::string layout = std::string(MEASURE_ISIS_EMULATOR_DIR) + "/isis_default_layout.txt";
    const CliRun run = cli.run({"measure", "--instrument", "26", "--patches", "96", "--per-chart", "48",
                                "--chart", layout, "--mode", "xyz", "-o", "isis.txt", "--sound", "off"},
                               {{"MEASURE_SDK_PATH", MEASURE_ISIS_EMULATOR_DIR}});
    ASSERT_EQ(run.exitCode, 0) << run.output << run.errors;
    const CgatsChartReader reader = readBack(cli.file("isis.txt"));
    ASSERT_EQ(reader.GetPatchCount(), 96);
    // Patch 50 is the third of the second sheet.
    for (const auto& [patch, sheet, column] : {std::tuple{0, 0, 0}, std::tuple{50, 1, 2}}) {
        float bands[36];
        emu_isis_patch_spectrum(sheet, 0, column, 0, bands);
        double spectrum[36];
        for (int b = 0; b < 36; ++b) spectrum[b] = bands[b];
        double xyz[3];
        ASSERT_EQ(SpectrumToXYZ(xyz, kGrid, spectrum), 1);
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(reader.GetXYZ(patch, c), xyz[c], 1e-4) << patch;
    }
}

TEST(CliIsis, FetchesTheChartsJobFromTheNetworkReader) {
    namespace emu = measure::emu::isis2net;
    emu::Isis2NetEmulator readers(emu::Settings{});
    ASSERT_TRUE(readers.start());
    CliRunner cli;
    const CliRun run =
        cli.run({"measure", "--instrument", "37", "--patches", "24", "--mode", "xyz", "--chart-id",
                 "CHART00001", "-o", "net.txt", "--sound", "off"},
                {{"MEASURE_ISIS2NET_DISCOVERY", "127.0.0.1:" + std::to_string(readers.discoveryPort())},
                 {"MEASURE_ISIS2NET_PORT", std::to_string(readers.tcpPort())}});
    ASSERT_EQ(run.exitCode, 0) << run.output << run.errors;
    const CgatsChartReader reader = readBack(cli.file("net.txt"));
    ASSERT_EQ(reader.GetPatchCount(), 24);
    const auto last = emu::readerXyz(23, 0);
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(reader.GetXYZ(23, c), last[c], 1e-4);
}

TEST(CliIsis, ChartIdIsTextAndExcludesAChartFile) {
    CliRunner cli;
    const CliRun run = cli.run(
        {"measure", "--instrument", "37", "--patches", "24", "--chart", "a.txt", "--chart-id", "CHART00001"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.errors, "measure-cli measure: --chart and --chart-id exclude each other\n");
    const CliRun perChart =
        cli.run({"measure", "--instrument", "26", "--patches", "24", "--per-chart", "25"});
    EXPECT_EQ(perChart.exitCode, 1);
    EXPECT_EQ(perChart.errors,
              "measure-cli measure: --per-chart takes 1 to the number of patches, not '25'\n");
}

}  // namespace
}  // namespace measure::test
