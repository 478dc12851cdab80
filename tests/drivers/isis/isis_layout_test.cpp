// The i1iSis layout parameter file and the sheet arithmetic, without the
// reader.
#include <gtest/gtest.h>

#include "drivers/xrite/isis/isis_layout.h"

namespace measure::isis {
namespace {

constexpr const char* kLayout =
    "ChartSizeX=210.5\nNumberOfRows 12\nNumberOfColumns:9\nBarSizeX=6\nBarSizeY=-3\n"
    "DistancePaperEdgeToBar=7/2\nDistBarToFirstLine=11\nMarkersDistance=14\nPatchSizeX=6,5\n"
    "PatchSizeY=8mm\nMarkerPatchDistance=2\n";

std::vector<std::string> keysOf(const std::vector<LayoutOption>& options) {
    std::vector<std::string> keys;
    for (const auto& o : options) keys.push_back(o.key);
    return keys;
}

TEST(IsisLayout, ElevenKeywordsBecomeTheReadersOptionsInOrder) {
    std::vector<LayoutOption> options;
    ASSERT_EQ(parseIsisLayout(kLayout, options), kLayoutRead);
    EXPECT_EQ(keysOf(options),
              (std::vector<std::string>{"ChartSizeX", "NumberOfRows", "NumberOfColumns", "LargeBarSizeX",
                                        "LargeBarSizeY", "DistToLargeBar", "DistToFirstLineY",
                                        "MarkerDistance", "PatchSizeX", "PatchSizeY", "DistToFirstField"}));
    std::vector<std::string> values;
    for (const auto& o : options) values.push_back(o.value);
    // One separator of any kind; a comma or a unit ends the value.
    EXPECT_EQ(values,
              (std::vector<std::string>{"210.5", "12", "9", "6", "-3", "7/2", "11", "14", "6", "8", "2"}));
}

TEST(IsisLayout, ShortFilesMissingKeywordsAndEmptyValuesAreWrongFiles) {
    std::vector<LayoutOption> options;
    EXPECT_EQ(parseIsisLayout("ChartSize", options), kLayoutWrong);  // 9 characters
    std::string missing = kLayout;
    missing.replace(missing.find("MarkersDistance"), 7, "Markerz");
    EXPECT_EQ(parseIsisLayout(missing, options), kLayoutWrong);
    EXPECT_EQ(options.size(), 7u);  // those before the missing one
    std::string empty = kLayout;
    empty.replace(empty.find("BarSizeY=-3"), 11, "BarSizeY= 3");
    EXPECT_EQ(parseIsisLayout(empty, options), kLayoutWrong);
    // The keyword at the very end, nothing after it.
    std::string last = kLayout;
    last.resize(last.find("MarkerPatchDistance") + 19);
    EXPECT_EQ(parseIsisLayout(last, options), kLayoutWrong);
}

TEST(IsisLayout, AnElevenCharacterValueIsCutToTen) {
    std::string text = kLayout;
    text.replace(text.find("ChartSizeX=210.5"), 16, "ChartSizeX=12345678901");
    std::vector<LayoutOption> options;
    ASSERT_EQ(parseIsisLayout(text, options), kLayoutRead);
    EXPECT_EQ(options[0].value, "1234567890");
}

TEST(IsisSheets, PatchesSpreadOverSheetsWithTheRemainderLast) {
    const SheetPlan plan = planSheets(100, 48);
    EXPECT_EQ(plan.sheets, 3);
    EXPECT_EQ(plan.patchesOf(0), 48);
    EXPECT_EQ(plan.patchesOf(1), 48);
    EXPECT_EQ(plan.patchesOf(2), 4);
    const SheetPlan even = planSheets(96, 48);
    EXPECT_EQ(even.sheets, 2);
    EXPECT_EQ(even.patchesOf(1), 48);
    // No sheet size: the whole chart on one sheet; a sheet larger than the
    // chart holds the chart.
    for (int perChart : {0, -5, 200}) {
        const SheetPlan one = planSheets(30, perChart);
        EXPECT_EQ(one.sheets, 1) << perChart;
        EXPECT_EQ(one.patchesOf(0), 30) << perChart;
    }
    EXPECT_EQ(planSheets(0, 48).sheets, 0);
}

TEST(IsisSheets, APartialLastRowIsReadAsAWholeRow) {
    EXPECT_EQ(rowsFor(4, 8), 1);
    EXPECT_EQ(rowsFor(16, 8), 2);
    EXPECT_EQ(rowsFor(17, 8), 3);
    EXPECT_EQ(rowsFor(5, 0), 0);
}

}  // namespace
}  // namespace measure::isis
