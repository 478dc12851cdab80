// The measurement data the simulated instrument replays: the patches of a
// chart file (VantuMeasure.it8, or the host's file for the network chart
// readers) as Lab, XYZ and spectral tables, and the built-in values it
// delivers for every patch the file does not cover.
#pragma once

#include <array>
#include <string>
#include <vector>

namespace measure::simulator {

using Bands36 = std::array<double, 36>;
using Triple = std::array<double, 3>;

// Delivered when the file has no value for a patch: a light warm grey.
extern const Bands36 kDefaultSpectrum;
inline constexpr Triple kDefaultLab{45.0, 10.0, 10.0};
inline constexpr Triple kDefaultXyz{10.0, 20.0, 30.0};

struct MeasurementTables {
    int count = 0;                // patches of the file
    std::vector<double> lab;      // three per patch; empty when the file has none
    std::vector<double> xyz;      // three per patch
    std::vector<double> spectra;  // 36 per patch, 380..730 nm

    void clear() { *this = MeasurementTables{}; }
};

// Reads the chart file at `path` into `tables`. The patch count starts as
// `startCount` and becomes the file's. Returns 0, or -1 when the file cannot
// be read (the tables are then empty).
int loadMeasurementTables(const std::string& path, int startCount, MeasurementTables& tables);

// Values of patch i of the current delivery (0-based) with the running
// position `position`: spectra and XYZ from file row position + i, Lab from
// file row i. A file value is taken only when the file has that kind of
// data, i + 1 is below the file's patch count and the row lies in the
// table; otherwise the built-in value.
Bands36 patchSpectrum(const MeasurementTables& tables, int position, int i);
Triple patchXyz(const MeasurementTables& tables, int position, int i);
Triple patchLab(const MeasurementTables& tables, int i);

}  // namespace measure::simulator
