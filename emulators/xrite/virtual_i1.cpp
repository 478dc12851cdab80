#include "virtual_i1.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <thread>

namespace xrite_emu {
namespace {

constexpr size_t kJournalLimit = 20000;
constexpr auto kCalibrationHoldLimit = std::chrono::seconds(10);
constexpr auto kRowGateLimit = std::chrono::seconds(10);
// The share of light a glossy surface reflects before the ink: what a
// polarising filter takes away.
constexpr double kGloss = 0.04;
// The virtual user presses the button on the third poll of a wait.
constexpr int32_t kDemoPressPolls = 3;

// Device options the SDK reports unless the driver set them.
const std::map<std::string, std::string>& settingDefaults() {
    static const std::map<std::string, std::string> defaults = {
        {"MeasurementMode", ""},
        {"RecognitionKey", "RecognitionBasic"},
        {"PatchesPerLine", "0"},
        {"ScanDirectionKey", "0"},
        {"ResultIndexKey", "M0"},
        {"IndicatorLedKey", "IndicatorLedOff"},
        {"OnMeasurementSuccessNoLedIndication", "0"},
        {"ColorSpaceDescription.Type", "CIELab"},
        {"Colorimetric.DensityStandard", "ANSIT"},
        {"Colorimetric.Illumination", "D50"},
        {"Colorimetric.Observer", "TwoDegree"},
        {"Colorimetric.WhiteBase", "Absolute"},
        {"I1T_HoldPosition", "1"},
        {"I1T_EnableElectrostaticFoil", "0"},
        {"I1T_IsVisorCoordinate", "0"},
        {"I1T_PatchLength", "10"},
        {"I1T_ScanSpeed", "30"},
        {"I1T_ScanChartGapSize", "0"},
    };
    return defaults;
}

const std::map<std::string, std::set<std::string>>& settingValues() {
    static const std::map<std::string, std::set<std::string>> values = {
        {"ScanDirectionKey", {"0", "1", "2"}},
        {"IndicatorLedKey",
         {"IndicatorLedOff", "IndicatorLedWait4Scan", "IndicatorLedWait4RightScan",
          "IndicatorLedWait4LeftScan", "IndicatorLedSucceeded", "IndicatorLedFailed",
          "IndicatorLedIOPositionAccept"}},
        {"OnMeasurementSuccessNoLedIndication", {"0", "1"}},
        {"ColorSpaceDescription.Type", {"CIELab", "CIEXYZ", "LABmg", "CIExyY"}},
        {"Colorimetric.DensityStandard", {"DIN", "DINNB", "ANSIA", "ANSIE", "ANSII", "ANSIT", "SPI"}},
        {"Colorimetric.Illumination",
         {"A", "B", "C", "D50", "D55", "D65", "D75", "F2", "F7", "F11", "Emission"}},
        {"Colorimetric.Observer", {"TwoDegree", "TenDegree"}},
        {"Colorimetric.WhiteBase", {"Absolute", "Paper", "Automatic"}},
        {"I1T_HoldPosition", {"0", "1"}},
        {"I1T_EnableElectrostaticFoil", {"0", "1"}},
        {"I1T_IsVisorCoordinate", {"0", "1"}},
    };
    return values;
}

std::map<std::string, std::string> identityOf(int32_t model) {
    std::map<std::string, std::string> id = {
        {"HWRevision", "D"},
        {"HasIndicatorLed", "1"},
        {"HasZebraRulerSensor", "0"},
        {"HasUVcutFilter", "0"},
        {"AvailableMeasurementModes", "ReflectanceSpot;ReflectanceScan;EmissionSpot;AmbientLightSpot"},
        {"AvailableRecognitionsKey", "RecognitionBasic;RecognitionPosition;RecognitionDisabled"},
        {"AvailableResultIndexesKey", "M0"},
        {"AvailableIlluminationsKey", "M0;Emissive"},
        {"SerialNumber", "1041234"},
        {"DeviceTypeKey", "i1Pro"},
        {"DeviceHeadSensorKey", "Standard"},
    };
    if (model == EMU_I1_MODEL_I1PRO2) {
        id["HWRevision"] = "E";
        id["HasZebraRulerSensor"] = "1";
        id["AvailableMeasurementModes"] =
            "ReflectanceSpot;ReflectanceScan;DualReflectanceSpot;DualReflectanceScan;EmissionSpot;"
            "AmbientLightSpot";
        id["AvailableResultIndexesKey"] = "M0;M1;M2";
        id["AvailableIlluminationsKey"] = "M0;M1;M2;Emissive";
        id["SerialNumber"] = "2051234";
        id["DeviceTypeKey"] = "i1Pro2";
    } else if (model == EMU_I1_MODEL_I1PRO3 || model == EMU_I1_MODEL_I1PRO3_PLUS) {
        id["HWRevision"] = "F";
        id["HasZebraRulerSensor"] = "1";
        id["AvailableMeasurementModes"] =
            "ReflectanceSpot;ReflectanceScan;ReflectanceM3Spot;ReflectanceM3Scan;EmissionSpot;"
            "AmbientLightSpot";
        id["AvailableRecognitionsKey"] =
            "RecognitionBasic;RecognitionPosition;RecognitionPositionDark;RecognitionDisabled";
        id["AvailableResultIndexesKey"] = "M0;M1;M2;M3;Emissive";
        id["AvailableIlluminationsKey"] = "M0;M1;M2;M3;Emissive";
        id["SerialNumber"] = "3061234";
        id["DeviceTypeKey"] = model == EMU_I1_MODEL_I1PRO3_PLUS ? "i1Pro3(LA)" : "i1Pro3(SA)";
        id["DeviceHeadSensorKey"] = "M3";
    }
    return id;
}

bool endsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

sdk::I1_ResultType copyText(const std::string& text, char* buffer, uint32_t* size) {
    if (buffer == nullptr || size == nullptr) return kInvalidArgument;
    if (*size < text.size() + 1) {
        *size = static_cast<uint32_t>(text.size() + 1);
        return kBufferTooSmall;
    }
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    *size = static_cast<uint32_t>(text.size());
    return sdk::kI1Success;
}

int32_t envInt(const char* name, int32_t fallback, int32_t low, int32_t high) {
    const char* text = std::getenv(name);
    if (text == nullptr) return fallback;
    const long value = std::strtol(text, nullptr, 10);
    return value >= low && value <= high ? static_cast<int32_t>(value) : fallback;
}

bool numberIn(const std::string& text, double low, double high) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    return !text.empty() && *end == '\0' && value >= low && value <= high;
}

std::string pointText(const sdk::I1_Point& p) {
    char text[64];
    std::snprintf(text, sizeof text, "%.1f,%.1f", p.x, p.y);
    return text;
}

// Tokens the SDK answers a handle with; only their addresses matter.
char proDevice;
char pro3Device;

}  // namespace

VirtualI1& VirtualI1::instance() {
    static VirtualI1* emulator = new VirtualI1;  // outlives every library that uses it
    return *emulator;
}

VirtualI1::VirtualI1() : handles_{&proDevice, &pro3Device} {
    resetLocked(true);
}

void VirtualI1::resetLocked(bool demoDefaults) {
    for (auto& lib : libraries_) lib = LibraryState{};
    identity_ = identityOf(EMU_I1_MODEL_I1PRO);
    sdkVersion_ = "4.2.1";
    attached_ = true;
    onTable_ = false;
    closedStatus_ = sdk::kI1StatusClosed;
    holder_ = EMU_I1_HOLDER_NONE;
    pendingPresses_ = 0;
    autoPressPolls_ = 0;
    unansweredPolls_ = 0;
    totalPolls_ = 0;
    onWhiteTile_ = true;
    calibrationFailures_ = 0;
    calibrationFailureCode_ = kCalibrationFailed;
    heldMode_.clear();
    triggerFailureCode_ = 0;
    triggerFailures_ = 0;
    chart_.clearOverrides();
    spotPatch_ = 0;
    scans_.clear();
    defaultStripLength_ = 6;
    nextDefaultPatch_ = 0;
    rng_ = 12345;
    journal_.clear();
    table_ = TableChart();
    aperture_ = {0, 0};
    visorQueue_.clear();
    sheet_ = 0;
    cornersTaken_ = 0;
    sheetDone_ = false;
    tableTexts_ = {{"I1T_SerialNumber", "22417"}, {"I1T_SuggestedMaxScanSpeed", "60.0"}};
    extensionsFailure_ = 0;
    shortRow_ = -1;
    shortRowSamples_ = 0;
    failRow_ = -1;
    failRowCode_ = 0;
    rowsRead_ = 0;
    rowGate_ = false;
    rowPermits_ = 0;
    rowPermit_.notify_all();
    rowPacing_ = 0;
    if (demoDefaults) {
        // n sheets of the default chart, laid one after another.
        const int32_t sheets = envInt("MEASURE_EMU_I1_TABLE", 0, 1, 100);
        onTable_ = sheets > 0;
        if (onTable_) {
            EmuI1TableChart layout = defaultTableChart();
            layout.sheets = sheets;
            table_ = TableChart(layout);
        }
        const char* scale = std::getenv("MEASURE_TIME_SCALE");
        rowPacing_ = scale != nullptr ? std::clamp(std::strtod(scale, nullptr), 0.0, 1.0) : 1.0;
        const char* button = std::getenv("MEASURE_EMU_I1_BUTTON");
        autoPressPolls_ = button != nullptr && std::strcmp(button, "manual") == 0 ? 0 : kDemoPressPolls;
        defaultStripLength_ = envInt("MEASURE_EMU_I1_STRIP", 6, 1, 1000);
        if (const char* model = std::getenv("MEASURE_EMU_I1_MODEL")) {
            const std::string m = model;
            identity_ = identityOf(m == "i1pro2"       ? EMU_I1_MODEL_I1PRO2
                                   : m == "i1pro3"     ? EMU_I1_MODEL_I1PRO3
                                   : m == "i1pro3plus" ? EMU_I1_MODEL_I1PRO3_PLUS
                                                       : EMU_I1_MODEL_I1PRO);
        }
    }
    calibrationGate_.notify_all();
}

// ---------------------------------------------------------------------------
// Helpers

void VirtualI1::log(Library lib, const std::string& call, const std::string& detail) {
    journal_.push_back(std::string(prefix(lib)) + call + (detail.empty() ? "" : " " + detail));
    if (journal_.size() > kJournalLimit)
        journal_.erase(journal_.begin(), journal_.begin() + kJournalLimit / 2);
}

sdk::I1_ResultType VirtualI1::fail(Library lib, sdk::I1_ResultType code, const std::string& text) {
    state(lib).lastError = text;
    if (!journal_.empty()) journal_.back() += " => " + std::to_string(code);
    return code;
}

sdk::I1_ResultType VirtualI1::check(Library lib, sdk::I1_DeviceHandle device, bool mustBeOpen) {
    if (device != handles_[static_cast<int>(lib)]) return fail(lib, kInvalidHandle, "invalid device handle");
    if (!attached_) return fail(lib, sdk::kI1DeviceNotConnected, "instrument not connected");
    if (mustBeOpen && holder_ != holderOf(lib)) return fail(lib, kDeviceNotOpen, "device not open");
    return sdk::kI1Success;
}

std::string VirtualI1::settingOf(Library lib, const std::string& key, const std::string& fallback) const {
    const auto& settings = libraries_[static_cast<int>(lib)].settings;
    if (auto it = settings.find(key); it != settings.end()) return it->second;
    return fallback;
}

std::string VirtualI1::identityText(const std::string& key) const {
    auto it = identity_.find(key);
    if (it == identity_.end()) return "";
    // Without the polarising filter an i1Pro3 offers no M3 results.
    auto type = identity_.find("DeviceTypeKey");
    const bool pro3 = type != identity_.end() && type->second.rfind("i1Pro3", 0) == 0;
    if (!pro3 || m3Head() || (key != "AvailableResultIndexesKey" && key != "AvailableIlluminationsKey"))
        return it->second;
    std::stringstream items(it->second);
    std::string item, kept;
    while (std::getline(items, item, ';'))
        if (item != "M3") kept += (kept.empty() ? "" : ";") + item;
    return kept;
}

bool VirtualI1::m3Head() const {
    auto head = identity_.find("DeviceHeadSensorKey");
    return head != identity_.end() && head->second.find("M3") != std::string::npos;
}

std::string VirtualI1::tableKey(Library lib, const std::string& key, bool& foreign) const {
    const std::string own = lib == Library::Pro ? "I1T_" : "I1PRO3T_";
    const std::string other = lib == Library::Pro ? "I1PRO3T_" : "I1T_";
    foreign = key.rfind(other, 0) == 0;
    if (lib == Library::Pro3 && key.rfind(own, 0) == 0) return "I1T_" + key.substr(own.size());
    return key;
}

bool VirtualI1::offers(const std::string& listKey, const std::string& value) const {
    if (identity_.find(listKey) == identity_.end()) return false;
    std::stringstream items(identityText(listKey));
    std::string item;
    while (std::getline(items, item, ';'))
        if (item == value) return true;
    return false;
}

sdk::I1_ResultType VirtualI1::validateOption(Library lib, const std::string& key, const std::string& value) {
    if (key == "MeasurementMode" || key == "RecognitionKey" || key == "ResultIndexKey") {
        const char* list = key == "MeasurementMode"  ? "AvailableMeasurementModes"
                           : key == "RecognitionKey" ? "AvailableRecognitionsKey"
                                                     : "AvailableResultIndexesKey";
        if (!offers(list, value)) return fail(lib, kInvalidArgument, key + " " + value + " not available");
        return sdk::kI1Success;
    }
    if (key == "PatchesPerLine") {
        char* end = nullptr;
        const long n = std::strtol(value.c_str(), &end, 10);
        if (value.empty() || *end != '\0' || n < 1 || n > 1000)
            return fail(lib, kInvalidArgument, "PatchesPerLine must be 1 to 1000");
        return sdk::kI1Success;
    }
    if (key == "IndicatorLedKey" && identity_["HasIndicatorLed"] != "1")
        return fail(lib, kInvalidArgument, "instrument has no indicator LED");
    if (key.rfind("I1T_", 0) == 0) {
        if (!onTable_) return fail(lib, kNoTable, "no i1iO table");
        if (tableTexts_.count(key) > 0) return fail(lib, kReadOnlyOption, key + " is read-only");
        bool valid = true;
        if (key == "I1T_PatchLength")
            valid = numberIn(value, 6.0, 100.0);
        else if (key == "I1T_ScanSpeed")
            valid = numberIn(value, 0.001,
                             std::strtod(tableTexts_["I1T_SuggestedMaxScanSpeed"].c_str(), nullptr));
        else if (key == "I1T_ScanChartGapSize")
            valid = numberIn(value, 0.0, 10.0);
        else if (auto it = settingValues().find(key); it != settingValues().end())
            valid = it->second.count(value) > 0;
        else
            return fail(lib, kInvalidArgument, "unknown option " + key);
        if (!valid) return fail(lib, kInvalidArgument, "invalid value " + value + " for " + key);
        return sdk::kI1Success;
    }
    auto it = settingValues().find(key);
    if (it == settingValues().end()) return fail(lib, kInvalidArgument, "unknown option " + key);
    if (it->second.count(value) == 0)
        return fail(lib, kInvalidArgument, "invalid value " + value + " for " + key);
    return sdk::kI1Success;
}

sdk::I1_ResultType VirtualI1::sampleAt(Library lib, sdk::I1_DeviceHandle device, uint32_t index,
                                       const void* buffer, Sample& out, Spectrum& measured) {
    if (auto code = check(lib, device, true)) return code;
    const auto& samples = state(lib).samples;
    if (index >= samples.size()) return fail(lib, kNoDataAvailable, "no sample " + std::to_string(index));
    if (buffer == nullptr) return fail(lib, kInvalidArgument, "null buffer");
    out = samples[index];
    // M1 sees the paper's brightener fully (UV included), M0 partly, M2 not.
    const std::string resultIndex = settingOf(lib, "ResultIndexKey", "M0");
    const double uv = out.emissive ? 0.0 : resultIndex == "M1" ? 1.0 : resultIndex == "M0" ? 0.5 : 0.0;
    // M3 (UV cut and polarised) loses the surface gloss every patch
    // reflects: a few percent of the light, most of a dark patch's.
    const bool polarised = out.polarised && resultIndex == "M3";
    for (int i = 0; i < kBands; ++i) {
        const double value = out.base[i] + uv * out.fluorescence[i];
        measured[i] = static_cast<float>(polarised ? std::max(0.0, value - kGloss * (1.0 - value)) : value);
    }
    return sdk::kI1Success;
}

sdk::I1_ResultType VirtualI1::densitiesOf(Library lib, const Sample& sample, const Spectrum& measured,
                                          float out[4]) {
    if (sample.emissive) return fail(lib, kNoDataAvailable, "no densities of an emission measurement");
    densities(measured, settingOf(lib, "Colorimetric.DensityStandard", "ANSIT"), out);
    return sdk::kI1Success;
}

sdk::I1_ResultType VirtualI1::checkTable(Library lib, sdk::I1_DeviceHandle device) {
    if (auto code = check(lib, device, true)) return code;
    if (!state(lib).tableExtensions || !onTable_) return fail(lib, kNoTable, "no i1iO table");
    return sdk::kI1Success;
}

TablePoint VirtualI1::toAperture(Library lib, const TablePoint& p) const {
    return settingOf(lib, "I1T_IsVisorCoordinate", "0") == "1" ? apertureOf(p) : p;
}

void VirtualI1::moveVisorForPress(Library lib) {
    if (!onTable_ || settingOf(lib, "I1T_HoldPosition", "1") != "0") return;
    TablePoint visor{};
    if (!visorQueue_.empty()) {
        visor = visorQueue_.front();
        visorQueue_.pop_front();
    } else {
        // The corners a chart scan asks for, sheet after sheet.
        // A sheet's corners shown again are asked again (a host registers
        // before its chart scan registers once more); the next sheet comes
        // once this one was scanned or given up (the head went home).
        size_t corners = table_.rowsOf(sheet_) > 1 ? 3 : 2;
        if (cornersTaken_ == corners) {
            if (sheetDone_ && sheet_ + 1 < table_.layout().sheets) ++sheet_;
            cornersTaken_ = 0;
            sheetDone_ = false;
            corners = table_.rowsOf(sheet_) > 1 ? 3 : 2;
        }
        const int32_t lastRow = table_.rowsOf(sheet_) - 1, lastColumn = table_.layout().columns - 1;
        const size_t which = cornersTaken_ % corners;
        visor = which == 0             ? table_.centre(0, 0)
                : which + 1 == corners ? table_.centre(lastRow, lastColumn)
                                       : table_.centre(lastRow, 0);
        ++cornersTaken_;
    }
    const TablePoint aperture = apertureOf(visor);
    if (withinTravel(aperture)) aperture_ = aperture;
    log(lib, "VirtualUser visor", pointText(visor));
}

EmuI1Scan VirtualI1::nextScan(Library lib) {
    if (!scans_.empty()) {
        EmuI1Scan s = scans_.front();
        scans_.pop_front();
        return s;
    }
    EmuI1Scan s;
    emu_i1_scan_defaults(&s);
    // With position recognition the SDK knows how many patches a line holds.
    int32_t count = defaultStripLength_;
    if (settingOf(lib, "RecognitionKey", "").rfind("RecognitionPosition", 0) == 0)
        count = std::max(1, std::atoi(settingOf(lib, "PatchesPerLine", "0").c_str()));
    s.firstPatch = nextDefaultPatch_;
    s.patchCount = count;
    nextDefaultPatch_ = (nextDefaultPatch_ + count) % EMU_I1_CHART_PATCHES;
    return s;
}

void VirtualI1::takeScan(Library lib, const EmuI1Scan& scan) {
    const bool raw = settingOf(lib, "RecognitionKey", "RecognitionBasic") == "RecognitionDisabled";
    state(lib).samples = raw ? chart_.rawStrip(scan, rng_) : chart_.recognisedStrip(scan);
}

void VirtualI1::notify(std::vector<std::pair<sdk::I1_DeviceEventHandler, void*>> handlers, uint32_t event) {
    for (size_t i = 0; i < handlers.size(); ++i)
        if (handlers[i].first != nullptr) handlers[i].first(handles_[i], event, handlers[i].second);
}

// ---------------------------------------------------------------------------
// SDK calls

sdk::I1_ResultType VirtualI1::registerTableExtensions(Library lib) {
    Lock lock(mutex_);
    log(lib, "RegisterTableExtensions");
    if (extensionsFailure_ != 0) return fail(lib, extensionsFailure_, "table extensions not available");
    state(lib).tableExtensions = true;
    return sdk::kI1Success;
}

const char* VirtualI1::getGlobalOptionD(Library lib, const char* key) {
    thread_local std::string answers[2];
    Lock lock(mutex_);
    const std::string k = key != nullptr ? key : "";
    log(lib, "GetGlobalOptionD", k);
    std::string& answer = answers[static_cast<int>(lib)];
    answer = k == "SDKVersion" ? sdkVersion_ : k == "LastErrorText" ? state(lib).lastError : "";
    return answer.c_str();
}

sdk::I1_ResultType VirtualI1::getGlobalOption(Library lib, const char* key, char* buffer, uint32_t* size) {
    Lock lock(mutex_);
    const std::string k = key != nullptr ? key : "";
    // Reading the error text is not journalled: it would bury the calls it explains.
    if (k == "LastErrorText") return copyText(state(lib).lastError, buffer, size);
    log(lib, "GetGlobalOption", k);
    if (k == "SDKVersion") return copyText(sdkVersion_, buffer, size);
    return fail(lib, kInvalidArgument, "unknown global option " + k);
}

sdk::I1_ResultType VirtualI1::setGlobalOption(Library lib, const char* key, const char* value) {
    Lock lock(mutex_);
    const std::string k = key != nullptr ? key : "", v = value != nullptr ? value : "";
    log(lib, "SetGlobalOption", k + "=" + v);
    if (k == "Reset" && v == "All") {
        auto& s = state(lib);
        if (holder_ == holderOf(lib)) holder_ = EMU_I1_HOLDER_NONE;
        s.settings.clear();
        s.calibrated.clear();
        s.samples.clear();
    }
    return sdk::kI1Success;
}

sdk::I1_ResultType VirtualI1::getDevices(Library lib, sdk::I1_DeviceHandle** devices, uint32_t* count) {
    Lock lock(mutex_);
    log(lib, "GetDevices");
    if (devices == nullptr || count == nullptr) return fail(lib, kInvalidArgument, "null argument");
    *devices = attached_ ? &handles_[static_cast<int>(lib)] : nullptr;
    *count = attached_ ? 1 : 0;
    if (!attached_) state(lib).lastError = "no instrument found";
    return sdk::kI1Success;
}

uint32_t VirtualI1::getConnectionStatus(Library lib, sdk::I1_DeviceHandle device) {
    Lock lock(mutex_);
    log(lib, "GetConnectionStatus");
    if (check(lib, device, false) != sdk::kI1Success) return sdk::kI1StatusDisconnected;
    if (holder_ == holderOf(lib)) return onTableFor(lib) ? sdk::kI1StatusOpenOnTable : sdk::kI1StatusOpen;
    return closedStatus_;
}

sdk::I1_ResultType VirtualI1::openDevice(Library lib, sdk::I1_DeviceHandle device) {
    Lock lock(mutex_);
    log(lib, "OpenDevice");
    if (auto code = check(lib, device, false)) return code;
    if (holder_ != EMU_I1_HOLDER_NONE && holder_ != holderOf(lib))
        return fail(lib, sdk::kI1DeviceHeldByOtherLibrary,
                    std::string("instrument is in use by the ") + (lib == Library::Pro ? "i1Pro3" : "i1Pro") +
                        " library");
    holder_ = holderOf(lib);
    state(lib).openedOnTable = state(lib).tableExtensions;
    return sdk::kI1Success;
}

sdk::I1_ResultType VirtualI1::closeDevice(Library lib, sdk::I1_DeviceHandle device) {
    Lock lock(mutex_);
    log(lib, "CloseDevice");
    if (auto code = check(lib, device, true)) return code;
    holder_ = EMU_I1_HOLDER_NONE;
    state(lib).samples.clear();
    return sdk::kI1Success;
}

sdk::I1_ResultType VirtualI1::registerDeviceEventHandler(Library lib, sdk::I1_DeviceEventHandler handler,
                                                         void* context) {
    Lock lock(mutex_);
    log(lib, "RegisterDeviceEventHandler", handler != nullptr ? "set" : "cleared");
    state(lib).handler = handler;
    state(lib).handlerContext = context;
    return sdk::kI1Success;
}

sdk::I1_ResultType VirtualI1::getOption(Library lib, sdk::I1_DeviceHandle device, const char* key,
                                        char* buffer, uint32_t* size) {
    Lock lock(mutex_);
    const std::string asked = key != nullptr ? key : "";
    log(lib, "GetOption", asked);
    if (auto code = check(lib, device, false)) return code;
    bool foreign = false;
    const std::string k = tableKey(lib, asked, foreign);
    if (foreign) return fail(lib, kInvalidArgument, "unknown option " + asked);
    if (k.rfind("I1T_", 0) == 0) {
        if (!onTable_) return fail(lib, kNoTable, "no i1iO table");
        if (auto it = tableTexts_.find(k); it != tableTexts_.end()) return copyText(it->second, buffer, size);
    }
    if (k == "SDKVersion") return copyText(sdkVersion_, buffer, size);
    if (auto it = state(lib).settings.find(k); it != state(lib).settings.end())
        return copyText(it->second, buffer, size);
    if (identity_.count(k) > 0) return copyText(identityText(k), buffer, size);
    if (auto it = settingDefaults().find(k); it != settingDefaults().end())
        return copyText(it->second, buffer, size);
    return fail(lib, kInvalidArgument, "unknown option " + k);
}

sdk::I1_ResultType VirtualI1::setOption(Library lib, sdk::I1_DeviceHandle device, const char* key,
                                        const char* value) {
    Lock lock(mutex_);
    const std::string asked = key != nullptr ? key : "", v = value != nullptr ? value : "";
    log(lib, "SetOption", asked + "=" + v);
    if (auto code = check(lib, device, true)) return code;
    bool foreign = false;
    const std::string k = tableKey(lib, asked, foreign);
    if (foreign) return fail(lib, kInvalidArgument, "unknown option " + asked);
    if (auto code = validateOption(lib, k, v)) return code;
    state(lib).settings[k] = v;
    return sdk::kI1Success;
}

sdk::I1_ResultType VirtualI1::calibrate(Library lib, sdk::I1_DeviceHandle device) {
    Lock lock(mutex_);
    const std::string mode = settingOf(lib, "MeasurementMode", "");
    log(lib, "Calibrate", mode);
    if (auto code = check(lib, device, true)) return code;
    if (mode.empty()) return fail(lib, sdk::kI1NoMeasurementModeSet, "no measurement mode set");
    if (!heldMode_.empty() && heldMode_ == mode) {
        ++calibrationsWaiting_;
        calibrationGate_.wait_for(lock, kCalibrationHoldLimit, [&] { return heldMode_ != mode; });
        --calibrationsWaiting_;
    }
    if (calibrationFailures_ > 0) {
        --calibrationFailures_;
        return fail(lib, calibrationFailureCode_, "calibration failed: white reference out of tolerance");
    }
    if (!onWhiteTile_)
        return fail(lib, kCalibrationFailed, "calibration failed: instrument not on its white tile");
    state(lib).calibrated.insert(mode);
    return sdk::kI1Success;
}

sdk::I1_ResultType VirtualI1::setSubstrate(Library lib, sdk::I1_DeviceHandle device, const float* spectrum) {
    Lock lock(mutex_);
    log(lib, "SetSubstrate");
    if (auto code = check(lib, device, true)) return code;
    if (spectrum == nullptr) return fail(lib, kInvalidArgument, "null substrate");
    std::copy(spectrum, spectrum + kBands, state(lib).substrate.begin());
    return sdk::kI1Success;
}

sdk::I1_ResultType VirtualI1::triggerMeasurement(Library lib, sdk::I1_DeviceHandle device) {
    Lock lock(mutex_);
    const std::string mode = settingOf(lib, "MeasurementMode", "");
    log(lib, "TriggerMeasurement", mode);
    if (auto code = check(lib, device, true)) return code;
    if (mode.empty()) return fail(lib, sdk::kI1NoMeasurementModeSet, "no measurement mode set");
    if (state(lib).calibrated.count(mode) == 0)
        return fail(lib, sdk::kI1DeviceNotCalibrated, "instrument not calibrated for " + mode);
    if (triggerFailures_ > 0) {
        --triggerFailures_;
        state(lib).samples.clear();
        return fail(lib, triggerFailureCode_,
                    "measurement failed (" + std::to_string(triggerFailureCode_) + ")");
    }
    const bool polarising = mode.find("M3") != std::string::npos && m3Head();
    if (endsWith(mode, "Scan")) {
        takeScan(lib, nextScan(lib));
    } else if (mode == "EmissionSpot" || mode == "AmbientLightSpot") {
        state(lib).samples = {chart_.emission()};
    } else if (onTableFor(lib)) {
        state(lib).samples = {chart_.spot(table_.patchAt(aperture_, sheet_))};
    } else {
        state(lib).samples = {chart_.spot(spotPatch_)};
    }
    for (Sample& s : state(lib).samples) s.polarised = polarising && !s.emissive;
    return sdk::kI1Success;
}

uint32_t VirtualI1::getButtonStatusD(Library lib, sdk::I1_DeviceHandle device) {
    Lock lock(mutex_);
    if (device != handles_[static_cast<int>(lib)] || !attached_ || holder_ != holderOf(lib)) {
        log(lib, "GetButtonStatusD");
        return check(lib, device, true);
    }
    ++totalPolls_;
    bool pressed = false;
    if (pendingPresses_ > 0) {
        --pendingPresses_;
        pressed = true;
    } else if (autoPressPolls_ > 0 && ++unansweredPolls_ >= autoPressPolls_) {
        pressed = true;
    }
    if (!pressed) return sdk::kI1ButtonNotPressed;
    unansweredPolls_ = 0;
    moveVisorForPress(lib);
    log(lib, "GetButtonStatusD", "pressed");
    return sdk::kI1ButtonPressed;
}

int32_t VirtualI1::getNumberOfAvailableSamples(Library lib, sdk::I1_DeviceHandle device) {
    Lock lock(mutex_);
    log(lib, "GetNumberOfAvailableSamples");
    if (check(lib, device, true) != sdk::kI1Success) return 0;
    return static_cast<int32_t>(state(lib).samples.size());
}

sdk::I1_ResultType VirtualI1::getSpectrum(Library lib, sdk::I1_DeviceHandle device, float* out,
                                          uint32_t index) {
    Lock lock(mutex_);
    log(lib, "GetSpectrum", std::to_string(index));
    Sample sample;
    Spectrum measured;
    if (auto code = sampleAt(lib, device, index, out, sample, measured)) return code;
    std::copy(measured.begin(), measured.end(), out);
    return sdk::kI1Success;
}

sdk::I1_ResultType VirtualI1::getTriStimulus(Library lib, sdk::I1_DeviceHandle device, float* out,
                                             uint32_t index) {
    Lock lock(mutex_);
    log(lib, "GetTriStimulus", std::to_string(index));
    Sample sample;
    Spectrum measured;
    if (auto code = sampleAt(lib, device, index, out, sample, measured)) return code;
    const std::string space = settingOf(lib, "ColorSpaceDescription.Type", "CIELab");
    Xyz xyz = sample.emissive ? emissiveXyz(measured) : reflectiveXyz(measured);
    Xyz white = d50White();
    if (sample.emissive) {
        // Emission is judged against a white of its own luminance.
        const double scale = xyz.y > 0 ? xyz.y / white.y : 1.0;
        white = {white.x * scale, white.y * scale, white.z * scale};
    }
    colourValues(xyz, white, space, out);
    return sdk::kI1Success;
}

sdk::I1_ResultType VirtualI1::getDensities(Library lib, sdk::I1_DeviceHandle device, float* out,
                                           uint32_t* densityIndex, uint32_t index) {
    Lock lock(mutex_);
    log(lib, "GetDensities", std::to_string(index));
    Sample sample;
    Spectrum measured;
    if (auto code = sampleAt(lib, device, index, out, sample, measured)) return code;
    if (auto code = densitiesOf(lib, sample, measured, out)) return code;
    if (densityIndex != nullptr) *densityIndex = static_cast<uint32_t>(std::max_element(out, out + 3) - out);
    return sdk::kI1Success;
}

sdk::I1_ResultType VirtualI1::getDensity(Library lib, sdk::I1_DeviceHandle device, float* out,
                                         uint32_t index) {
    Lock lock(mutex_);
    log(lib, "GetDensity", std::to_string(index));
    Sample sample;
    Spectrum measured;
    if (auto code = sampleAt(lib, device, index, out, sample, measured)) return code;
    float all[4];
    if (auto code = densitiesOf(lib, sample, measured, all)) return code;
    *out = *std::max_element(all, all + 3);
    return sdk::kI1Success;
}

sdk::I1_ResultType VirtualI1::setPosition(Library lib, sdk::I1_DeviceHandle device,
                                          const sdk::I1_Point* position) {
    Lock lock(mutex_);
    log(lib, "SetPosition", position != nullptr ? pointText(*position) : "null");
    if (auto code = checkTable(lib, device)) return code;
    if (position == nullptr) return fail(lib, kInvalidArgument, "null position");
    const TablePoint target = toAperture(lib, *position);
    if (!withinTravel(target)) return fail(lib, kOutsideTravel, "position outside the table's travel");
    aperture_ = target;
    return sdk::kI1Success;
}

sdk::I1_ResultType VirtualI1::getPosition(Library lib, sdk::I1_DeviceHandle device, sdk::I1_Point* position) {
    Lock lock(mutex_);
    log(lib, "GetPosition");
    if (auto code = checkTable(lib, device)) return code;
    if (position == nullptr) return fail(lib, kInvalidArgument, "null position");
    *position = settingOf(lib, "I1T_IsVisorCoordinate", "0") == "1" ? visorOf(aperture_) : aperture_;
    return sdk::kI1Success;
}

sdk::I1_ResultType VirtualI1::moveToHomePosition(Library lib, sdk::I1_DeviceHandle device) {
    Lock lock(mutex_);
    log(lib, "MoveToHomePosition");
    if (auto code = checkTable(lib, device)) return code;
    aperture_ = {0, 0};
    if (cornersTaken_ > 0) sheetDone_ = true;
    return sdk::kI1Success;
}

sdk::I1_ResultType VirtualI1::scan(Library lib, sdk::I1_DeviceHandle device, const sdk::I1_Point* start,
                                   const sdk::I1_Point* end) {
    Lock lock(mutex_);
    log(lib, "Scan", start != nullptr && end != nullptr ? pointText(*start) + " " + pointText(*end) : "null");
    if (auto code = checkTable(lib, device)) return code;
    if (start == nullptr || end == nullptr) return fail(lib, kInvalidArgument, "null point");
    const TablePoint from = toAperture(lib, *start), to = toAperture(lib, *end);
    if (!withinTravel(from) || !withinTravel(to))
        return fail(lib, kOutsideTravel, "position outside the table's travel");
    // The patches the aperture crosses, each once, in the order crossed.
    const double length = std::hypot(to.x - from.x, to.y - from.y);
    const int steps = std::max(1, static_cast<int>(length / 0.25));
    std::vector<Sample> samples;
    int32_t last = EMU_I1_PATCH_SUBSTRATE;
    for (int i = 0; i <= steps; ++i) {
        const double t = double(i) / steps;
        const TablePoint p{static_cast<float>(from.x + t * (to.x - from.x)),
                           static_cast<float>(from.y + t * (to.y - from.y))};
        const int32_t patch = table_.patchAt(p, sheet_);
        if (patch != last && patch != EMU_I1_PATCH_SUBSTRATE) samples.push_back(chart_.spot(patch));
        last = patch;
    }
    state(lib).samples = std::move(samples);
    aperture_ = to;
    return sdk::kI1Success;
}

sdk::I1_ResultType VirtualI1::scanChart(Library lib, sdk::I1_DeviceHandle device,
                                        const sdk::I1_Point* corners, uint32_t rows, uint32_t columns,
                                        void* reserved, sdk::I1_ScanRowCallback onRow, void* context) {
    Lock lock(mutex_);
    log(lib, "ScanChart",
        std::to_string(rows) + "x" + std::to_string(columns) +
            (corners != nullptr
                 ? " " + pointText(corners[0]) + " " + pointText(corners[1]) + " " + pointText(corners[2])
                 : ""));
    if (auto code = checkTable(lib, device)) return code;
    if (corners == nullptr || reserved != nullptr || rows == 0 || columns == 0 ||
        rows * uint64_t(columns) > 100000)
        return fail(lib, kInvalidArgument, "invalid chart");
    // First patch of the first row, first of the last row, last of the last row.
    const TablePoint first = toAperture(lib, corners[0]), lastRowFirst = toAperture(lib, corners[1]),
                     lastRowLast = toAperture(lib, corners[2]);
    if (!withinTravel(first) || !withinTravel(lastRowFirst) || !withinTravel(lastRowLast))
        return fail(lib, kOutsideTravel, "position outside the table's travel");
    sheetDone_ = true;
    const double rowDx = rows > 1 ? (lastRowFirst.x - first.x) / (rows - 1) : 0.0;
    const double rowDy = rows > 1 ? (lastRowFirst.y - first.y) / (rows - 1) : 0.0;
    const double columnDx = columns > 1 ? (lastRowLast.x - lastRowFirst.x) / (columns - 1) : 0.0;
    const double columnDy = columns > 1 ? (lastRowLast.y - lastRowFirst.y) / (columns - 1) : 0.0;
    for (uint32_t row = 0; row < rows; ++row) {
        if (failRow_ >= 0 && row == static_cast<uint32_t>(failRow_))
            return fail(lib, failRowCode_, "chart scan failed at row " + std::to_string(row));
        uint32_t samples = columns;
        if (shortRow_ >= 0 && row == static_cast<uint32_t>(shortRow_))
            samples = static_cast<uint32_t>(std::clamp<int32_t>(shortRowSamples_, 0, int32_t(columns)));
        state(lib).samples.clear();
        for (uint32_t column = 0; column < samples; ++column) {
            const TablePoint p{static_cast<float>(first.x + row * rowDx + column * columnDx),
                               static_cast<float>(first.y + row * rowDy + column * columnDy)};
            state(lib).samples.push_back(chart_.spot(table_.patchAt(p, sheet_)));
            aperture_ = p;
        }
        const bool polarising =
            settingOf(lib, "MeasurementMode", "").find("M3") != std::string::npos && m3Head();
        for (Sample& s : state(lib).samples) s.polarised = polarising;
        ++rowsRead_;
        if (onRow == nullptr) continue;
        // The row callback may call back into the SDK.
        lock.unlock();
        if (rowPacing_ > 0) {
            // A real head takes its time along a row; the demo's host then
            // has it to take each row's delivery.
            const double length = std::hypot(columnDx, columnDy) * (samples > 0 ? samples - 1 : 0);
            const double speed =
                std::max(1.0, std::strtod(settingOf(lib, "I1T_ScanSpeed", "30").c_str(), nullptr));
            std::this_thread::sleep_for(std::chrono::duration<double>(rowPacing_ * length / speed));
        }
        const uint32_t answer = onRow(context, row);
        lock.lock();
        if (answer == sdk::kI1ScanCancelled) return fail(lib, sdk::kI1ScanCancelled, "chart scan cancelled");
        if (answer == sdk::kI1RowIncomplete) log(lib, "ScanChart row " + std::to_string(row) + " incomplete");
        if (rowGate_ && row + 1 < rows) {
            rowPermit_.wait_for(lock, kRowGateLimit, [&] { return rowPermits_ > 0 || !rowGate_; });
            if (rowPermits_ > 0) --rowPermits_;
        }
    }
    return sdk::kI1Success;
}

// ---------------------------------------------------------------------------
// Control

void VirtualI1::setTableChart(const EmuI1TableChart& chart) {
    Lock lock(mutex_);
    EmuI1TableChart c = chart;
    c.rows = std::max(1, c.rows);
    c.columns = std::max(1, c.columns);
    c.sheets = std::max(1, c.sheets);
    if (c.pitchX <= 0) c.pitchX = 1;
    if (c.pitchY <= 0) c.pitchY = 1;
    table_ = TableChart(c);
    sheet_ = 0;
    cornersTaken_ = 0;
    sheetDone_ = false;
}

int32_t VirtualI1::tableSheet() {
    Lock lock(mutex_);
    return sheet_;
}

void VirtualI1::laySheet(int32_t sheet) {
    Lock lock(mutex_);
    sheet_ = std::clamp(sheet, 0, table_.layout().sheets - 1);
    cornersTaken_ = 0;
    sheetDone_ = false;
}

TablePoint VirtualI1::tablePosition() {
    Lock lock(mutex_);
    return aperture_;
}

void VirtualI1::queueVisor(const TablePoint& visor) {
    Lock lock(mutex_);
    visorQueue_.push_back(visor);
}

void VirtualI1::queueTablePatch(int32_t row, int32_t column) {
    Lock lock(mutex_);
    visorQueue_.push_back(table_.centre(row, column));
}

void VirtualI1::failTableExtensions(uint32_t code) {
    Lock lock(mutex_);
    extensionsFailure_ = code;
}

void VirtualI1::setShortRow(int32_t row, int32_t samples) {
    Lock lock(mutex_);
    shortRow_ = row;
    shortRowSamples_ = samples;
}

void VirtualI1::failChartAtRow(int32_t row, uint32_t code) {
    Lock lock(mutex_);
    failRow_ = row;
    failRowCode_ = code;
}

void VirtualI1::gateRows(bool on) {
    Lock lock(mutex_);
    rowGate_ = on;
    rowPermits_ = 0;
    rowPermit_.notify_all();
}

void VirtualI1::nextRow() {
    Lock lock(mutex_);
    ++rowPermits_;
    rowPermit_.notify_all();
}

void VirtualI1::libraryLoaded(Library lib, bool loaded) {
    Lock lock(mutex_);
    loaded_[static_cast<int>(lib)] = loaded;
}

bool VirtualI1::isLoaded(Library lib) {
    Lock lock(mutex_);
    return loaded_[static_cast<int>(lib)];
}

int32_t VirtualI1::tableRowsRead() {
    Lock lock(mutex_);
    return rowsRead_;
}

void VirtualI1::reset(bool demoDefaults) {
    Lock lock(mutex_);
    resetLocked(demoDefaults);
}

void VirtualI1::setModel(int32_t model) {
    Lock lock(mutex_);
    identity_ = identityOf(model);
}

void VirtualI1::setText(const std::string& asked, const std::string& value) {
    Lock lock(mutex_);
    bool foreign = false;
    const std::string key = tableKey(Library::Pro3, asked, foreign);
    if (key == "SDKVersion")
        sdkVersion_ = value;
    else if (tableTexts_.count(key) > 0)
        tableTexts_[key] = value;
    else
        identity_[key] = value;
}

void VirtualI1::setAttached(bool attached) {
    std::vector<std::pair<sdk::I1_DeviceEventHandler, void*>> handlers;
    {
        Lock lock(mutex_);
        if (attached == attached_) return;
        attached_ = attached;
        if (!attached) {
            holder_ = EMU_I1_HOLDER_NONE;
            for (auto& lib : libraries_) {
                lib.calibrated.clear();
                lib.samples.clear();
            }
        }
        for (auto& lib : libraries_) handlers.emplace_back(lib.handler, lib.handlerContext);
    }
    notify(std::move(handlers), attached ? sdk::kI1EventArrival : sdk::kI1EventDeparture);
}

void VirtualI1::setTable(bool onTable) {
    Lock lock(mutex_);
    onTable_ = onTable;
}

void VirtualI1::setClosedStatus(uint32_t status) {
    Lock lock(mutex_);
    if (status == sdk::kI1StatusClosed || status == sdk::kI1StatusClosedElsewhere) closedStatus_ = status;
}

void VirtualI1::setHolder(int32_t holder) {
    Lock lock(mutex_);
    if (holder >= EMU_I1_HOLDER_NONE && holder <= EMU_I1_HOLDER_I1PRO3) holder_ = holder;
}

int32_t VirtualI1::holder() {
    Lock lock(mutex_);
    return holder_;
}

void VirtualI1::pressButton() {
    Lock lock(mutex_);
    ++pendingPresses_;
}

void VirtualI1::setAutoPress(int32_t polls) {
    Lock lock(mutex_);
    autoPressPolls_ = std::max(0, polls);
    unansweredPolls_ = 0;
}

int32_t VirtualI1::buttonPolls() {
    Lock lock(mutex_);
    return totalPolls_;
}

void VirtualI1::setOnWhiteTile(bool onTile) {
    Lock lock(mutex_);
    onWhiteTile_ = onTile;
}

void VirtualI1::failCalibrations(int32_t count) {
    Lock lock(mutex_);
    calibrationFailures_ = std::max(0, count);
}

void VirtualI1::setCalibrationFailure(uint32_t code) {
    Lock lock(mutex_);
    calibrationFailureCode_ = code;
}

void VirtualI1::holdCalibration(const char* mode) {
    Lock lock(mutex_);
    heldMode_ = mode != nullptr ? mode : "";
    calibrationGate_.notify_all();
}

bool VirtualI1::calibrationWaiting() {
    Lock lock(mutex_);
    return calibrationsWaiting_ > 0;
}

bool VirtualI1::isCalibrated(const std::string& mode) {
    Lock lock(mutex_);
    return libraries_[0].calibrated.count(mode) > 0 || libraries_[1].calibrated.count(mode) > 0;
}

void VirtualI1::failTriggers(uint32_t code, int32_t count) {
    Lock lock(mutex_);
    triggerFailureCode_ = code;
    triggerFailures_ = std::max(0, count);
}

void VirtualI1::setPatchSpectrum(int32_t patch, const Spectrum& spectrum) {
    Lock lock(mutex_);
    chart_.setPatch(patch, spectrum);
}

Spectrum VirtualI1::patchSpectrum(int32_t patch) {
    Lock lock(mutex_);
    return chart_.patch(patch);
}

void VirtualI1::setSpotPatch(int32_t patch) {
    Lock lock(mutex_);
    spotPatch_ = patch;
}

void VirtualI1::queueScan(const EmuI1Scan& scan) {
    Lock lock(mutex_);
    scans_.push_back(scan);
}

int32_t VirtualI1::queuedScans() {
    Lock lock(mutex_);
    return static_cast<int32_t>(scans_.size());
}

int32_t VirtualI1::count(const std::string& prefix) {
    Lock lock(mutex_);
    return static_cast<int32_t>(std::count_if(journal_.begin(), journal_.end(), [&](const std::string& line) {
        return line.rfind(prefix, 0) == 0;
    }));
}

std::string VirtualI1::journal() {
    Lock lock(mutex_);
    std::string text;
    for (const auto& line : journal_) text += line + "\n";
    return text;
}

void VirtualI1::clearJournal() {
    Lock lock(mutex_);
    journal_.clear();
}

std::string VirtualI1::option(const std::string& asked) {
    Lock lock(mutex_);
    bool foreign = false;
    const std::string key = tableKey(Library::Pro3, asked, foreign);
    for (const auto& lib : libraries_)
        if (auto it = lib.settings.find(key); it != lib.settings.end()) return it->second;
    return "";
}

}  // namespace xrite_emu
