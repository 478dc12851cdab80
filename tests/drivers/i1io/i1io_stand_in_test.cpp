// The i1iO table of the i1 SDK stand-in, called through its exports as the
// table driver calls it: travel, visor, options, the chart under the
// aperture, chart scans with their row callback and faults, the virtual user.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "drivers/i1pro/i1_sdk_stand_in.h"

namespace measure::test {
namespace {

using namespace measure::xrite;

class I1TableStandIn : public ::testing::Test {
protected:
    void SetUp() override {
        useI1StandIn();
        emu_i1_set_table(1);
        ASSERT_TRUE(pro.bind("X-Rite\\i1Pro64.dll", "I1_"));
        ASSERT_EQ(pro.RegisterTableExtensions(), kI1Success);
        I1_DeviceHandle* list = nullptr;
        uint32_t count = 0;
        ASSERT_EQ(pro.GetDevices(&list, &count), kI1Success);
        device = list[0];
        ASSERT_EQ(pro.OpenDevice(device), kI1Success);
    }
    void TearDown() override { emu_i1_reset(); }

    std::string option(const char* key) {
        char buffer[kI1TextBufferSize] = {};
        uint32_t size = sizeof buffer;
        return pro.GetOption(device, key, buffer, &size) == kI1Success ? buffer : "<failed>";
    }
    std::string lastError() {
        char buffer[kI1TextBufferSize] = {};
        uint32_t size = sizeof buffer;
        pro.GetGlobalOption("LastErrorText", buffer, &size);
        return buffer;
    }
    I1_Point position() {
        I1_Point p{};
        EXPECT_EQ(pro.GetPosition(device, &p), kI1Success);
        return p;
    }
    std::array<float, 36> sample(uint32_t index) {
        std::array<float, 36> s{};
        EXPECT_EQ(pro.GetSpectrum(device, s.data(), index), kI1Success);
        return s;
    }
    std::array<float, 36> spotAt(float x, float y) {
        const I1_Point p{x, y};
        EXPECT_EQ(pro.SetPosition(device, &p), kI1Success);
        EXPECT_EQ(pro.TriggerMeasurement(device), kI1Success);
        return sample(0);
    }
    void calibrate(const char* mode) {
        ASSERT_EQ(pro.SetOption(device, "MeasurementMode", mode), kI1Success);
        ASSERT_EQ(pro.Calibrate(device), kI1Success);
    }

    I1Calls pro;
    I1_DeviceHandle device = nullptr;
};

std::array<float, 36> patch(int32_t index) {
    std::array<float, 36> s{};
    emu_i1_patch_spectrum(index, s.data());
    return s;
}

TEST_F(I1TableStandIn, HeadMovesWithinItsTravelAndTheVisorShowsAPointFurtherDown) {
    EXPECT_EQ(pro.GetConnectionStatus(device), kI1StatusOpenOnTable);
    const I1_Point start{110.2f, 120.0f};
    ASSERT_EQ(pro.SetPosition(device, &start), kI1Success);
    EXPECT_FLOAT_EQ(position().x, 110.2f);
    EXPECT_FLOAT_EQ(position().y, 120.0f);

    const I1_Point outside{321.0f, 10.0f};
    EXPECT_EQ(pro.SetPosition(device, &outside), 71u);
    EXPECT_EQ(lastError(), "position outside the table's travel");
    EXPECT_FLOAT_EQ(position().x, 110.2f);  // did not move

    ASSERT_EQ(pro.SetOption(device, "I1T_IsVisorCoordinate", "1"), kI1Success);
    EXPECT_FLOAT_EQ(position().y, 148.0f);
    const I1_Point visor{50.0f, 100.0f};
    ASSERT_EQ(pro.SetPosition(device, &visor), kI1Success);
    float x = 0, y = 0;
    emu_i1_table_position(&x, &y);
    EXPECT_FLOAT_EQ(x, 50.0f);
    EXPECT_FLOAT_EQ(y, 72.0f);
    const I1_Point visorBeyondTop{50.0f, 20.0f};  // the aperture would be at -8
    EXPECT_EQ(pro.SetPosition(device, &visorBeyondTop), 71u);

    ASSERT_EQ(pro.MoveToHomePosition(device), kI1Success);
    emu_i1_table_position(&x, &y);
    EXPECT_FLOAT_EQ(x, 0.0f);
    EXPECT_FLOAT_EQ(y, 0.0f);
}

TEST_F(I1TableStandIn, TableOptionsAreCheckedAndTheSerialIsReadOnly) {
    EXPECT_EQ(option("I1T_SerialNumber"), "22417");
    EXPECT_EQ(option("I1T_SuggestedMaxScanSpeed"), "60.0");
    EXPECT_EQ(pro.SetOption(device, "I1T_SerialNumber", "30000"), 72u);
    emu_i1_set_text("I1T_SerialNumber", "22050");
    EXPECT_EQ(option("I1T_SerialNumber"), "22050");

    EXPECT_EQ(pro.SetOption(device, "I1T_HoldPosition", "2"), 30u);
    EXPECT_EQ(pro.SetOption(device, "I1T_EnableElectrostaticFoil", "1"), kI1Success);
    EXPECT_EQ(pro.SetOption(device, "I1T_PatchLength", "5.900000"), 30u);
    EXPECT_EQ(pro.SetOption(device, "I1T_PatchLength", "10.000000"), kI1Success);
    EXPECT_EQ(pro.SetOption(device, "I1T_ScanSpeed", "60.5"), 30u);
    EXPECT_EQ(pro.SetOption(device, "I1T_ScanSpeed", "60.0"), kI1Success);
    EXPECT_EQ(pro.SetOption(device, "I1T_ScanChartGapSize", "1.5"), kI1Success);
    EXPECT_EQ(pro.SetOption(device, "I1T_ScanChartGapSize", "-1"), 30u);
    EXPECT_EQ(i1Option("I1T_ScanChartGapSize"), "1.5");
    EXPECT_EQ(emu_i1_count("I1_SetOption I1T_PatchLength="), 2);

    emu_i1_set_table(0);
    EXPECT_EQ(option("I1T_SerialNumber"), "<failed>");
    EXPECT_EQ(lastError(), "no i1iO table");
}

TEST_F(I1TableStandIn, TableAnswersOnlyADeviceOpenedAfterItsExtensions) {
    emu_i1_reset();
    emu_i1_set_table(1);
    EXPECT_EQ(pro.OpenDevice(device), kI1Success);
    EXPECT_EQ(pro.GetConnectionStatus(device), kI1StatusOpen);
    ASSERT_EQ(pro.CloseDevice(device), kI1Success);
    emu_i1_table_fail_extensions(73);
    EXPECT_EQ(pro.RegisterTableExtensions(), 73u);
    emu_i1_table_fail_extensions(0);
    ASSERT_EQ(pro.RegisterTableExtensions(), kI1Success);
    ASSERT_EQ(pro.OpenDevice(device), kI1Success);
    EXPECT_EQ(pro.GetConnectionStatus(device), kI1StatusOpenOnTable);
}

TEST_F(I1TableStandIn, SpotsReadThePatchOrThePaperUnderTheAperture) {
    calibrate("ReflectanceSpot");
    // The default chart: 10 mm pitch, 1 mm gaps, first patch at (40, 60).
    EXPECT_EQ(spotAt(60.0f, 70.0f), patch(8));   // row 1, column 2
    EXPECT_EQ(spotAt(94.4f, 94.4f), patch(23));  // inside the last patch's corner
    const auto paper = spotAt(5.0f, 5.0f);
    EXPECT_NE(paper, patch(0));
    EXPECT_EQ(spotAt(64.8f, 70.0f), paper);   // the gap between columns 2 and 3
    EXPECT_EQ(spotAt(100.0f, 70.0f), paper);  // right of the chart

    EmuI1TableChart turned;
    emu_i1_table_chart_defaults(&turned);
    turned.rotationDegrees = 90.0f;  // rows now run down the table
    emu_i1_table_set_chart(&turned);
    EXPECT_EQ(spotAt(40.0f, 70.0f), patch(1));
    EXPECT_EQ(spotAt(30.0f, 60.0f), patch(6));
}

namespace rows {
struct Seen {
    std::vector<int32_t> counts;
    std::vector<std::array<float, 36>> firsts, lasts;
    uint32_t answerAt = 99, answer = 0;
    I1Calls* sdk = nullptr;
    I1_DeviceHandle device = nullptr;
};
Seen watching(I1Calls& sdk, I1_DeviceHandle device, uint32_t answerAt = 99, uint32_t answer = 0) {
    Seen seen;
    seen.sdk = &sdk;
    seen.device = device;
    seen.answerAt = answerAt;
    seen.answer = answer;
    return seen;
}
uint32_t record(void* context, uint32_t row) {
    auto* seen = static_cast<Seen*>(context);
    const int32_t n = seen->sdk->GetNumberOfAvailableSamples(seen->device);
    seen->counts.push_back(n);
    std::array<float, 36> s{};
    seen->sdk->GetSpectrum(seen->device, s.data(), 0);
    seen->firsts.push_back(s);
    seen->sdk->GetSpectrum(seen->device, s.data(), static_cast<uint32_t>(n - 1));
    seen->lasts.push_back(s);
    return row == seen->answerAt ? seen->answer : 0;
}
}  // namespace rows

TEST_F(I1TableStandIn, ChartScanReadsRowByRowBetweenTheThreeCorners) {
    rows::Seen seen = rows::watching(pro, device);
    const I1_Point corners[3] = {{40.5f, 60.0f}, {40.5f, 90.0f}, {89.5f, 90.0f}};
    ASSERT_EQ(pro.ScanChart(device, corners, 4, 6, nullptr, &rows::record, &seen), kI1Success);
    ASSERT_EQ(seen.counts, (std::vector<int32_t>{6, 6, 6, 6}));
    for (int row = 0; row < 4; ++row) {
        EXPECT_EQ(seen.firsts[row], patch(6 * row)) << row;
        EXPECT_EQ(seen.lasts[row], patch(6 * row + 5)) << row;
    }
    EXPECT_EQ(emu_i1_table_rows_read(), 4);
    EXPECT_EQ(emu_i1_count("I1_ScanChart 4x6 40.5,60.0 40.5,90.0 89.5,90.0"), 1);

    // Corners one column to the right: every row starts one patch later.
    rows::Seen shifted = rows::watching(pro, device);
    const I1_Point wrong[3] = {{50.0f, 60.0f}, {50.0f, 90.0f}, {90.0f, 90.0f}};
    ASSERT_EQ(pro.ScanChart(device, wrong, 4, 5, nullptr, &rows::record, &shifted), kI1Success);
    EXPECT_EQ(shifted.firsts[2], patch(13));
    EXPECT_EQ(shifted.lasts[2], patch(17));
}

TEST_F(I1TableStandIn, RowCallbackCancelsAndFaultsShortenOrEndTheChart) {
    const I1_Point corners[3] = {{40, 60}, {40, 90}, {90, 90}};
    rows::Seen cancelled = rows::watching(pro, device, 1, kI1ScanCancelled);
    EXPECT_EQ(pro.ScanChart(device, corners, 4, 6, nullptr, &rows::record, &cancelled), kI1ScanCancelled);
    EXPECT_EQ(cancelled.counts.size(), 2u);

    // A short row: the callback's 2111 is noted and the chart goes on.
    emu_i1_table_short_row(2, 4);
    rows::Seen shortRow = rows::watching(pro, device, 2, kI1RowIncomplete);
    EXPECT_EQ(pro.ScanChart(device, corners, 4, 6, nullptr, &rows::record, &shortRow), kI1Success);
    EXPECT_EQ(shortRow.counts, (std::vector<int32_t>{6, 6, 4, 6}));
    EXPECT_EQ(emu_i1_count("I1_ScanChart row 2 incomplete"), 1);

    emu_i1_table_short_row(-1, 0);
    emu_i1_table_fail_chart_at_row(1, 80);
    rows::Seen failed = rows::watching(pro, device);
    EXPECT_EQ(pro.ScanChart(device, corners, 4, 6, nullptr, &rows::record, &failed), 80u);
    EXPECT_EQ(failed.counts.size(), 1u);

    const I1_Point beyond[3] = {{40, 60}, {40, 90}, {330, 90}};
    EXPECT_EQ(pro.ScanChart(device, beyond, 4, 6, nullptr, nullptr, nullptr), 71u);
}

TEST_F(I1TableStandIn, VirtualUserShowsTheCornersOfEachSheetWhileTheHeadIsFree) {
    EmuI1TableChart chart;
    emu_i1_table_chart_defaults(&chart);
    chart.sheets = 2;
    chart.lastSheetRows = 1;
    emu_i1_table_set_chart(&chart);
    ASSERT_EQ(pro.SetOption(device, "I1T_IsVisorCoordinate", "1"), kI1Success);

    // Held: a press moves nothing.
    emu_i1_press_button();
    EXPECT_EQ(pro.GetButtonStatusD(device), kI1ButtonPressed);
    EXPECT_FLOAT_EQ(position().x, 0.0f);

    ASSERT_EQ(pro.SetOption(device, "I1T_HoldPosition", "0"), kI1Success);
    std::vector<std::array<float, 3>> shown;
    const auto press = [&](int times) {
        for (int i = 0; i < times; ++i) {
            emu_i1_press_button();
            ASSERT_EQ(pro.GetButtonStatusD(device), kI1ButtonPressed);
            const I1_Point p = position();
            shown.push_back({p.x, p.y, float(emu_i1_table_sheet())});
        }
    };
    // Sheet 0: A, C, D of four rows, shown again when asked again (a host
    // registers before its chart scan registers once more).
    press(6);
    // Scanned: sheet 1 has one row, its first and last.
    ASSERT_EQ(pro.SetOption(device, "I1T_IsVisorCoordinate", "0"), kI1Success);
    const I1_Point corners[3] = {{40, 60}, {40, 90}, {90, 90}};
    ASSERT_EQ(pro.ScanChart(device, corners, 4, 6, nullptr, nullptr, nullptr), kI1Success);
    ASSERT_EQ(pro.SetOption(device, "I1T_IsVisorCoordinate", "1"), kI1Success);
    press(2);
    EXPECT_EQ(shown, (std::vector<std::array<float, 3>>{{40, 60, 0},
                                                        {40, 90, 0},
                                                        {90, 90, 0},
                                                        {40, 60, 0},
                                                        {40, 90, 0},
                                                        {90, 90, 0},
                                                        {40, 60, 1},
                                                        {90, 60, 1}}));

    emu_i1_table_queue_patch(2, 3);
    emu_i1_press_button();
    ASSERT_EQ(pro.GetButtonStatusD(device), kI1ButtonPressed);
    EXPECT_FLOAT_EQ(position().x, 70.0f);
    EXPECT_FLOAT_EQ(position().y, 80.0f);
}

}  // namespace
}  // namespace measure::test
