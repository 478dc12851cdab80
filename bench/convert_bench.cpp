// measure-cli convert against a Little CMS program doing the same work on a
// 20 000-patch spectral CGATS file: parse the file, compute XYZ, L*a*b* and
// Status E and T densities per patch, write a CGATS file with them. Both use
// the library's spectral conversions for the arithmetic, so the comparison is
// of reading and writing the files.
#include <benchmark/benchmark.h>
#include <lcms2.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "convert.h"
#include "measure/measure.h"

namespace {

constexpr int kPatches = 20000;
constexpr uint32_t kHeader[3] = {380, 10, 36};

// A folder of its own under the temporary folder, removed at the end
// (kept with MEASURE_BENCH_KEEP set, to look at the files).
class ScratchFolder {
public:
    ScratchFolder() {
        folder_ = std::filesystem::temp_directory_path() /
                  ("measure-bench-" + std::to_string(std::random_device{}()));
        std::filesystem::create_directories(folder_);
    }
    ~ScratchFolder() {
        if (std::getenv("MEASURE_BENCH_KEEP") != nullptr) return;
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    std::string file(const std::string& name) const { return (folder_ / name).string(); }

private:
    std::filesystem::path folder_;
};

// A spectral measurement file as instruments export it: SAMPLE_ID, then
// SPECTRAL_NM_380 ... SPECTRAL_NM_730 in percent with four decimals.
class SpectralFile {
public:
    SpectralFile() : input_(folder_.file("spectra.txt")) {
        std::ofstream out(input_);
        out << "CGATS.17\nORIGINATOR\t\"bench\"\nNUMBER_OF_FIELDS\t37\nBEGIN_DATA_FORMAT\nSAMPLE_ID";
        for (int nm = 380; nm <= 730; nm += 10) out << "\tSPECTRAL_NM_" << nm;
        out << "\nEND_DATA_FORMAT\nNUMBER_OF_SETS\t" << kPatches << "\nBEGIN_DATA\n";
        std::mt19937 random(42);
        std::uniform_real_distribution<double> level(2.0, 95.0);
        char cell[32];
        for (int i = 0; i < kPatches; ++i) {
            out << (i + 1);
            double v = level(random);
            for (int band = 0; band < 36; ++band) {
                v = std::clamp(v + level(random) / 20.0 - 2.4, 0.5, 99.0);
                std::snprintf(cell, sizeof cell, "\t%.4f", v);
                out << cell;
            }
            out << '\n';
        }
        out << "END_DATA\n";
    }
    const std::string& input() const { return input_; }
    std::string output(const char* name) const { return folder_.file(name); }

private:
    ScratchFolder folder_;
    std::string input_;
};

const SpectralFile& spectralFile() {
    static SpectralFile file;
    return file;
}

// The Little CMS program: its IT8 parser and writer around the same sums.
bool littleCmsConvert(const std::string& input, const std::string& output) {
    cmsHANDLE in = cmsIT8LoadFromFile(nullptr, input.c_str());
    if (in == nullptr) return false;
    const int count = static_cast<int>(cmsIT8GetPropertyDbl(in, "NUMBER_OF_SETS"));
    std::array<int, 36> columns{};
    for (int band = 0; band < 36; ++band)
        columns[band] = cmsIT8FindDataFormat(in, ("SPECTRAL_NM_" + std::to_string(380 + 10 * band)).c_str());
    const int idColumn = cmsIT8FindDataFormat(in, "SAMPLE_ID");

    static const char* const kFields[] = {"SAMPLE_ID", "XYZ_X",   "XYZ_Y",     "XYZ_Z",     "LAB_L",
                                          "LAB_A",     "LAB_B",   "D_E_RED",   "D_E_GREEN", "D_E_BLUE",
                                          "D_E_VIS",   "D_T_RED", "D_T_GREEN", "D_T_BLUE",  "D_T_VIS"};
    cmsHANDLE out = cmsIT8Alloc(nullptr);
    cmsIT8SetSheetType(out, "CGATS.17");
    cmsIT8SetPropertyStr(out, "ORIGINATOR", "lcms");
    cmsIT8SetPropertyDbl(out, "NUMBER_OF_FIELDS", std::size(kFields));
    cmsIT8SetPropertyDbl(out, "NUMBER_OF_SETS", count);
    for (int f = 0; f < static_cast<int>(std::size(kFields)); ++f) cmsIT8SetDataFormat(out, f, kFields[f]);

    std::array<double, 36> spectrum{};
    for (int row = 0; row < count; ++row) {
        for (int band = 0; band < 36; ++band)
            spectrum[band] = cmsIT8GetDataRowColDbl(in, row, columns[band]) / 100.0;
        double v[14];
        SpectrumToXYZ(v, kHeader, spectrum.data());
        XYZToLab(v[0], v[1], v[2], &v[3], &v[4], &v[5]);
        SpectrumToDensity(v + 6, kHeader, spectrum.data(), MEASURE_MODE_STATUS_E);
        SpectrumToDensity(v + 10, kHeader, spectrum.data(), MEASURE_MODE_STATUS_T);
        cmsIT8SetDataRowCol(out, row, 0, cmsIT8GetDataRowCol(in, row, idColumn));
        for (int f = 0; f < 14; ++f) cmsIT8SetDataRowColDbl(out, row, f + 1, v[f]);
    }
    const bool saved = cmsIT8SaveToFile(out, output.c_str()) != 0;
    cmsIT8Free(out);
    cmsIT8Free(in);
    return saved;
}

void BM_MeasureCliConvert(benchmark::State& state) {
    const SpectralFile& file = spectralFile();
    const std::string output = file.output("measure.txt");
    for (auto _ : state) {
        const cli::ConvertOutcome outcome = cli::convertCgats(file.input(), output);
        if (!outcome.ok) state.SkipWithError(outcome.problem.c_str());
    }
    state.SetItemsProcessed(state.iterations() * kPatches);
}
BENCHMARK(BM_MeasureCliConvert)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_LittleCmsConvert(benchmark::State& state) {
    const SpectralFile& file = spectralFile();
    const std::string output = file.output("lcms.txt");
    for (auto _ : state) {
        if (!littleCmsConvert(file.input(), output)) state.SkipWithError("Little CMS could not convert");
    }
    state.SetItemsProcessed(state.iterations() * kPatches);
}
BENCHMARK(BM_LittleCmsConvert)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Files of many patches and of many fields: convert's time grows with the
// size of the file, never with its square (the fitted complexity says which).

// `patches` rows of SAMPLE_ID, `channels` device values nCLR_k and XYZ.
std::string deviceFile(const ScratchFolder& folder, int patches, int channels) {
    const std::string path =
        folder.file("device-" + std::to_string(patches) + "x" + std::to_string(channels) + ".txt");
    std::ofstream out(path);
    out << "CGATS.17\nNUMBER_OF_FIELDS\t" << channels + 4 << "\nBEGIN_DATA_FORMAT\nSAMPLE_ID";
    for (int c = 1; c <= channels; ++c) out << '\t' << channels << "CLR_" << c;
    out << "\tXYZ_X\tXYZ_Y\tXYZ_Z\nEND_DATA_FORMAT\nNUMBER_OF_SETS\t" << patches << "\nBEGIN_DATA\n";
    for (int p = 0; p < patches; ++p) {
        out << p + 1;
        for (int c = 0; c < channels; ++c) out << '\t' << (p + c) % 101;
        out << '\t' << 10 + p % 80 << ".5\t" << 11 + p % 85 << ".25\t" << 9 + p % 70 << ".75\n";
    }
    out << "END_DATA\n";
    return path;
}

void convertScaling(benchmark::State& state, int patches, int channels) {
    const ScratchFolder folder;
    const std::string input = deviceFile(folder, patches, channels);
    const std::string output = folder.file("out.txt");
    for (auto _ : state) {
        const cli::ConvertOutcome outcome = cli::convertCgats(input, output);
        if (!outcome.ok) state.SkipWithError(outcome.problem.c_str());
    }
    state.SetComplexityN(state.range(0));
}

void BM_ConvertManyPatches(benchmark::State& state) {
    convertScaling(state, static_cast<int>(state.range(0)), 4);
}
BENCHMARK(BM_ConvertManyPatches)
    ->RangeMultiplier(2)
    ->Range(12500, 100000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

void BM_ConvertManyFields(benchmark::State& state) {
    convertScaling(state, 100, static_cast<int>(state.range(0)));
}
BENCHMARK(BM_ConvertManyFields)
    ->RangeMultiplier(2)
    ->Range(125, 1000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

}  // namespace
