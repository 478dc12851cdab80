#include "drivers/xrite/i1pro3/eye_one_pro3.h"

#include <exception>

#include "core/delivery.h"
#include "core/logger.h"
#include "core/record.h"
#include "drivers/xrite/i1_answers.h"

namespace measure::i1pro3 {

using namespace measure::xrite;

namespace {

// The i1Pro3: its own SDK library from version 1 on; only row 49 needs the
// indicator LED; the hardware revision decides nothing; the host plans the
// strips; the indicator shows success after every scan.
constexpr i1pro::EyeOneGeneration kI1Pro3{
    .className = "clEYE_ONE_PRO3",
    .unboundText = "!pEyeOnePro3",
    .sdk = I1Sdk::Pro3,
    .minimumSdkVersion = 1.0,
    .versionWarning = "Wrong version of i1Pro364.dll please update!",
    .ledRows = {21, 49},
    .revisionDecides = false,
    .knownCharts = false,
    .ownSegmentation = false,
    .succeededAfterEveryScan = true,
    .densityStrips = false,
};

constexpr int32_t kPortOfI1Pro = 11;
constexpr uint32_t kLastSpotMode = 10;
constexpr const char* kWrongCondition = "Wrong Illumination Condition";

// The device type each row takes: the i1Pro3 (SA) on 48 and 49, the
// i1Pro3+ (LA) on 50.
bool typeFitsRow(const std::string& type, uint32_t id) {
    if (id == 48 || id == 49) return type == "i1Pro3(SA)";
    if (id == 50) return type == "i1Pro3(LA)";
    return false;
}

}  // namespace

clEYE_ONE_PRO3::clEYE_ONE_PRO3(MEASURESTRUCT* record) : clEYE_ONE_PRO(record, kI1Pro3) {}

clEYE_ONE_PRO3::~clEYE_ONE_PRO3() {
    Disconnect();
}

void clEYE_ONE_PRO3::PublishAbilities() {
    setLastI1Record(pMeasure);
    std::string type;
    try {
        RunOnMeasureThread(
            [this, &type] {
                uint32_t MEASURE2STRUCT::*const bits = &MEASURE2STRUCT::OptionBits;
                setWord(bits,
                        word(bits) | i1Pro3AbilityBits([this](const char* key) { return GetOption(key); }));
                setWord(&MEASURE2STRUCT::SerialNumber, serialNumberFromText(GetOption("SerialNumber")));
                pMeasure->port = kPortOfI1Pro;
                type = GetOption("DeviceTypeKey");
            },
            kMeasureTimeout);
    } catch (const std::exception& e) {
        LogF(0, "OpenEyeOnePro3", "%s", e.what());
    } catch (...) {
        Log(0, "OpenEyeOnePro3", "catch ...");
    }
    if (!typeFitsRow(type, pMeasure->instrument)) {
        LogF(0, "OpenEyeOnePro3", "DeviceTypeKey=\"%s\" on ID %u", type.c_str(), pMeasure->instrument);
        PostStatusCode(pMeasure, MEASURE_STATUS_TABLE_REFUSED);
        fail("DeviceTypeKey");
    }
}

void clEYE_ONE_PRO3::RequireHostPlan() {
    if (usingExtendedRecord() && word(&MEASURE2STRUCT::NumPatchesPerLine) > 0) return;
    Log(0, qualified("StartMeasurement").c_str(), "a strip needs the host's NumPatchesPerLine");
    fail("no pass plan");
}

void clEYE_ONE_PRO3::WrongCondition() {
    LogF(0, qualified("Options").c_str(), "MeasurementCondition=%u",
         word(&MEASURE2STRUCT::MeasurementCondition));
    PostStatusCode(pMeasure, MEASURE_STATUS_MODE_UNSUITABLE);
    failCalibration(kWrongCondition);
}

void clEYE_ONE_PRO3::ScanOptions() {
    setWord(&MEASURE2STRUCT::DualScan, 0);
    const uint32_t condition = word(&MEASURE2STRUCT::MeasurementCondition);
    if (condition == MEASURE_CONDITION_M3)
        SetOption("MeasurementMode", "ReflectanceM3Scan");
    else if (condition <= MEASURE_CONDITION_M2)
        SetOption("MeasurementMode", "ReflectanceScan");
    else
        WrongCondition();
    if (word(&MEASURE2STRUCT::PositionRecognition) != 0) {
        SetOption("RecognitionKey", "RecognitionPositionDark");
        const int perLine = patchesPerPass + (word(&MEASURE2STRUCT::ReferencePatches) != 0 ? 2 : 0);
        SetOption("PatchesPerLine", std::to_string(perLine));
    } else {
        SetOption("RecognitionKey", "RecognitionBasic");
    }
    SetOption("OnMeasurementSuccessNoLedIndication", "1");
    ColorimetricOptions(false);
    ModeOptions(pMeasure->Mode, MEASURE_MODE_DIN_16536_NARROW);
}

void clEYE_ONE_PRO3::SpotSetup() {
    const uint32_t condition = word(&MEASURE2STRUCT::MeasurementCondition);
    const bool emissionOffered =
        emission() && listNames(GetOption("AvailableMeasurementModes"), "EmissionSpot");
    if (emissionOffered)
        SetOption("MeasurementMode", "EmissionSpot");
    else if (condition == MEASURE_CONDITION_M3)
        SetOption("MeasurementMode", "ReflectanceM3Spot");
    else if (condition <= MEASURE_CONDITION_M2)
        SetOption("MeasurementMode", "ReflectanceSpot");
    else
        WrongCondition();
    ColorimetricOptions(emissionOffered);
    ModeOptions(pMeasure->Mode & ~uint32_t(MEASURE_MODE_EMISSION), kLastSpotMode);
}

void clEYE_ONE_PRO3::ChooseResultIndex() {
    const uint32_t condition = word(&MEASURE2STRUCT::MeasurementCondition);
    static const char* const kIndexes[] = {"M0", "M1", "M2", "M3"};
    const char* index = condition <= MEASURE_CONDITION_M3 ? kIndexes[condition]
                        : condition == kConditionEmissive ? "Emissive"
                                                          : nullptr;
    if (index == nullptr) WrongCondition();
    if (listNames(GetOption("AvailableResultIndexesKey"), index)) SetOption("ResultIndexKey", index);
}

void clEYE_ONE_PRO3::DeliverSpot(uint32_t mode, const char* function) {
    // Spots deliver colour values and spectra; the density forms fail the spot.
    if (mode <= 1 || mode == 5 || mode == 6) fail("default");
    I1Driver::DeliverSpot(mode, function);
}

}  // namespace measure::i1pro3
