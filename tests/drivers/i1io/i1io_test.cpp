// The i1iO table rows through the exports against the i1 SDK stand-in: on
// row 23 the open needs the head on a table that answers and is new enough,
// aimed spots and the scan calibration; then what the i1iO3 rows change.
#include <gtest/gtest.h>

#include "drivers/i1io/i1io_host.h"
#include "drivers/xrite/i1io/io_pro_entries.h"
#include "framework/driver_entries.h"
#include "support/test_environment.h"

namespace measure::test {
namespace {

class I1io : public I1StandInTest {
protected:
    void SetUp() override {
        useI1StandIn();
        emu_i1_set_table(1);
    }
};

TEST_F(I1io, HeadOnTheTableOpensWithTheTableBitAndPort11) {
    emu_i1_set_text("HasUVcutFilter", "1");
    I1ProHost host(kIoRow, MEASURE_MODE_SPECTRAL);
    ASSERT_EQ(host.open(), 0);
    EXPECT_EQ(host.rec.port, 11);
    EXPECT_EQ(host.rec.SerialNumber, 1041234u);
    EXPECT_EQ(host.rec.OptionBits, uint32_t(opInstrumentOpened | opSingleMeasurementOption | opM0Mode |
                                            opUVCutOption | opi1i02isConnected));
    EXPECT_EQ(i1Option("I1T_EnableElectrostaticFoil"), "1");
    EXPECT_EQ(MustCalibrate(host.record()), 1);

    // The foil lets the sheet go at the close.
    EXPECT_EQ(host.close(), 0);
    EXPECT_EQ(i1Option("I1T_EnableElectrostaticFoil"), "0");

    emu_i1_set_model(EMU_I1_MODEL_I1PRO2);  // its dual modes, conditions and resolution
    I1ProHost pro2(kIoRow, MEASURE_MODE_SPECTRAL);
    ASSERT_EQ(pro2.open(), 0);
    EXPECT_EQ(pro2.rec.OptionBits,
              uint32_t(opInstrumentOpened | opSingleMeasurementOption | opDualScanOption | opDualSpotOption |
                       opM0Mode | opM1Mode | opM2Mode | opLowResolution | opi1i02isConnected));
}

TEST_F(I1io, NoTableNoTableExtensionsOrAnOldTableFailTheOpen) {
    {
        LogCapture log;
        emu_i1_set_table(0);
        I1ProHost host(kIoRow, MEASURE_MODE_SPECTRAL);
        EXPECT_EQ(host.open(), -1);
        EXPECT_TRUE(log.contains("i1Pro is not connected to an iO"));
    }
    {
        tableBaseline();
        emu_i1_table_fail_extensions(73);
        I1ProHost host(kIoRow, MEASURE_MODE_SPECTRAL);
        EXPECT_EQ(host.open(), -1);
        EXPECT_EQ(emu_i1_count("I1_OpenDevice"), 0);
    }
    for (const auto& [serial, result] : {std::pair{"22050", -1}, std::pair{"22051", 0}}) {
        tableBaseline();
        emu_i1_set_text("I1T_SerialNumber", serial);
        I1ProHost host(kIoRow, MEASURE_MODE_SPECTRAL);
        EXPECT_EQ(host.open(), result) << serial;
        if (result != 0) {
            host.drain(50);
            EXPECT_EQ(host.values(HostEvent::Status), (std::vector<int64_t>{MEASURE_STATUS_TABLE_REFUSED}));
            EXPECT_EQ(emu_i1_holder(), EMU_I1_HOLDER_NONE);  // closed again
        }
    }
    // An i1Pro on the table is not the hand-held row.
    I1ProHost host(11, MEASURE_MODE_SPECTRAL);
    EXPECT_EQ(host.open(), -1);
}

// Two records on one table: the first close must leave the second its
// result block, so that its close ends its driver and the SDK is let go.
TEST_F(I1io, TwoOpensOfOneTableLetTheSdkGoWhenBothAreClosed) {
    EXPECT_EQ(emu_i1_library_loaded(EMU_I1_HOLDER_I1PRO), 0);
    {
        I1ProHost first(kIoRow, MEASURE_MODE_SPECTRAL);
        I1ProHost second(kIoRow, MEASURE_MODE_SPECTRAL);
        ASSERT_EQ(first.open(), 0);
        ASSERT_EQ(second.open(), 0);
        EXPECT_EQ(first.close(), 0);
        EXPECT_EQ(emu_i1_library_loaded(EMU_I1_HOLDER_I1PRO), 1);  // the second still uses it
        EXPECT_EQ(second.close(), 0);
        EXPECT_EQ(second.rec.pDllData, nullptr);
    }
    EXPECT_EQ(emu_i1_library_loaded(EMU_I1_HOLDER_I1PRO), 0);
    EXPECT_EQ(emu_i1_holder(), EMU_I1_HOLDER_NONE);
}

TEST_F(I1io, ThePatchUnderTheVisorIsMeasuredUntilTheHostStops) {
    I1ProHost host(kIoRow, MEASURE_MODE_SPECTRAL);
    ASSERT_EQ(host.open(), 0);
    emu_i1_table_queue_patch(2, 3);  // patch 15 of the 4 x 6 chart
    emu_i1_table_queue_patch(0, 1);  // patch 1
    host.onEvent = [&](const HostEvent& e) {
        if (e.kind == HostEvent::Data && host.spectra.size() == 2) {
            EXPECT_EQ(StopSingleMeasure(host.record()), 0);
        }
    };
    EXPECT_EQ(runRequest(host, {}, SingleMeasure), MEASURE_END_STOPPED);
    EXPECT_EQ(host.spectra, (std::vector{chartSpectra(15, 1), chartSpectra(1, 1)}));
    // The aperture went where the visor pointed, and the head went home.
    EXPECT_EQ(emu_i1_count("I1_SetPosition 70.0,80.0"), 2);
    EXPECT_EQ(tablePosition(), (std::array<float, 2>{0, 0}));
    EXPECT_EQ(emu_i1_is_calibrated("ReflectanceSpot"), 1);
}

// Its own host and open: a spot loop that the stop ends may already be
// waiting for the next aim when the stop comes.
TEST_F(I1io, AnAimedSpotDeliversItsColourValues) {
    I1ProHost host(kIoRow, MEASURE_MODE_CIE_XYZ);
    ASSERT_EQ(host.open(), 0);
    emu_i1_table_queue_patch(3, 5);
    host.onEvent = [&](const HostEvent& e) {
        if (e.kind == HostEvent::Data) {
            EXPECT_EQ(StopSingleMeasure(host.record()), 0);
        }
    };
    EXPECT_EQ(runRequest(host, {}, SingleMeasure), MEASURE_END_STOPPED);
    EXPECT_EQ(host.triples, (DeliveredTriples{{chartColour(23)}}));
}

TEST_F(I1io, WhiteCalibrationIsTheScanCalibrationOnlyAndTheCloseEntryLeavesItsDriverOpen) {
    I1ProHost host(kIoRow, MEASURE_MODE_SPECTRAL, 24);
    planChart(host, 6);
    ASSERT_EQ(host.open(), 0);
    ASSERT_EQ(WhiteCalibration(host.record()), 0);
    ASSERT_TRUE(host.runUntilStatus(MEASURE_STATUS_CALIBRATION_DONE));
    EXPECT_EQ(host.values(HostEvent::Status),
              (std::vector<int64_t>{MEASURE_STATUS_CALIBRATING, MEASURE_STATUS_IDLE,
                                    MEASURE_STATUS_CALIBRATION_DONE}));
    EXPECT_EQ(emu_i1_is_calibrated("ReflectanceScan"), 1);
    EXPECT_EQ(emu_i1_is_calibrated("ReflectanceSpot"), 0);
    EXPECT_EQ(MustCalibrate(host.record()), 0);

    // The close entry while the scan calibration runs.
    emu_i1_hold_calibration("ReflectanceScan");
    ASSERT_EQ(WhiteCalibration(host.record()), 0);
    ASSERT_TRUE(waitFor([] { return emu_i1_calibration_waiting() == 1; }, 5000));
    EXPECT_EQ(i1io::CloseIOPro(host.record()), 0);
    EXPECT_NE(framework::storedDriver(host.record()), nullptr) << "the entry leaves the driver open";
    EXPECT_EQ(i1Option("I1T_EnableElectrostaticFoil"), "0");
    emu_i1_hold_calibration(nullptr);
    host.events.clear();
    ASSERT_TRUE(host.runUntilStatus(MEASURE_STATUS_CALIBRATION_DONE));
    EXPECT_EQ(emu_i1_count("I1_Calibrate ReflectanceScan"), 2);
    EXPECT_EQ(MustCalibrate(host.record()), 0);
}

// What the i1iO3 rows 51 and 52 do differently from row 23 (whose chart
// tests run on row 51 too): the connection takes a hand-held i1Pro3 onto
// the table, the device type fits the row, the conditions choose mode and
// recognition (and a failing chart scan fails the simple scan, with the
// chart tests).
class I1io3 : public I1StandInTest {
protected:
    void SetUp() override {
        useI1StandIn();
        tableBaseline(EMU_I1_MODEL_I1PRO3);
    }
};

TEST_F(I1io3, AHandHeldI1Pro3BecomesATableHead) {
    I1Calls pro3;
    const xrite::I1_DeviceHandle device = openThroughI1Pro3Library(pro3);
    ASSERT_EQ(pro3.GetConnectionStatus(device), xrite::kI1StatusOpen);
    emu_i1_clear_journal();

    I1ProHost host(51, MEASURE_MODE_SPECTRAL);
    ASSERT_EQ(host.open(), 0);
    EXPECT_EQ(host.rec.OptionBits,
              uint32_t(opInstrumentOpened | opSingleMeasurementOption | opM3Mode | opUVCutOption));
    EXPECT_EQ(host.rec.port, 11);
    EXPECT_EQ(pro3.GetConnectionStatus(device), xrite::kI1StatusOpenOnTable);
    expectJournalOrder({"I1PRO3_CloseDevice", "I1PRO3_SetGlobalOption Reset=All",
                        "I1PRO3_RegisterTableExtensions", "I1PRO3_OpenDevice"});
    EXPECT_EQ(emu_i1_count("I1PRO3_SetOption I1PRO3T_EnableElectrostaticFoil"), 0);  // no foil at open
}

TEST_F(I1io3, TheI1ProLibraryLetsGoOfTheHeadBeforeTheTableTakesIt) {
    emu_i1_set_model(EMU_I1_MODEL_I1PRO3_PLUS);
    emu_i1_set_holder(EMU_I1_HOLDER_I1PRO);
    emu_i1_clear_journal();
    I1ProHost host(52, MEASURE_MODE_SPECTRAL);
    ASSERT_EQ(host.open(), 0);
    EXPECT_EQ(emu_i1_holder(), EMU_I1_HOLDER_I1PRO3);
    expectJournalOrder(
        {"I1PRO3_OpenDevice => 52", "I1_CloseDevice", "I1_SetGlobalOption Reset=All", "I1PRO3_OpenDevice\n"});
    EXPECT_EQ(host.rec.port, 11);
}

TEST_F(I1io3, TheDeviceTypeFitsTheRow) {
    emu_i1_set_model(EMU_I1_MODEL_I1PRO3_PLUS);
    {
        I1ProHost host(51, MEASURE_MODE_SPECTRAL);
        EXPECT_EQ(host.open(), -1);
        host.drain(50);
        EXPECT_EQ(host.values(HostEvent::Status), (std::vector<int64_t>{MEASURE_STATUS_TABLE_REFUSED}));
    }
    I1ProHost host(52, MEASURE_MODE_SPECTRAL);
    EXPECT_EQ(host.open(), 0);
    // An i1Pro on the table is not an i1iO3 head.
    tableBaseline();
    I1ProHost i1pro(51, MEASURE_MODE_SPECTRAL);
    EXPECT_EQ(i1pro.open(), -1);
}

TEST_F(I1io3, ConditionsChooseModeAndRecognitionAndFourIsRefused) {
    I1ProHost host(51, MEASURE_MODE_SPECTRAL, 24);
    planChart(host, 6);
    ASSERT_EQ(host.open(), 0);
    for (const auto& [condition, mode, recognition] :
         {std::tuple{3u, "ReflectanceM3Scan", "RecognitionPosition"},
          std::tuple{0u, "ReflectanceScan", "RecognitionPositionDark"}}) {
        host.rec.MeasurementCondition = condition;
        ASSERT_EQ(WhiteCalibration(host.record()), 0);
        ASSERT_TRUE(host.runUntilStatus(MEASURE_STATUS_CALIBRATION_DONE));
        EXPECT_EQ(i1Option("MeasurementMode"), mode);
        EXPECT_EQ(i1Option("RecognitionKey"), recognition);
        EXPECT_EQ(emu_i1_is_calibrated(mode), 1);
    }
    host.rec.MeasurementCondition = 4;
    expectCalibrationRefusedForTheCondition(host);
}

}  // namespace
}  // namespace measure::test
