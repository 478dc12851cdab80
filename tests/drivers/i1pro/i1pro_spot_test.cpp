// White calibration and spot measurements of the i1Pro rows through the
// exports against the SDK stand-in.
#include <gtest/gtest.h>

#include <cmath>

#include "drivers/i1pro/i1pro_host.h"
#include "support/test_environment.h"

namespace measure::test {
namespace {

class I1ProSpot : public ::testing::Test {
protected:
    void SetUp() override { useI1StandIn(); }
    void TearDown() override { emu_i1_reset(); }

    // Events from the `from`-th on.
    static std::vector<HostEvent> since(const I1ProHost& host, size_t from) {
        return {host.events.begin() + static_cast<std::ptrdiff_t>(from), host.events.end()};
    }
};

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
    const size_t from = host.events.size();
    ASSERT_EQ(WhiteCalibration(host.record()), 0);
    ASSERT_TRUE(host.runUntilStatus(MEASURE_STATUS_CALIBRATION_FAILED));
    const std::vector<HostEvent> failed = {
        {HostEvent::Status, 2}, {HostEvent::End, MEASURE_END_CALIBRATION_FAILED}, {HostEvent::Status, 15}};
    EXPECT_EQ(since(host, from), failed);
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
    ASSERT_TRUE(host.runUntil([&](const HostEvent& e) { return e.kind == HostEvent::Data && ++spots == 3; }));
    EXPECT_EQ(StopSingleMeasure(host.record()), 0);
    EXPECT_EQ(host.runToEnd(), MEASURE_END_STOPPED);
    ASSERT_EQ(host.spectra.size(), 3u);
    for (const auto& delivered : host.spectra) {
        ASSERT_EQ(delivered.size(), 1u);
        EXPECT_EQ(delivered[0], chartSpectrum(5));
    }
    // Started, calibrated on its own (it was not), then prompted for each spot.
    EXPECT_EQ(host.values(HostEvent::Status)[0], MEASURE_STATUS_STARTED);
    EXPECT_EQ(host.values(HostEvent::Status)[1], MEASURE_STATUS_CALIBRATING);
    EXPECT_GE(host.count(HostEvent::Status, MEASURE_STATUS_WAIT_USER), 3u);  // a fourth if the stop came late
    EXPECT_EQ(emu_i1_count("I1_Calibrate ReflectanceSpot"), 1);
    EXPECT_EQ(i1Option("ResultIndexKey"), "M0");
}

TEST_F(I1ProSpot, LabAndXyzSpotsAreTheInstrumentsColourValues) {
    emu_i1_set_spot_patch(7);
    float spectrum[36], want[3];
    emu_i1_patch_spectrum(7, spectrum);
    for (uint32_t mode : {2u, 3u}) {
        I1ProHost host(11, mode);
        ASSERT_EQ(host.open(), 0);
        ASSERT_EQ(StartSingleMeasure(host.record()), 0);
        ASSERT_TRUE(host.runUntil([](const HostEvent& e) { return e.kind == HostEvent::Data; }));
        EXPECT_EQ(StopSingleMeasure(host.record()), 0);
        emu_i1_colour_of(spectrum, mode == 2 ? "CIELab" : "CIEXYZ", want);
        ASSERT_EQ(host.triples.size(), 1u);
        ASSERT_EQ(host.triples[0].size(), 1u);
        for (int c = 0; c < 3; ++c) EXPECT_DOUBLE_EQ(host.triples[0][0][c], want[c]) << mode;
        EXPECT_EQ(i1Option("ColorSpaceDescription.Type"), mode == 2 ? "CIELab" : "CIEXYZ");
        EXPECT_EQ(i1Option("Colorimetric.Illumination"), "D50");
    }
}

TEST_F(I1ProSpot, EmissionSpotsMeasureTheSourceWithoutSubstrate) {
    {
        I1ProHost host(11, MEASURE_MODE_EMISSION_SPECTRAL);
        ASSERT_EQ(host.open(), 0);
        ASSERT_EQ(StartSingleMeasure(host.record()), 0);
        ASSERT_TRUE(host.runUntil([](const HostEvent& e) { return e.kind == HostEvent::Data; }));
        EXPECT_EQ(StopSingleMeasure(host.record()), 0);
        ASSERT_EQ(host.spectra.size(), 1u);
        EXPECT_EQ(host.spectra[0][0], chartSpectrum(EMU_I1_PATCH_EMISSION_SOURCE));
    }
    EXPECT_EQ(i1Option("MeasurementMode"), "EmissionSpot");
    EXPECT_EQ(i1Option("Colorimetric.Illumination"), "Emission");
    EXPECT_EQ(emu_i1_count("I1_SetSubstrate"), 0);

    I1ProHost host(11, MEASURE_MODE_CIE_LAB + MEASURE_MODE_EMISSION);
    ASSERT_EQ(host.open(), 0);
    ASSERT_EQ(StartSingleMeasure(host.record()), 0);
    ASSERT_TRUE(host.runUntil([](const HostEvent& e) { return e.kind == HostEvent::Data; }));
    ASSERT_EQ(host.triples.size(), 1u);
    EXPECT_NEAR(host.triples[0][0][0], 100.0, 1e-3);  // L* of the source against itself
}

TEST_F(I1ProSpot, StatusESpotWithThePlainRecordEndsAfterOnePatch) {
    LogCapture log;
    emu_i1_set_spot_patch(3);
    I1ProHost host(11, MEASURE_MODE_STATUS_E);
    ASSERT_EQ(host.openOld(), 0);
    ASSERT_EQ(StartSingleMeasure(host.record()), 0);
    EXPECT_EQ(host.runToEnd(), MEASURE_END_DONE);
    EXPECT_TRUE(log.contains("end old MEASURESTRUCT"));
    EXPECT_EQ(host.rec.NumOfMeasurements, 1u);
    ASSERT_EQ(host.densities.size(), 1u);
    EXPECT_EQ(host.values(HostEvent::Density), std::vector<int64_t>{1});

    const auto spectrum = chartSpectrum(3);
    const uint32_t header[3] = {380, 10, 36};
    double d[4];
    ASSERT_EQ(SpectrumToDensity(d, header, spectrum.data(), MEASURE_MODE_STATUS_E), 1);
    for (int c = 0; c < 4; ++c) EXPECT_EQ(host.densities[0][c], static_cast<uint16_t>(d[c] * 1000)) << c;
    const std::vector<int64_t> tail = {host.values(HostEvent::Status).back()};
    EXPECT_EQ(tail[0], MEASURE_STATUS_IDLE);
}

TEST_F(I1ProSpot, DinSpotWithThePlainRecordTakesTheInstrumentsDensities) {
    emu_i1_set_spot_patch(4);
    I1ProHost host(11, MEASURE_MODE_DIN_16536);
    ASSERT_EQ(host.openOld(), 0);
    ASSERT_EQ(StartSingleMeasure(host.record()), 0);
    EXPECT_EQ(host.runToEnd(), MEASURE_END_DONE);
    float spectrum[36], want[4];
    emu_i1_patch_spectrum(4, spectrum);
    emu_i1_densities_of(spectrum, "DIN", want);
    ASSERT_EQ(host.densities.size(), 1u);
    for (int c = 0; c < 4; ++c) EXPECT_EQ(host.densities[0][c], static_cast<uint16_t>(want[c] * 1000)) << c;
}

TEST_F(I1ProSpot, TriggerFailuresReportTheirCauseAndTheNextSpotFollows) {
    I1ProHost host(11, MEASURE_MODE_SPECTRAL);
    host.pressOn = {MEASURE_STATUS_WAIT_USER};
    ASSERT_EQ(host.open(), 0);
    emu_i1_fail_triggers(xrite::kI1ScanTooFast, 1);
    ASSERT_EQ(StartSingleMeasure(host.record()), 0);
    ASSERT_TRUE(host.runUntil([](const HostEvent& e) { return e.kind == HostEvent::Data; }));
    emu_i1_fail_triggers(xrite::kI1StripNotRecognised, 1);
    const size_t from = host.events.size();
    ASSERT_TRUE(host.runUntil([](const HostEvent& e) { return e.kind == HostEvent::Data; }));
    EXPECT_EQ(StopSingleMeasure(host.record()), 0);
    EXPECT_EQ(host.runToEnd(), MEASURE_END_STOPPED);

    auto statusesOf = [](const std::vector<HostEvent>& events) {
        std::vector<int64_t> out;
        for (const auto& e : events)
            if (e.kind == HostEvent::Status) out.push_back(e.value);
        return out;
    };
    const auto all = statusesOf(host.events);
    ASSERT_GE(all.size(), 8u);
    EXPECT_EQ(std::vector<int64_t>(all.begin(), all.begin() + 8),
              (std::vector<int64_t>{1, 2, 3, 0, 33, 4, 3, 0}));
    const auto second = statusesOf(since(host, from));
    ASSERT_GE(second.size(), 5u);
    EXPECT_EQ(std::vector<int64_t>(second.begin(), second.begin() + 5),
              (std::vector<int64_t>{3, 0, 34, 4, 3}));
    EXPECT_EQ(host.spectra.size(), 2u);
}

TEST_F(I1ProSpot, SingleTriggerModeMeasuresOnceWithoutTheButton) {
    I1ProHost host(11, MEASURE_MODE_SPECTRAL);
    host.pressOn.clear();
    host.rec.SingleTriggerMode = 1;
    ASSERT_EQ(host.open(), 0);
    ASSERT_EQ(StartSingleMeasure(host.record()), 0);
    EXPECT_EQ(host.runToEnd(), MEASURE_END_DONE);
    EXPECT_EQ(host.spectra.size(), 1u);
    EXPECT_EQ(emu_i1_button_polls(), 1);  // the flush at the start only
}

}  // namespace
}  // namespace measure::test
