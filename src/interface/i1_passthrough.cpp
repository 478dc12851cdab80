// The i1 pass-through exports: a host drives the i1Pro through the i1 SDK
// sample by sample, on its own thread. The instrument is the one the i1
// drivers share (xrite::sharedI1ProHandle), so a driver opened later takes
// it over as it is.
#include "interface/i1_passthrough.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "core/delivery.h"
#include "core/logger.h"
#include "core/record.h"
#include "drivers/xrite/i1_library.h"
#include "framework/sound.h"
#include "measure/measure.h"
#include "platform/clock.h"

namespace measure::i1pass {
namespace {

using namespace measure::xrite;

constexpr uint32_t kSettleMs = 200;
constexpr int32_t kNotConnected = 2;
constexpr int32_t kOnlyFd5bt = 1010;
constexpr int32_t kNoTable = 18;
// The SDK's code for "already done", taken as success.
constexpr int32_t kSdkAlreadyDone = 100000;
constexpr int32_t kKeyNotPressed = 4;
// Old result codes hosts of these exports know.
constexpr int32_t kHostStripNotRecognised = 7;
constexpr int32_t kHostNotCalibrated = 3;
constexpr float kLowestX = 110.2f;
constexpr float kLowestY = 120.0f;
// Device message codes.
constexpr int32_t kMessageEvent = 0;
constexpr int32_t kMessageOtherEvent = 100;
constexpr int32_t kMessageRemoved = 1;
constexpr int32_t kMessageArrived = 1000;
// Sample-count queries after a trigger that end the pending measurement.
constexpr int kQueriesEndingMeasurement = 2;

struct State {
    std::mutex mutex;  // guards the library share and the FD-5BT texts only
    std::shared_ptr<const I1Library> pro;
    std::atomic<I1_DeviceHandle> direct{nullptr};
    std::atomic<bool> directOwned{false};
    std::atomic<bool> measurementPending{false};
    std::atomic<int> sampleQueries{0};
    std::atomic<bool> tableConnected{false};
    std::atomic<I1DeviceMessageHandler> messageHandler{nullptr};
    std::atomic<I1ErrorHandler> errorHandler{nullptr};
    char answer[kI1TextBufferSize] = {};
    std::string measurementMode;
    bool fd5btPresent = false;
    std::string fd5btSerial;
};

State& state() {
    static State* s = new State;  // lives as long as the process
    return *s;
}

void releaseForDriver();

const I1Library* sdk() {
    State& s = state();
    std::lock_guard lock(s.mutex);
    setPassThroughRelease(&releaseForDriver);
    if (!s.pro) {
        std::string failure;
        s.pro = I1Library::acquire(I1Sdk::Pro, failure);
        if (!s.pro) LogF(0, "I1IsConnected", "%s", failure.c_str());
    }
    return s.pro.get();
}

bool fd5btPresent(std::string* serial = nullptr) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (serial != nullptr) *serial = s.fd5btSerial;
    return s.fd5btPresent;
}

void setAnswer(const std::string& text) {
    std::snprintf(state().answer, sizeof state().answer, "%s", text.c_str());
}

void clearPending() {
    state().measurementPending = false;
    state().sampleQueries = 0;
}

void notifyHost(int32_t code, const char* serial, void* context) {
    if (I1DeviceMessageHandler handler = state().messageHandler.load()) handler(code, serial, context);
}

bool i1Row(uint32_t id) {
    return id == 0 || id == 11 || id == 15 || id == 20 || id == 21 || id == 22 || id == 23;
}

void deviceEvent(I1_DeviceHandle /*device*/, uint32_t event, void* context) {
    State& s = state();
    s.answer[0] = '\0';
    const I1Library* lib = sdk();
    if (event == kI1EventArrival && lib != nullptr) {
        clearPending();
        const uint32_t status = lib->GetConnectionStatus(s.direct.load());
        if (status == 0 || status == kI1StatusOpen || status == kSdkAlreadyDone) {
            uint32_t size = sizeof s.answer;
            if (lib->GetOption(s.direct.load(), "SerialNumber", s.answer, &size) != kI1Success)
                s.answer[0] = '\0';
            s.answer[sizeof s.answer - 1] = '\0';
        }
    }
    if (i1Row(openInstrumentId())) {
        if (I1_DeviceHandle direct = s.direct.load()) setSharedI1ProHandle(direct);
        notifyHost(event == kI1EventArrival ? kMessageEvent : kMessageOtherEvent, s.answer, context);
    }
}

void registerEvents(const I1Library& lib) {
    lib.RegisterDeviceEventHandler(&deviceEvent, nullptr);
}

int32_t connect() {
    State& s = state();
    const I1Library* lib = sdk();
    int32_t result = kNotConnected;
    if (lib != nullptr) {
        I1_DeviceHandle handle = sharedI1ProHandle();
        I1_DeviceHandle* devices = nullptr;
        uint32_t count = 0;
        if (handle == nullptr && lib->RegisterTableExtensions() == kI1Success)
            lib->GetDevices(&devices, &count);
        if (handle == nullptr) {
            devices = nullptr;
            count = 0;
            lib->GetDevices(&devices, &count);
            if (count > 0 && devices != nullptr) handle = devices[0];
        }
        if (handle != nullptr) {
            const uint32_t status = lib->GetConnectionStatus(handle);
            if (status == kI1StatusClosed || status == kI1StatusClosedElsewhere) {
                result = static_cast<int32_t>(lib->OpenDevice(handle));
                if (result == kI1Success) {
                    registerEvents(*lib);
                    clearPending();
                    s.directOwned = true;
                } else {
                    handle = nullptr;
                }
            } else if (status == kI1StatusOpen || status == kI1StatusOpenOnTable) {
                result = 0;
                if (!s.directOwned.load()) registerEvents(*lib);
                s.directOwned = true;
            } else {
                result = static_cast<int32_t>(status);
            }
        }
        s.direct = handle;
        if (handle != nullptr) setSharedI1ProHandle(handle);
    }
    if (s.direct.load() == nullptr) result = fd5btPresent() ? kOnlyFd5bt : kNotConnected;
    if (result == static_cast<int32_t>(kI1DeviceNotConnected)) result = kNotConnected;
    if (result == kSdkAlreadyDone) result = 0;
    return result;
}

const std::map<std::string, std::string>& keyForms() {
    static const std::map<std::string, std::string> keys = {
        {"I1TEnableElectrostaticFoil", "I1T_EnableElectrostaticFoil"},
        {"I1THoldPosition", "I1T_HoldPosition"},
        {"I1TIsVisorCoordinate", "I1T_IsVisorCoordinate"},
        {"I1TScanSpeed", "I1T_ScanSpeed"},
        {"I1TMoveSpeed", "I1T_MoveSpeed"},
    };
    return keys;
}

// Host spelling <-> SDK spelling of measurement modes.
const std::pair<const char*, const char*> kModeNames[] = {
    {"SingleReflectance", "ReflectanceSpot"},     {"ScanningReflectance", "ReflectanceScan"},
    {"SingleEmission", "EmissionSpot"},           {"SingleAmbientLight", "AmbientLightSpot"},
    {"ScanningAmbientLight", "AmbientLightScan"},
};

void closeDirect(const I1Library& lib) {
    State& s = state();
    if (I1_DeviceHandle direct = s.direct.exchange(nullptr)) lib.CloseDevice(direct);
    platform::sleepMs(kSettleMs);
    lib.SetGlobalOption("Reset", "All");
    platform::sleepMs(kSettleMs);
    s.directOwned = false;
}

}  // namespace

std::string boundedText(const char* buffer, size_t size) {
    if (buffer == nullptr) return "";
    return std::string(buffer, strnlen(buffer, size));
}

std::string sdkKeyForGet(const std::string& key) {
    if (key == "Version") return "SDKVersion";
    if (key == "PhysicalFilter") return "HasUVcutFilter";
    if (auto it = keyForms().find(key); it != keyForms().end()) return it->second;
    return key;
}

std::string hostAnswer(const std::string& key, const std::string& answer) {
    if (key == "SerialNumber") return answer;
    std::string value = answer;
    if (key == "PhysicalFilter") value = answer == "1" ? "2" : answer == "0" ? "yes" : "o";
    if (value == "1") return "yes";
    if (value == "0") return "no";
    for (const auto& [host, sdkName] : kModeNames)
        if (value == sdkName) return host;
    return value;
}

void sdkKeyValueForSet(std::string& key, std::string& value) {
    for (const auto& [host, sdkName] : kModeNames)
        if (value == host) value = sdkName;
    if (value == "yes") value = "1";
    if (value == "no") value = "0";
    if (key == "Recognition" && value == "1") {
        key = "RecognitionKey";
        value = "RecognitionBasic";
    }
    if (auto it = keyForms().find(key); it != keyForms().end()) key = it->second;
}

void setFd5btPresence(bool present, const std::string& serialNumber) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.fd5btPresent = present;
    s.fd5btSerial = serialNumber;
}

void i1ProRemoved() {
    if (const I1Library* lib = sdk()) {
        if (I1_DeviceHandle shared = sharedI1ProHandle()) lib->CloseDevice(shared);
        lib->SetGlobalOption("Reset", "All");
        closeDirect(*lib);
    }
    setSharedI1ProHandle(nullptr);
    notifyHost(kMessageRemoved, "", nullptr);
    if (MEASURESTRUCT* record = lastI1Record()) PostStatusCode(record, MEASURE_STATUS_DEVICE_REMOVED);
}

namespace {
void arrived(const I1Library& lib, bool pro3) {
    std::string serial;
    lib.RegisterTableExtensions();
    I1_DeviceHandle* devices = nullptr;
    uint32_t count = 0;
    lib.GetDevices(&devices, &count);
    if (count > 0 && devices != nullptr) {
        const I1_ResultType opened = lib.OpenDevice(devices[0]);
        if (opened == kI1Success || opened == 20 || opened == kSdkAlreadyDone) {
            char buffer[kI1TextBufferSize] = {};
            uint32_t size = sizeof buffer;
            if (lib.GetOption(devices[0], "SerialNumber", buffer, &size) == kI1Success)
                serial = boundedText(buffer, sizeof buffer);
        }
        lib.CloseDevice(devices[0]);
    }
    if (pro3)
        setSharedI1Pro3Handle(nullptr);
    else
        setSharedI1ProHandle(nullptr);
    setAnswer(serial);
    notifyHost(kMessageArrived, state().answer, nullptr);
    if (MEASURESTRUCT* record = lastI1Record()) PostStatusCode(record, MEASURE_STATUS_DEVICE_ATTACHED);
}
}  // namespace

void i1ProArrived() {
    if (const I1Library* lib = sdk()) arrived(*lib, false);
}

void i1Pro3Removed() {
    std::string failure;
    if (auto pro3 = I1Library::acquire(I1Sdk::Pro3, failure)) {
        const I1Library* lib = sdk();
        if (state().directOwned.load() && lib != nullptr) {
            closeDirect(*lib);
        } else if (I1_DeviceHandle handle = sharedI1Pro3Handle()) {
            if (pro3->CloseDevice(handle) == kI1Success) pro3->SetGlobalOption("Reset", "All");
        }
    }
    setSharedI1Pro3Handle(nullptr);
    notifyHost(kMessageRemoved, "", nullptr);
    if (MEASURESTRUCT* record = lastI1Record()) PostStatusCode(record, MEASURE_STATUS_DEVICE_REMOVED);
}

void i1Pro3Arrived() {
    std::string failure;
    if (auto pro3 = I1Library::acquire(I1Sdk::Pro3, failure)) arrived(*pro3, true);
}

namespace {
// A driver of the i1Pro3 generation opens the instrument the exports hold.
void releaseForDriver() {
    if (state().directOwned.load()) I1CloseShort();
}
}  // namespace

}  // namespace measure::i1pass

using namespace measure;
using namespace measure::xrite;
using measure::i1pass::state;

// Forwards a call when the instrument answers; `call` gets the SDK and the handle.
template <class Call>
static int32_t forward(Call call) {
    const int32_t connected = i1pass::connect();
    if (connected != 0) return connected;
    const I1Library* lib = i1pass::sdk();
    if (lib == nullptr) return 2;
    return static_cast<int32_t>(call(*lib, state().direct.load()));
}

MEASURE_API int32_t I1IsConnected(void) {
    return i1pass::connect();
}

MEASURE_API int32_t I1IsTableConnected(void) {
    state().tableConnected = false;
    return forward([](const I1Library& lib, I1_DeviceHandle d) {
        if (lib.GetConnectionStatus(d) != kI1StatusOpenOnTable) return i1pass::kNoTable;
        state().tableConnected = true;
        return 0;
    });
}

MEASURE_API int32_t I1Close(void) {
    return forward([](const I1Library& lib, I1_DeviceHandle d) {
        lib.CloseDevice(d);
        I1_DeviceHandle* devices = nullptr;
        uint32_t count = 0;
        lib.GetDevices(&devices, &count);
        lib.RegisterDeviceEventHandler(nullptr, nullptr);
        platform::sleepMs(i1pass::kSettleMs);
        const I1_ResultType reset = lib.SetGlobalOption("Reset", "All");
        platform::sleepMs(i1pass::kSettleMs);
        state().direct = nullptr;
        setSharedI1ProHandle(nullptr);
        setLastI1Record(nullptr);
        state().directOwned = false;
        return static_cast<int32_t>(reset);
    });
}

MEASURE_API int32_t I1CloseShort(void) {
    int32_t result = 0;
    const I1Library* lib = i1pass::sdk();
    std::string failure;
    auto pro3 = sharedI1Pro3Handle() != nullptr ? I1Library::acquire(I1Sdk::Pro3, failure) : nullptr;
    if (lib != nullptr) {
        const I1_DeviceHandle direct = state().direct.exchange(nullptr);
        if (direct != nullptr) result = static_cast<int32_t>(lib->CloseDevice(direct));
        // The shared handle is mostly the direct one: closed once.
        const I1_DeviceHandle shared = sharedI1ProHandle();
        if (shared != nullptr && shared != direct) result = static_cast<int32_t>(lib->CloseDevice(shared));
    }
    if (pro3) result = static_cast<int32_t>(pro3->CloseDevice(sharedI1Pro3Handle()));
    platform::sleepMs(i1pass::kSettleMs);
    if (lib != nullptr) lib->SetGlobalOption("Reset", "All");
    if (pro3) pro3->SetGlobalOption("Reset", "All");
    platform::sleepMs(i1pass::kSettleMs);
    setSharedI1ProHandle(nullptr);
    setSharedI1Pro3Handle(nullptr);
    state().directOwned = false;
    return result;
}

MEASURE_API const char* I1GetOption(const char* key) {
    i1pass::State& s = state();
    const int32_t connected = i1pass::connect();
    std::string fdSerial;
    if (connected == i1pass::kOnlyFd5bt) {
        i1pass::fd5btPresent(&fdSerial);
        i1pass::setAnswer(fdSerial);
        return s.answer;
    }
    if (connected != 0 || key == nullptr) return s.answer;
    const I1Library* lib = i1pass::sdk();
    const std::string hostKey = i1pass::boundedText(key, measure::xrite::kI1TextBufferSize);
    if (hostKey == "IsKeyPressed") {
        i1pass::setAnswer(lib->GetButtonStatusD(s.direct.load()) == kI1ButtonNotPressed ? "no" : "yes");
        return s.answer;
    }
    const std::string sdkKey = i1pass::sdkKeyForGet(hostKey);
    char buffer[kI1TextBufferSize] = {};
    uint32_t size = sizeof buffer;
    if (lib->GetOption(s.direct.load(), sdkKey.c_str(), buffer, &size) != kI1Success) {
        i1pass::setAnswer(hostKey == "SerialNumber" && i1pass::fd5btPresent(&fdSerial) ? fdSerial : "");
        return s.answer;
    }
    i1pass::setAnswer(i1pass::hostAnswer(hostKey, i1pass::boundedText(buffer, sizeof buffer)));
    return s.answer;
}

MEASURE_API int32_t I1SetOption(const char* key, const char* value) {
    i1pass::State& s = state();
    std::string k = i1pass::boundedText(key, kI1TextBufferSize),
                v = i1pass::boundedText(value, kI1TextBufferSize);
    if (key == nullptr || value == nullptr) return 30;
    if (k == "PlayBeeps") {
        const uint32_t previous = soundSelector();
        setSoundSelector(MEASURE_SOUND_BUILT_IN);
        if (v == "Start") framework::PlayBuiltInSound(framework::kSoundAccepted);
        if (v == "Stop") framework::PlayBuiltInSound(framework::kSoundDelivered);
        if (v == "Error") framework::PlayBuiltInSound(framework::kSoundFailure);
        setSoundSelector(previous);
        return 0;
    }
    if ((k == "ColorSpaceDescription.Type" && !s.tableConnected.load()) || (k == "Reset" && v == "All") ||
        k == "IndicatorLedKey")
        i1pass::clearPending();
    if (s.measurementPending.load()) return 0;
    i1pass::sdkKeyValueForSet(k, v);
    if ((k == "MeasurementMode" && v == "Reset") || k == "Beep") return 0;
    if (k == "MeasurementMode") s.measurementMode = v;
    return forward([&](const I1Library& lib, I1_DeviceHandle d) -> int32_t {
        if (k == "I1T_ScanSpeed") lib.SetOption(d, "RecognitionKey", "RecognitionBasic");
        if (k == "Reset" && v == "All") return 0;
        return static_cast<int32_t>(lib.SetOption(d, k.c_str(), v.c_str()));
    });
}

MEASURE_API int32_t I1SetSubstrate(float* spectrum36) {
    return forward([&](const I1Library& lib, I1_DeviceHandle d) { return lib.SetSubstrate(d, spectrum36); });
}

MEASURE_API int32_t I1GetDensity(float* density, uint32_t index) {
    return forward(
        [&](const I1Library& lib, I1_DeviceHandle d) { return lib.GetDensity(d, density, index); });
}

MEASURE_API int32_t I1GetDensities(float* densities4, uint32_t* densityIndex, uint32_t index) {
    return forward([&](const I1Library& lib, I1_DeviceHandle d) {
        return lib.GetDensities(d, densities4, densityIndex, index);
    });
}

MEASURE_API int32_t I1GetTriStimulus(float* values3, uint32_t index) {
    return forward(
        [&](const I1Library& lib, I1_DeviceHandle d) { return lib.GetTriStimulus(d, values3, index); });
}

MEASURE_API int32_t I1GetSpectrum(float* spectrum36, uint32_t index) {
    return forward([&](const I1Library& lib, I1_DeviceHandle d) {
        if (state().tableConnected.load()) state().measurementPending = false;
        return lib.GetSpectrum(d, spectrum36, index);
    });
}

MEASURE_API int32_t I1TriggerMeasurement(void) {
    state().measurementPending = true;
    state().sampleQueries = 0;
    const int32_t result =
        forward([](const I1Library& lib, I1_DeviceHandle d) { return lib.TriggerMeasurement(d); });
    return result == static_cast<int32_t>(kI1StripNotRecognised) ? i1pass::kHostStripNotRecognised : result;
}

MEASURE_API int32_t I1Calibrate(void) {
    int32_t result = forward([](const I1Library& lib, I1_DeviceHandle d) {
        I1_ResultType code = lib.Calibrate(d);
        if (code == kI1NoMeasurementModeSet) {
            lib.SetOption(d, "MeasurementMode", "ReflectanceScan");
            code = lib.Calibrate(d);
        }
        return code;
    });
    i1pass::clearPending();
    return result == static_cast<int32_t>(kI1DeviceNotCalibrated) ? i1pass::kHostNotCalibrated : result;
}

MEASURE_API int32_t I1GetNumberOfAvailableSamples(void) {
    if (i1pass::connect() != 0) return 0;
    const I1Library* lib = i1pass::sdk();
    const int queries = ++state().sampleQueries;
    const int32_t count = lib->GetNumberOfAvailableSamples(state().direct.load());
    if (queries > i1pass::kQueriesEndingMeasurement && !state().tableConnected.load())
        state().measurementPending = false;
    return count;
}

MEASURE_API int32_t I1KeyPressed(void) {
    return forward([](const I1Library& lib, I1_DeviceHandle d) -> int32_t {
        const uint32_t status = lib.GetButtonStatusD(d);
        if (status == kI1ButtonPressed) return 0;
        if (status == kI1ButtonNotPressed) return i1pass::kKeyNotPressed;
        return static_cast<int32_t>(status);
    });
}

MEASURE_API int32_t I1SetPosition(float x, float y) {
    const I1_Point p{x < i1pass::kLowestX ? i1pass::kLowestX : x,
                     y < i1pass::kLowestY ? i1pass::kLowestY : y};
    return forward([&](const I1Library& lib, I1_DeviceHandle d) { return lib.SetPosition(d, &p); });
}

MEASURE_API int32_t I1GetPosition(float* x, float* y) {
    return forward([&](const I1Library& lib, I1_DeviceHandle d) {
        I1_Point p{};
        const I1_ResultType code = lib.GetPosition(d, &p);
        if (code == kI1Success) {
            if (x != nullptr) *x = p.x;
            if (y != nullptr) *y = p.y;
        }
        return code;
    });
}

MEASURE_API int32_t I1GoToHomePosition(void) {
    return forward([](const I1Library& lib, I1_DeviceHandle d) { return lib.MoveToHomePosition(d); });
}

MEASURE_API int32_t I1Scan(float x0, float y0, float x1, float y1) {
    state().measurementPending = true;
    state().sampleQueries = 0;
    const I1_Point from{x0, y0}, to{x1, y1};
    return forward([&](const I1Library& lib, I1_DeviceHandle d) { return lib.Scan(d, &from, &to); });
}

MEASURE_API I1DeviceMessageHandler I1RegisterDeviceMessageHandler(I1DeviceMessageHandler handler) {
    state().messageHandler = handler;
    if (const I1Library* lib = i1pass::sdk()) i1pass::registerEvents(*lib);
    return handler;
}

MEASURE_API I1ErrorHandler I1RegisterErrorHandler(I1ErrorHandler handler) {
    state().errorHandler = handler;
    return handler;
}
