// Where the patches of a chart lie on the SpectroScan table: the fixed chart
// layouts, the targets the head is sent to for corner registration, the
// displacement vectors derived from the three digitised corners, and the
// table position of every patch. Table units are 0.1 mm.
#pragma once

#include <optional>

namespace measure::spectroscan {

// The digitising targets are clamped to the table's reach.
inline constexpr int kMaxX = 3200;
inline constexpr int kMaxY = 2300;
// Where the first corner is looked for.
inline constexpr int kCorner1X = 800;
inline constexpr int kCorner1Y = 400;

// Rounding of table positions: to the nearest integer with halves upward
// (add 0.5, truncate), kept inside the int range.
int roundPosition(double v);

// Rows, patches per row, nominal pitch and white calibration interval of a
// chart the host gave only a patch count for (15, 52, 120, 154, 260, 330).
struct ChartPlan {
    int rows = 0;
    int patches = 0;
    double xStep = 100, yStep = 100;
    int calibrationInterval = 1000;
};
std::optional<ChartPlan> fixedLayout(int patchCount);

// The registered geometry: corner 1 is the first patch, corner 2 the last
// patch of the first row, corner 3 the last patch of the last row;
// xDiffX/yDiffX step from patch to patch, xDiffY/yDiffY from row to row.
struct Registration {
    int x[3] = {}, y[3] = {};
    double xDiffX = 0, yDiffX = 0, xDiffY = 0, yDiffY = 0, angle = 0;

    // Target for corner 2: the nominal end of the first row.
    void corner2Target(int patches, double xStep, int& tx, int& ty) const;
    // After corner 2: the per-patch vector, the chart's angle, and the
    // nominal per-row vector rotated by it.
    void fromCorner2(int patches, double yStep);
    // With one patch per row corner 2 is corner 1 and rows step straight down.
    void singlePatchRows(double yStep);
    // Target for corner 3: the end of the last row along the row vector.
    void corner3Target(int rows, int& tx, int& ty) const;
    // After corner 3: the per-row vector measured between corners 2 and 3.
    void fromCorner3(int rows);
    // Table position of patch `patch` of row `row`.
    void patchPosition(int row, int patch, int& px, int& py) const;
};

}  // namespace measure::spectroscan
