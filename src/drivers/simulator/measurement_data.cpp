#include "drivers/simulator/measurement_data.h"

#include <algorithm>

namespace measure::simulator {

const Bands36 kDefaultSpectrum = {
    0.298441, 0.31974,  0.322391, 0.334271, 0.352513, 0.355401, 0.350564, 0.352208, 0.365359,
    0.370952, 0.367098, 0.362903, 0.364161, 0.372539, 0.379631, 0.379687, 0.375783, 0.371596,
    0.367426, 0.368807, 0.373671, 0.380448, 0.383856, 0.381668, 0.377169, 0.373894, 0.372024,
    0.36953,  0.371097, 0.372922, 0.373743, 0.373633, 0.375954, 0.372644, 0.368663, 0.364705};

namespace {

// Whether file row `row` of a table with `width` values per patch may be used
// for patch i.
bool usable(const std::vector<double>& table, size_t width, const MeasurementTables& t, int i, int row) {
    if (table.empty() || i < 0 || i + 1 >= t.count || row < 0) return false;
    return static_cast<size_t>(row) < table.size() / width;
}

template <size_t N>
std::array<double, N> rowOf(const std::vector<double>& table, int row) {
    std::array<double, N> values{};
    std::copy_n(table.begin() + static_cast<std::ptrdiff_t>(static_cast<size_t>(row) * N), N, values.begin());
    return values;
}

}  // namespace

Bands36 patchSpectrum(const MeasurementTables& t, int position, int i) {
    const int row = position + i;
    return usable(t.spectra, 36, t, i, row) ? rowOf<36>(t.spectra, row) : kDefaultSpectrum;
}

Triple patchXyz(const MeasurementTables& t, int position, int i) {
    const int row = position + i;
    return usable(t.xyz, 3, t, i, row) ? rowOf<3>(t.xyz, row) : kDefaultXyz;
}

Triple patchLab(const MeasurementTables& t, int i) {
    return usable(t.lab, 3, t, i, i) ? rowOf<3>(t.lab, i) : kDefaultLab;
}

}  // namespace measure::simulator
