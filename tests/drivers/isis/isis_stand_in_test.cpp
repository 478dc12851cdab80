// The iSis SDK stand-in on its own, through the driver's binder: the paper
// path the virtual user drives, the layout a prescan checks, and the bounds
// of a patch read.
#include <gtest/gtest.h>

#include "drivers/isis/isis_host.h"
#include "drivers/xrite/isis/isis_library.h"

namespace measure::test {
namespace {

class IsisStandIn : public ::testing::Test {
protected:
    void SetUp() override { useIsisStandIn(); }
    void TearDown() override { emu_isis_reset(); }

    // Writes the default sheet's layout options, as a layout file would.
    static void writeLayout(const isis::IsisLibrary& sdk, const char* columns) {
        const char* const options[][2] = {
            {"ChartSizeX", "210"},      {"NumberOfRows", "6"},    {"NumberOfColumns", columns},
            {"LargeBarSizeX", "6"},     {"LargeBarSizeY", "180"}, {"DistToLargeBar", "8"},
            {"DistToFirstLineY", "12"}, {"MarkerDistance", "15"}, {"PatchSizeX", "20"},
            {"PatchSizeY", "20"},       {"DistToFirstField", "3"}};
        for (const auto& option : options) ASSERT_EQ(sdk.SetOption(option[0], option[1]), 0);
    }
};

TEST_F(IsisStandIn, UserFeedsAfterPollsAndTakesTheReleasedSheetAway) {
    const isis::IsisLibrary sdk;
    emu_isis_set_user(2, 1);
    EXPECT_EQ(sdk.ChartStatus(), 7);
    EXPECT_EQ(sdk.ChartStatus(), 7);
    EXPECT_EQ(sdk.ChartStatus(), 0);  // drawn in at the third poll
    writeLayout(sdk, "8");
    ASSERT_EQ(sdk.Prescan(), 0);
    ASSERT_EQ(sdk.MeasureChart(1), 0);
    float spectrum[36];
    ASSERT_EQ(sdk.GetSpectrum(spectrum, 5, 7), 0);
    float expected[36];
    emu_isis_patch_spectrum(0, 5, 7, 0, expected);
    EXPECT_EQ(spectrum[20], expected[20]);
    EXPECT_EQ(sdk.GetSpectrum(spectrum, 6, 0), 8);
    EXPECT_EQ(sdk.GetSpectrum(spectrum, 0, -1), 8);
    sdk.ReleasePaper();
    EXPECT_EQ(sdk.ChartStatus(), 0);  // still in the tray
    EXPECT_EQ(sdk.ChartStatus(), 7);  // taken away
    EXPECT_EQ(emu_isis_sheets_measured(), 1);
}

TEST_F(IsisStandIn, PrescanRefusesALayoutThatDoesNotMatchTheSheet) {
    const isis::IsisLibrary sdk;
    emu_isis_insert_sheet();
    writeLayout(sdk, "9");
    EXPECT_EQ(sdk.Prescan(), 12);
    EXPECT_EQ(sdk.MeasureChart(1), 3);  // the refused sheet is on its way out
    EXPECT_EQ(sdk.errorText(12), "bar not found, marks not found, barcode not detected..");
    emu_isis_set_text("LastError", "");
    EXPECT_EQ(sdk.errorText(15), "Unknown exception");
    emu_isis_set_text("LastError", "lamp");
    EXPECT_EQ(sdk.errorText(16), "lamp");
}

}  // namespace
}  // namespace measure::test
