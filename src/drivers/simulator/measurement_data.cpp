#include "drivers/simulator/measurement_data.h"

#include <algorithm>
#include <exception>
#include <memory>

#include "color/chart_file.h"
#include "color/chart_references.h"
#include "color/spectral.h"
#include "core/logger.h"
#include "platform/paths.h"

namespace measure::simulator {

const Bands36 kDefaultSpectrum = {
    0.298441, 0.31974,  0.322391, 0.334271, 0.352513, 0.355401, 0.350564, 0.352208, 0.365359,
    0.370952, 0.367098, 0.362903, 0.364161, 0.372539, 0.379631, 0.379687, 0.375783, 0.371596,
    0.367426, 0.368807, 0.373671, 0.380448, 0.383856, 0.381668, 0.377169, 0.373894, 0.372024,
    0.36953,  0.371097, 0.372922, 0.373743, 0.373633, 0.375954, 0.372644, 0.368663, 0.364705};

namespace {

// Whether file row `row` of a table with `width` values per patch may be used
// for patch i.
bool usable(const std::vector<double>& table, size_t width, const MeasurementTables& t, int i, int row) {
    if (table.empty() || i < 0 || i + 1 >= t.count || row < 0) return false;
    return static_cast<size_t>(row) < table.size() / width;
}

template <size_t N>
std::array<double, N> rowOf(const std::vector<double>& table, int row) {
    std::array<double, N> values{};
    std::copy_n(table.begin() + static_cast<std::ptrdiff_t>(static_cast<size_t>(row) * N), N, values.begin());
    return values;
}

}  // namespace

namespace {

constexpr uint32_t kGrid[3] = {kGridStartNm, kGridStepNm, kGridBands};

// XYZ from the spectra and Lab from XYZ where the file gave neither, as an
// instrument computing them from its own spectra would.
void completeTables(MeasurementTables& t) {
    const auto patches = static_cast<size_t>(t.count);
    if (!t.spectra.empty() && t.xyz.empty()) {
        t.xyz.resize(patches * 3);
        for (size_t p = 0; p < patches; ++p) SpectrumToXYZ(&t.xyz[p * 3], kGrid, &t.spectra[p * 36]);
    }
    if (!t.xyz.empty() && t.lab.empty()) {
        t.lab.resize(patches * 3);
        for (size_t p = 0; p < patches; ++p)
            XYZToLab(t.xyz[p * 3], t.xyz[p * 3 + 1], t.xyz[p * 3 + 2], &t.lab[p * 3], &t.lab[p * 3 + 1],
                     &t.lab[p * 3 + 2]);
    }
}

// A measurement file: its spectra, Lab and XYZ as measured.
bool readMeasured(const CChartFileBase& chart, MeasurementTables& t) {
    const auto patches = static_cast<size_t>(t.count);
    if (chart.HasSpectralData()) {
        t.spectra.resize(patches * 36);
        for (int p = 0; p < t.count; ++p)
            if (!chart.GetSpectrum36(p, &t.spectra[static_cast<size_t>(p) * 36])) t.spectra.clear();
    }
    if (chart.HasXYZData()) {
        t.xyz.resize(patches * 3);
        for (int p = 0; p < t.count; ++p) chart.GetXYZ(p, &t.xyz[static_cast<size_t>(p) * 3]);
    }
    if (chart.HasLabData()) {
        t.lab.resize(patches * 3);
        for (int p = 0; p < t.count; ++p) chart.GetLab(p, &t.lab[static_cast<size_t>(p) * 3]);
    }
    return !t.spectra.empty() || !t.xyz.empty() || !t.lab.empty();
}

// A chart of device values: the colours the reference builder predicts.
bool readPredicted(const std::string& path, MeasurementTables& t) {
    ChartReferences refs;
    const int built = BuildChartReferences(path.c_str(), &refs);
    const bool usable = built == 0 && refs.patchCount >= 1 && refs.lab != nullptr && refs.spectra != nullptr;
    if (usable) {
        t.count = refs.patchCount;
        const auto patches = static_cast<size_t>(refs.patchCount);
        t.lab.assign(refs.lab, refs.lab + patches * 3);
        t.spectra.resize(patches * 36);
        for (size_t p = 0; p < patches; ++p)
            std::copy_n(refs.spectra[p].values, 36, t.spectra.begin() + static_cast<std::ptrdiff_t>(p * 36));
        // The builder leaves its second three-value array empty; the XYZ
        // table comes from the predicted spectra instead.
    }
    FreeChartReferences(&refs);
    return usable;
}

}  // namespace

int loadMeasurementTables(const std::string& path, int startCount, MeasurementTables& tables) {
    tables.clear();
    tables.count = startCount;
    try {
        std::unique_ptr<CChartFileBase> chart = CChartFileFactory::GetReaderWriter(path);
        if (!chart || !platform::fileExists(path) || !chart->Read(path) || chart->GetPatchCount() < 1)
            return -1;
        MeasurementTables t;
        t.count = chart->GetPatchCount();
        if (!readMeasured(*chart, t) && !readPredicted(path, t)) {
            LogF(1, "clSIMULATOR_DEVICE::OpenSimulatorDevice", "%s holds no colours to replay", path.c_str());
            return -1;
        }
        completeTables(t);
        tables = std::move(t);
        return 0;
    } catch (const std::exception& e) {
        LogF(0, "clSIMULATOR_DEVICE::OpenSimulatorDevice", "catch(%s)", e.what());
    }
    tables.clear();
    tables.count = startCount;
    return -1;
}

Bands36 patchSpectrum(const MeasurementTables& t, int position, int i) {
    const int row = position + i;
    return usable(t.spectra, 36, t, i, row) ? rowOf<36>(t.spectra, row) : kDefaultSpectrum;
}

Triple patchXyz(const MeasurementTables& t, int position, int i) {
    const int row = position + i;
    return usable(t.xyz, 3, t, i, row) ? rowOf<3>(t.xyz, row) : kDefaultXyz;
}

Triple patchLab(const MeasurementTables& t, int i) {
    return usable(t.lab, 3, t, i, i) ? rowOf<3>(t.lab, i) : kDefaultLab;
}

}  // namespace measure::simulator
