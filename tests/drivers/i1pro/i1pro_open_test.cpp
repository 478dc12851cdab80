// Opening an i1Pro row through the exports against the SDK stand-in: which
// instruments fit which row, what the record learns, the shared handle and
// the hand-over from the i1Pro3 library.
#include <gtest/gtest.h>

#include <tuple>

#include "drivers/i1pro/i1pro_host.h"
#include "drivers/xrite/i1_library.h"
#include "support/test_environment.h"

namespace measure::test {
namespace {

class I1ProOpen : public I1StandInTest {
protected:
    void TearDown() override {
        emu_i1_reset();
        EXPECT_EQ(xrite::sharedI1ProHandle(), nullptr);
    }
};

TEST_F(I1ProOpen, OpensTheFirstInstrumentAndASecondOpenReusesTheProcessWideHandle) {
    {
        I1ProHost host(11, MEASURE_MODE_SPECTRAL);
        ASSERT_EQ(host.open(), 0);
        EXPECT_EQ(host.rec.port, 11);
        EXPECT_EQ(emu_i1_holder(), EMU_I1_HOLDER_I1PRO);
        EXPECT_NE(xrite::sharedI1ProHandle(), nullptr);
        EXPECT_EQ(emu_i1_count("I1_GetDevices"), 1);
        EXPECT_EQ(host.close(), 0);
        EXPECT_EQ(host.rec.port, -1);
        EXPECT_EQ(emu_i1_holder(), EMU_I1_HOLDER_NONE);
        EXPECT_EQ(emu_i1_count("I1_RegisterDeviceEventHandler cleared"), 1);
    }
    I1ProHost first(11, MEASURE_MODE_SPECTRAL);
    ASSERT_EQ(first.open(), 0);
    emu_i1_clear_journal();
    I1ProHost second(22, MEASURE_MODE_SPECTRAL);
    ASSERT_EQ(second.open(), 0);
    EXPECT_EQ(emu_i1_count("I1_GetDevices"), 0);
    EXPECT_EQ(emu_i1_count("I1_OpenDevice"), 0);  // already open: status 3
    EXPECT_EQ(second.close(), 0);
    EXPECT_EQ(first.close(), 0);  // its block outlives the second's close
    EXPECT_EQ(first.rec.pDllData, nullptr);
}

TEST_F(I1ProOpen, InstrumentWithoutLedIsRefusedOnRows21And22AndNeverHearsOfLedsOnRow11) {
    emu_i1_set_text("HasIndicatorLed", "0");
    for (uint32_t id : {21u, 22u}) {
        I1ProHost host(id, MEASURE_MODE_SPECTRAL);
        EXPECT_EQ(host.open(), -1) << id;
        EXPECT_EQ(host.rec.pDllData, nullptr);
        EXPECT_EQ(host.rec.port, -1);
    }
    EXPECT_EQ(emu_i1_holder(), EMU_I1_HOLDER_NONE);

    I1ProHost host(11, MEASURE_MODE_SPECTRAL, 6);
    ASSERT_EQ(host.open(), 0);
    ASSERT_EQ(WhiteCalibration(host.record()), 0);
    ASSERT_TRUE(host.runUntilStatus(MEASURE_STATUS_CALIBRATION_DONE));
    EXPECT_EQ(runRequest(host), MEASURE_END_DONE);
    EXPECT_EQ(StopMultiMeasure(host.record()), 0);
    EXPECT_EQ(emu_i1_count("I1_SetOption IndicatorLedKey"), 0);
    // The scan set-up (for the calibration and for the scan) turns the
    // success indication off; every stop (before each of the two requests
    // and the host's) turns it back on.
    EXPECT_EQ(emu_i1_count("I1_SetOption OnMeasurementSuccessNoLedIndication=1"), 2);
    EXPECT_EQ(emu_i1_count("I1_SetOption OnMeasurementSuccessNoLedIndication=0"), 3);
}

TEST_F(I1ProOpen, I1Pro2GenerationFitsRow11OnlyWithTheModelCheckOverride) {
    emu_i1_set_model(EMU_I1_MODEL_I1PRO2);
    for (const auto& [id, override, result] :
         {std::tuple{11u, 0u, -1}, std::tuple{15u, 0u, -1}, std::tuple{11u, 10000u, -1},
          std::tuple{11u, 10001u, 0}, std::tuple{21u, 0u, 0}, std::tuple{22u, 0u, 0}}) {
        I1ProHost host(id, MEASURE_MODE_SPECTRAL);
        host.rec.ModelCheckOverride = override;
        EXPECT_EQ(host.open(), result) << id << " " << override;
    }
}

TEST_F(I1ProOpen, AbilitiesArePublishedFromTheInstrumentsTexts) {
    emu_i1_set_model(EMU_I1_MODEL_I1PRO2);
    emu_i1_set_text("SerialNumber", "2049911");
    {
        I1ProHost host(22, MEASURE_MODE_SPECTRAL);
        host.rec.MeasurementCondition = 2;
        host.rec.PositionRecognition = 1;
        ASSERT_EQ(host.open(), 0);
        EXPECT_EQ(host.rec.OptionBits,
                  uint32_t(opInstrumentOpened | opDualScanOption | opDualSpotOption | opZebraRullerSensor |
                           opLowResolution | opSingleMeasurementOption | opM0Mode | opM1Mode | opM2Mode |
                           opM3Emissive));
        EXPECT_EQ(host.rec.SerialNumber, 2049911u);
        // Row 22 keeps what the host asked for.
        EXPECT_EQ(host.rec.MeasurementCondition, 2u);
        EXPECT_EQ(host.rec.PositionRecognition, 1u);
    }
    emu_i1_set_model(EMU_I1_MODEL_I1PRO);
    emu_i1_set_text("HWRevision", "A");
    emu_i1_set_text("HasUVcutFilter", "1");
    emu_i1_set_text("SerialNumber", "not a number");
    I1ProHost host(11, MEASURE_MODE_SPECTRAL);
    host.rec.MeasurementCondition = 2;
    host.rec.PositionRecognition = 1;
    ASSERT_EQ(host.open(), 0);
    EXPECT_EQ(host.rec.OptionBits, uint32_t(opInstrumentOpened | opLowResolution | opSingleMeasurementOption |
                                            opi1IsRevisionA | opM0Mode | opM3Emissive | opUVCutOption));
    EXPECT_EQ(host.rec.SerialNumber, 0u);
    // An i1Pro row has neither M1/M2 nor position recognition.
    EXPECT_EQ(host.rec.MeasurementCondition, 0u);
    EXPECT_EQ(host.rec.PositionRecognition, 0u);
}

TEST_F(I1ProOpen, InstrumentHeldByTheI1Pro3LibraryIsHandedOver) {
    emu_i1_set_holder(EMU_I1_HOLDER_I1PRO3);
    I1ProHost host(11, MEASURE_MODE_SPECTRAL);
    ASSERT_EQ(host.open(), 0);
    EXPECT_EQ(emu_i1_holder(), EMU_I1_HOLDER_I1PRO);
    expectJournalOrder({"I1_OpenDevice => 52", "I1PRO3_GetDevices", "I1PRO3_CloseDevice",
                        "I1PRO3_RegisterDeviceEventHandler cleared", "I1PRO3_SetGlobalOption Reset=All",
                        "I1_OpenDevice\n"});
}

TEST_F(I1ProOpen, AbsentInstrumentOrMissingSdkFailsTheOpenAndAnOldSdkIsReportedButUsed) {
    LogCapture log;
    emu_i1_set_attached(0);
    {
        I1ProHost host(11, MEASURE_MODE_SPECTRAL);
        EXPECT_EQ(host.open(), -1);
        EXPECT_EQ(host.rec.pDllData, nullptr);
    }
    EXPECT_TRUE(log.contains("I1_GetDevices()=no instrument found"));
    emu_i1_set_attached(1);
    {
        TempDir empty;
        setEnvironment("MEASURE_SDK_PATH", empty.path().c_str());
        I1ProHost host(11, MEASURE_MODE_SPECTRAL);
        EXPECT_EQ(host.open(), -1);
        EXPECT_TRUE(log.contains("i1Pro64.dll: loading"));
    }
    useI1StandIn();
    emu_i1_set_text("SDKVersion", "v1.7.0");
    I1ProHost host(11, MEASURE_MODE_SPECTRAL);
    EXPECT_EQ(host.open(), 0);
    EXPECT_TRUE(log.contains("Version=\"v1.7.0\""));
    EXPECT_TRUE(log.contains("Wrong version of EyeOne.dll / Ocellus.dll, please update!"));
}

TEST_F(I1ProOpen, UnpluggedAfterOpenFailsRequestsNotTheHost) {
    I1ProHost host(11, MEASURE_MODE_SPECTRAL);
    ASSERT_EQ(host.open(), 0);
    emu_i1_set_attached(0);
    ASSERT_EQ(WhiteCalibration(host.record()), 0);
    EXPECT_EQ(host.runToEnd(), MEASURE_END_FAILED);
    EXPECT_EQ(host.close(), 0);
}

}  // namespace
}  // namespace measure::test
