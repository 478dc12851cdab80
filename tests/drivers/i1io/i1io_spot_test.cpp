// Aimed spots and the scan calibration of row 23 through the exports
// against the virtual i1iO table.
#include <gtest/gtest.h>

#include "drivers/i1io/i1io_host.h"
#include "drivers/xrite/i1io/io_pro_entries.h"
#include "framework/driver_entries.h"
#include "support/test_environment.h"

namespace measure::test {
namespace {

class I1ioSpot : public ::testing::Test {
protected:
    void SetUp() override {
        useI1StandIn();
        emu_i1_set_table(1);
    }
    void TearDown() override { emu_i1_reset(); }
};

TEST_F(I1ioSpot, ThePatchUnderTheVisorIsMeasuredUntilTheHostStops) {
    I1ProHost host(kIoRow, MEASURE_MODE_SPECTRAL);
    ASSERT_EQ(host.open(), 0);
    emu_i1_table_queue_patch(2, 3);  // patch 15 of the 4 x 6 chart
    emu_i1_table_queue_patch(0, 1);  // patch 1
    host.onEvent = [&](const HostEvent& e) {
        if (e.kind == HostEvent::Data && host.spectra.size() == 2) {
            EXPECT_EQ(StopSingleMeasure(host.record()), 0);
        }
    };
    ASSERT_EQ(SingleMeasure(host.record()), 0);
    EXPECT_EQ(host.runToEnd(), MEASURE_END_STOPPED);
    ASSERT_EQ(host.spectra.size(), 2u);
    EXPECT_EQ(host.spectra[0], chartSpectra(15, 1));
    EXPECT_EQ(host.spectra[1], chartSpectra(1, 1));
    // The aperture went where the visor pointed, and the head went home.
    EXPECT_EQ(emu_i1_count("I1_SetPosition 70.0,80.0"), 2);
    EXPECT_EQ(tablePosition(), (std::array<float, 2>{0, 0}));
    EXPECT_EQ(emu_i1_is_calibrated("ReflectanceSpot"), 1);
}

TEST_F(I1ioSpot, ColourValuesOfAnAimedSpot) {
    I1ProHost host(kIoRow, MEASURE_MODE_CIE_XYZ);
    ASSERT_EQ(host.open(), 0);
    emu_i1_table_queue_patch(3, 5);
    host.onEvent = [&](const HostEvent& e) {
        if (e.kind == HostEvent::Data) {
            EXPECT_EQ(StopSingleMeasure(host.record()), 0);
        }
    };
    ASSERT_EQ(SingleMeasure(host.record()), 0);
    EXPECT_EQ(host.runToEnd(), MEASURE_END_STOPPED);
    ASSERT_EQ(host.triples.size(), 1u);
    float s[36], xyz[3];
    emu_i1_patch_spectrum(23, s);
    emu_i1_colour_of(s, "CIEXYZ", xyz);
    EXPECT_EQ(host.triples[0], (std::vector<std::array<double, 3>>{{xyz[0], xyz[1], xyz[2]}}));
}

TEST_F(I1ioSpot, WhiteCalibrationIsTheScanCalibrationOnly) {
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
}

TEST_F(I1ioSpot, CloseEntryDuringTheScanCalibrationLeavesTheDriverOpen) {
    I1ProHost host(kIoRow, MEASURE_MODE_SPECTRAL, 24);
    planChart(host, 6);
    ASSERT_EQ(host.open(), 0);
    emu_i1_hold_calibration("ReflectanceScan");
    ASSERT_EQ(WhiteCalibration(host.record()), 0);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (emu_i1_calibration_waiting() == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_EQ(emu_i1_calibration_waiting(), 1);
    EXPECT_EQ(i1io::CloseIOPro(host.record()), 0);
    EXPECT_NE(framework::storedDriver(host.record()), nullptr) << "the entry leaves the driver open";
    EXPECT_EQ(i1Option("I1T_EnableElectrostaticFoil"), "0");
    emu_i1_hold_calibration(nullptr);
    ASSERT_TRUE(host.runUntilStatus(MEASURE_STATUS_CALIBRATION_DONE));
    EXPECT_EQ(MustCalibrate(host.record()), 0);
}

}  // namespace
}  // namespace measure::test
