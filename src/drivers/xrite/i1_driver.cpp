#include "drivers/xrite/i1_driver.h"

#include "drivers/xrite/i1_answers.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "color/spectral.h"
#include "core/delivery.h"
#include "core/logger.h"
#include "core/record.h"
#include "platform/clock.h"

namespace measure::xrite {

const char* const kSlotsFull = "density slots full";

namespace {

// The SDK lets a closed device settle before the next open.
constexpr uint32_t kCloseSettleMs = 200;

struct ChartPlan {
    int32_t patches;
    int passes;
};
// Strips (or rows) of the charts the host gives no plan for.
constexpr ChartPlan kKnownCharts[] = {{15, 1}, {52, 4}, {120, 8}, {154, 7}, {260, 10}, {330, 15}};

}  // namespace

bool holds(const std::string& text, const char* item) {
    return text.find(item) != std::string::npos;
}

I1Driver::I1Driver(MEASURESTRUCT* record, const char* className, uint32_t measureTimeout,
                   const char* unboundText, I1Sdk which)
    : Driver(record, className, measureTimeout), which_(which), unboundText_(unboundText) {}

const char* I1Driver::sdkPrefix() const {
    return which_ == I1Sdk::Pro ? "I1_" : "I1PRO3_";
}

// ---------------------------------------------------------------------------
// Connection

void I1Driver::BindSdk(const char* fn) {
    std::string failure;
    sdk_ = I1Library::acquire(which_, failure);
    if (!sdk_) {
        LogF(0, fn, "%s", failure.c_str());
        fail("not valid");
    }
}

I1_DeviceHandle I1Driver::AcquireDevice(const char* fn) {
    I1_DeviceHandle handle = sharedI1Handle(which_);
    if (handle == nullptr) {
        I1_DeviceHandle* devices = nullptr;
        uint32_t count = 0;
        sdk().GetDevices(&devices, &count);
        if (count == 0 || devices == nullptr) {
            LogF(0, fn, "%sGetDevices()=%s", sdkPrefix(), lastError());
            fail("not valid");
        }
        handle = devices[0];
    }
    setSharedI1Handle(which_, handle);
    device_ = handle;
    return handle;
}

void I1Driver::CheckSdkVersion(const char* fn, double minimum, const char* warning) {
    const char* version = sdk().GetGlobalOptionD("SDKVersion");
    LogF(1, fn, "Version=\"%s\"", version != nullptr ? version : "");
    double number = 0;
    if (!sdkVersionNumber(version, number) || number < minimum) Log(0, fn, warning);
}

bool I1Driver::PollKey() {
    const uint32_t status = sdk().GetButtonStatusD(device());
    if (status == kI1ButtonPressed) return true;
    if (status != kI1ButtonNotPressed) LogF(0, qualified("WaitKey").c_str(), "I1Error=%s", lastError());
    return false;
}

I1_ResultType I1Driver::OpenDevice(I1_DeviceHandle handle, const char* fn) {
    I1_ResultType result = sdk().OpenDevice(handle);
    const bool held =
        result == kI1DeviceHeldByOtherLibrary || (which_ == I1Sdk::Pro3 && result == kI1DeviceInUse);
    if (!held) return result;
    // The other library holds the instrument: make it let go.
    std::string otherFailure;
    if (auto other = I1Library::acquire(which_ == I1Sdk::Pro ? I1Sdk::Pro3 : I1Sdk::Pro, otherFailure)) {
        I1_DeviceHandle* devices = nullptr;
        uint32_t count = 0;
        other->GetDevices(&devices, &count);
        if (count > 0 && devices != nullptr) {
            other->CloseDevice(devices[0]);
            other->RegisterDeviceEventHandler(nullptr, nullptr);
            other->SetGlobalOption("Reset", "All");
            result = sdk().OpenDevice(handle);
        }
    } else {
        LogF(0, fn, "%s", otherFailure.c_str());
    }
    return result;
}

void I1Driver::CloseDevice() noexcept {
    try {
        const I1_DeviceHandle handle = device_.exchange(nullptr);
        if (handle == nullptr || !sdk_) return;
        sdk_->CloseDevice(handle);
        sdk_->RegisterDeviceEventHandler(nullptr, nullptr);
        platform::sleepMs(kCloseSettleMs);
        setSharedI1Handle(which_, nullptr);
    } catch (...) {
        Log(0, qualified("ThreadDestructor").c_str(), "catch(...)");
    }
}

// ---------------------------------------------------------------------------
// SDK calls

const I1Library& I1Driver::sdk() const {
    if (!sdk_) fail(unboundText_);
    return *sdk_;
}

const char* I1Driver::lastError() {
    const std::string text = sdk_ ? sdk_->lastErrorText() : std::string();
    std::snprintf(errorText_, sizeof errorText_, "%s", text.c_str());
    return errorText_;
}

std::string I1Driver::GetOption(const char* key) {
    char buffer[kI1TextBufferSize] = {};
    uint32_t size = sizeof buffer;
    if (sdk().GetOption(device(), key, buffer, &size) != kI1Success) {
        LogF(0, qualified("GetOption").c_str(), "%s I1Error=%s", key, lastError());
        fail(key);
    }
    buffer[sizeof buffer - 1] = '\0';
    return buffer;
}

void I1Driver::SetOption(const char* key, const std::string& value) {
    // An instrument without indicator LED never hears of it.
    if (!ledAllowed_.load() && std::strcmp(key, "IndicatorLedKey") == 0) return;
    if (sdk().SetOption(device(), key, value.c_str()) != kI1Success) {
        LogF(0, qualified("SetOption").c_str(), "%s=%s I1Error=%s", key, value.c_str(), lastError());
        fail(key);
    }
}

void I1Driver::SetLedQuietly(const char* state) noexcept {
    try {
        SetOption("IndicatorLedKey", state);
    } catch (...) {
        // Already logged; the failure being reported matters more.
    }
}

void I1Driver::GetSpectrum(float* spectrum36, uint32_t index) {
    if (sdk().GetSpectrum(device(), spectrum36, index) != kI1Success) {
        LogF(0, qualified("GetSpectrum").c_str(), "I1Error=%s", lastError());
        fail(qualified("GetSpectrum"));
    }
}

void I1Driver::GetTristimulus(float* values3, uint32_t index) {
    if (sdk().GetTriStimulus(device(), values3, index) != kI1Success) {
        LogF(0, qualified("GetTristimulus").c_str(), "I1Error=%s", lastError());
        fail(qualified("GetTristimulus"));
    }
}

void I1Driver::GetDensities(float* densities4, uint32_t index) {
    if (sdk().GetDensities(device(), densities4, nullptr, index) != kI1Success) {
        LogF(0, qualified("GetDensities").c_str(), "I1Error=%s", lastError());
        fail(qualified("GetDensities"));
    }
}

int I1Driver::GetNumberOfAvailableSamples() {
    return sdk().GetNumberOfAvailableSamples(device());
}

void I1Driver::SetSubstrate() {
    // The calibration's white is the substrate: results are absolute.
    float white[kI1SpectrumBands];
    for (float& v : white) v = 1.0f;
    if (sdk().SetSubstrate(device(), white) != kI1Success) {
        LogF(0, qualified("SetSubstrate").c_str(), "I1Error=%s", lastError());
        fail(qualified("SetSubstrate"));
    }
}

void I1Driver::Calibrate(const char* function) {
    if (sdk().Calibrate(device()) != kI1Success) {
        LogF(0, function, "I1Error=%s", lastError());
        failCalibration(function);
    }
}

void I1Driver::SingleCalibrate() {
    if (calibratedSingle.load()) return;
    Calibrate(qualified("SingleCalibrate").c_str());
    if (!emission()) SetSubstrate();
    xBeepSuccess(framework::SuccessBeep::Immediate);
    calibratedSingle = true;
}

void I1Driver::MultiCalibrate() {
    if (calibratedMulti.load()) return;
    {
        BusyScope busyScope(*this);
        Calibrate(qualified("MultiCalibrate").c_str());
        SetSubstrate();
        xBeepSuccess(framework::SuccessBeep::Immediate);
    }
    calibratedMulti = true;
}

// ---------------------------------------------------------------------------
// Options

void I1Driver::ColorimetricOptions(bool emissive) {
    SetOption("Colorimetric.Illumination", emissive ? "Emission" : "D50");
    SetOption("Colorimetric.Observer", "TwoDegree");
    SetOption("Colorimetric.WhiteBase", "Absolute");
}

void I1Driver::ModeOptions(uint32_t mode, uint32_t highest) {
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
    if (mode > highest || mode >= std::size(kOptions)) fail("default");
    if (kOptions[mode].key != nullptr) SetOption(kOptions[mode].key, kOptions[mode].value);
}

void I1Driver::SpotOptions(uint32_t highestMode) {
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
    ModeOptions(pMeasure->Mode & ~uint32_t(MEASURE_MODE_EMISSION), highestMode);
}

void I1Driver::ChooseResultIndex() {
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

// ---------------------------------------------------------------------------
// Spot delivery

void I1Driver::DeliverSpot(uint32_t mode, const char* fn) {
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
            fail("default");
    }
    uint8_t* block = GetResultBlock(pMeasure);
    double bands[kI1SpectrumBands];
    for (int i = 0; i < kI1SpectrumBands; ++i) bands[i] = spectrum[i];
    switch (mode) {
        case 0:
        case 1: {
            writeSpectrum(block, 0, bands);
            framework::setSpectralCount(block, 1);
            if (emission()) fail("default");
            const int slot = NextDensitySlot(kSlotsFull);
            if (!SpectrumToDensWORDS(pMeasure, slot, kSpectralHeader, bands, pMeasure->Mode))
                fail("SpectrumToDensWORDS");
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
}

// ---------------------------------------------------------------------------
// Pass plan and density delivery

void I1Driver::PlanPasses(bool knownCharts) {
    if (passesSpecified) return;
    const int32_t total = pMeasure->NumOfPatchesToRead;
    passes = 1;
    if (!knownCharts) {
        patchesPerPass = total;
        return;
    }
    const auto known = std::find_if(std::begin(kKnownCharts), std::end(kKnownCharts),
                                    [&](const ChartPlan& c) { return c.patches == total; });
    if (known != std::end(kKnownCharts))
        passes = known->passes;
    else
        Log(0, qualified("StartMeasurement").c_str(), "Error: default!");
    patchesPerPass = total / passes;
}

void I1Driver::DeliverDensities(int n, const char* fn) {
    const bool spectra = pMeasure->Mode <= 1;
    uint8_t* block = GetResultBlock(pMeasure);
    for (int i = 0; i < n; ++i) {
        const bool send = i < n - 1;
        const int slot = NextDensitySlot(kSlotsFull);
        if (spectra) {
            float spectrum[kI1SpectrumBands];
            GetSpectrum(spectrum, static_cast<uint32_t>(i));
            double bands[kI1SpectrumBands];
            std::copy(spectrum, spectrum + kI1SpectrumBands, bands);
            writeSpectrum(block, static_cast<uint64_t>(i), bands);
            if (!SpectrumToDensWORDS(pMeasure, slot, kSpectralHeader, bands, pMeasure->Mode))
                fail("SpectrumToDensWORDS");
        } else {
            LogF(3, fn, "%d DIN/DINNB GetDensities", i);
            float densities[kI1Densities];
            GetDensities(densities, static_cast<uint32_t>(i));
            StoreDensities(pMeasure, slot, densities[0], densities[1], densities[2], densities[3]);
        }
        AnnounceDensitySlot(slot, send);
    }
    if (!spectra) Log(3, fn, "loop done");
}

void I1Driver::WriteSample(uint8_t* block, uint64_t patch, uint32_t sample, bool spectral) {
    if (spectral) {
        float s[kI1SpectrumBands];
        GetSpectrum(s, sample);
        double bands[kI1SpectrumBands];
        std::copy(s, s + kI1SpectrumBands, bands);
        writeSpectrum(block, patch, bands);
    } else {
        float v[kI1TristimulusValues];
        GetTristimulus(v, sample);
        LogF(5, qualified("MultiMeasurement").c_str(), "XYZ[%u]=(%f, %f, %f)", static_cast<unsigned>(patch),
             v[0], v[1], v[2]);
        writeTriple(block, patch, v[0], v[1], v[2]);
    }
}

}  // namespace measure::xrite
