#include "chart.h"

#include <algorithm>
#include <cmath>

namespace xrite_emu {
namespace {

constexpr double kPi = 3.14159265358979323846;

double nmOf(int band) {
    return 380.0 + 10.0 * band;
}

double fraction(double v) {
    return v - std::floor(v);
}

double bump(double nm, double centre, double width) {
    const double t = (nm - centre) / width;
    return std::exp(-0.5 * t * t);
}

Spectrum flat(float value) {
    Spectrum s;
    s.fill(value);
    return s;
}

// Paper with optical brightener: its fluorescence adds blue under UV.
Spectrum paper() {
    return flat(0.88f);
}
Spectrum paperFluorescence() {
    Spectrum s{};
    for (int i = 0; i < kBands; ++i) s[i] = static_cast<float>(0.08 * bump(nmOf(i), 440.0, 18.0));
    return s;
}

// A near black and a strong yellow: far from every chart patch and from the paper.
Spectrum darkReference() {
    return flat(0.012f);
}
Spectrum lightReference() {
    Spectrum s{};
    for (int i = 0; i < kBands; ++i) {
        const double t = std::clamp((nmOf(i) - 480.0) / 50.0, 0.0, 1.0);
        s[i] = static_cast<float>(0.06 + 0.8 * t * t * (3 - 2 * t));
    }
    return s;
}

// A display white: a 6500 K radiator giving 120 cd/m^2.
Spectrum displayWhite() {
    Spectrum s{};
    for (int i = 0; i < kBands; ++i) {
        const double m = nmOf(i) * 1e-9;
        s[i] = static_cast<float>(1.0 / (std::pow(m, 5.0) * (std::exp(1.4388e-2 / (m * 6500.0)) - 1.0)));
    }
    const double y = emissiveXyz(s).y;
    for (float& v : s) v = static_cast<float>(v * 120.0 / y);
    return s;
}

uint32_t nextRandom(uint32_t& state) {
    state = state * 1664525u + 1013904223u;
    return state;
}

// Uniform in [-1, 1].
double jitter(uint32_t& state) {
    return (nextRandom(state) >> 8) / double(1u << 23) - 1.0;
}

Sample blend(const Sample& a, const Sample& b, double weightOfB) {
    Sample out;
    for (int i = 0; i < kBands; ++i) {
        out.base[i] = static_cast<float>(a.base[i] * (1 - weightOfB) + b.base[i] * weightOfB);
        out.fluorescence[i] =
            static_cast<float>(a.fluorescence[i] * (1 - weightOfB) + b.fluorescence[i] * weightOfB);
    }
    return out;
}

Sample noisy(const Sample& s, double noise, uint32_t& rng) {
    Sample out = s;
    const double gain = 1.0 + noise * jitter(rng);
    for (int i = 0; i < kBands; ++i)
        out.base[i] = static_cast<float>(std::max(0.0, s.base[i] * (gain + 0.2 * noise * jitter(rng))));
    return out;
}

}  // namespace

Spectrum defaultPatch(int32_t index) {
    const bool dark = index % 2 == 0;
    const double targetY =
        dark ? 7.0 + 7.0 * fraction(index * 0.381966) : 31.0 + 24.0 * fraction(index * 0.618034);
    const double hue = index * 2.39996;  // the golden angle
    Spectrum s{};
    for (int i = 0; i < kBands; ++i)
        s[i] = static_cast<float>(1.0 + 0.5 * std::cos(2 * kPi * (nmOf(i) - 380.0) / 350.0 - hue));
    const double scale = targetY / reflectiveXyz(s).y;
    for (float& v : s) v = static_cast<float>(std::clamp(v * scale, 0.005, 0.95));
    return s;
}

Spectrum Chart::patch(int32_t index) const {
    if (auto it = overrides_.find(index); it != overrides_.end()) return it->second;
    switch (index) {
        case EMU_I1_PATCH_DARK_REFERENCE:
            return darkReference();
        case EMU_I1_PATCH_LIGHT_REFERENCE:
            return lightReference();
        case EMU_I1_PATCH_SUBSTRATE:
            return paper();
        case EMU_I1_PATCH_EMISSION_SOURCE:
            return displayWhite();
        default:
            return defaultPatch(((index % EMU_I1_CHART_PATCHES) + EMU_I1_CHART_PATCHES) %
                                EMU_I1_CHART_PATCHES);
    }
}

void Chart::setPatch(int32_t index, const Spectrum& spectrum) {
    overrides_[index] = spectrum;
}

Sample Chart::spot(int32_t index) const {
    Sample s;
    s.base = patch(index);
    if (index == EMU_I1_PATCH_SUBSTRATE) s.fluorescence = paperFluorescence();
    return s;
}

Sample Chart::emission() const {
    Sample s;
    s.base = patch(EMU_I1_PATCH_EMISSION_SOURCE);
    s.emissive = true;
    return s;
}

std::vector<Sample> Chart::recognisedStrip(const EmuI1Scan& scan) const {
    std::vector<Sample> out;
    const int32_t count = std::clamp(scan.patchCount, 0, EMU_I1_CHART_PATCHES);
    if (scan.withReferences) out.push_back(spot(EMU_I1_PATCH_DARK_REFERENCE));
    for (int32_t i = 0; i < count; ++i) out.push_back(spot(scan.firstPatch + i));
    if (scan.withReferences) out.push_back(spot(EMU_I1_PATCH_LIGHT_REFERENCE));
    if (scan.reversed) std::reverse(out.begin(), out.end());
    return out;
}

std::vector<Sample> Chart::rawStrip(const EmuI1Scan& scan, uint32_t& rng) const {
    const std::vector<Sample> patches = recognisedStrip(scan);
    Sample trailingPaper = spot(EMU_I1_PATCH_SUBSTRATE);
    for (float& v : trailingPaper.base) v = std::max(0.005f, v + scan.trailingPaperShift);

    // Each region: what lies under the aperture and for how many samples.
    std::vector<std::pair<Sample, int32_t>> regions;
    if (scan.leadingSubstrate > 0) regions.emplace_back(spot(EMU_I1_PATCH_SUBSTRATE), scan.leadingSubstrate);
    for (size_t i = 0; i < patches.size(); ++i) {
        const bool wide = scan.widePatch >= 0 && i == size_t(scan.widePatch) + (scan.withReferences ? 1 : 0);
        regions.emplace_back(patches[i], std::max(1, scan.samplesPerPatch) * (wide ? 3 : 1));
    }
    if (scan.trailingSubstrate > 0) regions.emplace_back(trailingPaper, scan.trailingSubstrate);

    std::vector<Sample> out;
    for (size_t r = 0; r < regions.size(); ++r) {
        if (r > 0) {
            // The aperture straddles the edge: mostly the old patch at first.
            const int32_t t = std::max(0, scan.transitionSamples);
            for (int32_t k = 1; k <= t; ++k) {
                const double w = double(k) / (t + 1);
                out.push_back(noisy(blend(regions[r - 1].first, regions[r].first, w * w), scan.noise, rng));
            }
        }
        for (int32_t k = 0; k < regions[r].second; ++k)
            out.push_back(noisy(regions[r].first, scan.noise, rng));
    }
    return out;
}

}  // namespace xrite_emu
