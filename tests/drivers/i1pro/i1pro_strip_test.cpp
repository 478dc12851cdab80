// Strip scans of the i1Pro rows through the exports against the SDK
// stand-in: the pass plan, patch counts, the alternate chart, references and
// direction, own segmentation, dual scan, density delivery and failures.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "core/record.h"
#include "drivers/i1pro/i1pro_host.h"
#include "drivers/xrite/i1pro/eye_one_pro_entries.h"
#include "framework/driver_entries.h"
#include "support/test_environment.h"

namespace measure::test {
namespace {

using I1ProStrip = I1StandInTest;

// Delivered spectra against chart patches first, first+1, ... (absolute
// tolerance).
void expectChartOrder(const std::vector<std::array<double, 36>>& delivered, int first, double tolerance) {
    for (size_t i = 0; i < delivered.size(); ++i) {
        const auto want = chartSpectrum(first + static_cast<int>(i));
        for (int band = 0; band < 36; ++band)
            ASSERT_NEAR(delivered[i][band], want[band], tolerance) << "patch " << i << " band " << band;
    }
}

// Delivered colour values against the stand-in's own values of chart patches
// first, first+1, ... (relative tolerance).
void expectChartColours(const std::vector<std::array<double, 3>>& delivered, int first,
                        double tolerance = 0) {
    for (size_t i = 0; i < delivered.size(); ++i) {
        const auto want = chartColour(first + static_cast<int>(i));
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(delivered[i][c], want[c], tolerance * want[c]) << i;
    }
}

TEST_F(I1ProStrip, Chart120IsRecognisedAsTheAlternateChartOnceInAJob) {
    LogCapture log;
    I1ProHost host(11, MEASURE_MODE_SPECTRAL, 120);
    ASSERT_EQ(host.open(), 0);
    queue(strip(0, 30));   // twice the planned 15: the chart in 4 strips of 30
    queue(strip(30, 60));  // twice again: no second switch, a mismatch
    EXPECT_EQ(runRequest(host, {strip(30, 30), strip(60, 30), strip(90, 30)}), MEASURE_END_DONE);

    EXPECT_EQ(host.values(HostEvent::Passno), (std::vector<int64_t>{-8, 1, -4, 1, 2, 2, 3, 4}));
    EXPECT_EQ(host.values(HostEvent::Scanspeed), (std::vector<int64_t>{30, 60, 30, 30, 30}));
    EXPECT_EQ(host.values(HostEvent::PassEnd), (std::vector<int64_t>{30, 30, 30, 30}));
    EXPECT_EQ(host.count(HostEvent::Status, MEASURE_STATUS_PASS_FAILED), 1u);
    EXPECT_EQ(host.spectra, rowsOfChart(0, 4, 30));
    EXPECT_TRUE(log.contains("alternate chart recognized"));
    EXPECT_TRUE(log.contains("Number of patches mismatch"));
}

TEST_F(I1ProStrip, UnknownChartSizeWithoutHostPlanIsOneStrip) {
    LogCapture log;
    I1ProHost host(11, MEASURE_MODE_SPECTRAL, 53);
    ASSERT_EQ(host.open(), 0);
    EXPECT_EQ(runRequest(host, {strip(0, 53)}), MEASURE_END_DONE);
    EXPECT_TRUE(log.contains("Error: default!"));
    EXPECT_EQ(host.values(HostEvent::Passno), (std::vector<int64_t>{-1, 1}));
    ASSERT_EQ(host.spectra.size(), 1u);
    EXPECT_EQ(host.spectra[0].size(), 53u);
}

TEST_F(I1ProStrip, HostPlanOf24PerLineFor100PatchesTakesAShortOrAFullLastStrip) {
    I1ProHost host(11, MEASURE_MODE_SPECTRAL, 100, 24);
    ASSERT_EQ(host.open(), 0);
    for (int s = 0; s < 4; ++s) queue(strip(24 * s, 24));
    EXPECT_EQ(runRequest(host, {strip(96, 4)}), MEASURE_END_DONE);
    EXPECT_EQ(host.values(HostEvent::Passno), (std::vector<int64_t>{-5, 1, 2, 3, 4, 5}));
    EXPECT_EQ(host.values(HostEvent::Data), (std::vector<int64_t>{24, 24, 24, 24, 4}));

    // A full last strip is taken too, and cut to the patches the chart has.
    host.events.clear();
    host.spectra.clear();
    for (int s = 0; s < 4; ++s) queue(strip(24 * s, 24));
    queue(strip(96, 10));  // neither 4 nor 24: scanned again
    EXPECT_EQ(runRequest(host, {strip(96, 24)}), MEASURE_END_DONE);
    EXPECT_EQ(host.values(HostEvent::Data), (std::vector<int64_t>{24, 24, 24, 24, 4}));
    EXPECT_EQ(host.count(HostEvent::Status, MEASURE_STATUS_PASS_FAILED), 1u);
    EXPECT_EQ(host.spectra[4], chartSpectra(96, 4));
}

TEST_F(I1ProStrip, BackwardsStripWithReferencesIsDeliveredInChartOrder) {
    for (uint32_t mode : {uint32_t(MEASURE_MODE_SPECTRAL), uint32_t(MEASURE_MODE_CIE_XYZ)}) {
        I1ProHost host(11, mode, 12, 6);
        host.rec.ReferencePatches = 1;
        host.rec.DirectionDetection = 1;
        ASSERT_EQ(host.open(), 0);
        EXPECT_EQ(runRequest(host, {strip(0, 6, true, false), strip(6, 6, true, true)}), MEASURE_END_DONE)
            << mode;
        EXPECT_EQ(host.values(HostEvent::Scanspeed), (std::vector<int64_t>{6, 6}));
        if (mode == MEASURE_MODE_SPECTRAL) {
            EXPECT_EQ(host.spectra, rowsOfChart(0, 2, 6));
        } else {
            ASSERT_EQ(host.triples.size(), 2u);
            expectChartColours(host.triples[0], 0);
            expectChartColours(host.triples[1], 6);
        }
    }
}

// A strip drawn backwards without direction detection stays as drawn; one
// drawn forwards with the reverse order asked for is reversed.
TEST_F(I1ProStrip, BackwardsStripWithoutDirectionDetectionAndReverseOrderDeliverTheStripReversed) {
    for (const bool reverseOrder : {false, true}) {
        emu_i1_reset();
        if (reverseOrder) emu_i1_set_model(EMU_I1_MODEL_I1PRO2);
        I1ProHost host(reverseOrder ? 22 : 11, MEASURE_MODE_SPECTRAL, 6, 6);
        host.rec.ReferencePatches = reverseOrder ? 0 : 1;
        host.rec.PositionRecognition = reverseOrder ? 1 : 0;
        host.rec.ReverseOrder = reverseOrder ? 1 : 0;
        ASSERT_EQ(host.open(), 0);
        EXPECT_EQ(runRequest(host, {strip(0, 6, !reverseOrder, !reverseOrder)}), MEASURE_END_DONE);
        ASSERT_EQ(host.spectra.size(), 1u);
        for (int i = 0; i < 6; ++i) EXPECT_EQ(host.spectra[0][i], chartSpectrum(5 - i)) << i;
    }
    EXPECT_EQ(i1Option("RecognitionKey"), "RecognitionPosition");
    EXPECT_EQ(i1Option("PatchesPerLine"), "6");
}

TEST_F(I1ProStrip, StopWhileWaitingForTheButtonEndsWithoutData) {
    I1ProHost host(11, MEASURE_MODE_SPECTRAL, 12);
    host.pressOn.clear();
    ASSERT_EQ(host.open(), 0);
    ASSERT_EQ(StartMultiMeasure(host.record()), 0);
    ASSERT_TRUE(host.runUntilStatus(MEASURE_STATUS_WAIT_USER));
    ASSERT_TRUE(waitFor([] { return emu_i1_button_polls() > 1; }));  // it is waiting for the button
    EXPECT_EQ(StopMultiMeasure(host.record()), 0);
    EXPECT_EQ(host.runToEnd(), MEASURE_END_STOPPED);
    host.drain(30);
    EXPECT_TRUE(host.spectra.empty());
    // The stop entry clears the prompt and the pass number after the request ended.
    ASSERT_GE(host.events.size(), 2u);
    EXPECT_EQ(std::vector<HostEvent>(host.events.end() - 2, host.events.end()),
              (std::vector<HostEvent>{{HostEvent::Status, MEASURE_STATUS_IDLE}, {HostEvent::Passno, 0}}));
    EXPECT_EQ(i1Option("IndicatorLedKey"), "IndicatorLedOff");
    EXPECT_EQ(i1Option("OnMeasurementSuccessNoLedIndication"), "0");
}

TEST_F(I1ProStrip, OwnSegmentationFindsThePatchesAndRefusesAStripWithDifferentPaper) {
    LogCapture log;
    I1ProHost host(11, MEASURE_MODE_SPECTRAL, 12, 6);
    host.rec.OwnSegmentation = 1;
    host.rec.ReferencePatches = 1;
    host.rec.DirectionDetection = 1;
    ASSERT_EQ(host.open(), 0);
    EmuI1Scan otherPaper = strip(0, 6, true);
    otherPaper.trailingPaperShift = -0.3f;  // far more than 9.0 CIE76 from the paper before
    EXPECT_EQ(runRequest(host, {otherPaper, strip(0, 6, true), strip(6, 6, true, true)}), MEASURE_END_DONE);
    EXPECT_EQ(i1Option("RecognitionKey"), "RecognitionDisabled");
    EXPECT_EQ(host.count(HostEvent::Status, MEASURE_STATUS_PASS_FAILED), 1u);
    EXPECT_TRUE(log.contains("Number of patches mismatch"));
    EXPECT_TRUE(host.values(HostEvent::Scanspeed).empty());
    ASSERT_EQ(host.spectra.size(), 2u);
    // Means of noisy samples: close to the chart, in chart order both times.
    expectChartOrder(host.spectra[0], 0, 0.01);
    expectChartOrder(host.spectra[1], 6, 0.01);
}

TEST_F(I1ProStrip, OwnSegmentationOfTristimulusValues) {
    I1ProHost host(11, MEASURE_MODE_CIE_XYZ, 6, 6);
    host.rec.OwnSegmentation = 1;
    ASSERT_EQ(host.open(), 0);
    EXPECT_EQ(runRequest(host, {strip(40, 6)}), MEASURE_END_DONE);
    ASSERT_EQ(host.triples.size(), 1u);
    ASSERT_EQ(host.triples[0].size(), 6u);
    expectChartColours(host.triples[0], 40, 0.01);
}

TEST_F(I1ProStrip, OwnSegmentationInADensityModeDeliversRawSamplesUpToTheSlots) {
    I1ProHost host(11, MEASURE_MODE_DIN_16536, 12, 6);
    host.rec.OwnSegmentation = 1;
    ASSERT_EQ(host.open(), 0);
    EXPECT_EQ(runRequest(host, {strip(0, 6), strip(6, 6)}), MEASURE_END_DONE);
    // Two scans of 187 raw samples each; the record has 256 slots.
    EXPECT_EQ(host.rec.NumOfMeasurements, 256u);
    EXPECT_EQ(host.densities.size(), 256u);
}

TEST_F(I1ProStrip, DualScanAsksForARightAndALeftScanPerStrip) {
    emu_i1_set_model(EMU_I1_MODEL_I1PRO2);
    I1ProHost host(22, MEASURE_MODE_SPECTRAL, 12, 6);
    host.rec.PositionRecognition = 1;
    host.rec.MeasurementCondition = MEASURE_CONDITION_M1;
    host.pressOn = {MEASURE_STATUS_SCAN_RIGHT, MEASURE_STATUS_SCAN_LEFT};
    ASSERT_EQ(host.open(), 0);
    queue(strip(0, 6));
    queue(strip(0, 5));  // the left scan lost a patch: the strip is scanned again
    EXPECT_EQ(runRequest(host, {strip(0, 6), strip(0, 6), strip(6, 6), strip(6, 6)}), MEASURE_END_DONE);
    EXPECT_EQ(host.rec.DualScan, 1u);
    EXPECT_EQ(i1Option("MeasurementMode"), "DualReflectanceScan");
    EXPECT_EQ(i1Option("ResultIndexKey"), "M1");
    EXPECT_EQ(host.count(HostEvent::Status, MEASURE_STATUS_SCAN_RIGHT), 3u);
    EXPECT_EQ(host.count(HostEvent::Status, MEASURE_STATUS_SCAN_LEFT), 3u);
    EXPECT_EQ(host.count(HostEvent::Status, MEASURE_STATUS_PASS_FAILED), 1u);
    EXPECT_EQ(emu_i1_count("I1_SetOption ScanDirectionKey=1"), 3);
    EXPECT_EQ(emu_i1_count("I1_SetOption ScanDirectionKey=2"), 3);
    // Each right scan prompt comes with its pass number.
    EXPECT_EQ(host.values(HostEvent::Passno), (std::vector<int64_t>{-2, 1, 1, 2}));
    ASSERT_EQ(host.spectra.size(), 2u);
    EXPECT_EQ(host.spectra[1], chartSpectra(6, 6));
}

TEST_F(I1ProStrip, DensityStripSendsEveryPatchButTheLastAndPostsTheLast) {
    I1ProHost host(11, MEASURE_MODE_DIN_16536_NARROW, 6, 6);
    ASSERT_EQ(host.open(), 0);
    queue(strip(10, 6));
    ASSERT_EQ(StartMultiMeasure(host.record()), 0);
    ASSERT_TRUE(host.runUntilStatus(MEASURE_STATUS_WAIT_USER));
    // The probe of sample 0, then patch 0: the driver now waits for the host
    // to take the first density message.
    ASSERT_TRUE(waitFor([] { return emu_i1_count("I1_GetDensities") >= 2; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(emu_i1_count("I1_GetDensities"), 2);
    EXPECT_EQ(host.runToEnd(), MEASURE_END_DONE);
    EXPECT_EQ(emu_i1_count("I1_GetDensities"), 7);
    EXPECT_EQ(host.values(HostEvent::Density), (std::vector<int64_t>{1, 2, 3, 4, 5, 6}));
    ASSERT_EQ(host.densities.size(), 6u);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(host.densities[i], chartDensities(10 + i, host.rec.Mode)) << i;
}

TEST_F(I1ProStrip, StatusEStripWithThePlainRecordConvertsEachSpectrum) {
    I1ProHost host(11, MEASURE_MODE_STATUS_E, 6);
    ASSERT_EQ(host.openOld(), 0);
    EXPECT_EQ(runRequest(host, {strip(20, 6)}), MEASURE_END_DONE);
    EXPECT_EQ(host.rec.NumOfMeasurements, 6u);
    ASSERT_EQ(host.densities.size(), 6u);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(host.densities[i], chartDensities(20 + i, host.rec.Mode)) << i;
}

TEST_F(I1ProStrip, TriggerAndCalibrationFailuresEndTheScan) {
    I1ProHost host(11, MEASURE_MODE_SPECTRAL, 6);
    ASSERT_EQ(host.open(), 0);
    emu_i1_fail_triggers(xrite::kI1ScanTooSlow, 1);
    EXPECT_EQ(runRequest(host), MEASURE_END_FAILED);
    EXPECT_EQ(host.count(HostEvent::Status, 33), 1u);
    EXPECT_EQ(i1Option("IndicatorLedKey"), "IndicatorLedFailed");

    host.events.clear();
    emu_i1_set_on_white_tile(0);
    ASSERT_EQ(WhiteCalibration(host.record()), 0);
    EXPECT_EQ(host.runToEnd(), MEASURE_END_CALIBRATION_FAILED);
    host.events.clear();
    EXPECT_EQ(runRequest(host), MEASURE_END_CALIBRATION_FAILED);
    ASSERT_TRUE(host.runUntilStatus(MEASURE_STATUS_CALIBRATION_FAILED));
    host.drain(50);
    EXPECT_EQ(i1Option("IndicatorLedKey"), "IndicatorLedWait4Scan");
}

TEST_F(I1ProStrip, RecordEmptiedAfterTheOpenFailsTheScanInsteadOfDividingByZero) {
    I1ProHost host(11, MEASURE_MODE_SPECTRAL, 6);
    ASSERT_EQ(host.open(), 0);
    host.rec.NumOfPatchesToRead = 0;
    EXPECT_EQ(runRequest(host), MEASURE_END_FAILED);
    host.rec.NumPatchesPerLine = 24;  // a host plan of no patches at all
    EXPECT_EQ(runRequest(host), MEASURE_END_FAILED);
}

TEST_F(I1ProStrip, SimpleScanLeavesCalibrationToTheHost) {
    I1ProHost host(11, MEASURE_MODE_SPECTRAL, 6);
    ASSERT_EQ(host.open(), 0);
    EXPECT_EQ(runRequest(host, {}, StartSimpleMultiMeasure),
              MEASURE_END_FAILED);  // the instrument refuses to scan uncalibrated
    EXPECT_EQ(emu_i1_count("I1_Calibrate"), 0);

    ASSERT_EQ(WhiteCalibration(host.record()), 0);
    ASSERT_TRUE(host.runUntilStatus(MEASURE_STATUS_CALIBRATION_DONE));
    EXPECT_EQ(runRequest(host, {}, StartSimpleMultiMeasure), MEASURE_END_DONE);
    EXPECT_EQ(host.spectra.size(), 1u);
}

// The SDK calibration runs to its end: the close entry declines while it
// runs, and the export then closes the driver once it is over, instead of
// freeing the block under it and losing the driver, its threads and the
// instrument.
TEST_F(I1ProStrip, CloseDuringTheScanCalibrationClosesTheDriverWhenTheCalibrationEnds) {
    I1ProHost host(11, MEASURE_MODE_SPECTRAL, 6);
    ASSERT_EQ(host.open(), 0);
    emu_i1_hold_calibration("ReflectanceScan");
    ASSERT_EQ(WhiteCalibration(host.record()), 0);
    ASSERT_TRUE(waitFor([] { return emu_i1_calibration_waiting() == 1; }));
    EXPECT_EQ(i1pro::CloseEyeOne(host.record()), 0);
    EXPECT_NE(framework::storedDriver(host.record()), nullptr) << "the entry itself leaves the driver open";

    const int threadsBefore = framework::clWORKER_THREAD::liveThreads();
    EXPECT_EQ(host.close(), 0);
    EXPECT_EQ(host.rec.pDllData, nullptr);            // the host's side is closed ...
    EXPECT_EQ(emu_i1_holder(), EMU_I1_HOLDER_I1PRO);  // ... the instrument is not yet
    emu_i1_hold_calibration(nullptr);
    EXPECT_TRUE(waitFor([] { return emu_i1_holder() == EMU_I1_HOLDER_NONE; }));
    EXPECT_TRUE(waitFor([&] { return framework::clWORKER_THREAD::liveThreads() == threadsBefore - 2; }));
    // Nothing of the finished calibration reaches the host that closed.
    EXPECT_FALSE(host.runUntilStatus(MEASURE_STATUS_CALIBRATION_DONE, 50));
}

}  // namespace
}  // namespace measure::test
