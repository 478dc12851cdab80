// measure-cli against the simulated instrument, end to end: the files it
// writes read back through the library's own CGATS reader with the values
// the instrument delivered, prompts appear in plain words, Ctrl-C stops and
// closes the instrument, convert matches the spectral conversion, and the
// demo runs.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "cli/cli_runner.h"
#include "color/cgats_chart_reader.h"
#include "color/spectral.h"
#include "drivers/simulator/measurement_data.h"

namespace measure::test {
namespace {

const char* kHeaderNm = "380 10 36";
const uint32_t kGrid[3] = {380, 10, 36};

// `delays` come first: the simulator reads the first element of each name.
std::string config(const std::string& instruments, const std::string& delays = "") {
    return "<SimulationInstrumentConfig>" + delays +
           "<CalibrationTimeDelay_ms>500</CalibrationTimeDelay_ms>"
           "<MeasurementTimeDelay_ms>300</MeasurementTimeDelay_ms>"
           "<SpotMeasurementTimeDelay_ms>200</SpotMeasurementTimeDelay_ms>"
           "<InsertPaperTimeDelay_ms>200</InsertPaperTimeDelay_ms>"
           "<instrumentList>" +
           instruments + "</instrumentList></SimulationInstrumentConfig>";
}

std::string listed(int id, const std::string& extra = "") {
    return "<instrument><ID>" + std::to_string(id) + "</ID>" + extra + "</instrument>";
}

class CliMeasure : public ::testing::Test {
protected:
    // XYZ and Lab of the delivered spectrum (the simulator's default unless
    // given) follow SAMPLE_ID, and the header names illuminant and observer.
    void expectColourValuesFirst(const CgatsChartReader& reader, const std::string& file, int patch,
                                 const double* spectrum = simulator::kDefaultSpectrum.data()) const {
        const std::vector<std::string> first(reader.FieldNames().begin(), reader.FieldNames().begin() + 7);
        EXPECT_EQ(first, (std::vector<std::string>{"SAMPLE_ID", "XYZ_X", "XYZ_Y", "XYZ_Z", "LAB_L", "LAB_A",
                                                   "LAB_B"}));
        double xyz[3], lab[3];
        ASSERT_EQ(SpectrumToXYZ(xyz, kGrid, spectrum), 1);
        measure::XYZToLab(xyz[0], xyz[1], xyz[2], &lab[0], &lab[1], &lab[2]);
        for (int c = 0; c < 3; ++c) {
            EXPECT_EQ(reader.GetXYZ(patch, c), xyz[c]) << c;
            EXPECT_EQ(reader.CellValue(patch, reader.LabColumn(c)), lab[c]) << c;
        }
        const std::string text = readFile(cli_.file(file));
        EXPECT_NE(
            text.find(
                "WEIGHTING_FUNCTION\t\"ILLUMINANT, D50\"\nWEIGHTING_FUNCTION\t\"OBSERVER, 2 degree\"\n"),
            std::string::npos);
    }
    void writeDataFile(const std::string& text) const {
        std::ofstream(cli_.appData() + "/Vantu/AutomatedTesting/VantuMeasure.it8") << text;
    }
    CliRunner cli_;
};

// The instrument replays a data file whose patches all differ, so a patch
// written in the wrong place shows.
TEST_F(CliMeasure, SpectralStripsReadBackWithTheDeliveredValues) {
    cli_.writeSimulationConfig(config(listed(11)));
    writeDataFile(spectralFile(12));
    const CliRun run = cli_.run({"measure", "--instrument", "11", "--patches", "10", "--per-line", "4",
                                 "--mode", "spectral", "-o", "strips.txt", "--sound", "off"});
    ASSERT_EQ(run.exitCode, 0) << run.output << run.errors;
    EXPECT_NE(run.output.find("Calibrating"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("Scan strip 1 of 3"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("Scan strip 3 of 3"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("measured 10 of 10 patches"), std::string::npos) << run.output;

    CgatsChartReader source;
    source.ReadFromMemory(spectralFile(12));
    const CgatsChartReader reader = readBack(cli_.file("strips.txt"));
    ASSERT_EQ(reader.GetPatchCount(), 10);
    int start = 0, step = 0, count = 0;
    reader.GetSpectralLayout(start, step, count);
    EXPECT_EQ(std::to_string(start) + " " + std::to_string(step) + " " + std::to_string(count), kHeaderNm);
    double expected[36];
    double got[36];
    for (int p = 0; p < 10; ++p) {
        source.GetSpectrum(p, expected);
        reader.GetSpectrum(p, got);
        for (int b = 0; b < 36; ++b) ASSERT_EQ(got[b], expected[b]) << p << "/" << b;
    }
    std::string value;
    ASSERT_TRUE(reader.KeywordValue("INSTRUMENT_ID", value));
    EXPECT_EQ(value, "11");
    ASSERT_TRUE(reader.KeywordValue("MEASUREMENT_MODE", value));
    EXPECT_EQ(value, "Spectral");
    source.GetSpectrum(1, expected);
    expectColourValuesFirst(reader, "strips.txt", 1, expected);
}

TEST_F(CliMeasure, ReportBesideTheMeasurement) {
    cli_.writeSimulationConfig(config(listed(11)));
    const CliRun run = cli_.run({"measure", "--instrument", "11", "--patches", "3", "--per-line", "3", "-o",
                                 "chart.txt", "--sound", "off", "--report"});
    ASSERT_EQ(run.exitCode, 0) << run.output << run.errors;
    const std::string html = readFile(cli_.file("chart.txt.html"));
    EXPECT_NE(html.find("<polyline class=\"curve\" id=\"c-3\""), std::string::npos);
    EXPECT_EQ(html.find("id=\"c-4\""), std::string::npos);
}

TEST_F(CliMeasure, LabXyzAndDensityFiles) {
    cli_.writeSimulationConfig(config(listed(11)));
    CliRun run = cli_.run({"measure", "--instrument", "11", "--patches", "3", "--per-line", "3", "--mode",
                           "xyz", "-o", "xyz.txt", "--sound", "off"});
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    CgatsChartReader reader = readBack(cli_.file("xyz.txt"));
    ASSERT_EQ(reader.GetPatchCount(), 3);
    EXPECT_EQ(reader.GetXYZ(2, 0), 10.0);
    EXPECT_EQ(reader.GetXYZ(2, 2), 30.0);

    cli_.writeSimulationConfig(config(listed(55)));
    run = cli_.run({"measure", "--instrument", "55", "--patches", "2", "--per-line", "1", "--mode", "lab",
                    "-o", "lab.txt", "--sound", "off"});
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    reader = readBack(cli_.file("lab.txt"));
    ASSERT_EQ(reader.GetPatchCount(), 2);
    EXPECT_EQ(reader.GetLab(1, 0), 45.0);
    EXPECT_EQ(reader.GetLab(1, 1), 10.0);

    cli_.writeSimulationConfig(config(listed(11)));
    run = cli_.run({"measure", "--instrument", "11", "--patches", "2", "--mode", "status-t", "-o", "dens.txt",
                    "--sound", "off"});
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    reader = readBack(cli_.file("dens.txt"));
    ASSERT_EQ(reader.HasData(kCgatsDensities), 1);
    double densities[4];
    ASSERT_EQ(SpectrumToDensity(densities, kGrid, simulator::kDefaultSpectrum.data(), MEASURE_MODE_STATUS_T),
              1);
    for (int d = 0; d < 4; ++d)
        EXPECT_DOUBLE_EQ(reader.CellValue(1, reader.DensityColumn(d)), densities[d]) << d;
    expectColourValuesFirst(reader, "dens.txt", 1);
}

TEST_F(CliMeasure, SpotMeasurementsAskForEachPatch) {
    cli_.writeSimulationConfig(config(listed(22)));
    const CliRun run = cli_.run({"measure", "--instrument", "22", "--patches", "3", "--single", "--mode",
                                 "xyz", "-o", "spots.txt", "--sound", "off"});
    ASSERT_EQ(run.exitCode, 0) << run.output << run.errors;
    EXPECT_NE(run.output.find("Place the instrument on patch 3 of 3 and press its button"), std::string::npos)
        << run.output;
    EXPECT_EQ(readBack(cli_.file("spots.txt")).GetPatchCount(), 3);
}

TEST_F(CliMeasure, ChartReaderTakesTheChartInAndDeliversItWhole) {
    cli_.writeSimulationConfig(config(listed(26, "<MeasurementDataDelivery>1</MeasurementDataDelivery>")));
    writeDataFile(spectralFile(7));
    std::ofstream(cli_.file("layout.txt"))
        << "ChartSizeX=210 NumberOfRows=2 NumberOfColumns=3 BarSizeX=5 BarSizeY=5 DistancePaperEdgeToBar=3 "
           "DistBarToFirstLine=4 MarkersDistance=6 PatchSizeX=7 PatchSizeY=7 MarkerPatchDistance=2";
    const CliRun run = cli_.run({"measure", "--instrument", "26", "--patches", "6", "--mode", "xyz",
                                 "--chart", "layout.txt", "-o", "chart.txt", "--sound", "off"});
    ASSERT_EQ(run.exitCode, 0) << run.output << run.errors;
    EXPECT_NE(run.output.find("Insert the chart"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("Paper in place"), std::string::npos) << run.output;
    const CgatsChartReader reader = readBack(cli_.file("chart.txt"));
    ASSERT_EQ(reader.GetPatchCount(), 6);
    CgatsChartReader source;
    source.ReadFromMemory(spectralFile(7));
    for (int p = 0; p < 6; ++p) {
        double spectrum[36], xyz[3];
        source.GetSpectrum(p, spectrum);
        ASSERT_EQ(SpectrumToXYZ(xyz, kGrid, spectrum), 1);
        for (int c = 0; c < 3; ++c) EXPECT_DOUBLE_EQ(reader.GetXYZ(p, c), xyz[c]) << p << "/" << c;
    }

    // The same chart with a layout file the instrument refuses.
    std::ofstream(cli_.file("bad-layout.txt")) << "NumberOfRows=2 NumberOfColumns=3 nothing else here";
    const CliRun refused = cli_.run({"measure", "--instrument", "26", "--patches", "6", "--mode", "xyz",
                                     "--chart", "bad-layout.txt", "-o", "chart2.txt", "--sound", "off"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.errorLines().size(), 1u) << refused.errors;
    EXPECT_FALSE(std::filesystem::exists(cli_.file("chart2.txt")));
}

TEST_F(CliMeasure, CtrlCStopsTheInstrumentAndClosesIt) {
    // Half a minute per strip at half speed: only Ctrl-C ends it soon.
    cli_.writeSimulationConfig(
        config(listed(11), "<MeasurementTimeDelay_ms>60000</MeasurementTimeDelay_ms>"));
    platform::ChildProcess child;
    ASSERT_TRUE(cli_.start(child,
                           {"measure", "--instrument", "11", "--patches", "12", "--per-line", "6", "-o",
                            "never.txt", "--sound", "off"},
                           {{"MEASURE_TIME_SCALE", "0.5"}}));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (child.output().find("Scan strip 1 of 2") == std::string::npos && !child.ended() &&
           std::chrono::steady_clock::now() < deadline) {
        child.wait(10);
    }
    ASSERT_NE(child.output().find("Scan strip 1 of 2"), std::string::npos)
        << child.output() << child.errors();
    const auto interruptedAt = std::chrono::steady_clock::now();
    child.interrupt();
    ASSERT_TRUE(child.wait(20000)) << "measure-cli did not end after Ctrl-C";
    EXPECT_LT(std::chrono::steady_clock::now() - interruptedAt, std::chrono::seconds(10));
    EXPECT_EQ(child.exitCode(), 130) << child.errors();
    EXPECT_NE(child.errors().find("stopped by Ctrl-C"), std::string::npos) << child.errors();
    EXPECT_FALSE(std::filesystem::exists(cli_.file("never.txt")));
}

TEST(CliDemo, MeasuresTheChartEndToEnd) {
    CliRunner cli;
    const auto started = std::chrono::steady_clock::now();
    const CliRun run = cli.run({"demo", "--sound", "off"}, {{"MEASURE_TIME_SCALE", "0.01"}});
    ASSERT_EQ(run.exitCode, 0) << run.output << run.errors;
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
    EXPECT_NE(run.output.find("Scan strip 4 of 4"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("  24 "), std::string::npos) << "a Lab row per patch\n" << run.output;
    const CgatsChartReader reader = readBack(cli.file("demo-measurement.txt"));
    EXPECT_EQ(reader.GetPatchCount(), 24);
    // The patches differ: the chart was replayed, not the built-in grey.
    double first[36];
    double last[36];
    reader.GetSpectrum(0, first);
    reader.GetSpectrum(23, last);
    EXPECT_NE(first[30], last[30]);
}

}  // namespace
}  // namespace measure::test
