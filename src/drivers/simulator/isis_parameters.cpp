#include "drivers/simulator/isis_parameters.h"

#include <array>
#include <map>
#include <mutex>

#include "color/chart_text.h"
#include "color/layout_text.h"
#include "core/logger.h"

namespace measure::simulator {
namespace {

constexpr std::array<const char*, 11> kIsisKeys = {
    "ChartSizeX",         "NumberOfRows",       "NumberOfColumns",
    "BarSizeX",           "BarSizeY",           "DistancePaperEdgeToBar",
    "DistBarToFirstLine", "MarkersDistance",    "PatchSizeX",
    "PatchSizeY",         "MarkerPatchDistance"};
constexpr std::array<const char*, 2> kSpectropadKeys = {"Patches_X", "Patches_Y"};
constexpr int kSpectropadId = 34;
constexpr size_t kShortestFile = 10;
constexpr size_t kLongestValue = 9;

// Written when a chart reader opens (host thread), read by its measurement
// thread later; one instrument is open at a time.
struct Store {
    std::mutex mutex;
    std::map<std::string, int> values;
};

Store& store() {
    static Store* instance = new Store;
    return *instance;
}

bool isValueChar(char c) {
    return c == ',' || c == '-' || c == '.' || c == '/' || (c >= '0' && c <= '9');
}

template <size_t N>
int parseKeys(std::string_view text, const std::array<const char*, N>& keys) {
    for (const char* key : keys) {
        const auto value = layoutValue(text, key, isValueChar, kLongestValue);
        if (!value) return kParameterKeyMissing;
        const int number = parseInt(*value);
        std::lock_guard lock(store().mutex);
        store().values[key] = number;
    }
    return kParametersRead;
}

}  // namespace

int ISIS_SetParametersFromText(std::string_view text, int simulatedId) {
    if (text.size() < kShortestFile) return kParameterKeyMissing;
    return simulatedId == kSpectropadId ? parseKeys(text, kSpectropadKeys) : parseKeys(text, kIsisKeys);
}

int ISIS_SetParametersFromFile(const char* path, int simulatedId) {
    try {
        std::string text;
        if (!loadLayoutText(path, text)) return kParameterFileMissing;
        return ISIS_SetParametersFromText(text, simulatedId);
    } catch (...) {
        Log(0, "ISIS_SetParametersFromFile", "catch ...");
        return kParameterFileFailed;
    }
}

int isisParameter(const std::string& key) {
    std::lock_guard lock(store().mutex);
    const auto it = store().values.find(key);
    return it == store().values.end() ? 0 : it->second;
}

void clearIsisParameters() {
    std::lock_guard lock(store().mutex);
    store().values.clear();
}

}  // namespace measure::simulator
