// A test host for the i1iO table row 23: the i1Pro test host with the
// virtual table switched on, presses at the corner prompts, and helpers that
// read the stand-in's chart and table.
#pragma once

#include <array>
#include <vector>

#include "drivers/i1pro/i1pro_host.h"
#include "support/test_environment.h"

namespace measure::test {

inline constexpr uint32_t kIoRow = 23;

// An extended record for row 23 reading `patches` in rows of `perRow`.
inline void planChart(I1ProHost& host, int32_t perRow, int32_t perChart = 0, int32_t gapUm = 0) {
    host.rec.NumPatchesPerLine = perRow;
    host.rec.NumPatchesPerChart = perChart;
    host.rec.GapX = gapUm;
    host.pressOn = {MEASURE_STATUS_CORNER_1, MEASURE_STATUS_CORNER_2, MEASURE_STATUS_CORNER_3};
    // The chart scan reads the next row once the host has taken this one.
    emu_i1_table_gate_rows(1);
    host.onEvent = [](const HostEvent& e) {
        if (e.kind == HostEvent::PassEnd) emu_i1_table_next_row();
    };
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

// Whether the table comes to rest (home, foil and hold off) within `ms`: a
// job parks the table after its thread end.
inline bool parksWithin(int ms = 5000) {
    return waitFor(
        [] {
            return tablePosition() == std::array<float, 2>{0, 0} &&
                   i1Option("I1T_EnableElectrostaticFoil") == "0" && i1Option("I1T_HoldPosition") == "0";
        },
        ms);
}

// The stand-in's baseline with a head of `model` on the table.
inline void tableBaseline(int32_t model = EMU_I1_MODEL_I1PRO) {
    emu_i1_reset();
    emu_i1_set_table(1);
    emu_i1_set_model(model);
}

}  // namespace measure::test
