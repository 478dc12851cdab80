// demo: the main job on its built-in default. A temporary simulation
// configuration makes the library serve an X-Rite i1Pro with the simulated
// instrument, which replays a 24-patch chart; measure-cli then calibrates,
// measures the chart in four strips of six in spectral mode, writes
// demo-measurement.txt and shows the patches' L*a*b* values.
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "colour_values.h"
#include "commands.h"
#include "console.h"
#include "demo_chart.h"
#include "measurement.h"
#include "options.h"

namespace cli {
namespace {

constexpr uint32_t kDemoInstrument = 11;  // X-Rite i1Pro
constexpr int32_t kDemoPatches = 24;
constexpr int32_t kDemoPerStrip = 6;
// The instrument's delays at a tenth of their length: a few seconds in all.
constexpr const char* kDemoTimeScale = "0.1";

const char* kConfig = R"(<?xml version="1.0" encoding="UTF-8"?>
<SimulationInstrumentConfig>
  <ButtonTimeDelay_ms>500</ButtonTimeDelay_ms>
  <CalibrationTimeDelay_ms>2000</CalibrationTimeDelay_ms>
  <MeasurementTimeDelay_ms>2500</MeasurementTimeDelay_ms>
  <PositioningTimeDelay_ms>1000</PositioningTimeDelay_ms>
  <InsertPaperTimeDelay_ms>1000</InsertPaperTimeDelay_ms>
  <SpotMeasurementTimeDelay_ms>1000</SpotMeasurementTimeDelay_ms>
  <DeviceBatteryLevel>100</DeviceBatteryLevel>
  <DeviceSN>1001</DeviceSN>
  <instrumentList>
    <instrument>
      <ID>11</ID>
      <MeasurementDataDelivery>0</MeasurementDataDelivery>
      <AvailableInstrumentOptions><InstrumentOption>1</InstrumentOption></AvailableInstrumentOptions>
    </instrument>
  </instrumentList>
</SimulationInstrumentConfig>
)";

// The folder with the simulation configuration and the chart to replay;
// removed when the demo ends, whatever happens.
class DemoFolder {
public:
    DemoFolder() : path_(makeTemporaryFolder("measure-demo-")) {}
    ~DemoFolder() { removeFolder(path_); }
    DemoFolder(const DemoFolder&) = delete;
    DemoFolder& operator=(const DemoFolder&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

bool writeText(const std::filesystem::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return static_cast<bool>(out);
}

}  // namespace

int runDemo(int argc, char** argv, int first) {
    const char* command = "demo";
    const Options opts(argc, argv, first, {{"--output", "-o", true}, {"--sound", "", true}});
    if (auto end = commandPreamble(
            command, opts,
            "usage: measure-cli demo [-o FILE] [--sound on|off]\n"
            "\n"
            "Measures a 24-patch chart with a simulated X-Rite i1Pro in four strips of six:\n"
            "white calibration, the prompts and progress, then the spectra written to\n"
            "demo-measurement.txt (or FILE) and the patches' L*a*b* values shown.\n"
            "Runs at a tenth of the instrument's real delays unless MEASURE_TIME_SCALE is set."))
        return *end;
    MeasureJob job;
    if (auto sound = opts.value("--sound")) {
        if (*sound != "on" && *sound != "off")
            return fail(command, "--sound takes on or off, not '" + *sound + "'");
        job.sound = *sound == "on";
    }
    const std::string output = opts.value("--output").value_or("demo-measurement.txt");

    DemoFolder folder;
    if (folder.path().empty()) return fail(command, "cannot make a temporary folder");
    const auto simulation = std::filesystem::path(folder.path()) / "Vantu" / "AutomatedTesting";
    std::error_code ec;
    std::filesystem::create_directories(simulation, ec);
    if (ec || !writeText(simulation / "SimulationInstrumentConfig.xml", kConfig) ||
        !writeText(simulation / "VantuMeasure.it8", demoChartText()))
        return fail(command, "cannot write the simulation files in " + folder.path());
    // The library reads these when it first needs them, which is after this.
    setEnvironment("MEASURE_COMMON_APPDATA", folder.path());
    if (!environmentHas("MEASURE_TIME_SCALE")) setEnvironment("MEASURE_TIME_SCALE", kDemoTimeScale);

    job.row = GetInstrumentByID(kDemoInstrument);
    if (job.row == nullptr) return fail(command, "the library has no X-Rite i1Pro row");
    job.mode = *findMode("spectral");
    job.patches = kDemoPatches;
    job.perLine = kDemoPerStrip;

    Display display(stdout, stdoutIsTerminal());
    display.line("measure-cli demo: a simulated X-Rite i1Pro measures a 24-patch chart in strips of 6");
    std::vector<Patch> patches;
    if (int status = runMeasurement(command, job, display, patches)) return status;
    std::string problem;
    if (!writeMeasurementFile(output, job, patches, problem)) return fail(command, problem);

    std::printf("\n  %-6s %8s %8s %8s\n", "Patch", "L*", "a*", "b*");
    for (size_t i = 0; i < patches.size(); ++i) {
        std::array<double, 3> xyz{};
        std::array<double, 3> lab{};
        if (!spectrumToXyzLab(kGridHeader, patches[i].data(), xyz, lab)) continue;
        std::printf("  %-6zu %8.2f %8.2f %8.2f\n", i + 1, lab[0], lab[1], lab[2]);
    }
    std::printf("\nWrote %zu spectra to %s\n", patches.size(), output.c_str());
    return kExitOk;
}

}  // namespace cli
