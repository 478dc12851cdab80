// What clISIS works out without the instrument: the chart layout parameter
// file turned into the reader's layout options, and how a chart of patches
// is spread over sheets. Pure functions, no threads, never throwing (the
// layout reader is fuzzed).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace measure::isis {

// Results of reading a layout parameter file.
inline constexpr int kLayoutRead = 0;
inline constexpr int kLayoutFileMissing = 5;  // no name, or the file cannot be opened
inline constexpr int kLayoutWrong = 6;        // too short, a keyword missing or its value empty
inline constexpr int kLayoutFailed = -1;      // anything else went wrong

// One option the reader is given: its key and the value text.
struct LayoutOption {
    std::string key;
    std::string value;
};

// The eleven layout options of a parameter file text, in the reader's order
// ("ChartSizeX", "NumberOfRows", ..., "DistToFirstField"). Each value is the
// run of "-", ".", "/" and digits one character after the file's keyword,
// cut to 10 characters. kLayoutRead, or kLayoutWrong with `options` holding
// those found before the first that failed.
int parseIsisLayout(std::string_view text, std::vector<LayoutOption>& options);

// How the patches of a chart are spread over the sheets fed one by one.
struct SheetPlan {
    int sheets = 0;    // sheets to feed
    int perSheet = 0;  // patches of every sheet but the last
    int last = 0;      // patches of the last sheet

    // Patches of sheet `index` (0-based).
    int patchesOf(int index) const { return index + 1 == sheets ? last : perSheet; }
};

// `perChart` below 1 means the whole chart on one sheet; a last sheet holds
// the remainder when there is one.
SheetPlan planSheets(int patchesToRead, int perChart);

// Rows of a sheet holding `patches` in rows of `columns`: rounded up, so that
// a partial last row is read too. 0 for no columns.
int rowsFor(int patches, int columns);

}  // namespace measure::isis
