// A build without an XML reader: an existing simulation configuration
// refuses the open with a logged reason, leaves the host's record as it was,
// and the simulator itself still opens as row 999.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "drivers/simulator/simulation_config.h"
#include "measure/measure.h"
#include "platform/paths.h"
#include "support/test_environment.h"

namespace measure::simulator {
namespace {

constexpr const char* kProblem = "XML files cannot be read in this build (built without tinyxml2)";
constexpr const char* kConfig =
    "<SimulationInstrumentConfig><DeviceBatteryLevel>73</DeviceBatteryLevel>"
    "<instrumentList><instrument><ID>22</ID></instrument></instrumentList></SimulationInstrumentConfig>";

class SimulationWithoutXml : public ::testing::Test {
protected:
    SimulationWithoutXml() {
        record_.cb = MEASURE2_RECORD_SIZE;
        record_.port = -1;
        record_.NumOfPatchesToRead = 1;
        record_.SoundSelector = MEASURE_SOUND_OBSERVER;
    }
    ~SimulationWithoutXml() override {
        if (record_.pDllData != nullptr) CloseInstrument(r());
    }
    MEASURESTRUCT* r() { return reinterpret_cast<MEASURESTRUCT*>(&record_); }
    // The shared configuration under <appdata>\Vantu\AutomatedTesting.
    std::string writeConfig() const {
        const auto folder = std::filesystem::path(appData_.path()) / "Vantu" / "AutomatedTesting";
        std::filesystem::create_directories(folder);
        std::ofstream(folder / "SimulationInstrumentConfig.xml") << kConfig;
        return platform::joinPath(appData_.path(),
                                  "\\Vantu\\AutomatedTesting\\SimulationInstrumentConfig.xml");
    }

    test::TempDir appData_;
    test::ScopedEnvironment appDataVariable_{"MEASURE_COMMON_APPDATA", appData_.path().c_str()};
    MEASURE2STRUCT record_{};
};

TEST_F(SimulationWithoutXml, TheReaderRefusesEveryFileAndLeavesTheRecordAlone) {
    const std::string path = writeConfig();
    record_.instrument = 22;
    record_.SerialNumber = 4711;
    const MEASURE2STRUCT before = record_;
    std::string problem;
    EXPECT_EQ(readSimulationConfig(path, &record_, problem), ConfigResult::Unreadable);
    EXPECT_EQ(problem, kProblem);
    EXPECT_EQ(std::memcmp(&before, &record_, sizeof record_), 0);
}

TEST_F(SimulationWithoutXml, AnExistingConfigurationRefusesTheOpenWithALoggedReason) {
    const std::string path = writeConfig();
    test::LogCapture log;
    record_.instrument = 22;
    EXPECT_EQ(Open2Instrument(r()), -1);
    EXPECT_EQ(record_.instrument, 22u) << "the host's instrument is not replaced";
    EXPECT_EQ(record_.pDllData, nullptr);
    EXPECT_EQ(record_.port, -1);
    EXPECT_TRUE(log.has("SimulationOverride", path + ": " + kProblem)) << log.text();

    // Refused again on the next try: nothing is left half applied.
    EXPECT_EQ(Open2Instrument(r()), -1);
    EXPECT_EQ(log.count("SimulationOverride", path + ": " + kProblem), 2);
}

TEST_F(SimulationWithoutXml, TheSimulatorStillOpensAsItsOwnRow) {
    record_.instrument = 999;
    record_.Mode = MEASURE_MODE_CIE_XYZ;
    ASSERT_EQ(Open2Instrument(r()), 0);
    EXPECT_NE(record_.pDllData, nullptr);
    EXPECT_EQ(record_.BatteryLevel, 50u);
    EXPECT_EQ(CloseInstrument(r()), 0);
    EXPECT_EQ(record_.pDllData, nullptr);
    EXPECT_EQ(record_.port, -1);
}

}  // namespace
}  // namespace measure::simulator
