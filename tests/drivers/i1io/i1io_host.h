// A test host for the i1iO table row 23: the i1Pro test host with the
// virtual table switched on, presses at the corner prompts, and helpers that
// read the stand-in's chart and table.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "drivers/i1pro/i1pro_host.h"

namespace measure::test {

inline constexpr uint32_t kIoRow = 23;

// An extended record for row 23 reading `patches` in rows of `perRow`.
inline void planChart(I1ProHost& host, int32_t perRow, int32_t perChart = 0, int32_t gapUm = 0) {
    host.rec.NumPatchesPerLine = perRow;
    host.rec.NumPatchesPerChart = perChart;
    host.rec.GapX = gapUm;
    host.pressOn = {MEASURE_STATUS_CORNER_1, MEASURE_STATUS_CORNER_2, MEASURE_STATUS_CORNER_3};
}

inline EmuI1TableChart tableChart(int32_t rows, int32_t columns, int32_t sheets = 1,
                                  int32_t lastSheetRows = 0) {
    EmuI1TableChart chart;
    emu_i1_table_chart_defaults(&chart);
    chart.rows = rows;
    chart.columns = columns;
    chart.sheets = sheets;
    chart.lastSheetRows = lastSheetRows;
    return chart;
}

inline void layChart(const EmuI1TableChart& chart) {
    emu_i1_table_set_chart(&chart);
}

inline std::array<float, 2> tablePosition() {
    std::array<float, 2> p{};
    emu_i1_table_position(&p[0], &p[1]);
    return p;
}

// Chart patches first, first + 1, ... as the host receives them.
inline std::vector<std::array<double, 36>> chartSpectra(int32_t first, int32_t count) {
    std::vector<std::array<double, 36>> out;
    for (int32_t i = 0; i < count; ++i) out.push_back(chartSpectrum(first + i));
    return out;
}

}  // namespace measure::test
