// Spectral conversion per spectrum, and CGATS reading throughput against
// Little CMS's IT8 parser on the same generated 20 000-patch spectral file.
#include <benchmark/benchmark.h>
#include <lcms2.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "color/cgats_chart_reader.h"
#include "color/spectral.h"

namespace {

constexpr uint32_t kHeader[3] = {380, 10, 36};

std::vector<std::vector<double>> sampleSpectra() {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> value(0.02, 0.95);
    std::vector<std::vector<double>> spectra(256, std::vector<double>(36));
    for (auto& s : spectra)
        for (double& v : s) v = value(rng);
    return spectra;
}

const std::vector<std::vector<double>>& spectra() {
    static const auto instance = sampleSpectra();
    return instance;
}

void BM_SpectrumToXYZ(benchmark::State& state) {
    const auto& s = spectra();
    double xyz[3];
    size_t i = 0;
    for (auto _ : state) {
        SpectrumToXYZ(xyz, kHeader, s[i++ & 255].data());
        benchmark::DoNotOptimize(xyz);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(BM_SpectrumToXYZ);

// The reference: a plain inline 36-band weighted sum with no resampling.
void BM_InlineXYZLoop(benchmark::State& state) {
    const auto& s = spectra();
    const auto& w = measure::tristimulusWeights();
    const double scale = 100.0 / measure::tristimulusDivisor();
    double xyz[3];
    size_t i = 0;
    for (auto _ : state) {
        const double* v = s[i++ & 255].data();
        double x = 0, y = 0, z = 0;
        for (int b = 0; b < 36; ++b) {
            x += v[b] * w[b].x;
            y += v[b] * w[b].y;
            z += v[b] * w[b].z;
        }
        xyz[0] = x * scale;
        xyz[1] = y * scale;
        xyz[2] = z * scale;
        benchmark::DoNotOptimize(xyz);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(BM_InlineXYZLoop);

void BM_SpectrumToDensity(benchmark::State& state) {
    const auto& s = spectra();
    const uint32_t mode = static_cast<uint32_t>(state.range(0));
    double d[4];
    size_t i = 0;
    for (auto _ : state) {
        SpectrumToDensity(d, kHeader, s[i++ & 255].data(), mode);
        benchmark::DoNotOptimize(d);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(BM_SpectrumToDensity)->Arg(0)->Arg(1)->Arg(5)->Arg(6);

// 20 000 patches: sample id, 36 SPECTRAL_NM_ fields (percent) and Lab.
const std::string& largeChartPath() {
    static const std::string path = [] {
        const auto file = std::filesystem::temp_directory_path() / "measure_bench_chart.txt";
        std::ofstream out(file, std::ios::binary);
        out << "CGATS.17\nORIGINATOR \"measure bench\"\nNUMBER_OF_FIELDS 40\nBEGIN_DATA_FORMAT\nSAMPLE_ID";
        for (int nm = 380; nm <= 730; nm += 10) out << " SPECTRAL_NM_" << nm;
        out << " LAB_L LAB_A LAB_B\nEND_DATA_FORMAT\nNUMBER_OF_SETS 20000\nBEGIN_DATA\n";
        std::mt19937 rng(11);
        std::uniform_real_distribution<double> pct(1.0, 95.0), ab(-80.0, 80.0);
        char cell[32];
        for (int p = 1; p <= 20000; ++p) {
            out << p;
            for (int b = 0; b < 36; ++b) {
                std::snprintf(cell, sizeof cell, " %.4f", pct(rng));
                out << cell;
            }
            std::snprintf(cell, sizeof cell, " %.4f %.4f %.4f\n", pct(rng), ab(rng), ab(rng));
            out << cell;
        }
        out << "END_DATA\n";
        return file.string();
    }();
    return path;
}

void BM_CgatsChartReaderRead(benchmark::State& state) {
    const std::string& path = largeChartPath();
    const auto bytes = static_cast<int64_t>(std::filesystem::file_size(path));
    for (auto _ : state) {
        measure::CgatsChartReader reader;
        reader.Read(path);
        benchmark::DoNotOptimize(reader.GetPatchCount());
    }
    state.SetBytesProcessed(bytes * static_cast<int64_t>(state.iterations()));
}
BENCHMARK(BM_CgatsChartReaderRead)->Unit(benchmark::kMillisecond);

void BM_LittleCmsIT8Load(benchmark::State& state) {
    const std::string& path = largeChartPath();
    const auto bytes = static_cast<int64_t>(std::filesystem::file_size(path));
    for (auto _ : state) {
        cmsHANDLE it8 = cmsIT8LoadFromFile(nullptr, path.c_str());
        if (it8 == nullptr) {
            state.SkipWithError("cmsIT8LoadFromFile failed");
            break;
        }
        benchmark::DoNotOptimize(cmsIT8GetPropertyDbl(it8, "NUMBER_OF_SETS"));
        cmsIT8Free(it8);
    }
    state.SetBytesProcessed(bytes * static_cast<int64_t>(state.iterations()));
}
BENCHMARK(BM_LittleCmsIT8Load)->Unit(benchmark::kMillisecond);

}  // namespace
