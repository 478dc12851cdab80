#include "drivers/xrite/isis/isis_layout.h"

#include <algorithm>

#include "color/layout_text.h"

namespace measure::isis {
namespace {

struct KeywordOption {
    const char* key;      // the reader's option
    const char* keyword;  // how the file names it
};
constexpr KeywordOption kOptions[] = {
    {"ChartSizeX", "ChartSizeX"},
    {"NumberOfRows", "NumberOfRows"},
    {"NumberOfColumns", "NumberOfColumns"},
    {"LargeBarSizeX", "BarSizeX"},
    {"LargeBarSizeY", "BarSizeY"},
    {"DistToLargeBar", "DistancePaperEdgeToBar"},
    {"DistToFirstLineY", "DistBarToFirstLine"},
    {"MarkerDistance", "MarkersDistance"},
    {"PatchSizeX", "PatchSizeX"},
    {"PatchSizeY", "PatchSizeY"},
    {"DistToFirstField", "MarkerPatchDistance"},
};
constexpr size_t kShortestFile = 10;
constexpr size_t kLongestValue = 10;

bool isValueChar(char c) {
    return c == '-' || c == '.' || c == '/' || (c >= '0' && c <= '9');
}

}  // namespace

int parseIsisLayout(std::string_view text, std::vector<LayoutOption>& options) {
    options.clear();
    if (text.size() < kShortestFile) return kLayoutWrong;
    for (const auto& option : kOptions) {
        const auto value = layoutValue(text, option.keyword, isValueChar, kLongestValue);
        if (!value || value->empty()) return kLayoutWrong;
        options.push_back({option.key, std::string(*value)});
    }
    return kLayoutRead;
}

SheetPlan planSheets(int patchesToRead, int perChart) {
    SheetPlan plan;
    if (patchesToRead < 1) return plan;
    if (perChart < 1) perChart = patchesToRead;
    plan.perSheet = std::min(perChart, patchesToRead);
    plan.sheets = patchesToRead / plan.perSheet + (patchesToRead % plan.perSheet != 0 ? 1 : 0);
    const int remainder = patchesToRead % plan.perSheet;
    plan.last = remainder != 0 ? remainder : plan.perSheet;
    return plan;
}

int rowsFor(int patches, int columns) {
    if (columns < 1 || patches < 1) return 0;
    return patches / columns + (patches % columns != 0 ? 1 : 0);
}

}  // namespace measure::isis
