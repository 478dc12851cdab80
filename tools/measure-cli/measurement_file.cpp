#include "measurement_file.h"

#include <unordered_map>

#include "colour_values.h"

namespace cli {

bool MeasurementFile::open(const std::string& path, std::string& problem) {
    path_ = path;
    int32_t error = 0;
    int32_t line = 0;
    file_.reset(MeasureCgatsRead(path.c_str(), &error, &line));
    if (!file_) {
        problem = path + (line > 0 ? ": line " + std::to_string(line) : std::string()) + ": " +
                  MeasureCgatsErrorText(error);
        return false;
    }
    patches_ = MeasureCgatsPatchCount(file_.get());
    const int32_t count = MeasureCgatsFieldCount(file_.get());
    fields_.clear();
    fields_.reserve(static_cast<size_t>(count));
    for (int32_t c = 0; c < count; ++c) fields_.emplace_back(MeasureCgatsFieldName(file_.get(), c));
    // One pass over the fields, so that a file of a thousand fields costs no
    // more than a thousand look-ups.
    const std::unordered_map<std::string, std::pair<std::array<int32_t, 3>*, size_t>> known = {
        {"XYZ_X", {&xyz_, 0}}, {"XYZ_Y", {&xyz_, 1}}, {"XYZ_Z", {&xyz_, 2}},
        {"LAB_L", {&lab_, 0}}, {"LAB_A", {&lab_, 1}}, {"LAB_B", {&lab_, 2}}};
    xyz_ = lab_ = {-1, -1, -1};
    sampleId_ = sampleName_ = -1;
    for (int32_t c = 0; c < count; ++c) {
        const std::string& name = fields_[static_cast<size_t>(c)];
        if (const auto it = known.find(name); it != known.end()) {
            (*it->second.first)[it->second.second] = c;
        } else if (name == "SAMPLE_ID" && sampleId_ < 0) {
            sampleId_ = c;
        } else if (name == "SAMPLE_NAME" && sampleName_ < 0) {
            sampleName_ = c;
        }
    }
    // A triple counts only when all three fields are there.
    for (auto* triple : {&xyz_, &lab_})
        if ((*triple)[0] < 0 || (*triple)[1] < 0 || (*triple)[2] < 0) *triple = {-1, -1, -1};
    spectral_ = MeasureCgatsHasData(file_.get(), MEASURE_CGATS_SPECTRAL) == 1 &&
                MeasureCgatsSpectralLayout(file_.get(), header_) == 1;
    return true;
}

int32_t MeasurementFile::column(const std::string& name) const {
    for (size_t c = 0; c < fields_.size(); ++c)
        if (fields_[c] == name) return static_cast<int32_t>(c);
    return -1;
}

bool MeasurementFile::bestSource(ColourSource& source) const {
    if (spectral_)
        source = ColourSource::Spectra;
    else if (hasXyz())
        source = ColourSource::Xyz;
    else if (hasLab())
        source = ColourSource::Lab;
    else
        return false;
    return true;
}

std::string MeasurementFile::where(int32_t patch, const std::string& what) const {
    return path_ + ": line " + std::to_string(MeasureCgatsPatchLine(file_.get(), patch)) + ": " + what;
}

std::string MeasurementFile::about(const std::string& what) const {
    return path_ + ": " + what;
}

bool MeasurementFile::number(int32_t patch, int32_t column, double& value, std::string& problem) const {
    if (MeasureCgatsCellNumber(file_.get(), patch, column, &value) == 1) return true;
    const char* cell = MeasureCgatsCell(file_.get(), patch, column);
    problem = where(patch, fields_[static_cast<size_t>(column)] + " of patch " + sampleId(patch) + " is '" +
                               (cell != nullptr ? cell : "") + "', not a number");
    return false;
}

bool MeasurementFile::triple(int32_t patch, const std::array<int32_t, 3>& columns, std::array<double, 3>& out,
                             std::string& problem) const {
    for (size_t i = 0; i < 3; ++i)
        if (!number(patch, columns[i], out[i], problem)) return false;
    return true;
}

bool MeasurementFile::spectraUsable(std::string& problem) const {
    if (header_[1] != MEASURE_SPECTRAL_STEP_NM) {
        problem = about("the spectral fields are " + std::to_string(header_[1]) + " nm apart; only " +
                        std::to_string(MEASURE_SPECTRAL_STEP_NM) + " nm steps are converted");
        return false;
    }
    if (header_[2] > kMaxBands) {
        problem = about("more than " + std::to_string(kMaxBands) + " spectral fields");
        return false;
    }
    return true;
}

bool MeasurementFile::spectrum(int32_t patch, double* values, std::string& problem) const {
    const int32_t count =
        MeasureCgatsGetSpectrum(file_.get(), patch, values, static_cast<int32_t>(header_[2]));
    if (count == static_cast<int32_t>(header_[2])) return true;
    const int32_t bad = MeasureCgatsCheckSpectrum(file_.get(), patch);
    double ignored = 0.0;
    if (bad >= 0) return number(patch, bad, ignored, problem);
    problem = where(patch, "the spectrum of patch " + sampleId(patch) + " cannot be read");
    return false;
}

bool MeasurementFile::colour(int32_t patch, ColourSource source, PatchColour& out,
                             std::string& problem) const {
    switch (source) {
        case ColourSource::Spectra: {
            double bands[kMaxBands];
            if (!spectraUsable(problem) || !spectrum(patch, bands, problem)) return false;
            spectrumToXyzLab(header_, bands, out.xyz, out.lab);
            return true;
        }
        case ColourSource::Xyz:
            if (!triple(patch, xyz_, out.xyz, problem)) return false;
            if (hasLab()) return triple(patch, lab_, out.lab, problem);
            out.lab = xyzToLab(out.xyz);
            return true;
        case ColourSource::Lab:
            if (!triple(patch, lab_, out.lab, problem)) return false;
            LabToXYZ(out.lab[0], out.lab[1], out.lab[2], &out.xyz[0], &out.xyz[1], &out.xyz[2]);
            return true;
    }
    return false;
}

bool MeasurementFile::lab(int32_t patch, std::array<double, 3>& out, std::string& problem) const {
    if (hasLab()) return triple(patch, lab_, out, problem);
    ColourSource source;
    if (!bestSource(source)) {
        problem = about("no spectral, XYZ or LAB fields to take colours from");
        return false;
    }
    PatchColour colour;
    if (!this->colour(patch, source, colour, problem)) return false;
    out = colour.lab;
    return true;
}

std::string MeasurementFile::sampleId(int32_t patch) const {
    const char* id = sampleId_ >= 0 ? MeasureCgatsCell(file_.get(), patch, sampleId_) : nullptr;
    return id != nullptr ? std::string(id) : std::to_string(patch + 1);
}

std::string MeasurementFile::sampleName(int32_t patch) const {
    const char* name = sampleName_ >= 0 ? MeasureCgatsCell(file_.get(), patch, sampleName_) : nullptr;
    return name != nullptr ? std::string(name) : std::string();
}

}  // namespace cli
