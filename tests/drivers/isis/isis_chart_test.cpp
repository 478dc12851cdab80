// Measuring charts with the i1iSis against the SDK stand-in: sheets fed by
// the virtual user, their patches in order and condition, the failures that
// repeat a sheet, stops, and the paper insertion job.
#include <gtest/gtest.h>

#include "drivers/isis/isis_host.h"

namespace measure::test {
namespace {

class IsisChart : public ::testing::Test {
protected:
    void SetUp() override { useIsisStandIn(); }
    void TearDown() override { emu_isis_reset(); }

    static std::array<double, 3> xyzOf(const std::array<double, 36>& spectrum) {
        std::array<double, 3> xyz{};
        SpectrumToXYZ(xyz.data(), kHeader, spectrum.data());
        return xyz;
    }
    static constexpr uint32_t kHeader[3] = {380, 10, 36};
};

TEST_F(IsisChart, HundredPatchesAt48ASheetComeAs48And48And4WithPagesAndPaperStatuses) {
    IsisHost host(MEASURE_MODE_CIE_XYZ, 100, defaultIsisLayout());
    host.rec.NumPatchesPerChart = 48;
    ASSERT_EQ(host.open(), 0);
    ASSERT_EQ(StartMultiMeasure(host.record()), 0);
    ASSERT_EQ(host.runToEnd(), MEASURE_END_DONE);

    EXPECT_EQ(host.values(HostEvent::Pageno), (std::vector<int64_t>{1, 2, 3}));
    ASSERT_EQ(host.triples.size(), 3u);
    EXPECT_EQ(host.triples[0].size(), 48u);
    EXPECT_EQ(host.triples[1].size(), 48u);
    EXPECT_EQ(host.triples[2].size(), 4u);
    // Row by row, each sheet its own patches.
    EXPECT_EQ(host.triples[0][0], xyzOf(isisSpectrum(0, 0, 0, 0)));
    EXPECT_EQ(host.triples[0][9], xyzOf(isisSpectrum(0, 1, 1, 0)));
    EXPECT_EQ(host.triples[1][47], xyzOf(isisSpectrum(1, 5, 7, 0)));
    EXPECT_EQ(host.triples[2][3], xyzOf(isisSpectrum(2, 0, 3, 0)));
    EXPECT_EQ(emu_isis_sheets_measured(), 3);
    // The last sheet is read over one row only.
    EXPECT_EQ(emu_isis_count("SetOption NumberOfRows=1"), 1);
    EXPECT_EQ(emu_isis_count("SetOption IlluminationCondition=M0"), 3);

    // The first sheet: started, the user feeds it (two prompts while the
    // tray is empty), prescan, measurement, delivery.
    const std::vector<HostEvent> firstSheet(host.events.begin(), host.events.begin() + 8);
    EXPECT_EQ(firstSheet, (std::vector<HostEvent>{{HostEvent::Status, 1},
                                                  {HostEvent::Pageno, 1},
                                                  {HostEvent::Status, 14},
                                                  {HostEvent::Status, 14},
                                                  {HostEvent::Status, 12},
                                                  {HostEvent::Status, 9},
                                                  {HostEvent::Status, 0},
                                                  {HostEvent::Data, 48}}));
    // Before the second sheet the first one waits in the tray to be taken.
    const std::vector<HostEvent> secondStart(host.events.begin() + 8, host.events.begin() + 11);
    EXPECT_EQ(secondStart, (std::vector<HostEvent>{
                               {HostEvent::Pageno, 2}, {HostEvent::Status, 13}, {HostEvent::Status, 14}}));
}

TEST_F(IsisChart, ColumnOrderSpectraAndTheMeasurementConditionReachTheHost) {
    struct Case {
        uint32_t condition;
        int sdkCondition;
    };
    for (const Case c : {Case{MEASURE_CONDITION_M1, 1}, Case{MEASURE_CONDITION_M2, 2}}) {
        emu_isis_reset();
        IsisHost host(MEASURE_MODE_SPECTRAL, 16, defaultIsisLayout());
        host.rec.ColumnOrder = 1;
        host.rec.MeasurementCondition = c.condition;
        ASSERT_EQ(host.open(), 0);
        ASSERT_EQ(StartMultiMeasure(host.record()), 0);
        ASSERT_EQ(host.runToEnd(), MEASURE_END_DONE);
        ASSERT_EQ(host.spectra.size(), 1u);
        ASSERT_EQ(host.spectra[0].size(), 16u);
        // 16 patches in rows of 8: two rows, read column by column.
        EXPECT_EQ(host.spectra[0][0], isisSpectrum(0, 0, 0, c.sdkCondition));
        EXPECT_EQ(host.spectra[0][1], isisSpectrum(0, 1, 0, c.sdkCondition));
        EXPECT_EQ(host.spectra[0][2], isisSpectrum(0, 0, 1, c.sdkCondition));
        EXPECT_EQ(host.spectra[0][15], isisSpectrum(0, 1, 7, c.sdkCondition));
        EXPECT_NE(host.spectra[0][0], isisSpectrum(0, 0, 0, 0));
        // M2 reads the chart in one pass behind the UV cut.
        const char* flow = c.condition == MEASURE_CONDITION_M2 ? "0" : "1";
        EXPECT_EQ(isisOption("MeasurementFlow"), flow);
        EXPECT_EQ(isisOption("IlluminationMode"), flow);
    }
}

TEST_F(IsisChart, FailedPrescanAndInsertTimeoutRepeatTheSheet) {
    {
        emu_isis_fail_prescans(1, 12);
        LogCapture log;
        IsisHost host(MEASURE_MODE_CIE_XYZ, 8, defaultIsisLayout());
        ASSERT_EQ(host.open(), 0);
        ASSERT_EQ(StartMultiMeasure(host.record()), 0);
        ASSERT_EQ(host.runToEnd(), MEASURE_END_DONE);
        EXPECT_TRUE(log.has("clISIS::MultiMeasurement",
                            "ISIS Prescan Error=bar not found, marks not found, barcode not detected.."));
        EXPECT_EQ(host.values(HostEvent::Pageno), (std::vector<int64_t>{1, 1}));
        // The refused sheet was fed again and is the one delivered.
        ASSERT_EQ(host.triples.size(), 1u);
        EXPECT_EQ(host.triples[0][7], xyzOf(isisSpectrum(0, 0, 7, 0)));
    }
    {
        emu_isis_reset();
        // The user feeds only after the 41 polls of the first wait.
        emu_isis_set_user(45, 1);
        LogCapture log;
        IsisHost host(MEASURE_MODE_CIE_XYZ, 8, defaultIsisLayout());
        ASSERT_EQ(host.open(), 0);
        ASSERT_EQ(StartMultiMeasure(host.record()), 0);
        ASSERT_EQ(host.runToEnd(), MEASURE_END_DONE);
        EXPECT_TRUE(log.has("clISIS::MultiMeasurement",
                            "ISIS Paper insert Error=used to test if a chart is inserted"));
        EXPECT_TRUE(log.has("clISIS::MultiMeasurement", "Timout after 20 seconds"));
        EXPECT_EQ(host.values(HostEvent::Pageno), (std::vector<int64_t>{1, 1}));
        EXPECT_EQ(host.count(HostEvent::Status, 14), 4u);
        EXPECT_EQ(host.triples.size(), 1u);
    }
}

TEST_F(IsisChart, StopWhileMeasuringResetsTheReaderAndReleasesThePaper) {
    emu_isis_hang_next_measurement();
    LogCapture log;
    IsisHost host(MEASURE_MODE_CIE_XYZ, 48, defaultIsisLayout());
    ASSERT_EQ(host.open(), 0);
    ASSERT_EQ(StartMultiMeasure(host.record()), 0);
    ASSERT_TRUE(host.runUntilStatus(MEASURE_STATUS_KEY_PRESSED));
    ASSERT_TRUE(waitFor([] { return emu_isis_measuring() == 1; }));
    emu_isis_clear_journal();
    EXPECT_EQ(StopMultiMeasure(host.record()), 0);
    EXPECT_EQ(host.runToEnd(), MEASURE_END_FAILED);
    EXPECT_TRUE(log.has("clISIS::MultiMeasurement", "catch(Stoped)"));
    EXPECT_EQ(emu_isis_count("SetOption Reset=All"), 1);
    EXPECT_GE(emu_isis_count("ReleasePaper"), 1);
    EXPECT_EQ(emu_isis_sheets_measured(), 0);
    EXPECT_TRUE(host.triples.empty());
}

TEST_F(IsisChart, StopWhileWaitingForPaperDoesNotResetTheReader) {
    emu_isis_set_user(-1, 1);
    IsisHost host(MEASURE_MODE_CIE_XYZ, 48, defaultIsisLayout());
    ASSERT_EQ(host.open(), 0);
    ASSERT_EQ(StartMultiMeasure(host.record()), 0);
    ASSERT_TRUE(host.runUntilStatus(14));
    EXPECT_EQ(StopMultiMeasure(host.record()), 0);
    EXPECT_EQ(host.runToEnd(), MEASURE_END_FAILED);
    EXPECT_EQ(emu_isis_count("SetOption Reset=All"), 0);
}

TEST_F(IsisChart, ModesWithoutDeliveryAndSdkFailuresEndTheJobFailed) {
    {
        LogCapture log;
        IsisHost host(MEASURE_MODE_STATUS_E, 8, defaultIsisLayout());
        ASSERT_EQ(host.open(), 0);
        ASSERT_EQ(StartMultiMeasure(host.record()), 0);
        EXPECT_EQ(host.runToEnd(), MEASURE_END_FAILED);
        EXPECT_TRUE(log.has("clISIS::MultiMeasurement", "catch(default)"));
        // After the end: the chart did not come through.
        host.drain(50);
        EXPECT_EQ(host.events.back(), (HostEvent{HostEvent::Status, MEASURE_STATUS_PASS_FAILED}));
    }
    emu_isis_reset();
    IsisHost host(MEASURE_MODE_CIE_LAB, 8, defaultIsisLayout());
    ASSERT_EQ(host.open(), 0);
    EXPECT_EQ(StartMultiMeasure(host.record()), -1);
}

TEST_F(IsisChart, SimpleJobMeasuresTheInsertedSheetAndHandsOnTheSdksText) {
    {
        emu_isis_insert_sheet();
        IsisHost host(MEASURE_MODE_SPECTRAL, 20, defaultIsisLayout());
        host.rec.NumPatchesPerChart = 16;
        host.rec.ChartPageIndex = 1;  // the second, last sheet: 4 patches
        ASSERT_EQ(host.open(), 0);
        ASSERT_EQ(StartSimpleMultiMeasure(host.record()), 0);
        ASSERT_EQ(host.runToEnd(), MEASURE_END_DONE);
        ASSERT_EQ(host.spectra.size(), 1u);
        EXPECT_EQ(host.spectra[0].size(), 4u);
        EXPECT_EQ(host.spectra[0][3], isisSpectrum(0, 0, 3, 0));
        EXPECT_EQ(isisOption("NumberOfRows"), "1");
        EXPECT_EQ(host.values(HostEvent::Status), (std::vector<int64_t>{12, 9, 0, 0}));
    }
    emu_isis_reset();
    emu_isis_insert_sheet();
    emu_isis_fail_measurements(1, 16);
    emu_isis_set_text("LastError", "lamp failure: the reader's lamp did not light up");
    LogCapture log;
    IsisHost host(MEASURE_MODE_SPECTRAL, 8, defaultIsisLayout());
    ASSERT_EQ(host.open(), 0);
    ASSERT_EQ(StartSimpleMultiMeasure(host.record()), 0);
    ASSERT_EQ(host.runToEnd(), MEASURE_END_FAILED);
    EXPECT_TRUE(log.has("clISIS::SimpleMultiMeasurement",
                        "ISIS Measurement Error=lamp failure: the reader's lamp did not light up"));
    EXPECT_TRUE(log.has("clISIS::SimpleMultiMeasurement", "catch(lamp failure: the reader's lamp)"));
}

TEST_F(IsisChart, InsertionJobWaitsForTheTrayAndTheSheetAndEndsOnItsStop) {
    {
        emu_isis_insert_sheet();  // a sheet left inside is handed back first
        IsisHost host(MEASURE_MODE_SPECTRAL, 8, defaultIsisLayout());
        ASSERT_EQ(host.open(), 0);
        ASSERT_EQ(StartInsertPaper(host.record()), 0);
        ASSERT_TRUE(host.runUntilStatus(MEASURE_STATUS_PAPER_IN_PLACE));
        host.drain(50);
        EXPECT_EQ(host.values(HostEvent::Status), (std::vector<int64_t>{25, 13, 14, 24}));
        EXPECT_EQ(host.count(HostEvent::End, 0), 0u);
    }
    emu_isis_reset();
    emu_isis_set_user(-1, 1);
    LogCapture log;
    IsisHost host(MEASURE_MODE_SPECTRAL, 8, defaultIsisLayout());
    ASSERT_EQ(host.open(), 0);
    ASSERT_EQ(StartInsertPaper(host.record()), 0);
    ASSERT_TRUE(host.runUntilStatus(14));
    EXPECT_EQ(StopMultiMeasure(host.record()), 0);
    EXPECT_TRUE(log.has("clISIS::StartInsertPaper", "catch(Stoped)"));
    host.drain(50);
    EXPECT_EQ(host.count(HostEvent::Status, MEASURE_STATUS_PAPER_IN_PLACE), 0u);
}

}  // namespace
}  // namespace measure::test
