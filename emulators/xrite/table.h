// The i1iO table under the virtual instrument: where its head may travel,
// where the visor points relative to the aperture, and the chart lying on
// it (origin, pitch, gap, a small rotation, rows by columns, sheets), so that
// a position on the table tells which patch, or which paper, the aperture sees.
#pragma once

#include <cstdint>

#include "drivers/xrite/i1_sdk.h"
#include "i1_emulator.h"

namespace xrite_emu {

using TablePoint = measure::xrite::I1_Point;

// Travel of the aperture in table millimetres; home is the corner (0, 0).
inline constexpr float kTableMaxX = 320.0f;
inline constexpr float kTableMaxY = 230.0f;
// The visor shows the point this far from the aperture.
inline constexpr float kVisorOffsetX = 0.0f;
inline constexpr float kVisorOffsetY = 28.0f;

bool withinTravel(const TablePoint& aperture);
TablePoint visorOf(const TablePoint& aperture);
TablePoint apertureOf(const TablePoint& visor);

// A 4 x 6 chart of 10 mm patches, 1 mm gaps, first patch at (40, 60).
EmuI1TableChart defaultTableChart();

class TableChart {
public:
    TableChart() : TableChart(defaultTableChart()) {}
    explicit TableChart(const EmuI1TableChart& layout);
    const EmuI1TableChart& layout() const { return layout_; }

    // Rows of sheet `sheet` (0-based): the last sheet may hold fewer.
    int32_t rowsOf(int32_t sheet) const;
    // Centre of a patch of the sheet in table millimetres.
    TablePoint centre(int32_t row, int32_t column) const;
    // The chart index under a point of sheet `sheet`, or EMU_I1_PATCH_SUBSTRATE
    // when the point lies on the paper between or around the patches.
    int32_t patchAt(const TablePoint& p, int32_t sheet) const;

private:
    EmuI1TableChart layout_;
    double cos_, sin_;
};

}  // namespace xrite_emu
