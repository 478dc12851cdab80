// The i1 pass-through exports against the i1 SDK stand-in: option name and
// value translations, code mappings, the pending-measurement gate, the
// table calls and the handle shared with the i1 drivers.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>

#include "drivers/i1pro/i1pro_host.h"
#include "drivers/xrite/i1_library.h"
#include "interface/i1_passthrough.h"
#include "support/test_environment.h"

namespace measure::test {
namespace {

class I1PassThrough : public I1StandInTest {
protected:
    void TearDown() override {
        I1CloseShort();
        emu_i1_reset();
    }
};

TEST_F(I1PassThrough, OptionNamesAndValuesAreTranslatedBothWays) {
    ASSERT_EQ(I1IsConnected(), 0);
    EXPECT_STREQ(I1GetOption("Version"), "4.2.1");
    EXPECT_STREQ(I1GetOption("PhysicalFilter"), "yes");  // no filter: "0"
    emu_i1_set_text("HasUVcutFilter", "1");
    EXPECT_STREQ(I1GetOption("PhysicalFilter"), "2");
    EXPECT_STREQ(I1GetOption("HasIndicatorLed"), "yes");
    EXPECT_STREQ(I1GetOption("SerialNumber"), "1041234");
    EXPECT_STREQ(I1GetOption("NoSuchKey"), "");

    EXPECT_EQ(I1SetOption("MeasurementMode", "SingleReflectance"), 0);
    EXPECT_EQ(i1Option("MeasurementMode"), "ReflectanceSpot");
    EXPECT_STREQ(I1GetOption("MeasurementMode"), "SingleReflectance");
    EXPECT_EQ(I1SetOption("MeasurementMode", "ScanningReflectance"), 0);
    EXPECT_EQ(i1Option("MeasurementMode"), "ReflectanceScan");
    EXPECT_EQ(I1SetOption("MeasurementMode", "Reset"), 0);
    EXPECT_EQ(i1Option("MeasurementMode"), "ReflectanceScan");  // no effect
    EXPECT_EQ(I1SetOption("Recognition", "yes"), 0);
    EXPECT_EQ(i1Option("RecognitionKey"), "RecognitionBasic");

    EXPECT_EQ(i1pass::hostAnswer("PhysicalFilter", "x"), "o");
    const char unterminated[4] = {'a', 'b', 'c', 'd'};
    EXPECT_EQ(i1pass::boundedText(unterminated, sizeof unterminated), "abcd");

    EXPECT_NE(I1SetOption(nullptr, "1"), 0);
    EXPECT_STREQ(I1GetOption(nullptr), I1GetOption(nullptr));  // the buffer, never null
}

TEST_F(I1PassThrough, CodesOfTheOlderInterface) {
    emu_i1_set_attached(0);
    EXPECT_EQ(I1IsConnected(), 2);
    EXPECT_EQ(I1KeyPressed(), 2);
    EXPECT_EQ(I1GetNumberOfAvailableSamples(), 0);
    i1pass::setFd5btPresence(true, "FD5-77");
    EXPECT_EQ(I1IsConnected(), 1010);
    EXPECT_STREQ(I1GetOption("SerialNumber"), "FD5-77");
    i1pass::setFd5btPresence(false, "");
    emu_i1_set_attached(1);

    ASSERT_EQ(I1IsConnected(), 0);
    EXPECT_EQ(I1KeyPressed(), 4);
    emu_i1_press_button();
    EXPECT_EQ(I1KeyPressed(), 0);
    EXPECT_EQ(I1IsTableConnected(), 18);

    // A calibration without a mode is retried as a scan calibration.
    EXPECT_EQ(I1Calibrate(), 0);
    EXPECT_EQ(emu_i1_is_calibrated("ReflectanceScan"), 1);
    ASSERT_EQ(I1SetOption("MeasurementMode", "SingleReflectance"), 0);
    EXPECT_EQ(I1TriggerMeasurement(), 54);  // the spot is not calibrated; only 60 is translated
    I1GetNumberOfAvailableSamples();
    I1GetNumberOfAvailableSamples();
    I1GetNumberOfAvailableSamples();  // the trigger's gate ends
    emu_i1_set_calibration_failure(54);
    emu_i1_fail_calibrations(1);
    EXPECT_EQ(I1Calibrate(), 3);
    emu_i1_set_calibration_failure(57);
    emu_i1_fail_calibrations(1);
    EXPECT_EQ(I1Calibrate(), 57);
}

TEST_F(I1PassThrough, SampleReadsForwardEachFormOfTheLastSpot) {
    ASSERT_EQ(I1IsConnected(), 0);
    ASSERT_EQ(I1SetOption("MeasurementMode", "SingleReflectance"), 0);
    ASSERT_EQ(I1Calibrate(), 0);
    float white[36];
    std::fill(std::begin(white), std::end(white), 1.0f);
    EXPECT_EQ(I1SetSubstrate(white), 0);
    EXPECT_EQ(emu_i1_count("I1_SetSubstrate"), 1);
    EXPECT_EQ(I1SetSubstrate(nullptr), 30);
    emu_i1_set_spot_patch(7);
    ASSERT_EQ(I1TriggerMeasurement(), 0);

    float spectrum[36];
    ASSERT_EQ(I1GetSpectrum(spectrum, 0), 0);
    const auto want = chartSpectrum(7);
    for (int i = 0; i < 36; ++i) EXPECT_FLOAT_EQ(spectrum[i], static_cast<float>(want[i])) << i;

    // Off the table the colour space ends the trigger's gate.
    ASSERT_EQ(I1SetOption("ColorSpaceDescription.Type", "CIEXYZ"), 0);
    float xyz[3], wantXyz[3];
    emu_i1_colour_of(spectrum, "CIEXYZ", wantXyz);
    ASSERT_EQ(I1GetTriStimulus(xyz, 0), 0);
    EXPECT_EQ(std::vector<float>(xyz, xyz + 3), std::vector<float>(wantXyz, wantXyz + 3));

    ASSERT_EQ(I1SetOption("Colorimetric.DensityStandard", "DIN"), 0);
    float densities[4], wantDensities[4];
    emu_i1_densities_of(spectrum, "DIN", wantDensities);
    uint32_t highest = 99;
    ASSERT_EQ(I1GetDensities(densities, &highest, 0), 0);
    EXPECT_EQ(std::vector<float>(densities, densities + 4),
              std::vector<float>(wantDensities, wantDensities + 4));
    const auto top = std::max_element(wantDensities, wantDensities + 3);
    EXPECT_EQ(highest, static_cast<uint32_t>(top - wantDensities));
    float density = 0;
    ASSERT_EQ(I1GetDensity(&density, 0), 0);
    EXPECT_FLOAT_EQ(density, *top);

    EXPECT_EQ(I1GetDensity(&density, 1), 56);  // one sample only
    EXPECT_EQ(I1GetTriStimulus(nullptr, 0), 30);
}

TEST_F(I1PassThrough, ModeChangesWaitUntilTheSamplesWereCountedThreeTimes) {
    ASSERT_EQ(I1IsConnected(), 0);
    ASSERT_EQ(I1SetOption("MeasurementMode", "ScanningReflectance"), 0);
    ASSERT_EQ(I1Calibrate(), 0);
    emu_i1_fail_triggers(60, 1);
    EXPECT_EQ(I1TriggerMeasurement(), 7);
    EXPECT_EQ(I1SetOption("MeasurementMode", "SingleReflectance"), 0);
    EXPECT_EQ(i1Option("MeasurementMode"), "ReflectanceScan");  // ignored while pending
    I1GetNumberOfAvailableSamples();
    I1GetNumberOfAvailableSamples();
    EXPECT_EQ(I1SetOption("MeasurementMode", "SingleReflectance"), 0);
    EXPECT_EQ(i1Option("MeasurementMode"), "ReflectanceScan");
    I1GetNumberOfAvailableSamples();
    EXPECT_EQ(I1SetOption("MeasurementMode", "SingleReflectance"), 0);
    EXPECT_EQ(i1Option("MeasurementMode"), "ReflectanceSpot");
}

TEST_F(I1PassThrough, TableCallsRaiseTheStartAndReadThePosition) {
    emu_i1_set_table(1);
    ASSERT_EQ(I1IsConnected(), 0);
    EXPECT_EQ(I1IsTableConnected(), 0);
    EXPECT_EQ(I1SetPosition(100.0f, 100.0f), 0);
    float x = 0, y = 0;
    EXPECT_EQ(I1GetPosition(&x, &y), 0);
    EXPECT_FLOAT_EQ(x, 110.2f);
    EXPECT_FLOAT_EQ(y, 120.0f);
    EXPECT_EQ(I1SetOption("I1THoldPosition", "no"), 0);
    EXPECT_EQ(i1Option("I1T_HoldPosition"), "0");
    EXPECT_STREQ(I1GetOption("I1THoldPosition"), "no");
    EXPECT_EQ(I1GoToHomePosition(), 0);
    EXPECT_EQ(I1GetPosition(&x, &y), 0);
    EXPECT_FLOAT_EQ(x, 0.0f);

    // Along the chart's second row: its six patches, each once.
    ASSERT_EQ(I1Scan(40.0f, 70.0f, 90.0f, 70.0f), 0);
    EXPECT_EQ(I1SetOption("MeasurementMode", "ScanningReflectance"), 0);
    EXPECT_EQ(i1Option("MeasurementMode"), "");  // pending until a spectrum is read on the table
    ASSERT_EQ(I1GetNumberOfAvailableSamples(), 6);
    for (uint32_t i = 0; i < 6; ++i) {
        float spectrum[36];
        ASSERT_EQ(I1GetSpectrum(spectrum, i), 0);
        EXPECT_FLOAT_EQ(spectrum[20], static_cast<float>(chartSpectrum(6 + static_cast<int32_t>(i))[20]))
            << i;
    }
    EXPECT_EQ(I1SetOption("MeasurementMode", "ScanningReflectance"), 0);
    EXPECT_EQ(i1Option("MeasurementMode"), "ReflectanceScan");
    EXPECT_EQ(I1Scan(40.0f, 70.0f, 400.0f, 70.0f), 71);  // beyond the travel
}

TEST_F(I1PassThrough, ShortCloseLetsGoOfTheInstrumentWhicheverLibraryHoldsIt) {
    ASSERT_EQ(I1IsConnected(), 0);
    EXPECT_EQ(emu_i1_holder(), EMU_I1_HOLDER_I1PRO);
    EXPECT_EQ(I1CloseShort(), 0);
    EXPECT_EQ(emu_i1_holder(), EMU_I1_HOLDER_NONE);
    EXPECT_EQ(xrite::sharedI1ProHandle(), nullptr);
    EXPECT_EQ(I1CloseShort(), 0);  // nothing open

    // The i1Pro3 library's instrument, as its driver leaves it.
    I1Calls pro3;
    xrite::setSharedI1Pro3Handle(openThroughI1Pro3Library(pro3));
    emu_i1_clear_journal();
    EXPECT_EQ(I1CloseShort(), 0);
    EXPECT_EQ(emu_i1_holder(), EMU_I1_HOLDER_NONE);
    EXPECT_EQ(xrite::sharedI1Pro3Handle(), nullptr);
    EXPECT_EQ(emu_i1_count("I1PRO3_CloseDevice"), 1);
    EXPECT_EQ(emu_i1_count("I1PRO3_SetGlobalOption Reset=All"), 1);
}

TEST_F(I1PassThrough, ADriverOpenedLaterTakesTheSameInstrument) {
    ASSERT_EQ(I1IsConnected(), 0);
    const int32_t opens = emu_i1_count("I1_OpenDevice");
    I1ProHost host(11, MEASURE_MODE_SPECTRAL);
    ASSERT_EQ(host.open(), 0);
    EXPECT_EQ(emu_i1_count("I1_OpenDevice"), opens);  // already open: not opened again
}

namespace messages {
int32_t lastCode = -1;
std::string lastSerial;
void handler(int32_t code, const char* serial, void*) {
    lastCode = code;
    lastSerial = serial != nullptr ? serial : "";
}
}  // namespace messages

TEST_F(I1PassThrough, DeviceMessagesFromSdkEventsAndHotPlugNotices) {
    ASSERT_EQ(I1IsConnected(), 0);
    EXPECT_EQ(I1RegisterDeviceMessageHandler(&messages::handler), &messages::handler);
    emu_i1_set_attached(0);
    EXPECT_EQ(messages::lastCode, 100);
    emu_i1_set_attached(1);
    EXPECT_EQ(messages::lastCode, 0);

    I1ProHost host(11, MEASURE_MODE_SPECTRAL);
    ASSERT_EQ(host.open(), 0);
    i1pass::i1ProRemoved();
    EXPECT_EQ(messages::lastCode, 1);
    i1pass::i1ProArrived();
    EXPECT_EQ(messages::lastCode, 1000);
    EXPECT_EQ(messages::lastSerial, "1041234");
    host.drain(50);
    EXPECT_EQ(host.values(HostEvent::Status),
              (std::vector<int64_t>{MEASURE_STATUS_DEVICE_REMOVED, MEASURE_STATUS_DEVICE_ATTACHED}));
    I1RegisterDeviceMessageHandler(nullptr);
}

}  // namespace
}  // namespace measure::test
