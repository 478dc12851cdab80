// Corner registration and chart scans of the table rows through the exports
// against the virtual i1iO table: the virtual user shows the corners with the
// visor, the SDK's chart scan reads the patches under the aperture row by
// row. Each runs on row 23 (an i1Pro, the I1_ calls and "I1T_" options) and
// on row 51 (an i1Pro3, the I1PRO3_ calls and "I1PRO3T_" options).
#include <gtest/gtest.h>

#include <string>

#include "drivers/i1io/i1io_host.h"
#include "support/test_environment.h"

namespace measure::test {
namespace {

class I1ioChart : public ::testing::TestWithParam<uint32_t> {
protected:
    void SetUp() override {
        useI1StandIn();
        tableBaseline();
    }
    // The stand-in's baseline with the row's head on the table.
    void tableBaseline() const {
        test::tableBaseline(row() == 51 ? EMU_I1_MODEL_I1PRO3 : EMU_I1_MODEL_I1PRO);
    }
    void TearDown() override { emu_i1_reset(); }
    uint32_t row() const { return GetParam(); }
    // Journal lines of the row's SDK library that start with `call`.
    int32_t calls(const std::string& call) const {
        return emu_i1_count(((row() == 51 ? "I1PRO3_" : "I1_") + call).c_str());
    }
};

INSTANTIATE_TEST_SUITE_P(Rows, I1ioChart, ::testing::Values(23u, 51u));

using I1ioTableRecognition = I1StandInTest;

// Four rows take three corners, one row two (its C is A). The scan runs
// between the visor's corners, A and C half a millimetre right, D half left.
TEST_P(I1ioChart, RegistrationPromptsTheCornersAndTheSimpleScanReadsBetweenThem) {
    using Prompts = std::vector<int64_t>;
    for (const auto& [rows, prompts, scan] :
         {std::tuple{4, Prompts{MEASURE_STATUS_CORNER_1, MEASURE_STATUS_CORNER_2, MEASURE_STATUS_CORNER_3},
                     "ScanChart 4x6 40.5,60.0 40.5,90.0 89.5,90.0"},
          std::tuple{1, Prompts{MEASURE_STATUS_CORNER_1, MEASURE_STATUS_CORNER_3},
                     "ScanChart 1x6 40.5,60.0 40.5,60.0 89.5,60.0"}}) {
        tableBaseline();
        layChart(tableChart(rows, 6));
        I1ProHost host(row(), MEASURE_MODE_SPECTRAL, 6 * rows);
        planChart(host, 6);
        ASSERT_EQ(host.open(), 0);
        ASSERT_EQ(StartRegisterCorners(host.record()), 0);
        ASSERT_TRUE(host.runUntilStatus(MEASURE_STATUS_CORNERS_DONE));
        Prompts shown = prompts;
        shown.push_back(MEASURE_STATUS_CORNERS_DONE);
        EXPECT_EQ(host.values(HostEvent::Status), shown);
        EXPECT_EQ(calls("SetPosition 110.5,120.5"), 1);
        EXPECT_EQ(i1Option("I1T_IsVisorCoordinate"), "1");

        host.events.clear();
        ASSERT_EQ(runRequest(host, {}, StartSimpleMultiMeasure), MEASURE_END_DONE);
        EXPECT_EQ(calls(scan), 1);
        EXPECT_EQ(host.spectra, rowsOfChart(0, rows, 6));
        Prompts passes, ends;
        for (int r = 1; r <= rows; ++r) passes.push_back(r), ends.push_back(6);
        EXPECT_EQ(host.values(HostEvent::Passno), passes);
        EXPECT_EQ(host.values(HostEvent::PassEnd), ends);
        // The i1iO3 leaves patch length and speed to the table.
        EXPECT_EQ(i1Option("I1T_PatchLength"), row() == 23 ? "9.800000" : "");  // (89.5 - 40.5) / 5
        EXPECT_EQ(i1Option("I1T_ScanSpeed"), row() == 23 ? "60.0" : "");
        EXPECT_EQ(i1Option("I1T_ScanChartGapSize"), "0.0");
        EXPECT_TRUE(parksWithin());
    }
}

TEST_P(I1ioChart, GapNarrowsThePitchByWholeMillimetres) {
    for (const auto& [gap, length, gapText] :
         {std::tuple{1999, "8.800000", "2.0"}, std::tuple{999, "9.800000", "1.0"}}) {
        tableBaseline();
        LogCapture log;
        I1ProHost host(row(), MEASURE_MODE_SPECTRAL, 24);
        planChart(host, 6, 0, gap);
        ASSERT_EQ(host.open(), 0);
        ASSERT_EQ(StartRegisterCorners(host.record()), 0);
        ASSERT_TRUE(host.runUntilStatus(MEASURE_STATUS_CORNERS_DONE));
        ASSERT_EQ(runRequest(host, {}, StartSimpleMultiMeasure), MEASURE_END_DONE);
        EXPECT_TRUE(log.contains(std::string("pitch=") + length)) << gap;
        if (row() == 23) {
            EXPECT_EQ(i1Option("I1T_PatchLength"), length) << gap;
        }
        EXPECT_EQ(i1Option("I1T_ScanChartGapSize"), gapText) << gap;
    }
}

TEST_P(I1ioChart, TooSmallAPitchOrOneColumnFailsTheRegistrationAndParksTheTable) {
    {
        LogCapture log;
        EmuI1TableChart small = tableChart(4, 6);
        small.pitchX = 6.5f;  // 6.3 mm between the corrected corners, 5.3 after the gap
        layChart(small);
        I1ProHost host(row(), MEASURE_MODE_SPECTRAL, 24);
        planChart(host, 6, 0, 1999);
        ASSERT_EQ(host.open(), 0);
        ASSERT_EQ(StartRegisterCorners(host.record()), 0);
        EXPECT_TRUE(host.runUntilStatus(MEASURE_STATUS_PASS_FAILED));
        host.drain(20);
        EXPECT_EQ(host.count(HostEvent::End, MEASURE_END_DONE), 0u);
        EXPECT_EQ(host.count(HostEvent::Status, MEASURE_STATUS_CORNERS_DONE), 0u);
        EXPECT_TRUE(log.contains("Patch to small"));
        EXPECT_FALSE(log.contains("Gap to large"));
        EXPECT_TRUE(parksWithin());
    }

    // One patch per row: no pitch at all, and no division by zero.
    tableBaseline();
    layChart(tableChart(4, 1));
    I1ProHost narrow(row(), MEASURE_MODE_SPECTRAL, 4);
    planChart(narrow, 1);
    ASSERT_EQ(narrow.open(), 0);
    ASSERT_EQ(StartRegisterCorners(narrow.record()), 0);
    EXPECT_TRUE(narrow.runUntilStatus(MEASURE_STATUS_PASS_FAILED));
}

// A chart lying upside down (its first row below the last) is read from B:
// A (100.5, 120), C (100.5, 90), D (49.5, 90), so B is (49.5, 120).
EmuI1TableChart upsideDown() {
    EmuI1TableChart turned = tableChart(4, 6);
    turned.originX = 100.0f;
    turned.originY = 120.0f;
    turned.rotationDegrees = 180.0f;
    return turned;
}

TEST_P(I1ioChart, ChartScanRegistersCalibratesAndDeliversEachRowInChartOrder) {
    for (const bool turned : {false, true}) {
        tableBaseline();
        if (turned) layChart(upsideDown());
        I1ProHost host(row(), MEASURE_MODE_SPECTRAL, 24);
        planChart(host, 6);
        ASSERT_EQ(host.open(), 0);
        ASSERT_EQ(runRequest(host), MEASURE_END_DONE);
        EXPECT_EQ(calls(turned ? "ScanChart 4x6 49.5,120.0 49.5,90.0 100.5,90.0"
                               : "ScanChart 4x6 40.5,60.0 40.5,90.0 89.5,90.0"),
                  1);
        EXPECT_EQ(host.spectra, rowsOfChart(0, 4, 6)) << turned;
        EXPECT_EQ(host.values(HostEvent::Pageno), (std::vector<int64_t>{1}));
        EXPECT_EQ(host.values(HostEvent::Passno), (std::vector<int64_t>{1, 2, 3, 4}));
        EXPECT_EQ(emu_i1_is_calibrated("ReflectanceScan"), 1);
        EXPECT_EQ(MustCalibrate(host.record()), 0);
        EXPECT_TRUE(parksWithin());
    }
}

// On the upside-down chart: the colour values come in chart order too.
TEST_P(I1ioChart, ColourValuesFollowTheChartAndACountShortOfTheLastRowIsCut) {
    layChart(upsideDown());
    I1ProHost host(row(), MEASURE_MODE_CIE_XYZ, 22);
    planChart(host, 6);
    ASSERT_EQ(host.open(), 0);
    ASSERT_EQ(runRequest(host), MEASURE_END_DONE);
    ASSERT_EQ(host.values(HostEvent::Data), (std::vector<int64_t>{6, 6, 6, 4}));
    for (size_t row = 0; row < host.triples.size(); ++row)
        for (size_t column = 0; column < host.triples[row].size(); ++column)
            EXPECT_EQ(host.triples[row][column], chartColour(static_cast<int32_t>(row * 6 + column)))
                << row << "," << column;
}

TEST_P(I1ioChart, DensityModesFillOneSlotPerPatch) {
    for (uint32_t mode : {MEASURE_MODE_STATUS_E, MEASURE_MODE_STATUS_T, MEASURE_MODE_DIN_16536,
                          MEASURE_MODE_DIN_16536_NARROW}) {
        tableBaseline();
        layChart(tableChart(2, 6));
        I1ProHost host(row(), mode, 12);
        planChart(host, 6);
        ASSERT_EQ(host.open(), 0);
        ASSERT_EQ(runRequest(host), MEASURE_END_DONE) << mode;
        ASSERT_EQ(host.densities.size(), 12u) << mode;
        for (int32_t i = 0; i < 12; ++i)
            EXPECT_EQ(host.densities[static_cast<size_t>(i)], chartDensities(i, mode))
                << mode << " patch " << i;
    }
}

TEST_P(I1ioChart, TwoSheetsAreRegisteredAndReadOneAfterTheOther) {
    layChart(tableChart(4, 6, 2, 1));  // 30 patches: 24 on the first sheet, 6 on the second
    I1ProHost host(row(), MEASURE_MODE_SPECTRAL, 30);
    planChart(host, 6, 24);
    ASSERT_EQ(host.open(), 0);
    ASSERT_EQ(runRequest(host), MEASURE_END_DONE);
    EXPECT_EQ(host.values(HostEvent::Pageno), (std::vector<int64_t>{1, 2}));
    EXPECT_EQ(host.spectra, rowsOfChart(0, 5, 6));
    EXPECT_EQ(host.values(HostEvent::Passno), (std::vector<int64_t>{1, 2, 3, 4, 5}));
    EXPECT_EQ(calls("ScanChart 4x6"), 1);
    EXPECT_EQ(calls("ScanChart 1x6"), 1);
    // Sheet 2's one row asked for two corners.
    EXPECT_EQ(host.count(HostEvent::Status, MEASURE_STATUS_CORNER_2), 1u);
}

TEST_P(I1ioChart, TheSimpleScanOfTheLastSheetReadsWhatIsLeft) {
    layChart(tableChart(4, 6, 2, 1));
    I1ProHost host(row(), MEASURE_MODE_SPECTRAL, 30);
    planChart(host, 6, 24);
    ASSERT_EQ(host.open(), 0);
    ASSERT_EQ(StartRegisterCorners(host.record()), 0);
    ASSERT_TRUE(host.runUntilStatus(MEASURE_STATUS_CORNERS_DONE));
    emu_i1_table_lay_sheet(1);
    host.rec.ChartPageIndex = 1;
    host.events.clear();
    ASSERT_EQ(runRequest(host, {}, StartSimpleMultiMeasure), MEASURE_END_DONE);
    EXPECT_EQ(calls("ScanChart 1x6"), 1);
    EXPECT_EQ(host.spectra, rowsOfChart(24, 1, 6));
    EXPECT_EQ(host.values(HostEvent::Passno), (std::vector<int64_t>{5}));
    EXPECT_EQ(calls("Calibrate"), 0);
}

TEST_P(I1ioChart, AShortRowDeliversNothingAndTheChartGoesOn) {
    emu_i1_table_short_row(1, 5);
    I1ProHost host(row(), MEASURE_MODE_SPECTRAL, 24);
    planChart(host, 6);
    emu_i1_table_next_row();  // the short row has no pass end
    ASSERT_EQ(host.open(), 0);
    ASSERT_EQ(runRequest(host), MEASURE_END_DONE);
    EXPECT_EQ(host.spectra, (std::vector{chartSpectra(0, 6), chartSpectra(12, 6), chartSpectra(18, 6)}));
    EXPECT_EQ(host.values(HostEvent::Passno), (std::vector<int64_t>{1, 2, 3}));
    EXPECT_EQ(calls("ScanChart row 1 incomplete"), 1);
}

TEST_P(I1ioChart, StopDuringTheChartEndsWithOneAndParksTheTable) {
    I1ProHost host(row(), MEASURE_MODE_SPECTRAL, 24);
    planChart(host, 6);
    ASSERT_EQ(host.open(), 0);
    // The stop comes with the registered corners, while the driver lets the
    // table settle before the scan: on half time that is half a second, so
    // the host has it even on a loaded machine. The first row's callback
    // answers the stop. Rows still go on being released, so a host starved
    // past the settling fails the expectations below instead of hanging.
    ScopedTimeScale settle(0.5);
    host.onEvent = [&](const HostEvent& e) {
        if (e.kind == HostEvent::Status && e.value == MEASURE_STATUS_CORNERS_DONE) {
            EXPECT_EQ(StopMultiMeasure(host.record()), 0);
        }
        if (e.kind == HostEvent::PassEnd) emu_i1_table_next_row();
    };
    EXPECT_EQ(runRequest(host), MEASURE_END_STOPPED);
    // The row under way is delivered; its callback then cancels the chart.
    EXPECT_EQ(emu_i1_table_rows_read(), 1);
    EXPECT_EQ(host.spectra, rowsOfChart(0, 1, 6));
    EXPECT_TRUE(parksWithin());
}

TEST_P(I1ioChart, AFailingChartScanFailsTheSimpleScanOfTheI1iO3Only) {
    I1ProHost host(row(), MEASURE_MODE_SPECTRAL, 24);
    planChart(host, 6);
    ASSERT_EQ(host.open(), 0);
    ASSERT_EQ(WhiteCalibration(host.record()), 0);
    ASSERT_TRUE(host.runUntilStatus(MEASURE_STATUS_CALIBRATION_DONE));
    ASSERT_EQ(StartRegisterCorners(host.record()), 0);
    ASSERT_TRUE(host.runUntilStatus(MEASURE_STATUS_CORNERS_DONE));
    emu_i1_table_fail_chart_at_row(1, 77);
    LogCapture log;
    // The i1iO takes the rows read so far; the i1iO3 fails the job.
    EXPECT_EQ(runRequest(host, {}, StartSimpleMultiMeasure),
              row() == 51 ? MEASURE_END_FAILED : MEASURE_END_DONE);
    EXPECT_EQ(log.contains("catch(I1PRO3_ScanChart failed)"), row() == 51);
}

TEST_F(I1ioTableRecognition, TableRecognitionIsAskedOfAnI1Pro2HeadOnly) {
    for (int32_t model : {EMU_I1_MODEL_I1PRO2, EMU_I1_MODEL_I1PRO}) {
        tableBaseline(model);
        I1ProHost host(kIoRow, MEASURE_MODE_SPECTRAL, 24);
        planChart(host, 6);
        host.rec.OwnSegmentation = 1;
        ASSERT_EQ(host.open(), 0);
        ASSERT_EQ(runRequest(host), MEASURE_END_DONE);
        EXPECT_EQ(emu_i1_count("I1_SetOption RecognitionKey=RecognitionPosition"),
                  model == EMU_I1_MODEL_I1PRO2 ? 1 : 0);
        // Without the dual scan mode the SDK's basic recognition is asked for.
        EXPECT_EQ(emu_i1_count("I1_SetOption RecognitionKey=RecognitionBasic") > 0,
                  model == EMU_I1_MODEL_I1PRO);
        EXPECT_EQ(host.spectra, rowsOfChart(0, 4, 6));
    }
}

}  // namespace
}  // namespace measure::test
