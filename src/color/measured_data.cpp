#include "color/measured_data.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <memory>

#include "color/chart_file.h"
#include "measure/measure.h"

namespace measure::color {
namespace {

// A whole cell holds one finite number.
bool numericCell(const char* text) {
    if (text == nullptr || *text == '\0') return false;
    std::string s(text);
    for (char& c : s)
        if (c == ',') c = '.';  // the reader takes a comma as a decimal point
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(s.c_str(), &end);
    return end != s.c_str() && *end == '\0' && errno == 0 && std::isfinite(v);
}

}  // namespace

bool parseDecimalCount(const char* text, int max, int& value) {
    if (text == nullptr || *text == '\0') return false;
    long long v = 0;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9') return false;
        v = v * 10 + (*p - '0');
        if (v > max) return false;
    }
    if (v < 1) return false;
    value = static_cast<int>(v);
    return true;
}

bool readMeasuredData(const std::string& path, uint32_t mode, int maxPatches, MeasuredPatches& out,
                      std::string& why) {
    out = {};
    const std::unique_ptr<CChartFileBase> chart = CChartFileFactory::GetReaderWriter(path);
    if (!chart || !chart->Read(path)) {
        why = "measured data cannot be read";
        return false;
    }
    std::string sets;
    int count = 0;
    if (!chart->GetKeyword("NUMBER_OF_SETS", sets) ||
        !parseDecimalCount(sets.c_str(), kMaxMeasuredPatches, count) || count != chart->GetPatchCount()) {
        why = "measured data has no valid NUMBER_OF_SETS";
        return false;
    }
    out.total = count;
    const CgatsChartReader& cgats = chart->cgats();
    std::vector<int> columns;
    if (mode == MEASURE_MODE_SPECTRAL) {
        if (!chart->HasSpectralData()) {
            why = "measured data has no spectra";
            out.missingFields = true;
            return false;
        }
        for (const auto& field : cgats.SpectralFields()) columns.push_back(field.column);
        out.valuesPerPatch = MEASURE_SPECTRAL_BANDS;
    } else {
        const bool lab = mode == MEASURE_MODE_CIE_LAB;
        if (lab ? !chart->HasLabData() : !chart->HasXYZData()) {
            why = lab ? "measured data has no LAB fields" : "measured data has no XYZ fields";
            out.missingFields = true;
            return false;
        }
        for (int c = 0; c < 3; ++c) columns.push_back(lab ? cgats.LabColumn(c) : cgats.XyzColumn(c));
        out.valuesPerPatch = 3;
    }
    out.count = std::min(count, std::max(0, maxPatches));
    for (int p = 0; p < out.count; ++p)
        for (int column : columns)
            if (!numericCell(cgats.Cell(p, column))) {
                why = "measured data has a cell that is not a number (patch " + std::to_string(p + 1) + ")";
                return false;
            }
    out.values.resize(static_cast<size_t>(out.count) * static_cast<size_t>(out.valuesPerPatch));
    for (int p = 0; p < out.count; ++p) {
        double* v = out.values.data() + static_cast<size_t>(p) * static_cast<size_t>(out.valuesPerPatch);
        const bool ok = mode == MEASURE_MODE_SPECTRAL  ? chart->GetSpectrum36(p, v)
                        : mode == MEASURE_MODE_CIE_LAB ? chart->GetLab(p, v)
                                                       : chart->GetXYZ(p, v);
        if (!ok) {
            why = "measured data has unusable values (patch " + std::to_string(p + 1) + ")";
            return false;
        }
    }
    return true;
}

}  // namespace measure::color
