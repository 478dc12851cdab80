// CGATS files for hosts: the library's own chart reader behind a handle, so
// that a host (measure-cli among them) reads measurement files exactly as
// the drivers do.
#include <memory>
#include <new>

#include "color/cgats_chart_reader.h"
#include "measure/measure.h"

struct MEASURE_CGATS {
    measure::CgatsChartReader reader;
    std::string sampleIdText;
};

namespace {

int sampleIdColumn(const measure::CgatsChartReader& reader) {
    const int id = reader.FieldColumn("SAMPLE_ID");
    return id >= 0 ? id : reader.FieldColumn("SAMPLE_NAME");
}

bool patchInRange(const MEASURE_CGATS* file, int32_t patch) {
    return file != nullptr && patch >= 0 && patch < file->reader.GetPatchCount();
}

}  // namespace

MEASURE_API MEASURE_CGATS* MeasureCgatsRead(const char* path, int32_t* error, int32_t* line) {
    if (error != nullptr) *error = 0;
    if (line != nullptr) *line = 0;
    if (path == nullptr) {
        if (error != nullptr) *error = measure::kCgatsCannotOpen;
        return nullptr;
    }
    auto file = std::unique_ptr<MEASURE_CGATS>(new (std::nothrow) MEASURE_CGATS);
    if (!file) return nullptr;
    try {
        file->reader.Read(path);
        return file.release();
    } catch (measure::eColorCtrlErrors code) {
        if (error != nullptr) *error = code;
        if (line != nullptr) *line = file->reader.ErrorLine();
    } catch (...) {
        if (error != nullptr) *error = -1;
    }
    return nullptr;
}

MEASURE_API void MeasureCgatsClose(MEASURE_CGATS* file) {
    delete file;
}

MEASURE_API int32_t MeasureCgatsPatchCount(const MEASURE_CGATS* file) {
    return file != nullptr ? file->reader.GetPatchCount() : -1;
}

MEASURE_API int32_t MeasureCgatsHasData(const MEASURE_CGATS* file, int32_t type) {
    return file != nullptr ? file->reader.HasData(type) : 0;
}

MEASURE_API int32_t MeasureCgatsGetXYZ(const MEASURE_CGATS* file, int32_t patch, double* xyz) {
    if (!patchInRange(file, patch) || xyz == nullptr || file->reader.HasData(measure::kCgatsXYZ) != 1)
        return 0;
    for (int i = 0; i < 3; ++i) xyz[i] = file->reader.GetXYZ(patch, i);
    return 1;
}

MEASURE_API int32_t MeasureCgatsGetLab(const MEASURE_CGATS* file, int32_t patch, double* lab) {
    if (!patchInRange(file, patch) || lab == nullptr || file->reader.HasData(measure::kCgatsLab) != 1)
        return 0;
    for (int i = 0; i < 3; ++i) lab[i] = file->reader.GetLab(patch, i);
    return 1;
}

MEASURE_API int32_t MeasureCgatsSpectralLayout(const MEASURE_CGATS* file, uint32_t* header) {
    if (file == nullptr || header == nullptr || file->reader.SpectralFields().empty()) return 0;
    int start = 0, step = 0, count = 0;
    file->reader.GetSpectralLayout(start, step, count);
    header[0] = static_cast<uint32_t>(start);
    header[1] = static_cast<uint32_t>(step);
    header[2] = static_cast<uint32_t>(count);
    return 1;
}

MEASURE_API int32_t MeasureCgatsGetSpectrum(const MEASURE_CGATS* file, int32_t patch, double* values,
                                            int32_t capacity) {
    if (!patchInRange(file, patch) || values == nullptr) return -1;
    const auto count = static_cast<int32_t>(file->reader.SpectralFields().size());
    if (count == 0 || capacity < count) return -1;
    return file->reader.GetSpectrumChecked(patch, values) < 0 ? count : -2;
}

MEASURE_API int32_t MeasureCgatsCheckSpectrum(const MEASURE_CGATS* file, int32_t patch) {
    if (!patchInRange(file, patch) || file->reader.SpectralFields().empty()) return -1;
    const auto& fields = file->reader.SpectralFields();
    for (const auto& field : fields) {
        double ignored = 0.0;
        if (!file->reader.CellNumber(patch, field.column, ignored)) return field.column;
    }
    return -1;
}

MEASURE_API int32_t MeasureCgatsFieldCount(const MEASURE_CGATS* file) {
    return file != nullptr ? static_cast<int32_t>(file->reader.FieldNames().size()) : -1;
}

MEASURE_API const char* MeasureCgatsFieldName(const MEASURE_CGATS* file, int32_t column) {
    if (file == nullptr || column < 0 || static_cast<size_t>(column) >= file->reader.FieldNames().size())
        return nullptr;
    return file->reader.FieldNames()[static_cast<size_t>(column)].c_str();
}

MEASURE_API const char* MeasureCgatsCell(const MEASURE_CGATS* file, int32_t patch, int32_t column) {
    return patchInRange(file, patch) ? file->reader.Cell(patch, column) : nullptr;
}

MEASURE_API int32_t MeasureCgatsCellNumber(const MEASURE_CGATS* file, int32_t patch, int32_t column,
                                           double* value) {
    double number = 0.0;
    if (!patchInRange(file, patch) || value == nullptr || !file->reader.CellNumber(patch, column, number))
        return 0;
    *value = number;
    return 1;
}

MEASURE_API int32_t MeasureCgatsPatchLine(const MEASURE_CGATS* file, int32_t patch) {
    return patchInRange(file, patch) ? file->reader.PatchLine(patch) : 0;
}

MEASURE_API const char* MeasureCgatsSampleId(const MEASURE_CGATS* file, int32_t patch) {
    if (!patchInRange(file, patch)) return nullptr;
    const int column = sampleIdColumn(file->reader);
    return column >= 0 ? file->reader.Cell(patch, column) : nullptr;
}

MEASURE_API const char* MeasureCgatsErrorText(int32_t error) {
    switch (error) {
        case measure::kCgatsCannotOpen:
            return "the file cannot be opened";
        case measure::kCgatsNoNumberOfSets:
            return "NUMBER_OF_SETS is missing or 0";
        case measure::kCgatsBadDataFormat:
            return "the data format is missing or empty";
        case measure::kCgatsNoBeginData:
            return "the file ends without BEGIN_DATA";
        case measure::kCgatsEndsInData:
            return "the file ends inside the data table";
        case measure::kCgatsEarlyEndData:
            return "END_DATA comes before NUMBER_OF_SETS rows";
        case measure::kCgatsRowValueCount:
            return "a data row does not have one value per field";
        case measure::kCgatsPatchOutOfRange:
            return "a patch outside the table";
        case measure::kCgatsNoSpectralData:
            return "the file has no spectral fields";
        case measure::kCgatsNoEndData:
            return "the row after the last patch is not END_DATA";
        case 0:
            return "no error";
        default:
            return "the file cannot be read";
    }
}
