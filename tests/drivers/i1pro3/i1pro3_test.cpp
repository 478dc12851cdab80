// The i1Pro3 rows 48, 49 and 50 through the exports against the i1 SDK
// stand-in's i1Pro3: device types and rows, the M3 head, the handover from
// the i1Pro library, measurement conditions, strips and spots.
#include <gtest/gtest.h>

#include <string>

#include "drivers/i1pro/i1pro_host.h"
#include "support/test_environment.h"

namespace measure::test {
namespace {

class I1Pro3 : public I1StandInTest {
protected:
    void SetUp() override {
        useI1StandIn();
        emu_i1_set_model(EMU_I1_MODEL_I1PRO3);
    }
    void TearDown() override {
        I1CloseShort();
        emu_i1_reset();
    }
};

constexpr uint32_t kM3HeadBits = opInstrumentOpened | opZebraRullerSensor | opLowResolution |
                                 opSingleMeasurementOption | opM3Mode | opUVCutOption;

// Row 49 takes the i1Pro3 with an LED, row 50 the i1Pro3 Plus, row 48 any
// i1Pro3; a head without the M3 filter offers M0 to M2 and emission.
TEST_F(I1Pro3, DeviceTypeFitsTheRowAndTheHeadDecidesTheConditionBits) {
    constexpr uint32_t kStandardHeadBits = opInstrumentOpened | opZebraRullerSensor | opLowResolution |
                                           opSingleMeasurementOption | opM0Mode | opM1Mode | opM2Mode |
                                           opM3Emissive;
    struct Case {
        int32_t model;
        const char* head;
        const char* led;
        uint32_t row;
        uint32_t bits;  // 0: the open fails
    };
    for (const Case& c : {Case{EMU_I1_MODEL_I1PRO3, "M3", "1", 49, kM3HeadBits},
                          Case{EMU_I1_MODEL_I1PRO3_PLUS, "M3", "1", 49, 0},
                          Case{EMU_I1_MODEL_I1PRO3_PLUS, "M3", "1", 50, kM3HeadBits},
                          Case{EMU_I1_MODEL_I1PRO3, "Standard", "1", 48, kStandardHeadBits},
                          Case{EMU_I1_MODEL_I1PRO3, "Standard", "0", 49, 0},
                          Case{EMU_I1_MODEL_I1PRO3, "Standard", "0", 48, kStandardHeadBits}}) {
        emu_i1_set_model(c.model);
        emu_i1_set_text("DeviceHeadSensorKey", c.head);
        emu_i1_set_text("HasIndicatorLed", c.led);
        I1ProHost host(c.row, MEASURE_MODE_SPECTRAL);
        EXPECT_EQ(host.open(), c.bits != 0 ? 0 : -1) << c.row << " " << c.head << " " << c.led;
        EXPECT_EQ(emu_i1_holder(), c.bits != 0 ? EMU_I1_HOLDER_I1PRO3 : EMU_I1_HOLDER_NONE);
        if (c.bits == 0) continue;
        EXPECT_EQ(host.rec.OptionBits, c.bits) << c.row;
        EXPECT_EQ(host.rec.port, 11);
        EXPECT_EQ(host.rec.SerialNumber, 3061234u);
    }
    // A device type that does not fit tells the host so.
    emu_i1_set_model(EMU_I1_MODEL_I1PRO3_PLUS);
    I1ProHost host(49, MEASURE_MODE_SPECTRAL);
    EXPECT_EQ(host.open(), -1);
    host.drain(50);
    EXPECT_EQ(host.values(HostEvent::Status), (std::vector<int64_t>{MEASURE_STATUS_TABLE_REFUSED}));
}

TEST_F(I1Pro3, AnSdkVersionBelowOneOrWithoutDigitsIsReportedButOpens) {
    for (const auto& [version, reported] :
         {std::pair{"0.9.4", 1}, std::pair{"SDK", 1}, std::pair{"1.2", 0}}) {
        LogCapture log;
        emu_i1_set_text("SDKVersion", version);
        I1ProHost host(49, MEASURE_MODE_SPECTRAL);
        EXPECT_EQ(host.open(), 0) << version;
        EXPECT_EQ(
            log.count("clEYE_ONE_PRO3::ThreadConstructor", "Wrong version of i1Pro364.dll please update!"),
            reported)
            << version;
    }
}

TEST_F(I1Pro3, TheI1ProLibraryAndThePassThroughLetGoBeforeTheOpen) {
    emu_i1_set_holder(EMU_I1_HOLDER_I1PRO);
    emu_i1_clear_journal();
    {
        I1ProHost host(49, MEASURE_MODE_SPECTRAL);
        ASSERT_EQ(host.open(), 0);
        expectJournalOrder({"I1PRO3_OpenDevice => 52", "I1_CloseDevice", "I1_SetGlobalOption Reset=All",
                            "I1PRO3_OpenDevice\n"});
    }
    ASSERT_EQ(I1IsConnected(), 0);  // the pass-through holds it through the i1Pro library
    EXPECT_EQ(emu_i1_holder(), EMU_I1_HOLDER_I1PRO);
    I1ProHost host(49, MEASURE_MODE_SPECTRAL);
    ASSERT_EQ(host.open(), 0);
    EXPECT_EQ(emu_i1_holder(), EMU_I1_HOLDER_I1PRO3);
}

class I1Pro3Job : public I1Pro3 {
protected:
    // Opens and calibrates `host` on row 49 with its plan of `perLine`; the
    // host presses the button at each prompt but not after a failed pass.
    void ready(I1ProHost& host, int32_t perLine = 6) {
        host.rec.NumPatchesPerLine = perLine;
        host.pressOn = {MEASURE_STATUS_WAIT_USER};
        ASSERT_EQ(host.open(), 0);
        ASSERT_EQ(WhiteCalibration(host.record()), 0);
        ASSERT_TRUE(host.runUntilStatus(MEASURE_STATUS_CALIBRATION_DONE));
        host.events.clear();
    }
};

TEST_F(I1Pro3Job, ConditionsSetTheirModesAndResultIndexes) {
    // Without the M3 filter the M3 mode is set, but no "M3" result.
    for (const auto& [condition, head, mode, index] :
         {std::tuple{0u, "M3", "ReflectanceScan", "M0"}, std::tuple{1u, "M3", "ReflectanceScan", "M1"},
          std::tuple{2u, "M3", "ReflectanceScan", "M2"}, std::tuple{3u, "M3", "ReflectanceM3Scan", "M3"},
          std::tuple{3u, "Standard", "ReflectanceM3Scan", ""}}) {
        emu_i1_reset();
        emu_i1_set_model(EMU_I1_MODEL_I1PRO3);
        emu_i1_set_text("DeviceHeadSensorKey", head);
        I1ProHost host(49, MEASURE_MODE_SPECTRAL, 6);
        host.rec.MeasurementCondition = condition;
        ready(host);
        EXPECT_EQ(runRequest(host, {strip(20, 6)}), MEASURE_END_DONE) << condition;
        EXPECT_EQ(i1Option("MeasurementMode"), mode);
        EXPECT_EQ(i1Option("ResultIndexKey"), index);
        EXPECT_EQ(host.spectra.size(), 1u);
    }
}

TEST_F(I1Pro3Job, M3ReadingsAreDarkerThanM2AndStripsHonourTheHostPlan) {
    I1ProHost host(49, MEASURE_MODE_SPECTRAL, 12);
    host.rec.MeasurementCondition = MEASURE_CONDITION_M3;
    host.rec.PositionRecognition = 1;
    host.rec.ReferencePatches = 1;
    host.rec.DirectionDetection = 1;
    ready(host);
    EXPECT_EQ(i1Option("RecognitionKey"), "RecognitionPositionDark");
    EXPECT_EQ(i1Option("PatchesPerLine"), "8");  // six and the two references
    // The first strip drawn backwards.
    ASSERT_EQ(runRequest(host, {strip(0, 6, true, true), strip(6, 6, true)}), MEASURE_END_DONE);
    ASSERT_EQ(host.spectra.size(), 2u);
    ASSERT_EQ(host.spectra[0].size(), 6u);
    for (int i = 0; i < 12; ++i) {
        const auto plain = chartSpectrum(i);
        const auto& m3 = host.spectra[i / 6][i % 6];
        for (int band = 0; band < 36; ++band)
            ASSERT_NEAR(m3[band], plain[band] - 0.04 * (1.0 - plain[band]), 1e-6) << i << "/" << band;
    }
    EXPECT_EQ(emu_i1_count("I1PRO3_SetOption IndicatorLedKey=IndicatorLedSucceeded"), 2);

    // M2 reads the plain chart, after a calibration of its own mode.
    host.rec.MeasurementCondition = MEASURE_CONDITION_M2;
    host.rec.PositionRecognition = 0;
    host.rec.ReferencePatches = 0;
    ASSERT_EQ(WhiteCalibration(host.record()), 0);
    ASSERT_TRUE(host.runUntilStatus(MEASURE_STATUS_CALIBRATION_DONE));
    host.events.clear();
    host.spectra.clear();
    ASSERT_EQ(runRequest(host, {strip(0, 6), strip(6, 6)}), MEASURE_END_DONE);
    EXPECT_EQ(i1Option("RecognitionKey"), "RecognitionBasic");
    ASSERT_EQ(host.spectra.size(), 2u);
    EXPECT_EQ(host.spectra[1][2], chartSpectrum(8));
}

TEST_F(I1Pro3Job, StripsNeedTheHostPlanAndDeliverNoDensities) {
    {
        LogCapture log;
        I1ProHost host(49, MEASURE_MODE_SPECTRAL, 12);
        ASSERT_EQ(host.open(), 0);
        EXPECT_EQ(StartMultiMeasure(host.record()), -1);
        EXPECT_TRUE(log.contains("a strip needs the host's NumPatchesPerLine"));
        host.rec.NumPatchesPerLine = -3;
        EXPECT_EQ(StartMultiMeasure(host.record()), -1);
    }
    {
        // Ten patches in strips of six: the last strip's extra patches are cut.
        I1ProHost host(49, MEASURE_MODE_SPECTRAL, 10);
        host.rec.PositionRecognition = 1;
        ready(host);
        EXPECT_EQ(i1Option("PatchesPerLine"), "6");
        ASSERT_EQ(runRequest(host, {strip(0, 6), strip(6, 6)}), MEASURE_END_DONE);
        ASSERT_EQ(host.spectra.size(), 2u);
        EXPECT_EQ(host.spectra[0].size(), 6u);
        ASSERT_EQ(host.spectra[1].size(), 4u);
        EXPECT_EQ(host.spectra[1][3], chartSpectrum(9));
        ASSERT_EQ(host.close(), 0);
    }
    I1ProHost host(49, MEASURE_MODE_STATUS_E, 6);
    ready(host);
    EXPECT_EQ(runRequest(host, {strip(0, 6)}), MEASURE_END_FAILED);
    EXPECT_TRUE(host.densities.empty());
}

TEST_F(I1Pro3Job, AConditionOutsideTheRowsEndsStripsAndCalibrationsAndFailsOneSpot) {
    I1ProHost host(49, MEASURE_MODE_SPECTRAL, 6, 6);
    host.rec.MeasurementCondition = 4;
    ASSERT_EQ(host.open(), 0);
    expectCalibrationRefusedForTheCondition(host);
    host.events.clear();
    host.rec.MeasurementCondition = 10;  // emission only: not for strips
    EXPECT_EQ(runRequest(host), MEASURE_END_CALIBRATION_FAILED);
    EXPECT_EQ(host.count(HostEvent::Status, MEASURE_STATUS_MODE_UNSUITABLE), 1u);

    // An emission spot with condition 4 fails; with 10 the next one is measured.
    host.rec.Mode = MEASURE_MODE_SPECTRAL | MEASURE_MODE_EMISSION;
    host.rec.MeasurementCondition = 4;
    host.events.clear();
    host.pressOn = {MEASURE_STATUS_WAIT_USER};
    host.onEvent = [&](const HostEvent& e) {
        if (e.kind == HostEvent::Status && e.value == MEASURE_STATUS_MODE_UNSUITABLE)
            host.rec.MeasurementCondition = 10;
    };
    ASSERT_EQ(SingleMeasure(host.record()), 0);
    ASSERT_TRUE(host.runUntil([](const HostEvent& e) { return e.kind == HostEvent::Data; }));
    EXPECT_EQ(i1Option("ResultIndexKey"), "Emissive");
    EXPECT_EQ(i1Option("MeasurementMode"), "EmissionSpot");
    ASSERT_EQ(host.spectra.size(), 1u);
    EXPECT_EQ(host.spectra[0][0], chartSpectrum(EMU_I1_PATCH_EMISSION_SOURCE));
    EXPECT_EQ(StopSingleMeasure(host.record()), 0);
}

TEST_F(I1Pro3Job, SpotsDeliverColourValuesAndSpectraOnly) {
    I1ProHost host(49, MEASURE_MODE_SPECTRAL, 6);
    host.rec.SingleTriggerMode = 1;
    ready(host);
    emu_i1_set_spot_patch(9);
    for (uint32_t mode : {2u, 3u, 4u}) {
        host.rec.Mode = mode;
        host.events.clear();
        host.spectra.clear();
        host.triples.clear();
        ASSERT_EQ(runRequest(host, {}, SingleMeasure), MEASURE_END_DONE) << mode;
        if (mode == 4) {
            EXPECT_EQ(host.spectra, (DeliveredSpectra{chartSpectra(9, 1)}));
        } else {
            EXPECT_EQ(host.triples, (DeliveredTriples{{chartColour(9, mode == 2 ? "CIELab" : "CIEXYZ")}}));
        }
    }
    host.rec.Mode = MEASURE_MODE_STATUS_E;
    host.events.clear();
    LogCapture log;
    EXPECT_EQ(runRequest(host, {}, SingleMeasure), MEASURE_END_DONE);
    EXPECT_TRUE(host.densities.empty());
    EXPECT_TRUE(log.contains("catch(default)"));

    // Emission where the head does not offer it: a reflectance spot.
    emu_i1_set_text("AvailableMeasurementModes", "ReflectanceSpot;ReflectanceScan;ReflectanceM3Spot");
    host.rec.Mode = MEASURE_MODE_SPECTRAL | MEASURE_MODE_EMISSION;
    runRequest(host, {}, SingleMeasure);
    EXPECT_EQ(i1Option("MeasurementMode"), "ReflectanceSpot");
}

}  // namespace
}  // namespace measure::test
