// libFuzzer target: any byte sequence given to the CGATS chart reader either
// reads or fails with one of its error values, and every query on the result
// stays inside the table. The mutator (cgats_mutator.h) keeps the chart's
// structure, so that most inputs are read into the data table.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "cgats_mutator.h"
#include "color/cgats_chart_reader.h"

namespace {

constexpr std::string_view kKeywords[] = {"NUMBER_OF_SETS",
                                          "NUMBER_OF_COLS",
                                          "BEGIN_DATA_FORMAT",
                                          "END_DATA_FORMAT",
                                          "BEGIN_DATA",
                                          "END_DATA",
                                          "KEYWORD",
                                          "SPOT_ID",
                                          "DEVICEN_CMYK_CLR_5",
                                          "PROCESSCOLOR_ID",
                                          "PROOFJOB",
                                          "TARGET_ID",
                                          "LAYOUT_ID",
                                          "BEGIN_TARGET_FORMAT",
                                          "END_TARGET_FORMAT",
                                          "TARGET",
                                          "NUMBER_OF_STRIPS",
                                          "PATCH_SIZE_X",
                                          "BEGIN_REPORTING_FORMAT",
                                          "END_REPORTING_FORMAT",
                                          "BEGIN_SPOTCOLOR_FORMAT",
                                          "VANTUPRN_OUTPUTCOLORMODE"};

measure::fuzz::ReachCount dataPhase("inputs reaching the data table");

}  // namespace

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t maxSize, unsigned seed) {
    return measure::fuzz::mutateCgats(data, size, maxSize, seed, kKeywords);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    measure::CgatsChartReader reader;
    try {
        reader.ReadFromMemory(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz");
    } catch (measure::eColorCtrlErrors) {
    }
    // Whatever was read, partly or fully, must be safe to query.
    const int rows = reader.RowCount();
    dataPhase.count(rows > 0);
    for (int patch = -1; patch <= rows && patch < 64; ++patch) {
        for (int c = -1; c <= 3; ++c) {
            volatile double x = reader.GetXYZ(patch, c);
            volatile double l = reader.GetLab(patch, c);
            (void)x;
            (void)l;
        }
        try {
            std::vector<double> spectrum(reader.SpectralFields().size());
            reader.GetSpectrum(patch, spectrum.data());
        } catch (measure::eColorCtrlErrors) {
        }
        try {
            std::vector<double> spectrum(reader.SpectralFields().size());
            (void)reader.GetSpectrumChecked(patch, spectrum.data());
        } catch (measure::eColorCtrlErrors) {
        }
        (void)reader.PatchLine(patch);
        for (int column = -1; column <= static_cast<int>(reader.FieldNames().size()); ++column) {
            (void)reader.CellValue(patch, column);
            double number = 0.0;
            (void)reader.CellNumber(patch, column, number);
        }
    }
    for (int type : {0, 1, 2, 3, 4, 5, 6, 101}) (void)reader.HasData(type);
    try {
        int start, step, count;
        reader.GetSpectralLayout(start, step, count);
    } catch (measure::eColorCtrlErrors) {
    }
    std::string value;
    (void)reader.KeywordValue("NUMBER_OF_SETS", value);
    return 0;
}
