// libFuzzer target: a chart file as everything that reads one through the
// chart file reader takes it. The chart file interface (device values,
// colorant channels, Lab, XYZ, spectra on the library's grid), the reference
// colours predicted from device values, the simulator's measurement tables
// and the CGATS exports for hosts: each reads the file or refuses it, and
// hands out only values from inside the table.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "cgats_mutator.h"
#include "color/chart_file.h"
#include "color/chart_references.h"
#include "drivers/simulator/measurement_data.h"
#include "measure/measure.h"
#include "scratch_file.h"

namespace {

constexpr std::string_view kKeywords[] = {
    "NUMBER_OF_SETS",     "BEGIN_DATA_FORMAT", "END_DATA_FORMAT", "BEGIN_DATA", "END_DATA",
    "DEVICEN_CMYK_CLR_5", "PROCESSCOLOR_ID",   "KEYWORD",         "SPOT_ID",    "SAMPLE_ID"};

void queryChartFile(const std::string& path) {
    using measure::CChartFileBase;
    auto chart = measure::CChartFileFactory::GetReaderWriter(path);
    if (!chart || !chart->Read(path)) return;
    const int patches = chart->GetPatchCount();
    std::string value;
    (void)chart->GetKeyword("NUMBER_OF_SETS", value);
    std::vector<std::string> names;
    bool standard = false;
    (void)chart->GetNColorFieldNames(names, standard);
    const bool rgb = chart->HasRGBData(), cmyk = chart->HasCMYKData(), ncolor = chart->HasNColorData();
    const bool lab = chart->HasLabData(), xyz = chart->HasXYZData(), spectral = chart->HasSpectralData();
    (void)chart->GetNColorChannelCount();
    for (int p = -1; p <= patches && p < 32; ++p) {
        double three[3], four[4], spectrum[36];
        std::vector<double> channels;
        if (rgb) (void)chart->GetRGB(p, three);
        if (cmyk) (void)chart->GetCMYK(p, four);
        if (ncolor) (void)chart->GetNColor(p, channels);
        if (lab) (void)chart->GetLab(p, three);
        if (xyz) (void)chart->GetXYZ(p, three);
        if (spectral) (void)chart->GetSpectrum36(p, spectrum);
    }
}

void queryExports(const std::string& path) {
    int32_t error = 0, line = 0;
    MEASURE_CGATS* file = MeasureCgatsRead(path.c_str(), &error, &line);
    (void)MeasureCgatsErrorText(error);
    if (file == nullptr) return;
    const int32_t patches = MeasureCgatsPatchCount(file);
    uint32_t header[3] = {};
    const bool spectral = MeasureCgatsSpectralLayout(file, header) == 1;
    for (int32_t type : {0, 1, 2, 3, 6, 101}) (void)MeasureCgatsHasData(file, type);
    for (int32_t p = -1; p <= patches && p < 32; ++p) {
        double out[3];
        (void)MeasureCgatsGetXYZ(file, p, out);
        (void)MeasureCgatsGetLab(file, p, out);
        if (spectral) {
            // Exactly the announced count, so AddressSanitizer sees any write past it.
            std::vector<double> values(header[2]);
            (void)MeasureCgatsGetSpectrum(file, p, values.data(), static_cast<int32_t>(values.size()));
        }
        volatile const char* id = MeasureCgatsSampleId(file, p);
        (void)id;
    }
    MeasureCgatsClose(file);
}

void queryMeasurementTables(const std::string& path) {
    using namespace measure::simulator;
    MeasurementTables tables;
    if (loadMeasurementTables(path, 4, tables) != 0) return;
    for (int position = -1; position <= tables.count && position < 8; ++position)
        for (int i = -1; i <= tables.count && i < 8; ++i) {
            volatile double s = patchSpectrum(tables, position, i)[35];
            volatile double x = patchXyz(tables, position, i)[2];
            (void)s;
            (void)x;
        }
    for (int i = -1; i <= tables.count && i < 32; ++i) {
        volatile double l = patchLab(tables, i)[2];
        (void)l;
    }
}

}  // namespace

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t maxSize, unsigned seed) {
    return measure::fuzz::mutateCgats(data, size, maxSize, seed, kKeywords);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = measure::fuzz::writeScratchFile("chart-fuzz.txt", data, size);
    queryChartFile(path);
    queryExports(path);

    measure::ChartReferences refs;
    if (measure::BuildChartReferences(path.c_str(), &refs) == 0) {
        volatile double last =
            refs.spectra[refs.patchCount - 1].values[35] + refs.lab[refs.patchCount * 3 - 1];
        (void)last;
    }
    measure::FreeChartReferences(&refs);

    queryMeasurementTables(path);
    return 0;
}
