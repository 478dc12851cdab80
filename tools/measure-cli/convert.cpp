#include "convert.h"

#include <algorithm>
#include <array>
#include <vector>

#include <measure/measure.h>

#include "cgats_writer.h"
#include "colour_values.h"
#include "measurement_file.h"

namespace cli {
namespace {

bool startsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

bool allDigits(const std::string& text, size_t from, size_t to) {
    return from < to && std::all_of(text.begin() + static_cast<std::ptrdiff_t>(from),
                                    text.begin() + static_cast<std::ptrdiff_t>(to),
                                    [](char c) { return c >= '0' && c <= '9'; });
}

const char* sourceName(ColourSource source) {
    switch (source) {
        case ColourSource::Spectra:
            return "spectra";
        case ColourSource::Xyz:
            return "XYZ";
        case ColourSource::Lab:
            return "Lab";
    }
    return "";
}

}  // namespace

bool isDeviceField(const std::string& name) {
    if (startsWith(name, "CMYK_") || startsWith(name, "RGB_")) return true;
    // nCLR_k: a channel count, "CLR_", a channel number.
    const size_t clr = name.find("CLR_");
    return clr != std::string::npos && allDigits(name, 0, clr) && allDigits(name, clr + 4, name.size());
}

ConvertOutcome convertCgats(const std::string& input, const std::string& output) {
    ConvertOutcome outcome;
    MeasurementFile file;
    if (!file.open(input, outcome.problem)) return outcome;
    ColourSource source;
    if (!file.bestSource(source)) {
        std::string names;
        for (const std::string& field : file.fields()) names += (names.empty() ? "" : " ") + field;
        outcome.problem = file.about("no spectral, XYZ or LAB fields to convert (it has " + names + ")");
        return outcome;
    }
    const bool spectral = source == ColourSource::Spectra;
    if (spectral && !file.spectraUsable(outcome.problem)) return outcome;

    // Identification and device values first, unchanged.
    std::vector<int32_t> kept;
    std::vector<std::string> fields = {"SAMPLE_ID"};
    if (const int32_t name = file.column("SAMPLE_NAME"); name >= 0) {
        kept.push_back(name);
        fields.push_back("SAMPLE_NAME");
    }
    for (size_t c = 0; c < file.fields().size(); ++c) {
        if (!isDeviceField(file.fields()[c])) continue;
        kept.push_back(static_cast<int32_t>(c));
        fields.push_back(file.fields()[c]);
    }
    fields.insert(fields.end(), {"XYZ_X", "XYZ_Y", "XYZ_Z", "LAB_L", "LAB_A", "LAB_B"});
    if (spectral) {
        // Status E and Status T densities: red, green, blue filter, visual.
        for (const char* standard : {"D_E_", "D_T_"})
            for (const char* channel : {"RED", "GREEN", "BLUE", "VIS"})
                fields.push_back(std::string(standard) + channel);
    }

    CgatsWriter writer("measure-cli convert",
                       std::string("Colour values computed from ") + sourceName(source));
    writer.declaredKeyword("SOURCE_FILE", input);
    if (source != ColourSource::Xyz) writer.keyword("WEIGHTING_FUNCTION", "ILLUMINANT, D50");
    if (spectral) writer.keyword("WEIGHTING_FUNCTION", "OBSERVER, 2 degree");
    const auto count = file.patches();
    writer.dataFormat(fields, static_cast<size_t>(count));

    std::vector<double> bands(file.spectralHeader()[2]);
    const MEASURE_CGATS* handle = file.handle();
    for (int32_t patch = 0; patch < count; ++patch) {
        writer.text(file.sampleId(patch));
        for (int32_t column : kept) writer.text(MeasureCgatsCell(handle, patch, column));
        PatchColour colour;
        if (spectral) {
            if (!file.spectrum(patch, bands.data(), outcome.problem)) return outcome;
            spectrumToXyzLab(file.spectralHeader(), bands.data(), colour.xyz, colour.lab);
        } else if (!file.colour(patch, source, colour, outcome.problem)) {
            return outcome;
        }
        writer.values(colour.xyz.data(), 3);
        writer.values(colour.lab.data(), 3);
        if (spectral) {
            std::array<double, 4> densities{};
            for (uint32_t mode : {MEASURE_MODE_STATUS_E, MEASURE_MODE_STATUS_T}) {
                spectrumToDensities(file.spectralHeader(), bands.data(), mode, densities);
                writer.values(densities.data(), densities.size());
            }
        }
        writer.endRow();
    }
    writer.finish();
    if (!writer.save(output, outcome.problem)) {
        outcome.problem = "cannot write " + output + ": " + outcome.problem;
        return outcome;
    }
    outcome.ok = true;
    outcome.patches = static_cast<size_t>(count);
    outcome.from = sourceName(source);
    return outcome;
}

}  // namespace cli
