#include "convert.h"

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

#include <measure/measure.h>

#include "cgats_writer.h"
#include "colour_values.h"

namespace cli {
namespace {

struct CgatsCloser {
    void operator()(MEASURE_CGATS* file) const { MeasureCgatsClose(file); }
};
using CgatsFile = std::unique_ptr<MEASURE_CGATS, CgatsCloser>;

std::string sampleId(const MEASURE_CGATS* file, int32_t patch) {
    const char* id = MeasureCgatsSampleId(file, patch);
    return id != nullptr && *id != '\0' ? std::string(id) : std::to_string(patch + 1);
}

}  // namespace

ConvertOutcome convertCgats(const std::string& input, const std::string& output) {
    ConvertOutcome outcome;
    int32_t error = 0;
    int32_t line = 0;
    CgatsFile file(MeasureCgatsRead(input.c_str(), &error, &line));
    if (!file) {
        outcome.problem = input + (line > 0 ? ": line " + std::to_string(line) : std::string()) + ": " +
                          MeasureCgatsErrorText(error);
        return outcome;
    }
    const int32_t count = MeasureCgatsPatchCount(file.get());
    const bool spectral = MeasureCgatsHasData(file.get(), MEASURE_CGATS_SPECTRAL) == 1;
    const bool hasXyz = MeasureCgatsHasData(file.get(), MEASURE_CGATS_XYZ) == 1;
    const bool hasLab = MeasureCgatsHasData(file.get(), MEASURE_CGATS_LAB) == 1;
    if (!spectral && !hasXyz) {
        outcome.problem = input + ": no spectral or XYZ fields to convert";
        return outcome;
    }

    CgatsWriter writer("measure-cli convert",
                       spectral ? "Colour values computed from spectra" : "Colour values");
    writer.declaredKeyword("SOURCE_FILE", input);
    std::vector<std::string> fields = {"SAMPLE_ID", "XYZ_X", "XYZ_Y", "XYZ_Z", "LAB_L", "LAB_A", "LAB_B"};
    if (spectral) {
        // Status E and Status T densities: red, green, blue filter, visual.
        for (const char* standard : {"D_E_", "D_T_"})
            for (const char* channel : {"RED", "GREEN", "BLUE", "VIS"})
                fields.push_back(std::string(standard) + channel);
    }
    writer.dataFormat(fields, static_cast<size_t>(count));

    std::vector<double> values(fields.size() - 1);
    uint32_t header[3] = {0, 0, 0};
    if (spectral) MeasureCgatsSpectralLayout(file.get(), header);
    std::vector<double> bands(header[2]);
    for (int32_t patch = 0; patch < count; ++patch) {
        std::array<double, 3> xyz{};
        std::array<double, 3> lab{};
        if (spectral) {
            if (MeasureCgatsGetSpectrum(file.get(), patch, bands.data(), static_cast<int32_t>(bands.size())) <
                    0 ||
                !spectrumToXyzLab(header, bands.data(), xyz, lab)) {
                outcome.problem =
                    input + ": patch " + std::to_string(patch + 1) + ": the spectrum is not on a 10 nm grid";
                return outcome;
            }
            std::array<double, 4> e{};
            std::array<double, 4> t{};
            spectrumToDensities(header, bands.data(), MEASURE_MODE_STATUS_E, e);
            spectrumToDensities(header, bands.data(), MEASURE_MODE_STATUS_T, t);
            std::copy(e.begin(), e.end(), values.begin() + 6);
            std::copy(t.begin(), t.end(), values.begin() + 10);
        } else {
            MeasureCgatsGetXYZ(file.get(), patch, xyz.data());
            if (hasLab) {
                MeasureCgatsGetLab(file.get(), patch, lab.data());
            } else {
                lab = xyzToLab(xyz);
            }
        }
        std::copy(xyz.begin(), xyz.end(), values.begin());
        std::copy(lab.begin(), lab.end(), values.begin() + 3);
        writer.row(sampleId(file.get(), patch), values.data(), values.size());
    }
    writer.finish();
    if (!writer.save(output, outcome.problem)) {
        outcome.problem = "cannot write " + output + ": " + outcome.problem;
        return outcome;
    }
    outcome.ok = true;
    outcome.patches = static_cast<size_t>(count);
    outcome.fromSpectra = spectral;
    return outcome;
}

}  // namespace cli
