#include "colour_values.h"

#include <measure/measure.h>

namespace cli {

const uint32_t kGridHeader[3] = {MEASURE_SPECTRAL_START_NM, MEASURE_SPECTRAL_STEP_NM, MEASURE_SPECTRAL_BANDS};

bool spectrumToXyzLab(const uint32_t* header, const double* values, std::array<double, 3>& xyz,
                      std::array<double, 3>& lab) {
    if (SpectrumToXYZ(xyz.data(), header, values) != 1) return false;
    lab = xyzToLab(xyz);
    return true;
}

std::array<double, 3> xyzToLab(const std::array<double, 3>& xyz) {
    std::array<double, 3> lab{};
    XYZToLab(xyz[0], xyz[1], xyz[2], &lab[0], &lab[1], &lab[2]);
    return lab;
}

bool spectrumToDensities(const uint32_t* header, const double* values, uint32_t mode,
                         std::array<double, 4>& densities) {
    return SpectrumToDensity(densities.data(), header, values, mode) == 1;
}

}  // namespace cli
