#include "drivers/xrite/i1io3/io_pro3.h"

#include <exception>

#include "core/delivery.h"
#include "core/logger.h"
#include "core/record.h"
#include "drivers/xrite/i1_answers.h"
#include "platform/clock.h"

namespace measure::i1io3 {

using namespace measure::xrite;

namespace {

constexpr int32_t kPortOfI1Pro = 11;
constexpr uint32_t kResetSettleMs = 200;
constexpr const char* kWrongCondition = "Wrong Illumination Condition";

// The i1Pro3 (SA) on row 51, the i1Pro3+ (LA) on 52.
bool typeFitsRow(const std::string& type, uint32_t id) {
    if (id == 51) return type == "i1Pro3(SA)";
    if (id == 52) return type == "i1Pro3(LA)";
    return false;
}

}  // namespace

clIO_PRO3::clIO_PRO3(MEASURESTRUCT* record) : clIO_PRO(record, "clIO_PRO3", "!pIOPro3", I1Sdk::Pro3) {}

clIO_PRO3::~clIO_PRO3() {
    Disconnect();
}

uint32_t clIO_PRO3::Enumerate(const char* fn) {
    I1_DeviceHandle* devices = nullptr;
    uint32_t count = 0;
    sdk().GetDevices(&devices, &count);
    if (count == 0 || devices == nullptr) {
        LogF(0, fn, "I1PRO3_GetDevices()=%s", lastError());
        return 0;
    }
    device_ = devices[0];
    setSharedI1Pro3Handle(devices[0]);
    return sdk().GetConnectionStatus(devices[0]);
}

void clIO_PRO3::ThreadConstructor() {
    const std::string name = qualified("ThreadConstructor");
    const char* fn = name.c_str();
    connected = false;
    try {
        BindSdk(fn);
        releasePassThrough();
        uint32_t status = 0;
        if (I1_DeviceHandle shared = sharedI1Pro3Handle()) {
            device_ = shared;
            status = sdk().GetConnectionStatus(shared);
        } else if (sdk().RegisterTableExtensions() == kI1Success) {
            status = Enumerate(fn);
        } else {
            LogF(0, fn, "I1PRO3_RegisterTableExtensions I1Error=%s", lastError());
            return;
        }
        ledAllowed_ = true;
        if (status == kI1StatusOpen) {
            // Open as a hand-held instrument: closed, reset and taken again
            // with the table extensions, so that it opens as a table head.
            sdk().CloseDevice(device());
            sdk().RegisterDeviceEventHandler(nullptr, nullptr);
            sdk().SetGlobalOption("Reset", "All");
            platform::sleepMs(kResetSettleMs);
            status = sdk().RegisterTableExtensions() == kI1Success ? Enumerate(fn) : 0;
        }
        SeatOnTable(status, fn);
    } catch (...) {
        connected = false;
        Log(0, fn, "catch(...)");
    }
}

void clIO_PRO3::PublishAbilities() {
    std::string type;
    RunOnMeasureThread(
        [this, &type] {
            uint32_t MEASURE2STRUCT::*const bits = &MEASURE2STRUCT::OptionBits;
            setWord(bits, word(bits) | opSingleMeasurementOption |
                              i1Pro3ConditionBits([this](const char* key) { return GetOption(key); }));
            setWord(&MEASURE2STRUCT::SerialNumber, serialNumberFromText(GetOption("SerialNumber")));
            pMeasure->port = kPortOfI1Pro;
            type = GetOption("DeviceTypeKey");
        },
        kMeasureTimeout);
    if (!typeFitsRow(type, pMeasure->instrument)) {
        LogF(0, "OpenIOPro3", "DeviceTypeKey=\"%s\" on ID %u", type.c_str(), pMeasure->instrument);
        PostStatusCode(pMeasure, MEASURE_STATUS_TABLE_REFUSED);
        fail("not valid device");
    }
    setLastI1Record(pMeasure);
}

void clIO_PRO3::WrongCondition() {
    LogF(0, qualified("Options").c_str(), "MeasurementCondition=%u",
         word(&MEASURE2STRUCT::MeasurementCondition));
    PostStatusCode(pMeasure, MEASURE_STATUS_MODE_UNSUITABLE);
    failCalibration(kWrongCondition);
}

void clIO_PRO3::ScanOptions(bool /*chart*/) {
    setWord(&MEASURE2STRUCT::DualScan, 0);
    const uint32_t condition = word(&MEASURE2STRUCT::MeasurementCondition);
    if (condition == MEASURE_CONDITION_M3) {
        SetOption("MeasurementMode", "ReflectanceM3Scan");
        SetOption("RecognitionKey", "RecognitionPosition");
    } else if (condition <= MEASURE_CONDITION_M2) {
        SetOption("MeasurementMode", "ReflectanceScan");
        SetOption("RecognitionKey", "RecognitionPositionDark");
    } else {
        WrongCondition();
    }
    ColorimetricOptions(false);
    SetOption("OnMeasurementSuccessNoLedIndication", "1");
    // A chart scan delivers no CIELab: Mode 2 is not a scan mode here.
    if (pMeasure->Mode == MEASURE_MODE_CIE_LAB) fail("default");
    ModeOptions(pMeasure->Mode, MEASURE_MODE_DIN_16536_NARROW);
}

void clIO_PRO3::SpotSetup() {
    SetOption("MeasurementMode", "ReflectanceSpot");
    const uint32_t condition = word(&MEASURE2STRUCT::MeasurementCondition);
    if (condition == MEASURE_CONDITION_M3)
        SetOption("MeasurementMode", "ReflectanceM3Spot");
    else if (condition > MEASURE_CONDITION_M2)
        WrongCondition();
    ColorimetricOptions(false);
    ModeOptions(pMeasure->Mode & ~uint32_t(MEASURE_MODE_EMISSION), MEASURE_MODE_DIN_16536_NARROW);
}

bool clIO_PRO3::failsSimpleScan(I1_ResultType result) const {
    return result != kI1Success && result != kI1ScanCancelled;
}

}  // namespace measure::i1io3
