// What the i1iO3 rows 51 and 52 do differently from row 23 (whose chart
// tests run on row 51 too): the connection takes a hand-held i1Pro3 onto
// the table, the device type fits the row, the conditions choose mode and
// recognition, and a failing chart scan fails the simple scan.
#include <gtest/gtest.h>

#include "drivers/i1io/i1io_host.h"
#include "support/test_environment.h"

namespace measure::test {
namespace {

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
    host.events.clear();
    ASSERT_EQ(WhiteCalibration(host.record()), 0);
    ASSERT_TRUE(host.runUntilStatus(MEASURE_STATUS_CALIBRATION_FAILED));
    EXPECT_EQ(host.events, (std::vector<HostEvent>{{HostEvent::Status, MEASURE_STATUS_CALIBRATING},
                                                   {HostEvent::Status, MEASURE_STATUS_MODE_UNSUITABLE},
                                                   {HostEvent::End, MEASURE_END_CALIBRATION_FAILED},
                                                   {HostEvent::Status, MEASURE_STATUS_CALIBRATION_FAILED}}));
}

TEST_F(I1io3, AFailingChartScanFailsTheSimpleScan) {
    for (uint32_t row : {51u, 23u}) {
        tableBaseline(row == 51 ? EMU_I1_MODEL_I1PRO3 : EMU_I1_MODEL_I1PRO);
        I1ProHost host(row, MEASURE_MODE_SPECTRAL, 24);
        planChart(host, 6);
        ASSERT_EQ(host.open(), 0);
        ASSERT_EQ(WhiteCalibration(host.record()), 0);
        ASSERT_TRUE(host.runUntilStatus(MEASURE_STATUS_CALIBRATION_DONE));
        ASSERT_EQ(StartRegisterCorners(host.record()), 0);
        ASSERT_TRUE(host.runUntilStatus(MEASURE_STATUS_CORNERS_DONE));
        emu_i1_table_fail_chart_at_row(1, 77);
        LogCapture log;
        ASSERT_EQ(StartSimpleMultiMeasure(host.record()), 0);
        // The i1iO takes the rows read so far; the i1iO3 fails the job.
        EXPECT_EQ(host.runToEnd(), row == 51 ? MEASURE_END_FAILED : MEASURE_END_DONE) << row;
        EXPECT_EQ(log.contains("catch(I1PRO3_ScanChart failed)"), row == 51) << row;
    }
}

}  // namespace
}  // namespace measure::test
