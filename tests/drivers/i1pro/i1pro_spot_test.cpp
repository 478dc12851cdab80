// White calibration and spot measurements of the i1Pro rows through the
// exports against the SDK stand-in.
#include <gtest/gtest.h>

#include <cmath>

#include "drivers/i1pro/i1pro_host.h"
#include "support/test_environment.h"

namespace measure::test {
namespace {

using I1ProSpot = I1StandInTest;

bool isData(const HostEvent& e) {
    return e.kind == HostEvent::Data;
}

TEST_F(I1ProSpot, WhiteCalibrationCalibratesSpotAndScanAndEndsWithStatus16) {
    I1ProHost host(11, MEASURE_MODE_SPECTRAL);
    ASSERT_EQ(host.open(), 0);
    EXPECT_EQ(MustCalibrate(host.record()), 1);
    ASSERT_EQ(WhiteCalibration(host.record()), 0);
    ASSERT_TRUE(host.runUntilStatus(MEASURE_STATUS_CALIBRATION_DONE));
    host.drain(30);
    const std::vector<HostEvent> expected = {
        {HostEvent::Status, 2}, {HostEvent::Status, 0}, {HostEvent::Status, 16}};
    EXPECT_EQ(host.events, expected);  // a calibration has no thread end when it succeeds
    EXPECT_EQ(MustCalibrate(host.record()), 0);
    EXPECT_EQ(emu_i1_is_calibrated("ReflectanceSpot"), 1);
    EXPECT_EQ(emu_i1_is_calibrated("ReflectanceScan"), 1);
    EXPECT_EQ(emu_i1_count("I1_SetSubstrate"), 2);

    // A failing calibration clears what the last one achieved.
    emu_i1_fail_calibrations(1);
    host.events.clear();
    ASSERT_EQ(WhiteCalibration(host.record()), 0);
    ASSERT_TRUE(host.runUntilStatus(MEASURE_STATUS_CALIBRATION_FAILED));
    const std::vector<HostEvent> failed = {
        {HostEvent::Status, 2}, {HostEvent::End, MEASURE_END_CALIBRATION_FAILED}, {HostEvent::Status, 15}};
    EXPECT_EQ(host.events, failed);
    EXPECT_EQ(MustCalibrate(host.record()), 1);
}

TEST_F(I1ProSpot, ScanCalibrationWithPositionRecognitionTellsTheSdkTheLineLength) {
    emu_i1_set_model(EMU_I1_MODEL_I1PRO2);
    I1ProHost host(22, MEASURE_MODE_SPECTRAL, 52);  // no host plan: the chart of 4 strips of 13
    host.rec.PositionRecognition = 1;
    host.rec.ReferencePatches = 1;
    ASSERT_EQ(host.open(), 0);
    ASSERT_EQ(WhiteCalibration(host.record()), 0);
    ASSERT_TRUE(host.runUntilStatus(MEASURE_STATUS_CALIBRATION_DONE));
    EXPECT_EQ(i1Option("RecognitionKey"), "RecognitionPosition");
    EXPECT_EQ(i1Option("PatchesPerLine"), "15");  // 13 and the two references
}

TEST_F(I1ProSpot, SpotEntryTakesTheReflectiveModesAndSomeEmissionOnes) {
    I1ProHost host(11, MEASURE_MODE_STATUS_E);
    ASSERT_EQ(host.open(), 0);
    const std::set<uint32_t> accepted = {0, 1, 2, 3, 4, 5, 6, 18, 19, 20, 23, 24, 25};
    for (uint32_t mode = 0; mode < 32; ++mode) {
        host.rec.Mode = mode;
        const int32_t result = StartSingleMeasure(host.record());
        EXPECT_EQ(result, accepted.count(mode) ? 0 : -1) << mode;
        if (result == 0) {
            EXPECT_EQ(StopSingleMeasure(host.record()), 0);
            EXPECT_EQ(host.runToEnd(), MEASURE_END_STOPPED) << mode;
        }
    }
    // The strip entries take 0 to 6 only.
    host.rec.Mode = 18;
    EXPECT_EQ(StartMultiMeasure(host.record()), -1);
    EXPECT_EQ(StartSimpleMultiMeasure(host.record()), -1);
}

TEST_F(I1ProSpot, SpectralSpotsGoOnWithEveryPressUntilStopped) {
    emu_i1_set_spot_patch(5);
    I1ProHost host(11, MEASURE_MODE_SPECTRAL);
    ASSERT_EQ(host.open(), 0);
    ASSERT_EQ(StartSingleMeasure(host.record()), 0);
    int spots = 0;
    ASSERT_TRUE(host.runUntil([&](const HostEvent& e) { return isData(e) && ++spots == 3; }));
    EXPECT_EQ(StopSingleMeasure(host.record()), 0);
    EXPECT_EQ(host.runToEnd(), MEASURE_END_STOPPED);
    EXPECT_EQ(host.spectra, DeliveredSpectra(3, chartSpectra(5, 1)));
    // Started, calibrated on its own (it was not), then prompted for each spot.
    EXPECT_EQ(host.values(HostEvent::Status)[0], MEASURE_STATUS_STARTED);
    EXPECT_EQ(host.values(HostEvent::Status)[1], MEASURE_STATUS_CALIBRATING);
    EXPECT_GE(host.count(HostEvent::Status, MEASURE_STATUS_WAIT_USER), 3u);  // a fourth if the stop came late
    EXPECT_EQ(emu_i1_count("I1_Calibrate ReflectanceSpot"), 1);
    EXPECT_EQ(i1Option("ResultIndexKey"), "M0");
}

TEST_F(I1ProSpot, ColourSpotsAreTheInstrumentsValuesAndEmissionSpotsMeasureTheSourceWithoutSubstrate) {
    emu_i1_set_spot_patch(7);
    for (const auto& [mode, space, illumination] :
         {std::tuple{2u, "CIELab", "D50"}, std::tuple{3u, "CIEXYZ", "D50"},
          std::tuple{uint32_t(MEASURE_MODE_CIE_LAB + MEASURE_MODE_EMISSION), "CIELab", "Emission"}}) {
        I1ProHost host(11, mode);
        ASSERT_EQ(host.open(), 0);
        ASSERT_EQ(StartSingleMeasure(host.record()), 0);
        ASSERT_TRUE(host.runUntil(isData));
        EXPECT_EQ(StopSingleMeasure(host.record()), 0);
        ASSERT_EQ(host.triples.size(), 1u);
        ASSERT_EQ(host.triples[0].size(), 1u);
        EXPECT_EQ(i1Option("ColorSpaceDescription.Type"), space);
        EXPECT_EQ(i1Option("Colorimetric.Illumination"), illumination);
        if (mode < MEASURE_MODE_EMISSION) {
            EXPECT_EQ(host.triples[0][0], chartColour(7, space)) << mode;
        } else {
            EXPECT_NEAR(host.triples[0][0][0], 100.0, 1e-3);  // L* of the source against itself
        }
    }
    EXPECT_EQ(emu_i1_count("I1_SetSubstrate"), 2);  // the reflective calibrations only

    I1ProHost host(11, MEASURE_MODE_EMISSION_SPECTRAL);
    ASSERT_EQ(host.open(), 0);
    ASSERT_EQ(StartSingleMeasure(host.record()), 0);
    ASSERT_TRUE(host.runUntil(isData));
    EXPECT_EQ(StopSingleMeasure(host.record()), 0);
    EXPECT_EQ(host.spectra, (DeliveredSpectra{chartSpectra(EMU_I1_PATCH_EMISSION_SOURCE, 1)}));
    EXPECT_EQ(i1Option("MeasurementMode"), "EmissionSpot");
}

TEST_F(I1ProSpot, DensitySpotWithThePlainRecordEndsAfterOnePatch) {
    for (const auto& [mode, patch] : {std::pair{uint32_t(MEASURE_MODE_STATUS_E), 3}, std::pair{5u, 4}}) {
        LogCapture log;
        emu_i1_set_spot_patch(patch);
        I1ProHost host(11, mode);
        ASSERT_EQ(host.openOld(), 0);
        EXPECT_EQ(runRequest(host, {}, StartSingleMeasure), MEASURE_END_DONE);
        EXPECT_TRUE(log.contains("end old MEASURESTRUCT"));
        EXPECT_EQ(host.rec.NumOfMeasurements, 1u);
        EXPECT_EQ(host.values(HostEvent::Density), std::vector<int64_t>{1});
        EXPECT_EQ(host.densities, (std::vector{chartDensities(patch, mode)})) << mode;
        EXPECT_EQ(host.values(HostEvent::Status).back(), MEASURE_STATUS_IDLE);
    }
}

TEST_F(I1ProSpot, TriggerFailuresReportTheirCauseAndTheNextSpotFollows) {
    I1ProHost host(11, MEASURE_MODE_SPECTRAL);
    host.pressOn = {MEASURE_STATUS_WAIT_USER};
    ASSERT_EQ(host.open(), 0);
    emu_i1_fail_triggers(xrite::kI1ScanTooFast, 1);
    ASSERT_EQ(StartSingleMeasure(host.record()), 0);
    ASSERT_TRUE(host.runUntil(isData));
    emu_i1_fail_triggers(xrite::kI1StripNotRecognised, 1);
    ASSERT_TRUE(host.runUntil(isData));
    EXPECT_EQ(StopSingleMeasure(host.record()), 0);
    EXPECT_EQ(host.runToEnd(), MEASURE_END_STOPPED);
    // Each failed trigger's cause, then the prompt for the same spot again.
    const auto all = host.values(HostEvent::Status);
    ASSERT_GE(all.size(), 13u);
    EXPECT_EQ(std::vector<int64_t>(all.begin(), all.begin() + 13),
              (std::vector<int64_t>{1, 2, 3, 0, 33, 4, 3, 0, 3, 0, 34, 4, 3}));
    EXPECT_EQ(host.spectra.size(), 2u);
}

TEST_F(I1ProSpot, SingleTriggerModeMeasuresOnceWithoutTheButton) {
    I1ProHost host(11, MEASURE_MODE_SPECTRAL);
    host.pressOn.clear();
    host.rec.SingleTriggerMode = 1;
    ASSERT_EQ(host.open(), 0);
    EXPECT_EQ(runRequest(host, {}, StartSingleMeasure), MEASURE_END_DONE);
    EXPECT_EQ(host.spectra.size(), 1u);
    EXPECT_EQ(emu_i1_button_polls(), 1);  // the flush at the start only
}

}  // namespace
}  // namespace measure::test
