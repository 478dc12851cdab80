#include "drivers/spectroscan/spectroscan_layout.h"

#include <climits>
#include <cmath>

namespace measure::spectroscan {

int roundPosition(double v) {
    const double r = v + 0.5;
    if (!(r > INT_MIN)) return INT_MIN;  // also NaN
    if (r >= static_cast<double>(INT_MAX)) return INT_MAX;
    return static_cast<int>(r);
}

std::optional<ChartPlan> fixedLayout(int patchCount) {
    ChartPlan p;
    switch (patchCount) {
        case 15:
            p.rows = 1, p.xStep = 70, p.yStep = 140;
            break;
        case 52:
            p.rows = 4;
            break;
        case 120:
            p.rows = 8, p.calibrationInterval = 4;
            break;
        case 154:
            p.rows = 11, p.calibrationInterval = 4;
            break;
        case 260:
            p.rows = 13, p.calibrationInterval = 4;
            break;
        case 330:
            p.rows = 15, p.calibrationInterval = 4;
            break;
        default:
            return std::nullopt;
    }
    p.patches = patchCount / p.rows;
    return p;
}

void Registration::corner2Target(int patches, double xStep, int& tx, int& ty) const {
    tx = roundPosition(x[0] + (patches - 1) * xStep);
    ty = y[0];
}

void Registration::fromCorner2(int patches, double yStep) {
    xDiffX = (static_cast<double>(x[1]) - x[0]) / (patches - 1);
    yDiffX = (static_cast<double>(y[1]) - y[0]) / (patches - 1);
    angle = std::atan2(yDiffX, xDiffX);
    xDiffY = -yStep * std::sin(angle);
    yDiffY = yStep * std::cos(angle);
}

void Registration::singlePatchRows(double yStep) {
    x[1] = x[0];
    y[1] = y[0];
    yDiffY = yStep;
}

void Registration::corner3Target(int rows, int& tx, int& ty) const {
    tx = roundPosition(x[1] + (rows - 1) * xDiffY);
    ty = roundPosition(y[1] + (rows - 1) * yDiffY);
}

void Registration::fromCorner3(int rows) {
    xDiffY = (static_cast<double>(x[2]) - x[1]) / (rows - 1);
    yDiffY = (static_cast<double>(y[2]) - y[1]) / (rows - 1);
}

namespace {
int addClamped(int a, int b) {
    const long long sum = static_cast<long long>(a) + b;
    return sum > INT_MAX ? INT_MAX : sum < INT_MIN ? INT_MIN : static_cast<int>(sum);
}
}  // namespace

void Registration::patchPosition(int row, int patch, int& px, int& py) const {
    px = addClamped(x[0], roundPosition(row * xDiffY + patch * xDiffX));
    py = addClamped(y[0], roundPosition(row * yDiffY + patch * yDiffX));
}

}  // namespace measure::spectroscan
