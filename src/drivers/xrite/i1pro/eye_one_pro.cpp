#include "drivers/xrite/i1pro/eye_one_pro.h"

#include <cstdlib>
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

// The i1Pro and i1Pro2: the SDK from version 2 on; the rows for the QRV
// SP-200 and the i1Pro2 need an indicator LED and take i1Pro2-generation
// instruments.
constexpr EyeOneGeneration kI1Pro{
    .className = "clEYE_ONE_PRO",
    .unboundText = "!pEyeOnePro",
    .sdk = I1Sdk::Pro,
    .minimumSdkVersion = 2.0,
    .versionWarning = "Wrong version of EyeOne.dll / Ocellus.dll, please update!",
    .ledRows = {21, 22},
    .revisionDecides = true,
    .knownCharts = true,
    .ownSegmentation = true,
    .succeededAfterEveryScan = false,
    .densityStrips = true,
};
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
constexpr uint32_t kTriggerStatusDelayMs = 20;

// Status codes the i1Pro posts when a scan trigger fails: the strip was
// drawn too fast or too slowly, or it was not recognised.
constexpr int32_t kStatusScanSpeed = 33;
constexpr int32_t kStatusNotRecognised = 34;

}  // namespace

// ---------------------------------------------------------------------------
// Construction and connection

clEYE_ONE_PRO::clEYE_ONE_PRO(MEASURESTRUCT* record) : clEYE_ONE_PRO(record, kI1Pro) {}

clEYE_ONE_PRO::clEYE_ONE_PRO(MEASURESTRUCT* record, const EyeOneGeneration& generation)
    : I1Driver(record, generation.className, kMeasureTimeout, generation.unboundText, generation.sdk),
      generation_(generation),
      multi_(qualified("MultiMeasurement")) {}

bool clEYE_ONE_PRO::isLedRow(uint32_t id) const {
    return id == generation_.ledRows[0] || id == generation_.ledRows[1];
}

clEYE_ONE_PRO::~clEYE_ONE_PRO() {
    Disconnect();
}

void clEYE_ONE_PRO::ThreadConstructor() {
    const std::string name = qualified("ThreadConstructor");
    const char* fn = name.c_str();
    connected = false;
    try {
        BindSdk(fn);
        sdk().RegisterTableExtensions();
        CheckSdkVersion(fn, generation_.minimumSdkVersion, generation_.versionWarning);
        // The pass-through exports hold the instrument through the other library.
        if (which_ == I1Sdk::Pro3) releasePassThrough();

        const I1_DeviceHandle handle = AcquireDevice(fn);
        ledAllowed_ = true;

        uint32_t status = sdk().GetConnectionStatus(handle);
        if (status == kI1StatusClosed) {
            const I1_ResultType result = OpenDevice(handle, fn);
            if (result != kI1Success) {
                LogF(0, fn, "%sOpenDevice()=%u I1Error=%s", sdkPrefix(), result, lastError());
                fail("not valid");
            }
            status = sdk().GetConnectionStatus(handle);
        }
        if (status != kI1StatusOpen) fail("not valid");

        connected = true;
        const uint32_t id = pMeasure->instrument;
        if (GetOption("HasIndicatorLed") == "0") {
            if (isLedRow(id)) connected = false;
            ledAllowed_ = false;
        }
        const std::string revision = GetOption("HWRevision");
        if (generation_.revisionDecides && !revision.empty() && revision[0] > 'D' && !isLedRow(id) &&
            word(&MEASURE2STRUCT::ModelCheckOverride) != kModelCheckOverride)
            connected = false;
    } catch (...) {
        connected = false;
        Log(0, fn, "catch(...)");
    }
}

void clEYE_ONE_PRO::ThreadDestructor() {
    CloseDevice();
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

void clEYE_ONE_PRO::TriggerMeasurement() {
    const std::string name = qualified("TriggerMeasurement");
    const char* fn = name.c_str();
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
    fail(fn);
}

// ---------------------------------------------------------------------------
// Options

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

void clEYE_ONE_PRO::ChooseOwnSegmentationResultIndex() {
    // The raw samples are compared with each other, so one fixed condition
    // serves every measurement condition.
    const std::string offered = GetOption("AvailableResultIndexesKey");
    SetOption("ResultIndexKey", !holds(offered, "M0") && holds(offered, "M2") ? "M2" : "M0");
}

// ---------------------------------------------------------------------------
// White calibration and spots

void clEYE_ONE_PRO::SpotSetup() {
    SpotOptions(kLastSpotMode);
}

int clEYE_ONE_PRO::_WhiteCalibration() {
    const std::string name = qualified("_WhiteCalibration");
    const char* fn = name.c_str();
    PlanPasses(generation_.knownCharts);  // the scan calibration tells the SDK the patches per line
    calibratedSingle = false;
    calibratedMulti = false;
    PostStatusCode(pMeasure, MEASURE_STATUS_CALIBRATING);
    Log(3, fn, "single");
    SpotSetup();
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
    const std::string name = qualified("SingleMeasurement");
    const char* fn = name.c_str();
    PlanPasses(generation_.knownCharts);
    Log(1, fn, nullptr);
    PostStatusCode(pMeasure, MEASURE_STATUS_STARTED);
    FlushKey();
    Log(3, fn, "Set options");
    SpotSetup();
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
            DeliverSpot(mode, fn);
            if ((mode <= 1 || mode == 5 || mode == 6) && !usingExtendedRecord()) {
                // A host on the plain record takes one density result per request.
                Log(3, fn, "end old MEASURESTRUCT");
                PostStatusCode(pMeasure, MEASURE_STATUS_IDLE);
                PostThreadEndMessage(pMeasure, MEASURE_END_DONE);
                return framework::kEndReported;
            }
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
