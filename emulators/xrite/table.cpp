#include "table.h"

#include <cmath>
#include <numbers>

namespace xrite_emu {

bool withinTravel(const TablePoint& a) {
    return a.x >= 0.0f && a.x <= kTableMaxX && a.y >= 0.0f && a.y <= kTableMaxY;
}

TablePoint visorOf(const TablePoint& aperture) {
    return {aperture.x + kVisorOffsetX, aperture.y + kVisorOffsetY};
}

TablePoint apertureOf(const TablePoint& visor) {
    return {visor.x - kVisorOffsetX, visor.y - kVisorOffsetY};
}

EmuI1TableChart defaultTableChart() {
    EmuI1TableChart c{};
    c.originX = 40.0f;
    c.originY = 60.0f;
    c.pitchX = 10.0f;
    c.pitchY = 10.0f;
    c.gap = 1.0f;
    c.rows = 4;
    c.columns = 6;
    c.sheets = 1;
    return c;
}

TableChart::TableChart(const EmuI1TableChart& layout)
    : layout_(layout),
      cos_(std::cos(layout.rotationDegrees * std::numbers::pi / 180.0)),
      sin_(std::sin(layout.rotationDegrees * std::numbers::pi / 180.0)) {}

int32_t TableChart::rowsOf(int32_t sheet) const {
    if (sheet == layout_.sheets - 1 && layout_.lastSheetRows > 0) return layout_.lastSheetRows;
    return layout_.rows;
}

TablePoint TableChart::centre(int32_t row, int32_t column) const {
    // The sheet turns about its first patch.
    const double u = column * double(layout_.pitchX), v = row * double(layout_.pitchY);
    return {static_cast<float>(layout_.originX + u * cos_ - v * sin_),
            static_cast<float>(layout_.originY + u * sin_ + v * cos_)};
}

int32_t TableChart::patchAt(const TablePoint& p, int32_t sheet) const {
    const double dx = p.x - layout_.originX, dy = p.y - layout_.originY;
    const double u = (dx * cos_ + dy * sin_) / layout_.pitchX;
    const double v = (-dx * sin_ + dy * cos_) / layout_.pitchY;
    const long column = std::lround(u), row = std::lround(v);
    if (column < 0 || column >= layout_.columns || row < 0 || row >= rowsOf(sheet))
        return EMU_I1_PATCH_SUBSTRATE;
    // The gap between neighbours is paper.
    const double halfX = (layout_.pitchX - layout_.gap) / 2.0, halfY = (layout_.pitchY - layout_.gap) / 2.0;
    if (std::fabs(u - column) * layout_.pitchX > halfX || std::fabs(v - row) * layout_.pitchY > halfY)
        return EMU_I1_PATCH_SUBSTRATE;
    return sheet * layout_.rows * layout_.columns + static_cast<int32_t>(row) * layout_.columns +
           static_cast<int32_t>(column);
}

}  // namespace xrite_emu
