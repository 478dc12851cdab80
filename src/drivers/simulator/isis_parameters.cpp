#include "drivers/simulator/isis_parameters.h"

#include <array>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <system_error>

#include "color/chart_text.h"
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
// A layout file is a few hundred bytes; what lies beyond this is not read.
constexpr size_t kLongestFile = 64 * 1024;

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
        const std::string_view name(key);
        const size_t at = text.find(name);
        if (at == std::string_view::npos) return kParameterKeyMissing;
        // The key, one separator, then the value.
        size_t pos = at + name.size() + 1;
        std::string value;
        while (pos < text.size() && value.size() < kLongestValue && isValueChar(text[pos]))
            value += text[pos++];
        const int number = parseInt(value);
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
        if (path == nullptr) return kParameterFileMissing;
        // Only a regular file is read, and only its beginning: a FIFO or a
        // device would hold the open, a huge file fill the memory.
        std::error_code error;
        if (!std::filesystem::is_regular_file(path, error)) return kParameterFileMissing;
        std::ifstream in(path, std::ios::binary);
        if (!in) return kParameterFileMissing;
        std::string text(kLongestFile, '\0');
        in.read(text.data(), static_cast<std::streamsize>(text.size()));
        text.resize(static_cast<size_t>(in.gcount()));
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
