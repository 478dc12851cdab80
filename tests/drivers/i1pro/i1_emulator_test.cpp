// The i1 SDK stand-in on its own, called through its exports as the drivers
// call it: only the answers the i1Pro driver relies on (presence, options,
// calibration, button, scans and the hand-over between the i1Pro and i1Pro3
// libraries).
#include <gtest/gtest.h>

#include <cstring>

#include "drivers/i1pro/i1_sdk_stand_in.h"

namespace measure::test {
namespace {

using namespace measure::xrite;

class I1StandIn : public ::testing::Test {
protected:
    void SetUp() override {
        useI1StandIn();
        ASSERT_TRUE(pro.bind("X-Rite\\i1Pro64.dll", "I1_"));
        ASSERT_TRUE(pro3.bind("i1Pro364.dll", "I1PRO3_"));
    }
    void TearDown() override { emu_i1_reset(); }

    I1_DeviceHandle first(I1Calls& sdk) {
        I1_DeviceHandle* list = nullptr;
        uint32_t count = 0;
        EXPECT_EQ(sdk.GetDevices(&list, &count), kI1Success);
        return count > 0 ? list[0] : nullptr;
    }
    I1_DeviceHandle openPro() {
        I1_DeviceHandle device = first(pro);
        EXPECT_EQ(pro.OpenDevice(device), kI1Success);
        return device;
    }
    std::string option(I1_DeviceHandle device, const char* key) {
        char buffer[kI1TextBufferSize] = {};
        uint32_t size = sizeof buffer;
        return pro.GetOption(device, key, buffer, &size) == kI1Success ? buffer : "<failed>";
    }
    std::string lastError(I1Calls& sdk) {
        char buffer[kI1TextBufferSize] = {};
        uint32_t size = sizeof buffer;
        sdk.GetGlobalOption("LastErrorText", buffer, &size);
        return buffer;
    }
    void calibrate(I1_DeviceHandle device, const char* mode) {
        ASSERT_EQ(pro.SetOption(device, "MeasurementMode", mode), kI1Success);
        ASSERT_EQ(pro.Calibrate(device), kI1Success);
    }

    I1Calls pro;
    I1Calls pro3;
};

TEST_F(I1StandIn, UnpluggedInstrumentIsNotListedAndRefusesCalls) {
    I1_DeviceHandle device = openPro();
    emu_i1_set_attached(0);
    I1_DeviceHandle* list = nullptr;
    uint32_t count = 7;
    EXPECT_EQ(pro.GetDevices(&list, &count), kI1Success);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(pro.GetConnectionStatus(device), kI1StatusDisconnected);
    EXPECT_EQ(pro.TriggerMeasurement(device), kI1DeviceNotConnected);
    EXPECT_EQ(lastError(pro), "instrument not connected");
    emu_i1_set_attached(1);
    EXPECT_EQ(pro.GetConnectionStatus(device), kI1StatusClosed);  // plugged in again, closed
}

TEST_F(I1StandIn, ConnectionStatusFollowsOpenAndClose) {
    I1_DeviceHandle device = first(pro);
    EXPECT_EQ(pro.GetConnectionStatus(device), kI1StatusClosed);
    EXPECT_EQ(pro.OpenDevice(device), kI1Success);
    EXPECT_EQ(pro.GetConnectionStatus(device), kI1StatusOpen);
    emu_i1_set_table(1);
    // Opened before the table extensions were registered: a plain i1Pro.
    EXPECT_EQ(pro.GetConnectionStatus(device), kI1StatusOpen);
    EXPECT_EQ(pro.CloseDevice(device), kI1Success);
    EXPECT_EQ(pro.GetConnectionStatus(device), kI1StatusClosed);
    EXPECT_NE(pro.CloseDevice(device), kI1Success);  // not open any more
    emu_i1_set_closed_status(kI1StatusClosedElsewhere);
    EXPECT_EQ(pro.GetConnectionStatus(device), kI1StatusClosedElsewhere);
    ASSERT_EQ(pro.RegisterTableExtensions(), kI1Success);
    EXPECT_EQ(pro.OpenDevice(device), kI1Success);
    EXPECT_EQ(pro.GetConnectionStatus(device), kI1StatusOpenOnTable);
}

TEST_F(I1StandIn, OptionsAreCheckedAgainstWhatTheInstrumentOffers) {
    I1_DeviceHandle device = openPro();
    EXPECT_EQ(pro.SetOption(device, "MeasurementMode", "ReflectanceScan"), kI1Success);
    EXPECT_NE(pro.SetOption(device, "MeasurementMode", "DualReflectanceScan"), kI1Success);
    EXPECT_EQ(lastError(pro), "MeasurementMode DualReflectanceScan not available");
    EXPECT_NE(pro.SetOption(device, "ResultIndexKey", "M1"), kI1Success);
    EXPECT_NE(pro.SetOption(device, "NoSuchKey", "1"), kI1Success);
    EXPECT_NE(pro.SetOption(device, "ColorSpaceDescription.Type", "CIELuv"), kI1Success);
    EXPECT_EQ(pro.SetOption(device, "PatchesPerLine", "26"), kI1Success);
    EXPECT_NE(pro.SetOption(device, "PatchesPerLine", "26x"), kI1Success);
    EXPECT_EQ(pro.SetOption(device, "IndicatorLedKey", "IndicatorLedWait4Scan"), kI1Success);
    emu_i1_set_text("HasIndicatorLed", "0");
    EXPECT_NE(pro.SetOption(device, "IndicatorLedKey", "IndicatorLedOff"), kI1Success);
    EXPECT_EQ(pro.SetOption(device, "OnMeasurementSuccessNoLedIndication", "1"), kI1Success);
    EXPECT_EQ(emu_i1_count("I1_SetOption IndicatorLedKey="), 2);
    EXPECT_EQ(option(device, "PatchesPerLine"), "26");
}

TEST_F(I1StandIn, MeasuringNeedsACalibrationOnTheWhiteTileForThatMode) {
    I1_DeviceHandle device = openPro();
    EXPECT_EQ(pro.TriggerMeasurement(device), kI1NoMeasurementModeSet);
    ASSERT_EQ(pro.SetOption(device, "MeasurementMode", "ReflectanceSpot"), kI1Success);
    EXPECT_EQ(pro.TriggerMeasurement(device), kI1DeviceNotCalibrated);
    emu_i1_set_on_white_tile(0);
    EXPECT_NE(pro.Calibrate(device), kI1Success);
    emu_i1_set_on_white_tile(1);
    emu_i1_fail_calibrations(1);
    EXPECT_NE(pro.Calibrate(device), kI1Success);
    EXPECT_EQ(pro.Calibrate(device), kI1Success);
    EXPECT_EQ(pro.TriggerMeasurement(device), kI1Success);
    // Calibrating the spot mode does not calibrate scanning.
    ASSERT_EQ(pro.SetOption(device, "MeasurementMode", "ReflectanceScan"), kI1Success);
    EXPECT_EQ(pro.TriggerMeasurement(device), kI1DeviceNotCalibrated);
    EXPECT_EQ(emu_i1_is_calibrated("ReflectanceSpot"), 1);
    EXPECT_EQ(emu_i1_is_calibrated("ReflectanceScan"), 0);
}

TEST_F(I1StandIn, EachButtonPressIsReportedOnce) {
    I1_DeviceHandle device = openPro();
    EXPECT_EQ(pro.GetButtonStatusD(device), kI1ButtonNotPressed);
    emu_i1_press_button();
    emu_i1_press_button();
    EXPECT_EQ(pro.GetButtonStatusD(device), kI1ButtonPressed);
    EXPECT_EQ(pro.GetButtonStatusD(device), kI1ButtonPressed);
    EXPECT_EQ(pro.GetButtonStatusD(device), kI1ButtonNotPressed);
    // The virtual user answers the third poll.
    emu_i1_set_auto_press(3);
    EXPECT_EQ(pro.GetButtonStatusD(device), kI1ButtonNotPressed);
    EXPECT_EQ(pro.GetButtonStatusD(device), kI1ButtonNotPressed);
    EXPECT_EQ(pro.GetButtonStatusD(device), kI1ButtonPressed);
    EXPECT_EQ(emu_i1_button_polls(), 7);
}

TEST_F(I1StandIn, ScansFollowTheScriptThenTheDefaultChart) {
    I1_DeviceHandle device = openPro();
    calibrate(device, "ReflectanceScan");
    EmuI1Scan scan;
    emu_i1_scan_defaults(&scan);
    scan.firstPatch = 100;
    scan.patchCount = 4;
    scan.withReferences = 1;
    scan.reversed = 1;
    emu_i1_queue_scan(&scan);

    ASSERT_EQ(pro.TriggerMeasurement(device), kI1Success);
    ASSERT_EQ(pro.GetNumberOfAvailableSamples(device), 6);
    float first[36], light[36], lastPatch[36];
    emu_i1_patch_spectrum(EMU_I1_PATCH_LIGHT_REFERENCE, light);
    emu_i1_patch_spectrum(103, lastPatch);
    ASSERT_EQ(pro.GetSpectrum(device, first, 0), kI1Success);
    EXPECT_EQ(std::memcmp(first, light, sizeof first), 0);  // drawn backwards: light reference first
    ASSERT_EQ(pro.GetSpectrum(device, first, 1), kI1Success);
    EXPECT_EQ(std::memcmp(first, lastPatch, sizeof first), 0);

    // Unscripted: the default chart's strips of six, one after the other.
    ASSERT_EQ(pro.TriggerMeasurement(device), kI1Success);
    EXPECT_EQ(pro.GetNumberOfAvailableSamples(device), 6);
    float patch6[36];
    emu_i1_patch_spectrum(6, patch6);
    ASSERT_EQ(pro.TriggerMeasurement(device), kI1Success);
    ASSERT_EQ(pro.GetSpectrum(device, first, 0), kI1Success);
    EXPECT_EQ(std::memcmp(first, patch6, sizeof first), 0);

    // With position recognition the instrument knows the line length.
    ASSERT_EQ(pro.SetOption(device, "RecognitionKey", "RecognitionPosition"), kI1Success);
    ASSERT_EQ(pro.SetOption(device, "PatchesPerLine", "11"), kI1Success);
    ASSERT_EQ(pro.TriggerMeasurement(device), kI1Success);
    EXPECT_EQ(pro.GetNumberOfAvailableSamples(device), 11);
}

TEST_F(I1StandIn, RawScanHasPaperAroundBlendedEdgesAndWidePatches) {
    I1_DeviceHandle device = openPro();
    calibrate(device, "ReflectanceScan");
    ASSERT_EQ(pro.SetOption(device, "RecognitionKey", "RecognitionDisabled"), kI1Success);
    EmuI1Scan scan;
    emu_i1_scan_defaults(&scan);
    scan.patchCount = 3;
    scan.widePatch = 1;
    scan.noise = 0;
    emu_i1_queue_scan(&scan);
    ASSERT_EQ(pro.TriggerMeasurement(device), kI1Success);
    // 30 paper, 20 + 60 + 20 patch samples, 30 paper, one blended sample at each of 4 edges.
    ASSERT_EQ(pro.GetNumberOfAvailableSamples(device), 30 + 100 + 30 + 4);

    float paper[36], sample[36], patch0[36];
    emu_i1_patch_spectrum(EMU_I1_PATCH_SUBSTRATE, paper);
    emu_i1_patch_spectrum(0, patch0);
    ASSERT_EQ(pro.SetOption(device, "ResultIndexKey", "M0"), kI1Success);
    ASSERT_EQ(pro.GetSpectrum(device, sample, 163), kI1Success);
    EXPECT_NEAR(sample[30], paper[30], 1e-6);  // 680 nm, no brightener there
    ASSERT_EQ(pro.GetSpectrum(device, sample, 31), kI1Success);
    EXPECT_NEAR(sample[30], patch0[30], 1e-6);
    ASSERT_EQ(pro.GetSpectrum(device, sample, 30), kI1Success);  // the blended edge
    EXPECT_NEAR(sample[30], 0.75f * paper[30] + 0.25f * patch0[30], 1e-5);
}

TEST_F(I1StandIn, TheI1Pro3LibraryHoldingTheInstrumentGivesCode52UntilItLetsGo) {
    emu_i1_set_holder(EMU_I1_HOLDER_I1PRO3);
    I1_DeviceHandle device = first(pro);
    EXPECT_EQ(pro.GetConnectionStatus(device), kI1StatusClosed);
    EXPECT_EQ(pro.OpenDevice(device), kI1DeviceHeldByOtherLibrary);
    EXPECT_EQ(lastError(pro), "instrument is in use by the i1Pro3 library");

    I1_DeviceHandle other = first(pro3);
    EXPECT_NE(other, device);  // each library hands out its own handle
    EXPECT_EQ(pro3.GetConnectionStatus(other), kI1StatusOpen);
    EXPECT_EQ(pro3.CloseDevice(other), kI1Success);
    EXPECT_EQ(pro.OpenDevice(device), kI1Success);
    EXPECT_EQ(emu_i1_holder(), EMU_I1_HOLDER_I1PRO);
    EXPECT_EQ(pro3.OpenDevice(other), kI1DeviceHeldByOtherLibrary);
    // A handle of one library means nothing to the other.
    EXPECT_NE(pro3.SetOption(device, "MeasurementMode", "ReflectanceSpot"), kI1Success);
}

namespace events {
int arrivals = 0;
int departures = 0;
void handler(I1_DeviceHandle, uint32_t event, void*) {
    if (event == kI1EventArrival) ++arrivals;
    if (event == kI1EventDeparture) ++departures;
}
}  // namespace events

TEST_F(I1StandIn, PluggingCallsTheRegisteredEventHandler) {
    events::arrivals = events::departures = 0;
    ASSERT_EQ(pro.RegisterDeviceEventHandler(&events::handler, nullptr), kI1Success);
    emu_i1_set_attached(0);
    emu_i1_set_attached(0);  // no change, no event
    emu_i1_set_attached(1);
    EXPECT_EQ(events::departures, 1);
    EXPECT_EQ(events::arrivals, 1);
    ASSERT_EQ(pro.RegisterDeviceEventHandler(nullptr, nullptr), kI1Success);
    emu_i1_set_attached(0);
    EXPECT_EQ(events::departures, 1);
}

}  // namespace
}  // namespace measure::test
