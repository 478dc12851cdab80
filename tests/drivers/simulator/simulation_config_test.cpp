// The simulation configuration reaches the record at its fixed offsets, and
// only a listed instrument is simulated.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <fstream>

#include "drivers/simulator/isis_parameters.h"
#include "drivers/simulator/simulation_config.h"
#include "support/test_environment.h"

namespace measure::simulator {
namespace {

using Words = std::array<uint16_t, 12>;

// The twelve 16-bit words at bytes 16..39 of the record.
Words words(const MEASURE2STRUCT& record) {
    Words value{};
    std::memcpy(value.data(), reinterpret_cast<const char*>(&record) + 16, sizeof value);
    return value;
}

class SimulationConfig : public ::testing::Test {
protected:
    ConfigResult read(const std::string& xml) {
        std::ofstream(dir_.file("config.xml")) << xml;
        return readSimulationConfig(dir_.file("config.xml"), &record_, problem_);
    }
    test::TempDir dir_;
    MEASURE2STRUCT record_{};
    std::string problem_;
};

const char* kFull = R"(<?xml version="1.0"?>
<SimulationInstrumentConfig>
  <ButtonTimeDelay_ms>11</ButtonTimeDelay_ms>
  <CalibrationTimeDelay_ms>12</CalibrationTimeDelay_ms>
  <MeasurementTimeDelay_ms>13</MeasurementTimeDelay_ms>
  <PositioningTimeDelay_ms>14</PositioningTimeDelay_ms>
  <InsertPaperTimeDelay_ms>15</InsertPaperTimeDelay_ms>
  <SpotMeasurementTimeDelay_ms>16</SpotMeasurementTimeDelay_ms>
  <DeviceBatteryLevel>73</DeviceBatteryLevel>
  <DeviceSN>1234567</DeviceSN>
  <DefaultConnectedDeviceID>0</DefaultConnectedDeviceID>
  <instrumentList>
    <instrument><ID>22</ID><MeasurementDataDelivery>9</MeasurementDataDelivery></instrument>
    <instrument>
      <ID>26</ID>
      <MeasurementDataDelivery>1</MeasurementDataDelivery>
      <AvailableInstrumentOptions>
        <InstrumentOption>1</InstrumentOption>
        <InstrumentOption>0</InstrumentOption>
        <InstrumentOption>3</InstrumentOption>
        <InstrumentOption/>
        <InstrumentOption>-2</InstrumentOption>
        <InstrumentOption>1</InstrumentOption>
      </AvailableInstrumentOptions>
      <NumberOfDiscoveredDevices>2</NumberOfDiscoveredDevices>
    </instrument>
    <instrument><ID>26</ID><MeasurementDataDelivery>7</MeasurementDataDelivery></instrument>
  </instrumentList>
</SimulationInstrumentConfig>)";

TEST_F(SimulationConfig, ListedInstrumentFillsEveryOffset) {
    record_.instrument = 26;
    record_.SerialNumber = 99;
    ASSERT_EQ(read(kFull), ConfigResult::Applied) << problem_;
    // Delays, battery, ID, delivery (the first matching instrument wins),
    // default device and discovered devices.
    EXPECT_EQ(words(record_), (Words{11, 12, 13, 14, 15, 16, 73, 0, 26, 1, 0, 2}));
    EXPECT_EQ(record_.SerialNumber, 1234567u);
    EXPECT_EQ(record_.OptionBits, 0b100101u) << "options 0, 2 and 5 are positive";
    EXPECT_EQ(record_.instrument, 26u) << "the override, not the reader, switches to 999";
}

TEST_F(SimulationConfig, UnlistedInstrumentIsRefusedButTheDelaysAreRead) {
    record_.instrument = 11;
    EXPECT_EQ(read(kFull), ConfigResult::NotListed);
    EXPECT_NE(problem_.find("11"), std::string::npos);
    EXPECT_EQ(words(record_), (Words{11, 12, 13, 14, 15, 16, 73, 0, 0, 0, 0, 0}));

    record_.instrument = 11;
    EXPECT_EQ(read("<c><CalibrationTimeDelay_ms>5</CalibrationTimeDelay_ms></c>"), ConfigResult::NotListed);
}

TEST_F(SimulationConfig, EmptyElementsKeepTheirFieldExceptDeliveryAndDiscovery) {
    record_.instrument = 63;
    const uint16_t before[] = {101, 102, 103, 104, 105, 106, 107, 0, 0, 108, 0, 110};
    std::memcpy(record_.SimulationArea, before, sizeof before);
    record_.SerialNumber = 55;
    ASSERT_EQ(read("<any><CalibrationTimeDelay_ms/><DeviceBatteryLevel>abc</DeviceBatteryLevel><DeviceSN/>"
                   "<instrumentList><instrument><ID>63</ID><MeasurementDataDelivery/>"
                   "<NumberOfDiscoveredDevices/></instrument></instrumentList></any>"),
              ConfigResult::Applied);
    // No text or absent: unchanged; text that is no number reads 0; delivery
    // and discovery are cleared.
    EXPECT_EQ(words(record_), (Words{101, 102, 103, 104, 105, 106, 0, 0, 63, 0, 0, 0}));
    EXPECT_EQ(record_.SerialNumber, 0u) << "cleared before DeviceSN is read";
    EXPECT_EQ(record_.OptionBits, 0u);
}

TEST_F(SimulationConfig, BrokenFilesAreUnreadable) {
    record_.instrument = 26;
    EXPECT_EQ(read(""), ConfigResult::Unreadable);
    EXPECT_EQ(read("<open><ID>26</open>"), ConfigResult::Unreadable);
    EXPECT_FALSE(problem_.empty());
    EXPECT_EQ(read("just text"), ConfigResult::Unreadable);
    EXPECT_EQ(readSimulationConfig(dir_.file("missing.xml"), &record_, problem_), ConfigResult::Unreadable);
}

class IsisParameters : public ::testing::Test {
protected:
    void SetUp() override { clearIsisParameters(); }
    void TearDown() override { clearIsisParameters(); }
};

const char* kLayout =
    "ChartSizeX=210\nNumberOfRows=12\nNumberOfColumns:8\nBarSizeX=6,5\nBarSizeY=-3\n"
    "DistancePaperEdgeToBar=1234567890123\nDistBarToFirstLine=7 mm\nMarkersDistance=4\n"
    "PatchSizeX=6\nPatchSizeY=6\nMarkerPatchDistance=2\n";

TEST_F(IsisParameters, ReadsEveryKeyAfterOneSeparator) {
    EXPECT_EQ(ISIS_SetParametersFromText(kLayout, 26), kParametersRead);
    EXPECT_EQ(isisParameter("ChartSizeX"), 210);
    EXPECT_EQ(isisParameter("NumberOfRows"), 12);
    EXPECT_EQ(isisParameter("NumberOfColumns"), 8);
    EXPECT_EQ(isisParameter("BarSizeX"), 6);
    EXPECT_EQ(isisParameter("BarSizeY"), -3);
    EXPECT_EQ(isisParameter("DistancePaperEdgeToBar"), 123456789) << "at most nine characters";
    EXPECT_EQ(isisParameter("DistBarToFirstLine"), 7);
    EXPECT_EQ(isisParameter("MarkerPatchDistance"), 2);
}

TEST_F(IsisParameters, MissingKeyShortTextAndMissingFile) {
    std::string layout = kLayout;
    layout.replace(layout.find("MarkersDistance"), 7, "Marker_");
    EXPECT_EQ(ISIS_SetParametersFromText(layout, 26), kParameterKeyMissing);
    EXPECT_EQ(ISIS_SetParametersFromText("Patches_X", 34), kParameterKeyMissing) << "shorter than 10";
    EXPECT_EQ(ISIS_SetParametersFromFile(nullptr, 26), kParameterFileMissing);
    test::TempDir dir;
    EXPECT_EQ(ISIS_SetParametersFromFile(dir.file("none.txt").c_str(), 26), kParameterFileMissing);
    std::ofstream(dir.file("pad.txt")) << "Patches_X 14\nPatches_Y 9";
    EXPECT_EQ(ISIS_SetParametersFromFile(dir.file("pad.txt").c_str(), 34), kParametersRead);
    EXPECT_EQ(isisParameter("Patches_Y"), 9);
    EXPECT_EQ(ISIS_SetParametersFromFile(dir.file("pad.txt").c_str(), 26), kParameterKeyMissing)
        << "a chart reader needs the eleven layout keys";
}

TEST_F(IsisParameters, KeyAtTheVeryEndHasNoValue) {
    EXPECT_EQ(ISIS_SetParametersFromText("0123456789Patches_X", 34), kParameterKeyMissing);
    EXPECT_EQ(ISIS_SetParametersFromText("0123456789 Patches_Y=3 Patches_X", 34), kParametersRead);
    EXPECT_EQ(isisParameter("Patches_X"), 0);
}

}  // namespace
}  // namespace measure::simulator
