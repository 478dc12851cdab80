#include "color/chart_references.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <exception>
#include <limits>

#include "color/chart_file.h"
#include "color/chart_text.h"
#include "color/kolvex.h"
#include "core/logger.h"

namespace measure {
namespace {

constexpr const char* kLogName = "BuildChartReferences";

struct Colorant {
    size_t channel;  // index into the patch's device values
    int code;
    double strength;
};

template <class T>
T* allocate(size_t count, size_t perPatch) {
    if (count == 0 || count > std::numeric_limits<size_t>::max() / (perPatch * sizeof(T))) return nullptr;
    return static_cast<T*>(std::calloc(count * perPatch, sizeof(T)));
}

void freeResults(ChartReferences& block) {
    std::free(block.spectra);
    std::free(block.lab);
    std::free(block.second);
    block.spectra = nullptr;
    block.lab = nullptr;
    block.second = nullptr;
}

std::vector<std::string> splitAtWhiteSpace(std::string_view text) {
    std::vector<std::string> items;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r'))
            ++i;
        const size_t start = i;
        while (i < text.size() && text[i] != ' ' && text[i] != '\t' && text[i] != '\n' && text[i] != '\r')
            ++i;
        if (i > start) items.emplace_back(text.substr(start, i - start));
    }
    return items;
}

// Spaces in a channel name are written "#20" (all of them, or the first).
std::string encodeSpaces(std::string text, bool firstOnly) {
    for (size_t at = text.find(' '); at != std::string::npos; at = text.find(' ', at + 3)) {
        text.replace(at, 1, "#20");
        if (firstOnly) break;
    }
    return text;
}

// Names of the colorant channels of an n-colour chart: from the DeviceN
// declarations, else from the process colour IDs, else from the field names.
// `white` is set to the channel a DeviceN declaration calls white.
std::vector<std::string> channelNames(const CChartFileBase& chart, size_t channels, size_t& white) {
    std::vector<std::string> names(channels);
    white = channels;
    bool found = false;
    std::string value;
    for (size_t n = 0; n < channels; ++n) {
        if (!chart.GetKeyword("DEVICEN_CMYK_CLR_" + std::to_string(n + 1), value)) continue;
        const std::vector<std::string> items = splitAtWhiteSpace(value);
        if (items.size() < 5) continue;
        names[n] = items[4];
        found = true;
        if (contains(asciiLowerCase(names[n]), "white")) white = n;
    }
    if (!found) {
        // "PC 3 Process Yellow" names channel 3 "Process#20Yellow".
        for (size_t n = 0; n < channels; ++n) {
            if (!chart.GetKeyword("PROCESSCOLOR_ID_" + std::to_string(n + 1), value)) continue;
            value.erase(std::remove(value.begin(), value.end(), '"'), value.end());
            const size_t first = value.find(' ');
            const size_t second = first == std::string::npos ? first : value.find(' ', first + 1);
            names[n] =
                second == std::string::npos ? std::string() : encodeSpaces(value.substr(second + 1), false);
            found = found || !names[n].empty();
        }
        if (found) {
            static const char* const kProcess[] = {"Cyan", "Magenta", "Yellow", "Black"};
            for (size_t n = 0; n < std::min<size_t>(4, channels); ++n) names[n] = kProcess[n];
        }
    }
    if (!found) {
        std::vector<std::string> fields;
        bool standard = false;
        if (chart.GetNColorFieldNames(fields, standard)) {
            static const char* const kStandard[] = {"Cyan", "Magenta", "Yellow", "Black",
                                                    "Red",  "Green",   "Blue",   "Orange"};
            for (size_t n = 0; n < channels; ++n) {
                if (standard)
                    names[n] = n < 8 ? kStandard[n] : "";
                else
                    names[n] = n < fields.size() ? encodeSpaces(fields[n], true) : "";
            }
        }
    }
    if (names.empty() || names[0].empty()) std::fill(names.begin(), names.end(), std::string());
    return names;
}

// Device values of every patch into block.deviceValues; the channel count.
bool readDeviceValues(const CChartFileBase& chart, ChartReferences& block, std::vector<Colorant>& colorants) {
    const size_t count = static_cast<size_t>(block.patchCount);
    size_t channels = 4;
    if (chart.HasRGBData()) {
        for (size_t p = 0; p < count; ++p) {
            double rgb[3];
            if (!chart.GetRGB(static_cast<int>(p), rgb)) return false;
            rgbToCmykPercent(rgb[0], rgb[1], rgb[2], block.deviceValues + p * kReferenceChannels);
        }
    } else if (chart.HasCMYKData()) {
        for (size_t p = 0; p < count; ++p)
            if (!chart.GetCMYK(static_cast<int>(p), block.deviceValues + p * kReferenceChannels))
                return false;
    } else if (chart.HasNColorData()) {
        channels = static_cast<size_t>(std::min(chart.GetNColorChannelCount(), kReferenceChannels));
        std::vector<double> values;
        for (size_t p = 0; p < count; ++p) {
            if (!chart.GetNColor(static_cast<int>(p), values)) return false;
            std::copy_n(values.begin(), std::min(values.size(), channels),
                        block.deviceValues + p * kReferenceChannels);
        }
    } else {
        Log(0, kLogName, "the chart has no device values");
        return false;
    }
    block.colorKind = 4;

    // Channels 1 to 4 are the process inks; the others are found by name.
    size_t white = channels;
    const std::vector<std::string> names =
        channels > 4 ? channelNames(chart, channels, white) : std::vector<std::string>(channels);
    for (size_t c = 0; c < channels; ++c) {
        if (c < 4) {
            colorants.push_back({c, static_cast<int>(c), 1.0});
            continue;
        }
        // White ink under or over the others adds nothing a reflectance
        // prediction on white paper could show.
        int code = 0;
        double strength = 1.0;
        if (c != white && colorantForChannel(names[c], code, strength))
            colorants.push_back({c, code, strength});
    }
    return true;
}

int build(const char* chartPath, ChartReferences& block) {
    std::unique_ptr<CChartFileBase> chart = CChartFileFactory::GetReaderWriter(chartPath);
    if (!chart || !chart->Read(chartPath)) return -1;
    std::string sets;
    if (!chart->GetKeyword("NUMBER_OF_SETS", sets)) return -1;
    const int32_t count = std::min(parseInt(sets), chart->GetPatchCount());
    if (count < 1) return -1;
    block.patchCount = count;
    const size_t n = static_cast<size_t>(count);
    block.deviceValues = allocate<double>(n, kReferenceChannels);
    block.lab = allocate<double>(n, 3);
    block.second = allocate<double>(n, 3);
    block.spectra = allocate<ReferenceSpectrum>(n, 1);
    if (!block.deviceValues || !block.lab || !block.second || !block.spectra) return -1;

    std::vector<Colorant> colorants;
    if (!readDeviceValues(*chart, block, colorants)) return -1;

    std::unique_ptr<Kolvex::ColorPredictor> predictor = Kolvex::ColorPredictor::create(6, 7, 117);
    for (const Colorant& c : colorants) predictor->addColorant(c.code, c.strength);
    std::vector<double> coverage(colorants.size()), spectrum, lab;
    for (size_t p = 0; p < n; ++p) {
        const double* device = block.deviceValues + p * kReferenceChannels;
        for (size_t i = 0; i < colorants.size(); ++i) coverage[i] = device[colorants[i].channel] / 100.0;
        predictor->predict(coverage, spectrum);
        ReferenceSpectrum& out = block.spectra[p];
        std::copy_n(spectrum.begin(), 36, out.values);
        out.startNm = 380;
        out.stepNm = 10;
        out.count = 36;
        Kolvex::ColorSpace::Convert(Kolvex::ColorSpace::Spectral10(), spectrum, Kolvex::ColorSpace::Lab(),
                                    lab, Kolvex::ViewingCondition::D50());
        std::copy_n(lab.begin(), 3, block.lab + p * 3);
    }
    LogF(2, kLogName, "%s: %d patches, %zu colorants", chartPath, count, colorants.size());
    return 0;
}

}  // namespace

void rgbToCmykPercent(double r, double g, double b, double cmyk[4]) {
    auto byte = [](double v) { return std::isnan(v) ? 0.0 : std::clamp(std::round(v), 0.0, 255.0); };
    auto percent = [](double v) { return std::round((255.0 - v) / 2.55 * 100.0) / 100.0; };
    const double R = byte(r), G = byte(g), B = byte(b);
    if (R == G && G == B) {
        cmyk[0] = cmyk[1] = cmyk[2] = 0.0;
        cmyk[3] = percent(R);
    } else {
        cmyk[0] = percent(R);
        cmyk[1] = percent(G);
        cmyk[2] = percent(B);
        cmyk[3] = 0.0;
    }
}

bool colorantForChannel(const std::string& name, int& code, double& strength) {
    if (name.empty()) return false;
    const std::string lower = asciiLowerCase(name);
    struct Word {
        const char* text;
        int code;
    };
    static constexpr Word kWords[] = {{"red", 5},    {"cyan", 0},  {"magenta", 1}, {"yellow", 2},
                                      {"black", 3},  {"green", 8}, {"blue", 6},    {"orange", 4},
                                      {"violet", 7}, {"pink", 1},  {"gray", 3},    {"grey", 3}};
    code = 6;
    for (const Word& w : kWords)
        if (contains(lower, w.text)) {
            code = w.code;
            break;
        }
    strength = contains(lower, "light") || contains(lower, "gray") || contains(lower, "grey") ? 0.5 : 1.0;
    return true;
}

int BuildChartReferences(const char* chartPath, ChartReferences* block) {
    if (block == nullptr) return -1;
    if (chartPath == nullptr) {
        Log(0, kLogName, "no chart file");
        return -1;
    }
    int result = -1;
    try {
        result = build(chartPath, *block);
    } catch (const std::exception& e) {
        LogF(0, kLogName, "catch(%s)", e.what());
    } catch (...) {
        Log(0, kLogName, "catch(...)");
    }
    if (result != 0) freeResults(*block);
    return result;
}

void FreeChartReferences(ChartReferences* block) {
    if (block == nullptr) return;
    freeResults(*block);
    std::free(block->deviceValues);
    block->deviceValues = nullptr;
    block->patchCount = 0;
    block->colorKind = 0;
}

}  // namespace measure
