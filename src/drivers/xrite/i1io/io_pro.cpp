#include "drivers/xrite/i1io/io_pro.h"

#include "drivers/xrite/i1_answers.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "core/delivery.h"
#include "core/logger.h"
#include "core/record.h"

namespace measure::i1io {

using namespace measure::xrite;

namespace {

constexpr const char* kClass = "clIO_PRO";
// The SDK version from which the table calls exist.
constexpr double kMinimumSdkVersion = 4.0;
constexpr int32_t kPortOfI1Pro = 11;
// Where the head waits for the user at the start of a registration or of
// aimed spots, in table millimetres.
constexpr float kStartX = 110.5f;
constexpr float kStartY = 120.5f;
// The head's aperture sits half a millimetre off the visor's cross along a
// row: the first patches' corners move right, the last patch's left.
constexpr float kCornerCorrection = 0.5f;
// A patch shorter than this cannot be read along a row.
constexpr double kMinimumPitch = 6.0;
constexpr uint32_t kSecondBeepAfterCornersMs = 150;
constexpr uint32_t kSecondBeepAfterChartMs = 80;
constexpr uint32_t kSettleBeforeScanMs = 1000;
constexpr uint32_t kFailureShowMs = 1000;
constexpr uint32_t kAimSettleMs = 1000;

std::string text(const char* format, double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

}  // namespace

clIO_PRO::clIO_PRO(MEASURESTRUCT* record) : clIO_PRO(record, kClass, "!pIOPro", I1Sdk::Pro) {}

clIO_PRO::clIO_PRO(MEASURESTRUCT* record, const char* className, const char* unboundText, I1Sdk which)
    : I1Driver(record, className, kMeasureTimeout, unboundText, which) {}

clIO_PRO::~clIO_PRO() {
    Disconnect();
}

// ---------------------------------------------------------------------------
// Connection

void clIO_PRO::ThreadConstructor() {
    const std::string name = qualified("ThreadConstructor");
    const char* fn = name.c_str();
    connected = false;
    try {
        BindSdk(fn);
        if (sdk().RegisterTableExtensions() != kI1Success) {
            LogF(0, fn, "I1_RegisterTableExtensions I1Error=%s", lastError());
            return;
        }
        CheckSdkVersion(fn, kMinimumSdkVersion, "Wrong version of i1Pro.dll please update!");

        const I1_DeviceHandle handle = AcquireDevice(fn);
        ledAllowed_ = true;
        SeatOnTable(sdk().GetConnectionStatus(handle), fn);
    } catch (...) {
        connected = false;
        Log(0, fn, "catch(...)");
    }
}

void clIO_PRO::SeatOnTable(uint32_t status, const char* fn) {
    if (status == kI1StatusClosed || status == kI1StatusClosedElsewhere) {
        // The table answers only a device opened after its extensions.
        sdk().RegisterTableExtensions();
        const I1_ResultType result = OpenDevice(device(), fn);
        if (result != kI1Success) {
            LogF(0, fn, "%sOpenDevice()=%u I1Error=%s", sdkPrefix(), result, lastError());
            fail("not valid");
        }
        status = sdk().GetConnectionStatus(device());
    }
    if (status == kI1StatusOpenOnTable)
        connected = true;
    else
        Log(0, fn, "i1Pro is not connected to an iO");
}

void clIO_PRO::ThreadDestructor() {
    CloseDevice();
}

void clIO_PRO::PublishAbilities() {
    int32_t tableSerial = 0;
    RunOnMeasureThread(
        [this, &tableSerial] {
            uint32_t MEASURE2STRUCT::*const bits = &MEASURE2STRUCT::OptionBits;
            auto add = [&](uint32_t bit) { setWord(bits, word(bits) | bit); };
            add(opSingleMeasurementOption);
            setWord(&MEASURE2STRUCT::SerialNumber, serialNumberFromText(GetOption("SerialNumber")));
            const std::string modes = GetOption("AvailableMeasurementModes");
            if (holds(modes, "DualReflectanceScan")) add(opDualScanOption);
            if (holds(modes, "DualReflectanceSpot")) add(opDualSpotOption);
            const std::string illuminations = GetOption("AvailableIlluminationsKey");
            if (holds(illuminations, "M0")) add(opM0Mode);
            if (holds(illuminations, "M1")) add(opM1Mode);
            if (holds(illuminations, "M2")) add(opM2Mode);
            const std::string filter = GetOption("HasUVcutFilter");
            TableOption("EnableElectrostaticFoil", true);
            if (holds(filter, "1")) add(opUVCutOption);
            const std::string revision = GetOption("HWRevision");
            if (!revision.empty() && revision[0] > 'D') add(opLowResolution);
            pMeasure->port = kPortOfI1Pro;
            tableSerial = static_cast<int32_t>(
                std::min<uint32_t>(serialNumberFromText(GetOption("I1T_SerialNumber")), INT32_MAX));
        },
        kMeasureTimeout);
    if (tableSerial < kFirstTableSerial) {
        LogF(0, "OpenIOPro", "I1T_SerialNumber=%d", tableSerial);
        PostStatusCode(pMeasure, MEASURE_STATUS_TABLE_REFUSED);
        fail("table serial number");
    }
    setWord(&MEASURE2STRUCT::OptionBits, word(&MEASURE2STRUCT::OptionBits) | opi1i02isConnected);
    setLastI1Record(pMeasure);
}

void clIO_PRO::ReleaseFoil() noexcept {
    const I1_DeviceHandle handle = device();
    if (handle != nullptr && sdk_) sdk_->SetOption(handle, tableKey("EnableElectrostaticFoil").c_str(), "0");
}

void clIO_PRO::RequestFailed(const framework::RequestFailure& failure) {
    if (failure.kind != framework::RequestFailure::Kind::Calibration) {
        Driver::RequestFailed(failure);
        return;
    }
    LogF(0, failure.function.c_str(), "calibration catch(%s)", failure.text.c_str());
    xBeepFailure();
    PostThreadEndMessage(pMeasure, MEASURE_END_CALIBRATION_FAILED);
    PostStatusCode(pMeasure, MEASURE_STATUS_CALIBRATION_FAILED);
}

// ---------------------------------------------------------------------------
// Table calls

void clIO_PRO::SetPosition(float x, float y) {
    const I1_Point p{x, y};
    if (sdk().SetPosition(device(), &p) != kI1Success) {
        LogF(0, qualified("SetPosition").c_str(), "(%.1f, %.1f) I1Error=%s", x, y, lastError());
        fail(qualified("SetPosition"));
    }
}

I1_Point clIO_PRO::GetPosition() {
    I1_Point p{};
    if (sdk().GetPosition(device(), &p) != kI1Success) {
        LogF(0, qualified("GetPosition").c_str(), "I1Error=%s", lastError());
        fail(qualified("GetPosition"));
    }
    return p;
}

void clIO_PRO::MoveHome() {
    if (sdk().MoveToHomePosition(device()) != kI1Success) {
        LogF(0, qualified("MoveToHomePosition").c_str(), "I1Error=%s", lastError());
        fail(qualified("MoveToHomePosition"));
    }
}

std::string clIO_PRO::tableKey(const char* name) const {
    return std::string(which_ == I1Sdk::Pro ? "I1T_" : "I1PRO3T_") + name;
}

void clIO_PRO::TableOption(const char* name, bool on) {
    SetOption(tableKey(name).c_str(), on ? "1" : "0");
}

void clIO_PRO::AcceptLed() noexcept {
    const I1_DeviceHandle handle = device();
    if (handle != nullptr && sdk_) sdk_->SetOption(handle, "IndicatorLedKey", "IndicatorLedIOPositionAccept");
}

void clIO_PRO::TriggerMeasurement() {
    if (sdk().TriggerMeasurement(device()) != kI1Success) {
        LogF(0, qualified("TriggerMeasurement").c_str(), "I1Error=%s", lastError());
        fail(qualified("TriggerMeasurement"));
    }
}

void clIO_PRO::Park() {
    MoveHome();
    TableOption("EnableElectrostaticFoil", false);
    TableOption("HoldPosition", false);
}

// ---------------------------------------------------------------------------
// Options

void clIO_PRO::ScanOptions(bool chart) {
    const uint32_t condition = word(&MEASURE2STRUCT::MeasurementCondition);
    const bool dualOffered = holds(GetOption("AvailableMeasurementModes"), "DualReflectanceScan");
    if (condition == MEASURE_CONDITION_M1 || condition == MEASURE_CONDITION_M2 ||
        word(&MEASURE2STRUCT::DualScan) == 1) {
        setWord(&MEASURE2STRUCT::DualScan, dualOffered ? 1 : 0);
        SetOption("MeasurementMode", dualOffered ? "DualReflectanceScan" : "ReflectanceScan");
    } else {
        setWord(&MEASURE2STRUCT::DualScan, 0);
        SetOption("MeasurementMode", "ReflectanceScan");
    }
    if (!dualOffered) SetOption("RecognitionKey", "RecognitionBasic");
    if (!chart) return;
    // The table recognises the patches itself with an i1Pro2 head.
    if (word(&MEASURE2STRUCT::OwnSegmentation) != 0 &&
        (word(&MEASURE2STRUCT::OptionBits) & opLowResolution) != 0)
        SetOption("RecognitionKey", "RecognitionPosition");
    const std::string length = text("%f", pitch);
    if (pitch > 0) {
        SetOption("I1T_PatchLength", length);
        SetOption("I1T_ScanSpeed", GetOption("I1T_SuggestedMaxScanSpeed"));
    }
    const int perLine = patchesPerPass + (word(&MEASURE2STRUCT::ReferencePatches) != 0 ? 2 : 0);
    SetOption("PatchesPerLine", std::to_string(perLine));
    ColorimetricOptions(false);
    SetOption("OnMeasurementSuccessNoLedIndication", "1");
    const uint32_t mode = pMeasure->Mode;
    if (mode == MEASURE_MODE_CIE_LAB) fail("default");
    ModeOptions(mode, MEASURE_MODE_DIN_16536_NARROW);
}

// ---------------------------------------------------------------------------
// Corner registration

int32_t clIO_PRO::PatchesPerSheet() const {
    const int32_t perChart = word(&MEASURE2STRUCT::NumPatchesPerChart);
    return perChart < 1 ? pMeasure->NumOfPatchesToRead : perChart;
}

int clIO_PRO::SheetRows(int32_t perChart) const {
    if (perChart >= 1 && perChart < pMeasure->NumOfPatchesToRead && patchesPerPass > 0)
        return perChart / patchesPerPass;
    return passes;
}

void clIO_PRO::RegistrationStart() {
    TableOption("EnableElectrostaticFoil", true);
    TableOption("HoldPosition", false);
    SetPosition(kStartX, kStartY);
    TableOption("HoldPosition", false);
    TableOption("IsVisorCoordinate", true);
}

clIO_PRO::Registration clIO_PRO::Corners(const char* fn) {
    const auto corner = [&](int32_t status, I1_Point& into) {
        PostStatusCode(pMeasure, status);
        if (!WaitKey()) return false;
        into = GetPosition();
        AcceptLed();
        return true;
    };
    if (!corner(MEASURE_STATUS_CORNER_1, A)) return Registration::Stopped;
    A.x += kCornerCorrection;
    xBeepSuccess(framework::SuccessBeep::Immediate);
    if (rowsOfSheet_ < 2) {
        C = A;  // one row: its first patch is the first of the last row too
    } else {
        if (!corner(MEASURE_STATUS_CORNER_2, C)) return Registration::Stopped;
        xBeepSuccess(framework::SuccessBeep::Immediate);
        C.x += kCornerCorrection;
    }
    if (!corner(MEASURE_STATUS_CORNER_3, D)) return Registration::Stopped;
    D.x -= kCornerCorrection;
    DoubleBeep(kSecondBeepAfterCornersMs);
    if (rowsOfSheet_ < 2)
        B = D;
    else
        B = {A.x + (D.x - C.x), A.y + (D.y - C.y)};

    // A one-column chart has no pitch, and fails the check below.
    pitch = patchesPerPass > 1 ? std::fabs(D.x - C.x) / (patchesPerPass - 1) : 0.0;
    const int32_t gapX = word(&MEASURE2STRUCT::GapX);
    const double gapMm = std::trunc(gapX / 1000.0);
    if (gapX > 0) pitch -= gapMm;
    LogF(2, fn, "A=(%.1f, %.1f) C=(%.1f, %.1f) D=(%.1f, %.1f) pitch=%f", A.x, A.y, C.x, C.y, D.x, D.y, pitch);
    const bool gapTooLarge = pitch / 5 < gapMm;
    const bool patchTooSmall = pitch < kMinimumPitch;
    if (gapTooLarge) Log(0, "Error", "Gap to large");
    if (patchTooSmall) Log(0, "Error", "Patch to small");
    if (gapTooLarge || patchTooSmall) {
        PostStatusCode(pMeasure, MEASURE_STATUS_PASS_FAILED);
        xBeepFailure();
        Pause(kFailureShowMs);
        Park();
        return Registration::Failed;
    }
    PostStatusCode(pMeasure, MEASURE_STATUS_CORNERS_DONE);
    return Registration::Good;
}

int clIO_PRO::RegisterCorners() {
    const std::string name = qualified("RegisterCorner");
    const char* fn = name.c_str();
    PlanPasses();
    Log(1, fn, nullptr);
    rowsOfSheet_ = SheetRows(word(&MEASURE2STRUCT::NumPatchesPerChart));
    RegistrationStart();
    // The job ends with status 23 or, when the corners do not fit, status 4;
    // only a stop ends it with a thread end.
    if (Corners(fn) == Registration::Stopped) PostThreadEndMessage(pMeasure, MEASURE_END_STOPPED);
    return framework::kEndReported;
}

// ---------------------------------------------------------------------------
// Chart scans

I1_ResultType clIO_PRO::ScanSheet() {
    TableOption("IsVisorCoordinate", false);
    Pause(kSettleBeforeScanMs);  // a stop is answered by the first row callback
    PostStatusCode(pMeasure, MEASURE_STATUS_WAIT_USER);
    PostStatusCode(pMeasure, MEASURE_STATUS_KEY_PRESSED);
    SetOption(tableKey("ScanChartGapSize").c_str(), text("%.1f", word(&MEASURE2STRUCT::GapX) / 1000.0));
    // A chart lying with its first row below its last is read from B: each
    // row then runs from its last patch to its first.
    I1_Point corners[3];
    if (A.y <= C.y) {
        reversed_ = false;
        corners[0] = A, corners[1] = C, corners[2] = D;
    } else {
        reversed_ = true;
        corners[0] = B, corners[1] = D, corners[2] = C;
    }
    rowFailure_ = nullptr;
    const I1_ResultType result =
        sdk().ScanChart(device(), corners, static_cast<uint32_t>(std::max(rowsOfSheet_, 0)),
                        static_cast<uint32_t>(patchesPerPass), nullptr, &ScanRowEndCallback_, this);
    if (rowFailure_) std::rethrow_exception(rowFailure_);
    return result;
}

int clIO_PRO::MultiMeasurement() {
    const std::string name = qualified("MultiMeasurement");
    const char* fn = name.c_str();
    PlanPasses();
    if (passes < 1 || patchesPerPass < 1) fail("default");
    const int32_t toRead = pMeasure->NumOfPatchesToRead;
    const int32_t perChart = PatchesPerSheet();
    rowsOfSheet_ = SheetRows(perChart);
    const int sheets = (toRead + perChart - 1) / perChart;
    rowsDelivered_ = 0;
    lastRowMarker_ = toRead % patchesPerPass + 1;

    Log(1, fn, nullptr);
    PostStatusCode(pMeasure, MEASURE_STATUS_STARTED);
    FlushKey();
    Log(3, fn, "Set options");
    TableOption("EnableElectrostaticFoil", true);
    ScanOptions(true);
    PostStatusCode(pMeasure, MEASURE_STATUS_CALIBRATING);
    MultiCalibrate();
    xBeepSuccess(framework::SuccessBeep::Immediate);
    PostStatusCode(pMeasure, MEASURE_STATUS_WAIT_USER);

    for (int sheet = 1; sheet <= sheets; ++sheet) {
        SetPosition(kStartX, kStartY);
        TableOption("HoldPosition", false);
        TableOption("IsVisorCoordinate", true);
        PostPageno(pMeasure, sheet);
        const Registration registration = Corners(fn);
        if (registration == Registration::Stopped) {
            PostThreadEndMessage(pMeasure, MEASURE_END_STOPPED);
            return framework::kEndReported;
        }
        if (registration == Registration::Good && ScanSheet() == kI1ScanCancelled) {
            PostThreadEndMessage(pMeasure, MEASURE_END_STOPPED);
            Park();
            return framework::kEndReported;
        }
        const int32_t left = toRead - sheet * perChart;
        rowsOfSheet_ =
            left < perChart ? (left + patchesPerPass - 1) / patchesPerPass : perChart / patchesPerPass;
    }
    PostStatusCode(pMeasure, MEASURE_STATUS_IDLE);
    PostThreadEndMessage(pMeasure, MEASURE_END_DONE);
    Park();
    DoubleBeep(kSecondBeepAfterChartMs);
    return framework::kEndReported;
}

int clIO_PRO::SimpleMultiMeasurement() {
    const std::string name = qualified("SimpleMultiMeasurement");
    const char* fn = name.c_str();
    PlanPasses();
    if (passes < 1 || patchesPerPass < 1) fail("default");
    const int32_t toRead = pMeasure->NumOfPatchesToRead;
    const int32_t perChart = PatchesPerSheet();
    const int sheets = (toRead + perChart - 1) / perChart;
    const int index = static_cast<int>(word(&MEASURE2STRUCT::ChartPageIndex));
    const auto roundUp = [&](int32_t patches) { return (patches + patchesPerPass - 1) / patchesPerPass; };
    if (index < sheets - 1) {
        rowsOfSheet_ = perChart / patchesPerPass;
    } else {
        const int32_t left = toRead - perChart * index;
        rowsOfSheet_ = left < perChart ? roundUp(left) : roundUp(perChart);
    }
    // The pass numbers and the count cut go on from the earlier sheets.
    rowsDelivered_ = index * (perChart / patchesPerPass);
    lastRowMarker_ = toRead % patchesPerPass + 1;

    Log(1, fn, nullptr);
    PostStatusCode(pMeasure, MEASURE_STATUS_STARTED);
    ScanOptions(true);
    const I1_ResultType scanned = ScanSheet();
    if (failsSimpleScan(scanned)) {
        LogF(0, fn, "%sScanChart()=%u I1Error=%s", sdkPrefix(), scanned, lastError());
        fail(std::string(sdkPrefix()) + "ScanChart failed");
    }
    if (scanned == kI1ScanCancelled) {
        PostThreadEndMessage(pMeasure, MEASURE_END_STOPPED);
        Park();
        return framework::kEndReported;
    }
    PostStatusCode(pMeasure, MEASURE_STATUS_IDLE);
    PostThreadEndMessage(pMeasure, MEASURE_END_DONE);
    Park();
    DoubleBeep(kSecondBeepAfterChartMs);
    return framework::kEndReported;
}

uint32_t clIO_PRO::ScanRowEndCallback_(void* context, uint32_t /*row*/) noexcept {
    auto* self = static_cast<clIO_PRO*>(context);
    if (self == nullptr) return kI1ScanCancelled;
    try {
        return self->RowEnd();
    } catch (...) {
        // Failures must not cross the SDK: the chart ends, the scan rethrows.
        self->rowFailure_ = std::current_exception();
        return kI1ScanCancelled;
    }
}

uint32_t clIO_PRO::RowEnd() {
    const std::string name = qualified("ScanRowEndCallback_");
    const char* fn = name.c_str();
    int n = GetNumberOfAvailableSamples();
    if (n != patchesPerPass) {
        LogF(2, fn, "%d samples of %d", n, patchesPerPass);
        return stopped() ? kI1ScanCancelled : kI1RowIncomplete;
    }
    ++rowsDelivered_;
    PostPassno(pMeasure, rowsDelivered_);
    PostStatusCode(pMeasure, MEASURE_STATUS_IDLE);
    ChooseResultIndex();
    const uint32_t mode = pMeasure->Mode;
    switch (mode) {
        case 0:
        case 1:
        case 5:
        case 6:
            DeliverDensities(n, fn);
            break;
        case 3:
        case 4: {
            uint8_t* block = GetResultBlock(pMeasure);
            const auto sampleOf = [&](int i) { return static_cast<uint32_t>(reversed_ ? n - 1 - i : i); };
            for (int i = 0; i < n; ++i) WriteSample(block, static_cast<uint64_t>(i), sampleOf(i), mode == 4);
            const int64_t covered = int64_t(patchesPerPass) * rowsDelivered_;
            if (pMeasure->NumOfPatchesToRead < covered && n == patchesPerPass)
                n -= static_cast<int>(covered - pMeasure->NumOfPatchesToRead);
            if (rowsDelivered_ == rowsOfSheet_ && n == lastRowMarker_) n -= 1;
            n = std::max(n, 0);
            if (mode == 4)
                framework::setSpectralCount(block, static_cast<uint64_t>(n));
            else
                framework::setTripleCount(block, static_cast<uint64_t>(n));
            PostMeasureData(pMeasure, 0, deliveredResult(block));
            break;
        }
        default:
            fail("default");
    }
    PostPassEnd(pMeasure, static_cast<uint32_t>(patchesPerPass));
    return stopped() ? kI1ScanCancelled : 0;
}

// ---------------------------------------------------------------------------
// White calibration and aimed spots

int clIO_PRO::_WhiteCalibration() {
    const std::string name = qualified("_WhiteCalibration");
    const char* fn = name.c_str();
    PlanPasses();
    calibratedSingle = false;
    calibratedMulti = false;
    PostStatusCode(pMeasure, MEASURE_STATUS_CALIBRATING);
    if (!emission()) {
        Log(3, fn, "multi");
        ScanOptions(false);
        MultiCalibrate();
    }
    Log(3, fn, "end OK");
    PostStatusCode(pMeasure, MEASURE_STATUS_IDLE);
    PostStatusCode(pMeasure, MEASURE_STATUS_CALIBRATION_DONE);
    return framework::kEndReported;
}

void clIO_PRO::SpotSetup() {
    SpotOptions(MEASURE_MODE_DIN_16536_NARROW);
}

int clIO_PRO::SingleMeasurement() {
    const std::string name = qualified("SingleMeasurement");
    const char* fn = name.c_str();
    Log(1, fn, nullptr);
    PostStatusCode(pMeasure, MEASURE_STATUS_STARTED);
    FlushKey();
    SpotSetup();
    if (stopped()) {
        PostThreadEndMessage(pMeasure, MEASURE_END_STOPPED);
        return framework::kEndReported;
    }
    PostStatusCode(pMeasure, MEASURE_STATUS_CALIBRATING);
    SpotSetup();
    SingleCalibrate();
    xBeepSuccess(framework::SuccessBeep::Immediate);
    TableOption("EnableElectrostaticFoil", true);
    TableOption("IsVisorCoordinate", false);
    SetPosition(kStartX, kStartY);

    const uint32_t mode = pMeasure->Mode & ~uint32_t(MEASURE_MODE_EMISSION);
    for (;;) {
        PostStatusCode(pMeasure, MEASURE_STATUS_WAIT_USER);
        TableOption("HoldPosition", false);  // the user moves the head freely
        if (!WaitKey()) break;
        AcceptLed();
        xBeepSuccess(framework::SuccessBeep::Immediate);
        if (!Pause(kAimSettleMs)) break;
        // Where the visor points, the aperture goes.
        TableOption("IsVisorCoordinate", true);
        const I1_Point aimed = GetPosition();
        TableOption("IsVisorCoordinate", false);
        SetPosition(aimed.x, aimed.y);
        TableOption("IsVisorCoordinate", true);
        TableOption("HoldPosition", true);
        PostStatusCode(pMeasure, MEASURE_STATUS_IDLE);
        TriggerMeasurement();
        ChooseResultIndex();
        DeliverSpot(mode, fn);
        xBeepSuccess(framework::SuccessBeep::Immediate);
        // The visor back over the patch just measured.
        TableOption("IsVisorCoordinate", true);
        SetPosition(aimed.x, aimed.y);
    }
    MoveHome();
    PostThreadEndMessage(pMeasure, MEASURE_END_STOPPED);
    return framework::kEndReported;
}

}  // namespace measure::i1io
