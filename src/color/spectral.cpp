#include "color/spectral.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "core/logger.h"
#include "core/record.h"

namespace measure {
namespace {

// D50, CIE 1931 2 degree observer, 10 nm, 380 to 730 nm. The y column sums to
// 99.942; a perfect white gives X 96.448, Y 100, Z 82.486.
constexpr std::array<TristimulusWeight, kGridBands> kTristimulus = {{
    {0.003, 0, 0.015},       // 380
    {0.012, 0, 0.057},       // 390
    {0.067, 0.002, 0.319},   // 400
    {0.234, 0.006, 1.116},   // 410
    {0.768, 0.023, 3.691},   // 420
    {1.563, 0.064, 7.628},   // 430
    {2.481, 0.164, 12.444},  // 440
    {2.792, 0.316, 14.717},  // 450
    {2.508, 0.517, 14.396},  // 460
    {1.699, 0.791, 11.198},  // 470
    {0.864, 1.256, 7.344},   // 480
    {0.28, 1.821, 4.072},    // 490
    {0.045, 2.943, 2.478},   // 500
    {0.086, 4.625, 1.455},   // 510
    {0.585, 6.564, 0.723},   // 520
    {1.608, 8.377, 0.41},    // 530
    {2.785, 9.148, 0.195},   // 540
    {4.221, 9.69, 0.085},    // 550
    {5.659, 9.417, 0.037},   // 560
    {7.09, 8.857, 0.02},     // 570
    {8.627, 8.191, 0.016},   // 580
    {9.135, 6.738, 0.01},    // 590
    {9.879, 5.868, 0.007},   // 600
    {9.476, 4.754, 0.003},   // 610
    {8.057, 3.593, 0.002},   // 620
    {5.855, 2.415, 0},       // 630
    {4.217, 1.648, 0},       // 640
    {2.583, 0.975, 0},       // 650
    {1.542, 0.57, 0},        // 660
    {0.857, 0.314, 0},       // 670
    {0.442, 0.161, 0},       // 680
    {0.189, 0.068, 0},       // 690
    {0.099, 0.036, 0},       // 700
    {0.051, 0.019, 0},       // 710
    {0.021, 0.007, 0},       // 720
    {0.012, 0.004, 0},       // 730
}};

// Density filters per band. Status E and Status T columns are base-10
// logarithms of the weights (a 0 entry is a weight of 1, not 0); the two DIN
// standards give linear factors that multiply the DIN weight column.
struct DensityRow {
    int nm;
    double statusE[3];
    double statusT[3];
    double din[3];
    double dinNarrow[3];
    double dinWeight;
};

constexpr DensityRow kDensityRows[kGridBands] = {
    {380, {0, 0, 2.431}, {0, 0, 2.477}, {0, 0, 0.00822}, {0, 0, 0}, 10},
    {390, {0, 0, 3.431}, {0, 0, 3.176}, {0, 0, 0.06851}, {0, 0, 0}, 12},
    {400, {0, 0, 4.114}, {0, 0, 3.778}, {0, 0, 0.26415}, {0, 0, 0.1}, 15},
    {410, {0, 0, 4.477}, {0, 0, 4.23}, {0, 0, 0.50777}, {0, 0, 0.5}, 18},
    {420, {0, 0, 4.778}, {0, 0, 4.602}, {0, 0, 0.8704}, {0, 0, 0.8}, 21},
    {430, {0, 0, 4.914}, {0, 0, 4.778}, {0, 0, 1}, {0, 0, 1}, 25},
    {440, {0, 0, 5}, {0, 0, 4.914}, {0, 0, 0.92475}, {0, 0, 0.8}, 29},
    {450, {0, 0, 4.959}, {0, 0, 4.973}, {0, 0, 0.52543}, {0, 0, 0.5}, 33},
    {460, {0, 0, 4.881}, {0, 0, 5}, {0, 0, 0.2417}, {0, 0, 0.1}, 38},
    {470, {0, 0, 4.672}, {0, 0, 4.987}, {0, 0.00018, 0.10509}, {0, 0, 0}, 43},
    {480, {0, 3, 4.255}, {0, 3, 4.929}, {0, 0.0163, 0.03678}, {0, 0, 0}, 48},
    {490, {0, 3.699, 3.778}, {0, 3.699, 4.813}, {0, 0.07243, 0.00596}, {0, 0, 0}, 54},
    {500, {0, 4.477, 2.903}, {0, 4.477, 4.602}, {0, 0.391, 0.0005}, {0, 0.1, 0}, 60},
    {510, {0, 4.833, 1.699}, {0, 4.833, 4.255}, {0, 0.80684, 0.00001}, {0, 0.5, 0}, 66},
    {520, {0, 4.964, 1}, {0, 4.964, 3.699}, {0, 1, 0}, {0, 0.8, 0}, 72},
    {530, {0, 5, 0}, {0, 5, 2.301}, {0, 0.99016, 0}, {0, 1, 0}, 79},
    {540, {0, 4.944, 0}, {0, 4.944, 1.602}, {0, 0.79953, 0}, {0, 0.8, 0}, 86},
    {550, {0, 4.82, 0}, {0, 4.82, 0}, {0, 0.55571, 0}, {0, 0.5, 0}, 93},
    {560, {0, 4.623, 0}, {0, 4.623, 0}, {0.00013, 0.32835, 0}, {0, 0.1, 0}, 100},
    {570, {1.778, 4.342, 0}, {1.778, 4.342, 0}, {0.00072, 0.16068, 0}, {0, 0, 0}, 107},
    {580, {2.653, 3.954, 0}, {2.653, 3.954, 0}, {0.00509, 0.06172, 0}, {0, 0, 0}, 114},
    {590, {4.477, 3.398, 0}, {4.477, 3.398, 0}, {0.31712, 0.01603, 0}, {0.1, 0, 0}, 122},
    {600, {5, 2.845, 0}, {5, 2.845, 0}, {1, 0.00424, 0}, {0.5, 0, 0}, 129},
    {610, {4.929, 1.954, 0}, {4.929, 1.954, 0}, {0.80547, 0.00052, 0}, {0.8, 0, 0}, 136},
    {620, {4.74, 1, 0}, {4.74, 1, 0}, {0.4923, 0.00005, 0}, {1, 0, 0}, 144},
    {630, {4.398, 0, 0}, {4.398, 0, 0}, {0.21361, 0, 0}, {0.8, 0, 0}, 151},
    {640, {4, 0, 0}, {4, 0, 0}, {0.08165, 0, 0}, {0.5, 0, 0}, 158},
    {650, {3.699, 0, 0}, {3.699, 0, 0}, {0.03909, 0, 0}, {0.1, 0, 0}, 165},
    {660, {3.176, 0, 0}, {3.176, 0, 0}, {0.01125, 0, 0}, {0, 0, 0}, 172},
    {670, {2.699, 0, 0}, {2.699, 0, 0}, {0.0036, 0, 0}, {0, 0, 0}, 179},
    {680, {2.477, 0, 0}, {2.477, 0, 0}, {0.00209, 0, 0}, {0, 0, 0}, 185},
    {690, {2.176, 0, 0}, {2.176, 0, 0}, {0.00101, 0, 0}, {0, 0, 0}, 192},
    {700, {1.699, 0, 0}, {1.699, 0, 0}, {0.00033, 0, 0}, {0, 0, 0}, 198},
    {710, {1, 0, 0}, {1, 0, 0}, {0.00006, 0, 0}, {0, 0, 0}, 204},
    {720, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, 210},
    {730, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, 218},
};

// CIE photopic luminous efficiency V(lambda), identical to the y-bar column
// of the CIE 1931 2 degree standard observer (CIE 018:2019 / ISO 11664-1
// tables, 1 nm data taken at every 10 nm), 380 to 730 nm.
constexpr Spectrum36 kPhotopic = {
    0.000039, 0.000120, 0.000396, 0.001210, 0.004000, 0.011600, 0.023000, 0.038000, 0.060000,
    0.090980, 0.139020, 0.208020, 0.323000, 0.503000, 0.710000, 0.862000, 0.954000, 0.994950,
    0.995000, 0.952000, 0.870000, 0.757000, 0.631000, 0.503000, 0.381000, 0.265000, 0.175000,
    0.107000, 0.061000, 0.032000, 0.017000, 0.008210, 0.004102, 0.002091, 0.001047, 0.000520};

// The four weight sets of one density standard: three filters and the
// visual channel, each with its sum.
struct DensityWeights {
    double w[4][kGridBands];
    double sum[4];
};

enum Standard { kStatusE, kStatusT, kDin, kDinNarrow, kStandardCount };

struct DensityTables {
    DensityWeights standard[kStandardCount];
};

DensityTables buildDensityTables() {
    DensityTables t{};
    for (int i = 0; i < kGridBands; ++i) {
        const DensityRow& row = kDensityRows[i];
        for (int c = 0; c < 3; ++c) {
            t.standard[kStatusE].w[c][i] = std::pow(10.0, row.statusE[c]);
            t.standard[kStatusT].w[c][i] = std::pow(10.0, row.statusT[c]);
            t.standard[kDin].w[c][i] = row.din[c] * row.dinWeight;
            t.standard[kDinNarrow].w[c][i] = row.dinNarrow[c] * row.dinWeight;
        }
        for (auto& s : t.standard) s.w[3][i] = kPhotopic[i];
    }
    for (auto& s : t.standard)
        for (int c = 0; c < 4; ++c) {
            s.sum[c] = 0.0;
            for (int i = 0; i < kGridBands; ++i) s.sum[c] += s.w[c][i];
        }
    return t;
}

// Built on first use; a function-local static is initialised exactly once
// even when several driver threads convert their first spectrum together.
const DensityTables& densityTables() {
    static const DensityTables tables = buildDensityTables();
    return tables;
}

bool standardOfMode(uint32_t mode, Standard& standard) {
    switch (mode) {
        case MEASURE_MODE_STATUS_E:
            standard = kStatusE;
            return true;
        case MEASURE_MODE_STATUS_T:
            standard = kStatusT;
            return true;
        case MEASURE_MODE_DIN_16536:
            standard = kDin;
            return true;
        case MEASURE_MODE_DIN_16536_NARROW:
            standard = kDinNarrow;
            return true;
        default:
            return false;
    }
}

// D = -log10(weighted sum / sum of weights). A filter that sees no light at
// all (or a noisy reading whose weighted sum is not positive) has no finite
// density; it is reported as +infinity, never as NaN.
double density(const Spectrum36& s, const double* w, double sum) {
    double acc = 0.0;
    for (int i = 0; i < kGridBands; ++i) acc += s[i] * w[i];
    if (!(acc > 0.0)) return std::numeric_limits<double>::infinity();
    return -std::log10(acc / sum);
}

bool checkStep(const uint32_t* header, const char* function) {
    if (header[1] == kGridStepNm) return true;
    Log(0, function, "illegal nm_step");
    return false;
}

constexpr double kLabCubeRoot = 0.3333333;
constexpr double kLabLinearLimit = 0.008856;

double labF(double t) {
    return t > kLabLinearLimit ? std::pow(t, kLabCubeRoot) : 7.787 * t + 16.0 / 116.0;
}

// The inverse of labF: the power branch for every f it can give, the
// straight segment below.
double labFInverse(double f) {
    static const double powerFloor = std::pow(kLabLinearLimit, kLabCubeRoot);
    return f > powerFloor ? std::pow(f, 1.0 / kLabCubeRoot) : (f - 16.0 / 116.0) / 7.787;
}

constexpr double kPi = 3.14159265358979323846;
double radians(double degrees) {
    return degrees * (kPi / 180.0);
}
// Hue angle in degrees, 0 to 360; 0 for a neutral colour.
double hueDegrees(double b, double a) {
    if (a == 0.0 && b == 0.0) return 0.0;
    const double h = std::atan2(b, a) * (180.0 / kPi);
    return h < 0.0 ? h + 360.0 : h;
}

}  // namespace

const std::array<TristimulusWeight, kGridBands>& tristimulusWeights() {
    return kTristimulus;
}

double tristimulusDivisor() {
    static const double divisor = [] {
        double sum = 0.0;
        for (const auto& w : kTristimulus) sum += w.y;
        return sum;
    }();
    return divisor;
}

const Spectrum36& photopicEfficiency() {
    return kPhotopic;
}

namespace {

// Which input values land on which grid bands: input index from + i goes to
// band to + i for i below n.
struct GridRange {
    int64_t from = 0;
    int64_t to = 0;
    int64_t n = 0;
};

GridRange gridRange(const uint32_t* header) {
    GridRange r;
    const int64_t first = header[0];
    const int64_t count = header[2];
    if (first >= kGridStartNm) {
        r.to = (first - kGridStartNm) / kGridStepNm;
        r.n = std::min<int64_t>(kGridBands - r.to, count);
    } else {
        r.from = (kGridStartNm - first) / kGridStepNm;
        r.n = std::min<int64_t>(count - r.from, kGridBands);
    }
    if (r.n < 0) r.n = 0;
    return r;
}

}  // namespace

Spectrum36 resampleToGrid(const uint32_t* header, const double* spectrum) {
    Spectrum36 grid{};
    const GridRange r = gridRange(header);
    for (int64_t i = 0; i < r.n; ++i) grid[static_cast<size_t>(r.to + i)] = spectrum[r.from + i];
    return grid;
}

Spectrum36 placeBands400To700(const double* bands31) {
    static constexpr uint32_t kHeader[3] = {400, kGridStepNm, kBands400To700};
    return resampleToGrid(kHeader, bands31);
}

bool SpectrumToDensWORDS(MEASURESTRUCT* record, int slot, const uint32_t* header, const double* spectrum,
                         uint32_t mode) {
    double d[4];
    if (!SpectrumToDensity(d, header, spectrum, mode)) return false;
    StoreDensities(record, slot, d[0], d[1], d[2], d[3]);
    return true;
}

// t = X / 96.4, Y / 100, Z / 82.49; f(t) = t^(1/3) above 0.008856, else
// 7.787 t + 16/116; L* = 116 f(Y) - 16, a* = 500 (f(X) - f(Y)),
// b* = 200 (f(Y) - f(Z)).
void XYZToLab(double X, double Y, double Z, double* L, double* a, double* b) {
    const double fx = labF(X / 96.4);
    const double fy = labF(Y / 100.0);
    const double fz = labF(Z / 82.49);
    if (L != nullptr) *L = 116.0 * fy - 16.0;
    if (a != nullptr) *a = 500.0 * (fx - fy);
    if (b != nullptr) *b = 200.0 * (fy - fz);
}

// fy = (L* + 16) / 116, fx = fy + a* / 500, fz = fy - b* / 200, then
// X = 96.4 f^-1(fx), Y = 100 f^-1(fy), Z = 82.49 f^-1(fz).
void LabToXYZ(double L, double a, double b, double* X, double* Y, double* Z) {
    const double fy = (L + 16.0) / 116.0;
    if (X != nullptr) *X = 96.4 * labFInverse(fy + a / 500.0);
    if (Y != nullptr) *Y = 100.0 * labFInverse(fy);
    if (Z != nullptr) *Z = 82.49 * labFInverse(fy - b / 200.0);
}

double DeltaE76(double L1, double a1, double b1, double L2, double a2, double b2) {
    const double dL = L1 - L2;
    const double da = a1 - a2;
    const double db = b1 - b2;
    return std::sqrt(dL * dL + da * da + db * db);
}

// CIEDE2000 (CIE 142-2001) as Sharma, Wu and Dalal (2005) write it out:
//   G = 0.5 (1 - sqrt(Cab^7 / (Cab^7 + 25^7))) with Cab the mean chroma,
//   a' = (1 + G) a, C' = sqrt(a'^2 + b^2), h' = atan2(b, a') in degrees;
//   dL' = L2 - L1, dC' = C'2 - C'1, dH' = 2 sqrt(C'1 C'2) sin(dh' / 2) with dh'
//   the hue difference brought into -180..180 (0 when a chroma is 0);
//   mean hue h' the mean of the two hues taken the short way round;
//   T = 1 - 0.17 cos(h' - 30) + 0.24 cos(2h') + 0.32 cos(3h' + 6) - 0.20 cos(4h' - 63);
//   SL = 1 + 0.015 (L' - 50)^2 / sqrt(20 + (L' - 50)^2), SC = 1 + 0.045 C',
//   SH = 1 + 0.015 C' T, RT = -sin(60 exp(-((h' - 275) / 25)^2)) 2 sqrt(C'^7 / (C'^7 + 25^7));
//   dE00 = sqrt((dL'/SL)^2 + (dC'/SC)^2 + (dH'/SH)^2 + RT (dC'/SC)(dH'/SH)).
double DeltaE2000(double L1, double a1, double b1, double L2, double a2, double b2) {
    constexpr double k25To7 = 6103515625.0;  // 25^7
    const double meanChroma = (std::hypot(a1, b1) + std::hypot(a2, b2)) / 2.0;
    const double meanChroma7 = std::pow(meanChroma, 7.0);
    const double g = 0.5 * (1.0 - std::sqrt(meanChroma7 / (meanChroma7 + k25To7)));
    const double a1p = (1.0 + g) * a1;
    const double a2p = (1.0 + g) * a2;
    const double c1p = std::hypot(a1p, b1);
    const double c2p = std::hypot(a2p, b2);
    const double h1p = hueDegrees(b1, a1p);
    const double h2p = hueDegrees(b2, a2p);

    const double dLp = L2 - L1;
    const double dCp = c2p - c1p;
    const bool neutral = c1p * c2p == 0.0;
    double dhp = neutral ? 0.0 : h2p - h1p;
    if (dhp > 180.0)
        dhp -= 360.0;
    else if (dhp < -180.0)
        dhp += 360.0;
    const double dHp = 2.0 * std::sqrt(c1p * c2p) * std::sin(radians(dhp / 2.0));

    const double meanL = (L1 + L2) / 2.0;
    const double meanCp = (c1p + c2p) / 2.0;
    double meanHp = h1p + h2p;
    if (!neutral) {
        if (std::fabs(h1p - h2p) <= 180.0)
            meanHp /= 2.0;
        else
            meanHp = (meanHp < 360.0 ? meanHp + 360.0 : meanHp - 360.0) / 2.0;
    }
    const double t = 1.0 - 0.17 * std::cos(radians(meanHp - 30.0)) + 0.24 * std::cos(radians(2.0 * meanHp)) +
                     0.32 * std::cos(radians(3.0 * meanHp + 6.0)) -
                     0.20 * std::cos(radians(4.0 * meanHp - 63.0));
    const double dTheta = 30.0 * std::exp(-std::pow((meanHp - 275.0) / 25.0, 2.0));
    const double meanCp7 = std::pow(meanCp, 7.0);
    const double rc = 2.0 * std::sqrt(meanCp7 / (meanCp7 + k25To7));
    const double lOff = (meanL - 50.0) * (meanL - 50.0);
    const double sl = 1.0 + 0.015 * lOff / std::sqrt(20.0 + lOff);
    const double sc = 1.0 + 0.045 * meanCp;
    const double sh = 1.0 + 0.015 * meanCp * t;
    const double rt = -std::sin(radians(2.0 * dTheta)) * rc;
    const double l = dLp / sl;
    const double c = dCp / sc;
    const double h = dHp / sh;
    return std::sqrt(l * l + c * c + h * h + rt * c * h);
}

}  // namespace measure

using measure::kGridBands;

// X = 100 * sum(s * x) / sum(y), likewise Y and Z, over the 36 grid bands.
MEASURE_API int32_t SpectrumToXYZ(double* xyz, const uint32_t* header, const double* spectrum) {
    if (xyz == nullptr || header == nullptr || spectrum == nullptr) return 0;
    if (!measure::checkStep(header, "SpectrumToXYZ")) return 0;
    // Bands the spectrum does not reach add nothing, so the sums run over the
    // bands it covers, straight from the caller's array.
    const measure::GridRange r = measure::gridRange(header);
    const double* v = spectrum + r.from;
    const measure::TristimulusWeight* w = measure::kTristimulus.data() + r.to;
    double x = 0.0, y = 0.0, z = 0.0;
    for (int64_t i = 0; i < r.n; ++i) {
        x += v[i] * w[i].x;
        y += v[i] * w[i].y;
        z += v[i] * w[i].z;
    }
    const double scale = 100.0 / measure::tristimulusDivisor();
    xyz[0] = x * scale;
    xyz[1] = y * scale;
    xyz[2] = z * scale;
    return 1;
}

MEASURE_API int32_t SpectrumToDensity(double* densities, const uint32_t* header, const double* spectrum,
                                      uint32_t mode) {
    if (densities == nullptr || header == nullptr || spectrum == nullptr) return 0;
    measure::Standard standard;
    if (!measure::standardOfMode(mode, standard)) {
        measure::Log(0, "SpectrumToDensity", "illegal mode");
        return 0;
    }
    if (!measure::checkStep(header, "SpectrumToDensity")) return 0;
    const measure::Spectrum36 s = measure::resampleToGrid(header, spectrum);
    const measure::DensityWeights& w = measure::densityTables().standard[standard];
    for (int c = 0; c < 4; ++c) densities[c] = measure::density(s, w.w[c], w.sum[c]);
    return 1;
}
