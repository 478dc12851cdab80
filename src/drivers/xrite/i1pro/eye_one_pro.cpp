#include "drivers/xrite/i1pro/eye_one_pro.h"

#include <cstring>
#include <exception>
#include <iterator>

#include "color/spectral.h"
#include "core/delivery.h"
#include "core/logger.h"
#include "core/record.h"
#include "drivers/xrite/i1_answers.h"
#include "platform/clock.h"

namespace measure::i1pro {

using namespace measure::xrite;

namespace {

constexpr const char* kClass = "clEYE_ONE_PRO";
// The SDK version from which the driver's calls exist.
constexpr double kMinimumSdkVersion = 2.0;
// Rows for the QRV SP-200 and the i1Pro2: they need an indicator LED and take
// i1Pro2-generation instruments.
bool isLedRow(uint32_t id) {
    return id == 21 || id == 22;
}
// The record's model-check override that admits an i1Pro2 on another row.
constexpr uint32_t kModelCheckOverride = 10001;
// Rows whose instruments have neither position recognition nor M1/M2.
bool isPlainRow(uint32_t id) {
    return id == 11 || id == 13 || id == 15 || id == 20;
}
constexpr int32_t kPortOfI1Pro = 11;
// Spots also take 7 (LABmg), 8 (xyY), 9 (XYZ with the spectrum) and 10 (xyY
// with the spectrum), reached with the emission bit.
constexpr uint32_t kLastSpotMode = 10;

constexpr uint32_t kTriggerKeyThreadWait = 10000;
constexpr uint32_t kStopSettleMs = 100;
constexpr uint32_t kCloseSettleMs = 200;
constexpr uint32_t kTriggerStatusDelayMs = 20;

// Status codes the i1Pro posts when a scan trigger fails: the strip was
// drawn too fast or too slowly, or it was not recognised.
constexpr int32_t kStatusScanSpeed = 33;
constexpr int32_t kStatusNotRecognised = 34;

}  // namespace

// The plain record's 256 density slots are used up.
const char* const kSlotsFull = "density slots full";

namespace {

bool holds(const std::string& text, const char* item) {
    return text.find(item) != std::string::npos;
}

}  // namespace

// ---------------------------------------------------------------------------
// Construction and connection

clEYE_ONE_PRO::clEYE_ONE_PRO(MEASURESTRUCT* record) : Driver(record, kClass, kMeasureTimeout) {}

clEYE_ONE_PRO::~clEYE_ONE_PRO() {
    Disconnect();
}

void clEYE_ONE_PRO::ThreadConstructor() {
    const char* fn = "clEYE_ONE_PRO::ThreadConstructor";
    connected = false;
    try {
        std::string failure;
        sdk_ = I1Library::acquire(I1Sdk::Pro, failure);
        if (!sdk_) {
            LogF(0, fn, "%s", failure.c_str());
            throw exEYE_ONE_LIB_PRO("not valid");
        }
        sdk().RegisterTableExtensions();
        const char* version = sdk().GetGlobalOptionD("SDKVersion");
        LogF(1, fn, "Version=\"%s\"", version != nullptr ? version : "");
        double number = 0;
        if (!sdkVersionNumber(version, number) || number < kMinimumSdkVersion)
            Log(0, fn, "Wrong version of EyeOne.dll / Ocellus.dll, please update!");

        I1_DeviceHandle handle = sharedI1ProHandle();
        if (handle == nullptr) {
            I1_DeviceHandle* devices = nullptr;
            uint32_t count = 0;
            sdk().GetDevices(&devices, &count);
            if (count == 0 || devices == nullptr) {
                LogF(0, fn, "I1_GetDevices()=%s", lastError());
                throw exEYE_ONE_LIB_PRO("not valid");
            }
            handle = devices[0];
        }
        setSharedI1ProHandle(handle);
        device_ = handle;
        ledAllowed_ = true;

        uint32_t status = sdk().GetConnectionStatus(handle);
        if (status == kI1StatusClosed) {
            I1_ResultType result = sdk().OpenDevice(handle);
            if (result == kI1DeviceHeldByOtherLibrary) {
                // The i1Pro3 library holds the instrument: make it let go.
                std::string pro3Failure;
                if (auto pro3 = I1Library::acquire(I1Sdk::Pro3, pro3Failure)) {
                    I1_DeviceHandle* devices = nullptr;
                    uint32_t count = 0;
                    pro3->GetDevices(&devices, &count);
                    if (count > 0 && devices != nullptr) {
                        pro3->CloseDevice(devices[0]);
                        pro3->RegisterDeviceEventHandler(nullptr, nullptr);
                        pro3->SetGlobalOption("Reset", "All");
                        result = sdk().OpenDevice(handle);
                    }
                } else {
                    LogF(0, fn, "%s", pro3Failure.c_str());
                }
            }
            if (result != kI1Success) {
                LogF(0, fn, "I1_OpenDevice()=%u I1Error=%s", result, lastError());
                throw exEYE_ONE_LIB_PRO("not valid");
            }
            status = sdk().GetConnectionStatus(handle);
        }
        if (status != kI1StatusOpen) throw exEYE_ONE_LIB_PRO("not valid");

        connected = true;
        const uint32_t id = pMeasure->instrument;
        if (GetOption("HasIndicatorLed") == "0") {
            if (isLedRow(id)) connected = false;
            ledAllowed_ = false;
        }
        const std::string revision = GetOption("HWRevision");
        if (!revision.empty() && revision[0] > 'D' && !isLedRow(id) &&
            word(&MEASURE2STRUCT::ModelCheckOverride) != kModelCheckOverride)
            connected = false;
    } catch (...) {
        connected = false;
        Log(0, fn, "catch(...)");
    }
}

void clEYE_ONE_PRO::ThreadDestructor() {
    try {
        const I1_DeviceHandle handle = device_.exchange(nullptr);
        if (handle == nullptr || !sdk_) return;
        sdk_->CloseDevice(handle);
        sdk_->RegisterDeviceEventHandler(nullptr, nullptr);
        platform::sleepMs(kCloseSettleMs);
        setSharedI1ProHandle(nullptr);
    } catch (...) {
        Log(0, "clEYE_ONE_PRO::ThreadDestructor", "catch(...)");
    }
}

void clEYE_ONE_PRO::PublishAbilities() {
    setLastI1Record(pMeasure);
    try {
        RunOnMeasureThread(
            [this] {
                uint32_t MEASURE2STRUCT::*const bits = &MEASURE2STRUCT::OptionBits;
                setWord(bits,
                        word(bits) | i1ProAbilityBits([this](const char* key) { return GetOption(key); }));

                if (isPlainRow(pMeasure->instrument)) {
                    setWord(&MEASURE2STRUCT::MeasurementCondition, MEASURE_CONDITION_M0);
                    setWord(&MEASURE2STRUCT::PositionRecognition, 0);
                }
                setWord(&MEASURE2STRUCT::SerialNumber, serialNumberFromText(GetOption("SerialNumber")));
                pMeasure->port = kPortOfI1Pro;
            },
            kMeasureTimeout);
    } catch (const std::exception& e) {
        LogF(0, "OpenEyeOne", "%s", e.what());
    } catch (...) {
        Log(0, "OpenEyeOne", "catch ...");
    }
}

// ---------------------------------------------------------------------------
// Stopping

void clEYE_ONE_PRO::StopMeasurement() {
    if (busy.load()) return;
    Driver::StopMeasurement();
    // Straight to the SDK from the host's thread: the indicator must go off
    // even when the request could not be stopped.
    const I1_DeviceHandle handle = device();
    if (handle != nullptr && sdk_) {
        if (ledAllowed_.load()) sdk_->SetOption(handle, "IndicatorLedKey", "IndicatorLedOff");
        sdk_->SetOption(handle, "OnMeasurementSuccessNoLedIndication", "0");
    }
    platform::sleepMs(kStopSettleMs);
}

void clEYE_ONE_PRO::RequestStop() {
    if (!busy.load()) requestStop();
}

bool clEYE_ONE_PRO::PollKey() {
    const uint32_t status = sdk().GetButtonStatusD(device());
    if (status == kI1ButtonPressed) return true;
    if (status != kI1ButtonNotPressed) LogF(0, "clEYE_ONE_PRO::WaitKey", "I1Error=%s", lastError());
    return false;
}

void clEYE_ONE_PRO::RequestFailed(const framework::RequestFailure& failure) {
    const char* fn = failure.function.c_str();
    const bool strip = failure.function == qualified("MultiMeasurement");
    if (failure.kind == framework::RequestFailure::Kind::Calibration) {
        if (strip) SetLedQuietly("IndicatorLedFailed");
        LogF(0, fn, "calibration catch(%s)", failure.text.c_str());
        xBeepFailure();
        PostThreadEndMessage(pMeasure, MEASURE_END_CALIBRATION_FAILED);
        PostStatusCode(pMeasure, MEASURE_STATUS_CALIBRATION_FAILED);
        if (strip) {
            Pause(1000);
            SetLedQuietly("IndicatorLedWait4Scan");
        }
        return;
    }
    if (strip) SetLedQuietly("IndicatorLedFailed");
    if (failure.kind == framework::RequestFailure::Kind::Library)
        LogF(0, fn, "catch(%s)", failure.text.c_str());
    else
        Log(0, fn, "catch(...)");
    xBeepFailure();
    PostStatusCode(pMeasure, MEASURE_STATUS_IDLE);
    PostThreadEndMessage(pMeasure, MEASURE_END_FAILED);
    if (strip) Pause(1000);
}

// ---------------------------------------------------------------------------
// SDK calls

const I1Library& clEYE_ONE_PRO::sdk() const {
    if (!sdk_) throw exEYE_ONE_LIB_PRO("!pEyeOnePro");
    return *sdk_;
}

const char* clEYE_ONE_PRO::lastError() {
    const std::string text = sdk_ ? sdk_->lastErrorText() : std::string();
    std::snprintf(errorText_, sizeof errorText_, "%s", text.c_str());
    return errorText_;
}

std::string clEYE_ONE_PRO::GetOption(const char* key) {
    char buffer[kI1TextBufferSize] = {};
    uint32_t size = sizeof buffer;
    if (sdk().GetOption(device(), key, buffer, &size) != kI1Success) {
        LogF(0, "clEYE_ONE_PRO::GetOption", "%s I1Error=%s", key, lastError());
        throw exEYE_ONE_LIB_PRO(key);
    }
    buffer[sizeof buffer - 1] = '\0';
    return buffer;
}

void clEYE_ONE_PRO::SetOption(const char* key, const std::string& value) {
    // An instrument without indicator LED never hears of it.
    if (!ledAllowed_.load() && std::strcmp(key, "IndicatorLedKey") == 0) return;
    if (sdk().SetOption(device(), key, value.c_str()) != kI1Success) {
        LogF(0, "clEYE_ONE_PRO::SetOption", "%s=%s I1Error=%s", key, value.c_str(), lastError());
        throw exEYE_ONE_LIB_PRO(key);
    }
}

void clEYE_ONE_PRO::SetLedQuietly(const char* state) noexcept {
    try {
        SetOption("IndicatorLedKey", state);
    } catch (...) {
        // Already logged; the failure being reported matters more.
    }
}

void clEYE_ONE_PRO::GetSpectrum(float* spectrum36, uint32_t index) {
    if (sdk().GetSpectrum(device(), spectrum36, index) != kI1Success) {
        LogF(0, "clEYE_ONE_PRO::GetSpectrum", "I1Error=%s", lastError());
        throw exEYE_ONE_LIB_PRO("clEYE_ONE_PRO::GetSpectrum");
    }
}

void clEYE_ONE_PRO::GetTristimulus(float* values3, uint32_t index) {
    if (sdk().GetTriStimulus(device(), values3, index) != kI1Success) {
        LogF(0, "clEYE_ONE_PRO::GetTristimulus", "I1Error=%s", lastError());
        throw exEYE_ONE_LIB_PRO("clEYE_ONE_PRO::GetTristimulus");
    }
}

void clEYE_ONE_PRO::GetDensities(float* densities4, uint32_t index) {
    if (sdk().GetDensities(device(), densities4, nullptr, index) != kI1Success) {
        LogF(0, "clEYE_ONE_PRO::GetDensities", "I1Error=%s", lastError());
        throw exEYE_ONE_LIB_PRO("clEYE_ONE_PRO::GetDensities");
    }
}

int clEYE_ONE_PRO::GetNumberOfAvailableSamples() {
    return sdk().GetNumberOfAvailableSamples(device());
}

void clEYE_ONE_PRO::TriggerMeasurement() {
    const char* fn = "clEYE_ONE_PRO::TriggerMeasurement";
    lastTriggerCode_ = sdk().TriggerMeasurement(device());
    if (lastTriggerCode_ == kI1Success) return;
    LogF(0, fn, "I1Error=%s", lastError());
    if (lastTriggerCode_ == kI1ScanTooFast || lastTriggerCode_ == kI1ScanTooSlow) {
        PostStatusCode(pMeasure, kStatusScanSpeed);
        Pause(kTriggerStatusDelayMs);
    } else if (lastTriggerCode_ == kI1StripNotRecognised || lastTriggerCode_ == kI1LineNotRecognised) {
        PostStatusCode(pMeasure, kStatusNotRecognised);
        Pause(kTriggerStatusDelayMs);
    }
    PostStatusCode(pMeasure, MEASURE_STATUS_PASS_FAILED);
    // Let the key notification of this press finish before the failure sounds.
    try {
        KeyThread->WaitRequest(kTriggerKeyThreadWait);
    } catch (const std::exception& e) {
        LogF(0, fn, "catch(%s)", e.what());
    }
    throw exEYE_ONE_LIB_PRO(fn);
}

void clEYE_ONE_PRO::SetSubstrate() {
    // The calibration's white is the substrate: results are absolute.
    float white[kI1SpectrumBands];
    for (float& v : white) v = 1.0f;
    if (sdk().SetSubstrate(device(), white) != kI1Success) {
        LogF(0, "clEYE_ONE_PRO::SetSubstrate", "I1Error=%s", lastError());
        throw exEYE_ONE_LIB_PRO("clEYE_ONE_PRO::SetSubstrate");
    }
}

void clEYE_ONE_PRO::Calibrate(const char* function) {
    if (sdk().Calibrate(device()) != kI1Success) {
        LogF(0, function, "I1Error=%s", lastError());
        throw exEYE_ONE_CALIBRATION(function);
    }
}

void clEYE_ONE_PRO::SingleCalibrate() {
    if (calibratedSingle.load()) return;
    Calibrate("clEYE_ONE_PRO::SingleCalibrate");
    if (!emission()) SetSubstrate();
    xBeepSuccess(framework::SuccessBeep::Immediate);
    calibratedSingle = true;
}

void clEYE_ONE_PRO::MultiCalibrate() {
    if (calibratedMulti.load()) return;
    {
        // A stop or close must not cut the SDK's calibration short.
        BusyScope busyScope(*this);
        Calibrate("clEYE_ONE_PRO::MultiCalibrate");
        SetSubstrate();
        xBeepSuccess(framework::SuccessBeep::Immediate);
    }
    calibratedMulti = true;
}

// ---------------------------------------------------------------------------
// Options

void clEYE_ONE_PRO::ColorimetricOptions(bool emissive) {
    SetOption("Colorimetric.Illumination", emissive ? "Emission" : "D50");
    SetOption("Colorimetric.Observer", "TwoDegree");
    SetOption("Colorimetric.WhiteBase", "Absolute");
}

void clEYE_ONE_PRO::ModeOptions(uint32_t mode, uint32_t highest) {
    struct ModeOption {
        const char* key;
        const char* value;
    };
    constexpr const char* kSpace = "ColorSpaceDescription.Type";
    constexpr const char* kDensity = "Colorimetric.DensityStandard";
    // By Mode; spectra (0, 1, 4) ask for nothing.
    static constexpr ModeOption kOptions[] = {
        {nullptr, nullptr}, {nullptr, nullptr}, {kSpace, "CIELab"},  {kSpace, "CIEXYZ"},
        {nullptr, nullptr}, {kDensity, "DIN"},  {kDensity, "DINNB"}, {kSpace, "LABmg"},
        {kSpace, "CIExyY"}, {kSpace, "CIEXYZ"}, {kSpace, "CIExyY"},
    };
    if (mode > highest || mode >= std::size(kOptions)) throw exEYE_ONE_LIB_PRO("default");
    if (kOptions[mode].key != nullptr) SetOption(kOptions[mode].key, kOptions[mode].value);
}

void clEYE_ONE_PRO::SpotOptions() {
    const uint32_t condition = word(&MEASURE2STRUCT::MeasurementCondition);
    if (emission()) {
        SetOption("MeasurementMode", "EmissionSpot");
    } else if (condition == MEASURE_CONDITION_M1 || condition == MEASURE_CONDITION_M2 ||
               word(&MEASURE2STRUCT::DualScan) == 1) {
        const bool dual = holds(GetOption("AvailableMeasurementModes"), "DualReflectanceSpot");
        SetOption("MeasurementMode", dual ? "DualReflectanceSpot" : "ReflectanceSpot");
    } else {
        SetOption("MeasurementMode", "ReflectanceSpot");
    }
    ColorimetricOptions(emission());
    ModeOptions(pMeasure->Mode & ~uint32_t(MEASURE_MODE_EMISSION), kLastSpotMode);
}

void clEYE_ONE_PRO::ScanOptions() {
    const uint32_t condition = word(&MEASURE2STRUCT::MeasurementCondition);
    if (word(&MEASURE2STRUCT::PositionRecognition) == 0) {
        setWord(&MEASURE2STRUCT::DualScan, 0);
        SetOption("MeasurementMode", "ReflectanceScan");
        SetOption("RecognitionKey", "RecognitionBasic");
    } else {
        if (condition == MEASURE_CONDITION_M1 || condition == MEASURE_CONDITION_M2 ||
            word(&MEASURE2STRUCT::DualScan) == 1) {
            const bool dual = holds(GetOption("AvailableMeasurementModes"), "DualReflectanceScan");
            setWord(&MEASURE2STRUCT::DualScan, dual ? 1 : 0);
            SetOption("MeasurementMode", dual ? "DualReflectanceScan" : "ReflectanceScan");
        } else {
            setWord(&MEASURE2STRUCT::DualScan, 0);
            SetOption("MeasurementMode", "ReflectanceScan");
        }
        if (holds(GetOption("AvailableRecognitionsKey"), "RecognitionPosition")) {
            SetOption("RecognitionKey", "RecognitionPosition");
            const int perLine = patchesPerPass + (word(&MEASURE2STRUCT::ReferencePatches) != 0 ? 2 : 0);
            SetOption("PatchesPerLine", std::to_string(perLine));
        } else {
            setWord(&MEASURE2STRUCT::PositionRecognition, 0);
            SetOption("RecognitionKey", "RecognitionBasic");
        }
    }
    SetOption("OnMeasurementSuccessNoLedIndication", "1");
    ColorimetricOptions(false);
    ModeOptions(pMeasure->Mode, MEASURE_MODE_DIN_16536_NARROW);
}

void clEYE_ONE_PRO::ChooseResultIndex() {
    const std::string offered = GetOption("AvailableResultIndexesKey");
    switch (word(&MEASURE2STRUCT::MeasurementCondition)) {
        case MEASURE_CONDITION_M0:
            if (holds(offered, "M0")) SetOption("ResultIndexKey", "M0");
            break;
        case MEASURE_CONDITION_M1:
            SetOption("ResultIndexKey", holds(offered, "M1") ? "M1" : "M0");
            break;
        case MEASURE_CONDITION_M2:
            SetOption("ResultIndexKey", holds(offered, "M2") ? "M2" : "M0");
            break;
        case MEASURE_CONDITION_M3:
            if (holds(offered, "Emissive")) SetOption("ResultIndexKey", "Emissive");
            break;
        default:
            SetOption("ResultIndexKey", "M0");
            break;
    }
}

void clEYE_ONE_PRO::ChooseOwnSegmentationResultIndex() {
    // The raw samples are compared with each other, so one fixed condition
    // serves every measurement condition.
    const std::string offered = GetOption("AvailableResultIndexesKey");
    SetOption("ResultIndexKey", !holds(offered, "M0") && holds(offered, "M2") ? "M2" : "M0");
}

// ---------------------------------------------------------------------------
// White calibration and spots

int clEYE_ONE_PRO::_WhiteCalibration() {
    const char* fn = "clEYE_ONE_PRO::_WhiteCalibration";
    PlanPasses();  // the scan calibration tells the SDK the patches per line
    calibratedSingle = false;
    calibratedMulti = false;
    PostStatusCode(pMeasure, MEASURE_STATUS_CALIBRATING);
    Log(3, fn, "single");
    SpotOptions();
    SingleCalibrate();
    if (stopped()) {
        Log(3, fn, "stopped");
        PostThreadEndMessage(pMeasure, MEASURE_END_STOPPED);
        return framework::kEndReported;
    }
    if (!emission()) {
        Log(3, fn, "multi");
        ScanOptions();
        MultiCalibrate();
    }
    Log(3, fn, "end OK");
    PostStatusCode(pMeasure, MEASURE_STATUS_IDLE);
    PostStatusCode(pMeasure, MEASURE_STATUS_CALIBRATION_DONE);
    return framework::kEndReported;
}

int clEYE_ONE_PRO::SingleMeasurement() {
    const char* fn = "clEYE_ONE_PRO::SingleMeasurement";
    PlanPasses();
    Log(1, fn, nullptr);
    PostStatusCode(pMeasure, MEASURE_STATUS_STARTED);
    FlushKey();
    Log(3, fn, "Set options");
    SpotOptions();
    if (stopped()) {
        PostThreadEndMessage(pMeasure, MEASURE_END_STOPPED);
        return framework::kEndReported;
    }
    if (!calibratedSingle.load()) {
        PostStatusCode(pMeasure, MEASURE_STATUS_CALIBRATING);
        SingleCalibrate();
    }
    const uint32_t trigger = word(&MEASURE2STRUCT::SingleTriggerMode);
    const uint32_t mode = pMeasure->Mode & ~uint32_t(MEASURE_MODE_EMISSION);
    do {
        // Without waiting for the button nothing else would notice a stop.
        if (stopped()) {
            PostThreadEndMessage(pMeasure, MEASURE_END_STOPPED);
            return framework::kEndReported;
        }
        PostStatusCode(pMeasure, MEASURE_STATUS_WAIT_USER);
        xBeepSuccess(framework::SuccessBeep::Delayed);
        if (trigger == 0 && !WaitKey()) {
            PostThreadEndMessage(pMeasure, MEASURE_END_STOPPED);
            return framework::kEndReported;
        }
        try {
            PostStatusCode(pMeasure, MEASURE_STATUS_IDLE);
            Log(3, fn, "trigger");
            TriggerMeasurement();
            Log(3, fn, "get sample");
            ChooseResultIndex();
            float spectrum[kI1SpectrumBands] = {};
            float values[kI1TristimulusValues] = {};
            float densities[kI1Densities] = {};
            switch (mode) {
                case 0:
                case 1:
                case 4:
                case 9:
                case 10:
                    GetSpectrum(spectrum, 0);
                    break;
                case 2:
                case 3:
                case 7:
                case 8:
                    GetTristimulus(values, 0);
                    break;
                case 5:
                case 6:
                    GetDensities(densities, 0);
                    break;
                default:
                    throw exEYE_ONE_LIB_PRO("default");
            }
            uint8_t* block = GetResultBlock(pMeasure);
            double bands[kI1SpectrumBands];
            for (int i = 0; i < kI1SpectrumBands; ++i) bands[i] = spectrum[i];
            switch (mode) {
                case 0:
                case 1: {
                    writeSpectrum(block, 0, bands);
                    framework::setSpectralCount(block, 1);
                    if (emission()) throw exEYE_ONE_LIB_PRO("default");
                    const int slot = NextDensitySlot(kSlotsFull);
                    if (!SpectrumToDensWORDS(pMeasure, slot, kSpectralHeader, bands, pMeasure->Mode))
                        throw exEYE_ONE_LIB_PRO("SpectrumToDensWORDS");
                    xBeepSuccess(framework::SuccessBeep::Immediate);
                    AnnounceDensitySlot(slot, false);
                    break;
                }
                case 2:
                case 3:
                case 7:
                case 8:
                    writeTriple(block, 0, values[0], values[1], values[2]);
                    framework::setTripleCount(block, 1);
                    LogF(3, fn, "XYZ[%u]=(%f, %f, %f)", 0u, values[0], values[1], values[2]);
                    xBeepSuccess(framework::SuccessBeep::Immediate);
                    PostMeasureData(pMeasure, 0, deliveredResult(block));
                    break;
                case 4:
                    writeSpectrum(block, 0, bands);
                    framework::setSpectralCount(block, 1);
                    xBeepSuccess(framework::SuccessBeep::Immediate);
                    PostMeasureData(pMeasure, 0, deliveredResult(block));
                    break;
                case 5:
                case 6: {
                    const int slot = NextDensitySlot(kSlotsFull);
                    StoreDensities(pMeasure, slot, densities[0], densities[1], densities[2], densities[3]);
                    xBeepSuccess(framework::SuccessBeep::Immediate);
                    AnnounceDensitySlot(slot, false);
                    break;
                }
                default: {  // 9, 10: the spectrum and its colour values
                    GetTristimulus(values, 0);
                    const double colour[3] = {values[0], values[1], values[2]};
                    writeSpectrum(block, 0, bands, colour);
                    framework::setSpectralCount(block, 1);
                    xBeepSuccess(framework::SuccessBeep::Immediate);
                    PostMeasureData(pMeasure, 0, deliveredResult(block));
                    break;
                }
            }
            if ((mode <= 1 || mode == 5 || mode == 6) && !usingExtendedRecord()) {
                // A host on the plain record takes one density result per request.
                Log(3, fn, "end old MEASURESTRUCT");
                PostStatusCode(pMeasure, MEASURE_STATUS_IDLE);
                PostThreadEndMessage(pMeasure, MEASURE_END_DONE);
                return framework::kEndReported;
            }
        } catch (const framework::CalibrationError&) {
            throw;
        } catch (const std::exception& e) {
            LogF(0, fn, "catch(%s)", e.what());
            xBeepFailure();
        } catch (...) {
            Log(0, fn, "catch(...)");
            xBeepFailure();
        }
    } while (trigger != 1);
    return MEASURE_END_DONE;
}

}  // namespace measure::i1pro
