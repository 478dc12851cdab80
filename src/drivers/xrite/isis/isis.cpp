#include "drivers/xrite/isis/isis.h"

#include <algorithm>
#include <mutex>
#include <string>

#include "color/layout_text.h"
#include "color/spectral.h"
#include "core/delivery.h"
#include "core/logger.h"
#include "core/record.h"
#include "drivers/xrite/isis/isis_layout.h"

namespace measure::isis {

using namespace measure::xrite;

namespace {

constexpr const char* kClass = "clISIS";
constexpr uint32_t kXlInstrument = 27;
// The SDK's "LastError" is handed on at most this long.
constexpr size_t kLongestThrownText = 31;
constexpr int32_t kStatusPaperOut = 13;
constexpr int32_t kStatusPrescan = 12;
constexpr int32_t kStatusPaperInserted = 14;

std::mutex processMutex;
std::string processSerial;
std::atomic<MEASURESTRUCT*> processRecord{nullptr};

}  // namespace

std::string isisSerialNumber() {
    std::lock_guard lock(processMutex);
    return processSerial;
}

void setIsisSerialNumber(const std::string& serial) {
    std::lock_guard lock(processMutex);
    // The host's copy is a buffer of 256 bytes.
    processSerial = serial.substr(0, 255);
}

MEASURESTRUCT* lastIsisRecord() {
    return processRecord.load();
}

void setLastIsisRecord(MEASURESTRUCT* record) {
    processRecord.store(record);
}

// ---------------------------------------------------------------------------
// Construction and connection

clISIS::clISIS(MEASURESTRUCT* record) : Driver(record, kClass, kMeasureTimeout, kConnectWait) {}

clISIS::~clISIS() {
    Disconnect();
}

void clISIS::ThreadConstructor() {
    static const char* const fn = "clISIS::ThreadConstructor";
    connected = false;
    try {
        sdk_ = std::make_unique<IsisLibrary>();
        const std::string version = sdk_->option("Version");
        LogF(3, fn, "Version=\"%s\"", version.c_str());
        if (leadingNumber(version) < 1) {
            Log(0, fn, "Wrong version of EyeOne_iSis.dll, please update!");
            return;
        }
        const int32_t code = sdk_->IsConnected();
        if (code != kIsisSuccess) {
            LogF(0, fn, "ISIS_IsConnected()=%s", sdk_->errorText(code).c_str());
            return;
        }
        connected = true;
        LogF(3, fn, "Serial Number=\"%s\"", sdk_->option("SerialNumber").c_str());
    } catch (...) {
        Log(0, fn, "catch(...)");
    }
}

const IsisLibrary& clISIS::sdk() const {
    if (!sdk_) throw exISIS_LIB("not valid");
    return *sdk_;
}

std::string clISIS::Option(const char* key) const {
    return sdk().option(key);
}

void clISIS::SetOption(const char* key, const std::string& value) const {
    const int32_t code = sdk().SetOption(key, value.c_str());
    if (code != kIsisSuccess)
        LogF(0, qualified("SetOption").c_str(), "%s=%s: %s", key, value.c_str(),
             sdk().errorText(code).c_str());
}

// ---------------------------------------------------------------------------
// The layout parameter file

namespace {

// Reads the file and gives the reader its layout: one of the kLayout codes.
int ISIS_SetParametersFromFile(const IsisLibrary& sdk, const char* path) {
    try {
        std::string text;
        if (!loadLayoutText(path, text)) return kLayoutFileMissing;
        std::vector<LayoutOption> options;
        const int result = parseIsisLayout(text, options);
        if (result != kLayoutRead) return result;
        for (const auto& option : options) sdk.SetOption(option.key.c_str(), option.value.c_str());
        return kLayoutRead;
    } catch (...) {
        Log(0, "ISIS_SetParametersFromFile", "catch ...");
        return kLayoutFailed;
    }
}

}  // namespace

void clISIS::SetParameterFile(const char* path) {
    const int result = ISIS_SetParametersFromFile(sdk(), path);
    if (result == kLayoutRead) return;
    PostStatusCode(pMeasure, MEASURE_STATUS_PARAMETER_FILE_REFUSED);
    if (result == kLayoutFileMissing) throw exISIS_LIB("Parameter file not found");
    if (result == kLayoutWrong) throw exISIS_LIB("Wrong parameter file");
    LogF(0, qualified("SetParameterFile").c_str(), "Parameter file: errcode=%d end", result);
    throw exISIS_LIB("Parameter file open fail");
}

// ---------------------------------------------------------------------------
// Stop and failures

void clISIS::StopMeasurement() {
    const bool reset = measuring.load();
    Log(5, qualified("StopMeasurement").c_str(), reset ? "reset" : nullptr);
    requestStop();
    if (reset && sdk_) {
        // The SDK's chart measurement returns only once the reader is reset;
        // the sheet is handed back with it.
        sdk_->SetOption("Reset", "All");
        sdk_->ReleasePaper();
    }
    Driver::StopMeasurement();
    measuring = false;
}

void clISIS::ThrowIfStopped() const {
    if (stopped()) throw exISIS_LIB(kStopped);
}

void clISIS::RequestFailed(const framework::RequestFailure& failure) {
    if (failure.kind != framework::RequestFailure::Kind::Library) {
        Driver::RequestFailed(failure);
        if (failure.kind == framework::RequestFailure::Kind::Calibration)
            PostStatusCode(pMeasure, MEASURE_STATUS_CALIBRATION_FAILED);
        return;
    }
    LogF(0, failure.function.c_str(), "catch(%s)", failure.text.c_str());
    xBeepFailure();
    PostStatusCode(pMeasure, MEASURE_STATUS_IDLE);
    PostThreadEndMessage(pMeasure, MEASURE_END_FAILED);
    // The chart did not come through: the host may offer it again.
    PostStatusCode(pMeasure, MEASURE_STATUS_PASS_FAILED);
}

void clISIS::xBeepStop() {
    xBeepSuccess(framework::SuccessBeep::Immediate);
}

// ---------------------------------------------------------------------------
// Shared steps of the jobs

void clISIS::SetupChart() {
    const std::string fn = qualified("SetupChart");
    Log(3, fn.c_str(), "Set Parameter File");
    const MEASURE2STRUCT* e = extendedOrNull(pMeasure);
    SetParameterFile(e != nullptr ? e->pszParameterFile : nullptr);
    Log(3, fn.c_str(), "Set options");
    SetOption("Colorimetric.Illumination", "D50");
    SetOption("Colorimetric.Observer", "TwoDegree");
    SetOption("Colorimetric.DensityStandard", "ANSIA");
    SetOption("ChartType", "0");
    // The XL model, and M2 (behind the UV cut filter), measure in one pass
    // without the reader's second illumination.
    const bool singlePass = pMeasure->instrument == kXlInstrument ||
                            word(&MEASURE2STRUCT::MeasurementCondition) == MEASURE_CONDITION_M2;
    SetOption("MeasurementFlow", singlePass ? "0" : "1");
    SetOption("IlluminationMode", singlePass ? "0" : "1");
    sdk().PrepareChart(0);
}

clISIS::PaperWait clISIS::WaitPaper(int32_t whileStatus, int32_t status, int posts, int polls,
                                    int32_t& last) {
    for (int poll = 1;; ++poll) {
        last = sdk().ChartStatus();
        if (last != whileStatus) return PaperWait::Changed;
        if (poll <= posts) PostStatusCode(pMeasure, status);
        if (polls > 0 && poll >= polls) return PaperWait::TimedOut;
        if (!Pause(kPaperPollMs)) return PaperWait::Stopped;
    }
}

void clISIS::RepeatSheet() {
    // A reader that fails at once (gone from the bus) is not asked again
    // faster than the paper is polled.
    Pause(kPaperPollMs);
}

void clISIS::WriteIlluminationCondition() {
    const uint32_t bits = word(&MEASURE2STRUCT::OptionBits);
    const char* condition = "M0";
    switch (word(&MEASURE2STRUCT::MeasurementCondition)) {
        case MEASURE_CONDITION_M0:
            if ((bits & opM0Mode) == 0) return;
            break;
        case MEASURE_CONDITION_M1:
            if ((bits & opM1Mode) != 0) condition = "M1";
            break;
        case MEASURE_CONDITION_M2:
            if ((bits & opM2Mode) != 0) condition = "M2";
            break;
        default:
            break;
    }
    SetOption("IlluminationCondition", condition);
}

void clISIS::ReadSheet(int patches) {
    const std::string fn = qualified("ReadSheet");
    const uint32_t mode = pMeasure->Mode;
    if (mode != MEASURE_MODE_CIE_XYZ && mode != MEASURE_MODE_SPECTRAL) throw exISIS_LIB("default");
    const int rows = static_cast<int>(leadingNumber(Option("NumberOfRows")));
    const int columns = static_cast<int>(leadingNumber(Option("NumberOfColumns")));
    const bool byColumn = word(&MEASURE2STRUCT::ColumnOrder) == 1;
    uint8_t* block = framework::GetResultBlock(pMeasure);
    if (block == nullptr) throw exISIS_LIB("no result block");

    // Only patches this sheet holds, and only as many as the block takes.
    int count = std::max(patches, 0);
    const int64_t onSheet = static_cast<int64_t>(std::max(rows, 0)) * std::max(columns, 0);
    if (count > onSheet) {
        LogF(0, fn.c_str(), "%d patches, the sheet holds %d x %d", count, rows, columns);
        count = static_cast<int>(onSheet);
    }
    const uint64_t capacity = resultCapacity(block);
    if (static_cast<uint64_t>(count) > capacity) {
        LogF(0, fn.c_str(), "%d patches, the result block holds %llu", count,
             static_cast<unsigned long long>(capacity));
        count = static_cast<int>(capacity);
    }

    float bands[kIsisSpectrumBands];
    double spectrum[kIsisSpectrumBands];
    for (int i = 0; i < count; ++i) {
        const int row = byColumn ? i % rows : i / columns;
        const int column = byColumn ? i / rows : i % columns;
        const int32_t code = sdk().GetSpectrum(bands, row, column);
        if (code != kIsisSuccess) {
            LogF(0, fn.c_str(), "GetSpectrum(%d, %d)=%s", row, column, sdk().errorText(code).c_str());
            throw exISIS_LIB(sdk().errorText(code));
        }
        std::copy(bands, bands + kIsisSpectrumBands, spectrum);
        const auto patch = static_cast<uint64_t>(i);
        if (mode == MEASURE_MODE_CIE_XYZ) {
            double xyz[3] = {};
            SpectrumToXYZ(xyz, kSpectralHeader, spectrum);
            LogF(5, fn.c_str(), "XYZ[%u]=(%f, %f, %f)", static_cast<unsigned>(i), xyz[0], xyz[1], xyz[2]);
            writeTriple(block, patch, xyz[0], xyz[1], xyz[2]);
        } else {
            writeSpectrum(block, patch, spectrum);
        }
    }
    const bool counted = mode == MEASURE_MODE_CIE_XYZ
                             ? writeTripleCount(block, static_cast<uint64_t>(count))
                             : writeSpectralCount(block, static_cast<uint64_t>(count));
    if (!counted) throw exISIS_LIB("results do not fit the block");
    PostMeasureData(pMeasure, 0, deliveredResult(block));
}

// ---------------------------------------------------------------------------
// The jobs

int clISIS::MultiMeasurement() {
    const std::string fn = qualified("MultiMeasurement");
    Log(1, fn.c_str(), nullptr);
    PostStatusCode(pMeasure, MEASURE_STATUS_STARTED);
    sdk().ReleasePaper();
    SetupChart();

    const SheetPlan plan =
        planSheets(pMeasure->NumOfPatchesToRead, word(&MEASURE2STRUCT::NumPatchesPerChart));
    for (int sheet = 1; sheet <= plan.sheets;) {
        PostPageno(pMeasure, sheet);
        const int patches = plan.patchesOf(sheet - 1);
        if (sheet == plan.sheets) {
            const int columns = static_cast<int>(leadingNumber(Option("NumberOfColumns")));
            SetOption("NumberOfRows", std::to_string(rowsFor(patches, columns)));
        }

        // The sheet before must have left the reader.
        int32_t status = 0;
        PaperWait wait = WaitPaper(0, kStatusPaperOut, 1, kPaperPolls, status);
        if (wait == PaperWait::TimedOut) {
            LogF(0, fn.c_str(), "ISIS Paper remove Error=%s", sdk().errorText(status).c_str());
            RepeatSheet();
            continue;
        }
        ThrowIfStopped();
        xBeepStop();

        // The user feeds the next one.
        wait = WaitPaper(kIsisNoChart, kStatusPaperInserted, 2, kPaperPolls, status);
        if (wait == PaperWait::TimedOut) {
            LogF(0, fn.c_str(), "ISIS Paper insert Error=%s", sdk().errorText(status).c_str());
            Log(0, fn.c_str(), "Timout after 20 seconds");
            RepeatSheet();
            continue;
        }
        ThrowIfStopped();

        PostStatusCode(pMeasure, kStatusPrescan);
        int32_t code = sdk().Prescan();
        if (code != kIsisSuccess) {
            LogF(0, fn.c_str(), "ISIS Prescan Error=%s", sdk().errorText(code).c_str());
            RepeatSheet();
            continue;
        }
        PostStatusCode(pMeasure, MEASURE_STATUS_KEY_PRESSED);
        measuring = true;
        code = sdk().MeasureChart(1);
        measuring = false;
        ThrowIfStopped();
        if (code != kIsisSuccess) {
            LogF(0, fn.c_str(), "ISIS Measurement Error=%s", sdk().errorText(code).c_str());
            RepeatSheet();
            continue;
        }
        PostStatusCode(pMeasure, MEASURE_STATUS_IDLE);
        WriteIlluminationCondition();
        ReadSheet(patches);
        sdk().ReleasePaper();
        DoubleBeep(kSecondBeepMs);
        ++sheet;
    }
    PostStatusCode(pMeasure, MEASURE_STATUS_IDLE);
    PostThreadEndMessage(pMeasure, MEASURE_END_DONE);
    sdk().ReleasePaper();
    return framework::kEndReported;
}

int clISIS::SimpleMultiMeasurement() {
    const std::string fn = qualified("SimpleMultiMeasurement");
    Log(1, fn.c_str(), nullptr);
    SetupChart();
    ThrowIfStopped();

    const SheetPlan plan =
        planSheets(pMeasure->NumOfPatchesToRead, word(&MEASURE2STRUCT::NumPatchesPerChart));
    const auto index = static_cast<int>(word(&MEASURE2STRUCT::ChartPageIndex));
    int patches = plan.perSheet;
    if (index + 1 == plan.sheets) {
        patches = plan.last;
        // The pass plan's patches per pass are the chart's columns; without
        // one, the reader's.
        const int columns =
            patchesPerPass > 0 ? patchesPerPass : static_cast<int>(leadingNumber(Option("NumberOfColumns")));
        if (index != 0) SetOption("NumberOfRows", std::to_string(rowsFor(patches, columns)));
    }
    sdk().ChartStatus();

    // The SDK's own words of a failure, as short as the host shows them.
    const auto lastError = [this] { return Option("LastError").substr(0, kLongestThrownText); };
    PostStatusCode(pMeasure, kStatusPrescan);
    int32_t code = sdk().Prescan();
    if (code != kIsisSuccess) {
        LogF(0, fn.c_str(), "ISIS Prescan Error=%s", sdk().errorText(code).c_str());
        throw exISIS_LIB(lastError());
    }
    PostStatusCode(pMeasure, MEASURE_STATUS_KEY_PRESSED);
    measuring = true;
    code = sdk().MeasureChart(1);
    measuring = false;
    if (code != kIsisSuccess) {
        LogF(0, fn.c_str(), "ISIS Measurement Error=%s", sdk().errorText(code).c_str());
        throw exISIS_LIB(lastError());
    }
    ThrowIfStopped();
    PostStatusCode(pMeasure, MEASURE_STATUS_IDLE);
    WriteIlluminationCondition();
    ReadSheet(patches);
    PostStatusCode(pMeasure, MEASURE_STATUS_IDLE);
    PostThreadEndMessage(pMeasure, MEASURE_END_DONE);
    sdk().ReleasePaper();
    DoubleBeep(kSecondBeepMs);
    return framework::kEndReported;
}

int clISIS::StartInsertPaper() {
    const std::string fn = qualified("StartInsertPaper");
    // This job tells the host only by its statuses: no failure ends it with
    // a thread end.
    try {
        PostStatusCode(pMeasure, MEASURE_STATUS_PAPER_INSERT_START);
        sdk().ReleasePaper();
        int32_t status = 0;
        WaitPaper(0, kStatusPaperOut, 1, 0, status);
        ThrowIfStopped();
        xBeepStop();
        WaitPaper(kIsisNoChart, kStatusPaperInserted, 1, 0, status);
        ThrowIfStopped();
        PostStatusCode(pMeasure, MEASURE_STATUS_PAPER_IN_PLACE);
        xBeepSuccess(framework::SuccessBeep::Immediate);
    } catch (const std::exception& e) {
        LogF(0, fn.c_str(), "catch(%s)", e.what());
    } catch (...) {
        Log(0, fn.c_str(), "catch(...)");
    }
    return framework::kEndReported;
}

}  // namespace measure::isis
