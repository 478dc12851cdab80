#include "drivers/spectroscan/spectroscan_driver.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "color/spectral.h"
#include "core/delivery.h"
#include "core/logger.h"
#include "core/record.h"
#include "drivers/spectroscan/spectroscan_entries.h"
#include "framework/driver_entries.h"
#include "platform/clock.h"
#include "platform/error_box.h"
#include "platform/message_window.h"

namespace measure::spectroscan {
namespace {

constexpr int kBaudRates[] = {9600, 57600, 28800, 19200};
constexpr int kStatusSheetHeld = 9;
// The table key is polled every 140 ms (the skeleton polls buttons every 100).
constexpr uint32_t kEnterKeyPollMs = 140;
constexpr uint32_t kInitPauseMs = 3000;
constexpr uint32_t kRetryPauseMs = 10;
constexpr int kMeasureAttempts = 4;
// After a failure in mid-measurement: let the instrument finish, then discard.
constexpr uint32_t kFinishCommandMs = 2000;
constexpr uint32_t kFinishDataMs = 10000;
constexpr uint32_t kAfterPurgeMs = 1000;
constexpr const char* kNotifyFail = "notify fail";

// Runs a job's body: MEASURE_END_DONE, or MEASURE_END_FAILED after logging
// the failed step as "catch %s" (or "catch ...").
template <class Body>
int guarded(const char* fn, Body&& body) {
    try {
        body();
        return MEASURE_END_DONE;
    } catch (const std::exception& e) {
        LogF(0, fn, "catch %s", e.what());
    } catch (...) {
        Log(0, fn, "catch ...");
    }
    return MEASURE_END_FAILED;
}

// Rows needed for `count` patches of `perRow`, in 64-bit arithmetic.
int rowsFor(int count, int perRow) {
    return static_cast<int>((static_cast<int64_t>(count) + perRow - 1) / perRow);
}

}  // namespace

// Probing four ports at four rates and resetting the table takes a few
// seconds; a table that answers and then falls silent costs a read timeout
// per query. Either way every read is bounded.
clGRETAG::clGRETAG(MEASURESTRUCT* record) : Driver(record, "clGRETAG", kWorkerTimeout, 120000) {}

clGRETAG::~clGRETAG() {
    Disconnect();
}

void clGRETAG::ThreadConstructor() {
    connected = Open();
}

void clGRETAG::ThreadDestructor() {
    Close();
}

// ---------------------------------------------------------------------------
// The command exchange.

bool clGRETAG::xSendCommand(const char* command, char* answer, size_t size, int totalWait) {
    static const char* const fn = "clGRETAG::xSendCommand";
    Lock lock = lockPort();
    if (size == 0) return false;
    answer[0] = '\0';
    if (stopped() && !cleanup_) {
        Log(1, fn, "STOP");
        return false;
    }
    if (command != nullptr && command[0] != '\0') {
        if (trace_) LogDump(5, fn, "Send", command);
        const auto length = static_cast<uint32_t>(std::strlen(command));
        if (port_.write(command, length) != static_cast<int32_t>(length)) {
            Log(0, fn, "write error");
            return false;
        }
    }
    int attempts = totalWait / std::max(portTimeout_, 1);
    const auto max = static_cast<uint32_t>(size - 1);
    for (;;) {
        const int32_t n = port_.read(answer, max, '\n');
        if (n < 0) {
            Log(0, fn, "read error");
            return false;
        }
        if (n > 0) {
            if (static_cast<uint32_t>(n) >= max) {
                answer[max] = '\0';
                Log(0, fn, "buffer overflow");
                return false;
            }
            answer[n] = '\0';
            if (trace_) LogDump(5, fn, "Recv", answer);
            return true;
        }
        answer[0] = '\0';
        if (stopped() && !cleanup_) {
            Log(1, fn, "STOP read timeout");
            return false;
        }
        if (totalWait == kWaitForever) continue;
        if (--attempts <= 0) {
            Log(1, fn, "read timeout");
            return false;
        }
    }
}

bool clGRETAG::xCommand(const std::string& command) {
    Lock lock = lockPort();
    return xSendCommand(command.c_str(), answer_, kAnswerSize, kPortTimeout) && shortAnswerOk(answer_);
}

bool clGRETAG::xTableCommand(const std::string& command) {
    Lock lock = lockPort();
    return xSendCommand(command.c_str(), answer_, kAnswerSize, kPortTimeout) && tableAnswerOk(answer_);
}

// ---------------------------------------------------------------------------
// Commands.

clGRETAG::Detected clGRETAG::DetectInstrument(int totalWait) {
    static const char* const fn = "clGRETAG::DetectInstrument";
    Lock lock = lockPort();
    if (!xQuery(command::kDetect, answer_, kAnswerSize, totalWait)) return Detected::NoAnswer;
    const Detection d = parseDetection(answer_);
    switch (d.result) {
        case Detection::Result::Found:
            return Detected::Found;
        case Detection::Result::MissingColon:
            Log(1, fn, "missing colon");
            return Detected::NotThere;
        default:
            LogF(1, fn, "scanf result is %d", d.count);
            return Detected::NotThere;
    }
}

bool clGRETAG::InitSpectoScan() {
    if (!xTableCommand(command::kInit)) return false;
    // The table homes its head and resets before it takes the next command.
    platform::sleepMs(kInitPauseMs);
    return true;
}

bool clGRETAG::SetHandshaking() {
    return xTableCommand(command::kHandshaking);
}

void clGRETAG::QueryDeviceData() {
    static const char* const fn = "clGRETAG::QueryDeviceData";
    Lock lock = lockPort();
    char info[kInfoSize];
    if (!xQuery(command::kDeviceData, info, sizeof info, kPortTimeout)) return;
    HeadIdentity head;
    const std::string failure = parseHeadIdentity(info, head);
    if (!failure.empty()) {
        Log(0, "clGRETAG::QueryDeviceData catch", failure.c_str());
        return;
    }
    LogF(5, fn, "Device name       %s", head.name.c_str());
    LogF(5, fn, "Device number     %d", head.deviceNumber);
    LogF(5, fn, "Article number    %s", head.article.c_str());
    LogF(5, fn, "Serial number     %d",
         static_cast<int>(static_cast<uint32_t>(head.serialLow) +
                          static_cast<uint32_t>(head.serialHigh) * 65536u));
    LogF(5, fn, "Software release  %s", head.release.c_str());
}

void clGRETAG::XYTableData() {
    static const char* const fn = "clGRETAG::XYTableData";
    Lock lock = lockPort();
    TableIdentity table;
    char info[kInfoSize];
    for (int k = 0; k < static_cast<int>(command::kTableData.size()); ++k) {
        // A query that gets no answer is skipped; a wrong answer ends the rest.
        if (!xQuery(command::kTableData[static_cast<size_t>(k)], info, sizeof info, kPortTimeout)) continue;
        const std::string failure = parseTableIdentity(info, k, table);
        if (!failure.empty()) {
            Log(0, "clGRETAG::QueryDeviceData catch", failure.c_str());
            break;
        }
    }
    LogF(5, fn, "Device name       %s", table.name.c_str());
    LogF(5, fn, "Article number    %s", table.article.c_str());
    LogF(5, fn, "Serial number     %d", table.serial);
    LogF(5, fn, "Production date   %02d.%02d.%02d", table.day, table.month, table.year);
    LogF(5, fn, "Software release  %s", table.release.c_str());
}

bool clGRETAG::SetMeasurementType() {
    return xCommand(command::kMeasurementType);
}

bool clGRETAG::SetColorimetricParam(int selector) {
    return xCommand(command::colorimetricParam(selector));
}

bool clGRETAG::SetMeasurementOutput() {
    static const char* const fn = "clGRETAG::SetMeasurementOutput";
    if (output_ != -1) return true;  // a channel is on: the head already answers
    const auto chosen = outputChannelForMode(pMeasure->Mode);
    if (!chosen) {
        Log(0, fn, "invalid mode");
        return false;
    }
    Log(3, fn, "clear");
    for (int channel = 0; channel <= 4; ++channel)
        if (channel != chosen->channel && !xCommand(command::measurementOutput(channel, 0))) return false;
    Log(3, fn, "set");
    if (!xCommand(command::measurementOutput(chosen->channel, chosen->parameter))) return false;
    output_ = chosen->channel;
    return true;
}

bool clGRETAG::ResetMeasurementOutput() {
    const bool ok = xCommand(command::measurementOutput(output_, 0));
    if (ok) output_ = -1;
    return ok;
}

bool clGRETAG::PerformMeasurement() {
    return xCommand(command::kPerformMeasurement);
}

bool clGRETAG::PerformWhiteMeasurement() {
    Lock lock = lockPort();
    return xSendCommand(command::kWhiteMeasurement, answer_, kAnswerSize, kPortTimeout) &&
           whiteAnswerOk(answer_);
}

bool clGRETAG::MoveAbsXY(int flag, int x, int y, int* scanError) {
    Lock lock = lockPort();
    if (xTableCommand(command::moveAbsXY(flag, x, y))) return true;
    if (scanError != nullptr) *scanError = scanErrorType(answer_);
    return false;
}

bool clGRETAG::MoveAndMeasure(int x, int y) {
    return xSendCommand(command::moveAndMeasure(x, y).c_str(), data_.data(), data_.size(), kPortTimeout);
}

bool clGRETAG::GetLastDigitizedPos(int& x, int& y) {
    Lock lock = lockPort();
    if (!xQuery(command::kLastDigitized, answer_, kAnswerSize, kPortTimeout)) return false;
    digitizedPosition(answer_, x, y);
    return true;
}

bool clGRETAG::WaitForEnterKey() {
    static const char* const fn = "clGRETAG::WaitForEnterKey";
    Log(3, fn, "Start");
    if (!xTableCommand(command::kEnableKey)) {
        Log(3, fn, "End FAIL");
        return false;
    }
    // Polling every 140 ms would flood the log: trace the first poll only.
    const bool traced = trace_;
    bool first = true;
    for (;;) {
        bool pressed = false;
        {
            Lock lock = lockPort();
            if (!xQuery(command::kKeyStatus, answer_, kAnswerSize, kPortTimeout)) {
                trace_ = traced;
                Log(3, fn, "End FAIL");
                return false;
            }
            pressed = keyPressed(answer_);
        }
        if (first) {
            Log(3, fn, "polling ...");
            trace_ = false;
            first = false;
        }
        if (pressed) {
            trace_ = traced;
            Log(3, fn, "End OK");
            return true;
        }
        platform::sleepMs(kEnterKeyPollMs);
    }
}

// ---------------------------------------------------------------------------
// Open, Close, Setup, Stop.

bool clGRETAG::Open() {
    static const char* const fn = "clGRETAG::Open";
    clearStop();
    cleanup_ = false;
    trace_ = true;
    output_ = -1;
    Lock lock = lockPort();
    port_.close();
    try {
        for (int ndx = 0; ndx < transport::clCOMMUNICATION::kPortCount; ++ndx) {
            for (int baud : kBaudRates) {
                portTimeout_ = kProbeTimeout;
                if (port_.open(ndx, baud, kProbeTimeout, false) != 0) break;
                LogF(3, fn, "%d Baud", baud);
                const Detected detected = DetectInstrument(0);
                if (detected == Detected::NoAnswer) continue;
                if (detected == Detected::NotThere) break;
                if (port_.set_timeout(kPortTimeout, false) != 0) break;
                portTimeout_ = kPortTimeout;
                if (!InitSpectoScan()) throw exGRETAG_LIB("Failed to reset instrument.");
                if (!SetHandshaking()) throw exGRETAG_LIB("Failed to set handshaking.");
                QueryDeviceData();
                XYTableData();
                pMeasure->port = ndx + 1;
                return true;
            }
        }
        port_.close();
        return false;
    } catch (const std::exception& e) {
        LogF(0, fn, "catch(%s)", e.what());
        platform::showErrorBox(e.what(), "Measurement");
    }
    port_.close();
    return false;
}

void clGRETAG::Close() {
    Log(1, "clGRETAG::Close", nullptr);
    Lock lock = lockPort();
    if (!port_.isOpen()) return;
    if (output_ != -1) {
        clearStop();
        ResetMeasurementOutput();
    }
    port_.close();
}

int clGRETAG::Setup() {
    static const char* const fn = "clGRETAG::Setup";
    if (!SetMeasurementType()) {
        Log(0, fn, "SetMeasurementType fail");
        return -1;
    }
    const auto selector = densitySelectorForMode(pMeasure->Mode);
    if (!selector) {
        Log(0, fn, "default");
        return -1;
    }
    return SetColorimetricParam(*selector) ? 0 : -1;
}

void clGRETAG::StopMeasure() {
    requestStop();
    try {
        MeasureThread->WaitRequest(kWorkerTimeout);
    } catch (const std::exception& e) {
        Log(0, "clGRETAG::StopMeasure catch", e.what());
    } catch (...) {
        Log(0, "clGRETAG::StopMeasure catch", "...");
    }
}

// ---------------------------------------------------------------------------
// Calibration, digitising, corner registration.

bool clGRETAG::DoCalibration() {
    Log(5, "clGRETAG::DoCalibration Start", nullptr);
    const bool ok =
        MoveSensorUp() && MoveToWhiteRef() && MoveSensorDown() && PerformWhiteMeasurement() && MoveSensorUp();
    Log(5, "clGRETAG::DoCalibration End", nullptr);
    return ok;
}

void clGRETAG::Digitize(int prompt, int x, int y, int& outX, int& outY) {
    static const char* const fn = "clGRETAG::Digitize";
    x = std::min(x, kMaxX);
    y = std::min(y, kMaxY);
    Log(3, fn, "Start");
    int scanError = -1;
    if (!MoveAbsXY(1, x, y, &scanError)) {
        // Type 2 means the head stands in the way; raising, lowering and
        // raising it again clears it, and the user digitises from there.
        if (scanError != 2) {
            LogF(4, fn, "ScanErrorType=%d", scanError);
            throw exGRETAG_LIB("MoveAbsXY");
        }
        if (!MoveSensorUp()) throw exGRETAG_LIB("MoveSensorUp");
        if (!MoveSensorDown()) throw exGRETAG_LIB("MoveSensorDown");
        if (!MoveSensorUp()) throw exGRETAG_LIB("MoveSensorUp");
    }
    if (!SetDigitizeMode()) throw exGRETAG_LIB("SetDigitizeMode");
    PostStatusCode(pMeasure, prompt);
    if (!WaitForEnterKey()) throw exGRETAG_LIB("WaitForEnterKey");
    if (!SetDeviceOnline()) throw exGRETAG_LIB("SetDeviceOnline");
    if (!GetLastDigitizedPos(outX, outY)) throw exGRETAG_LIB("GetLastDigitizedPos");
    if (!HoldPaper()) throw exGRETAG_LIB("HoldPaper");
    Log(3, fn, "End");
}

void clGRETAG::TakePlanFromRecord(const char* fn, bool required) {
    rows_ = patches_ = 0;
    if (!SpecifiedPassesPatches(rows_, patches_, pMeasure)) {
        if (required) throw exGRETAG_LIB("Not Specified Passes/Patches");
        return;
    }
    calibrationInterval_ = 4;
    if (IsAlternatingRequested(pMeasure)) {
        xStep_ = 70;
        yStep_ = 140;
    } else {
        xStep_ = yStep_ = 100;
    }
    if (SpecifiedPatchDimensions(pMeasure) && extended(pMeasure)->CellY >= 0) {
        xStep_ = extended(pMeasure)->CellX / 100.0;
        yStep_ = extended(pMeasure)->CellY / 100.0;
        LogF(3, fn, "xSteps=%lf, ySteps=%lf (1/10mm)", xStep_, yStep_);
    }
}

void clGRETAG::RegisterCorners(const char* fn) {
    Registration& r = corners_;
    Digitize(MEASURE_STATUS_CORNER_1, kCorner1X, kCorner1Y, r.x[0], r.y[0]);
    if (patches_ <= 1) {
        r.singlePatchRows(yStep_);
    } else {
        int tx = 0, ty = 0;
        r.corner2Target(patches_, xStep_, tx, ty);
        Digitize(MEASURE_STATUS_CORNER_2, tx, ty, r.x[1], r.y[1]);
        r.fromCorner2(patches_, yStep_);
        LogF(3, fn, "angle=%lf, xDiffY=%lf, yDiffY=%lf", r.angle, r.xDiffY, r.yDiffY);
        if (rows_ > 1) {
            r.corner3Target(rows_, tx, ty);
            Digitize(MEASURE_STATUS_CORNER_3, tx, ty, r.x[2], r.y[2]);
            r.fromCorner3(rows_);
        }
    }
    LogF(3, fn, "Pos1=(%d,%d), Pos2=(%d,%d), Pos3=(%d,%d)", r.x[0], r.y[0], r.x[1], r.y[1], r.x[2], r.y[2]);
    LogF(3, fn, "xDiffX=%lf, yDiffX=%lf, xDiffY=%lf, yDiffY=%lf", r.xDiffX, r.yDiffX, r.xDiffY, r.yDiffY);
    cornersRegistered_ = true;
    PostStatusCode(pMeasure, MEASURE_STATUS_CORNERS_DONE);
}

void clGRETAG::BeginChart(const char* fn) {
    if (pMeasure->NumOfPatchesToRead <= 0) throw exGRETAG_LIB("pMeasure->NumOfPatchesToRead<=0");
    PostStatusCode(pMeasure, MEASURE_STATUS_STARTED);
    LogF(3, fn, "CellX=%d, CellY=%d ", word(&MEASURE2STRUCT::CellX), word(&MEASURE2STRUCT::CellY));
    cornersRegistered_ = false;
    corners_ = Registration{};
}

int clGRETAG::RegisterCorner() {
    static const char* const fn = "clGRETAG::RegisterCorner";
    int result = guarded(fn, [&] {
        BeginChart(fn);
        TakePlanFromRecord(fn, true);
        if (!HoldPaper()) throw exGRETAG_LIB("HoldPaper");
        RegisterCorners(fn);
    });
    // Status 23 ends a registration; a failed one ends with a thread end so
    // that a host waiting for 23 is not left waiting.
    if (result != MEASURE_END_DONE) {
        PostStatusCode(pMeasure, MEASURE_STATUS_IDLE);
        PostThreadEndMessage(pMeasure, stopped() ? MEASURE_END_STOPPED : result);
    }
    return framework::kEndReported;
}

// ---------------------------------------------------------------------------
// Measuring.

void clGRETAG::StartMeasurements(const char* fn) {
    Log(3, fn, "Start Measurements");
    if (!usingExtendedRecord()) {
        // The old record's host counts density deliveries from zero again.
        Log(3, fn, "grumpy old MEASURESTRUCT");
        if (pMeasure->hWnd != nullptr) platform::postWindowMessage(pMeasure->hWnd, pMeasure->Message, 0, 0);
    }
}

void clGRETAG::MeasureRows(const char* fn, int rows, int total, int& delivered) {
    for (int i = 0; i < rows && delivered < total; ++i) {
        if (i % calibrationInterval_ == 0) {
            PostStatusCode(pMeasure, MEASURE_STATUS_CALIBRATING);
            if (!DoCalibration()) throw exGRETAG_LIB("DoCalibration");
            PostStatusCode(pMeasure, MEASURE_STATUS_IDLE);
        }
        for (int j = 0; j < patches_ && delivered < total; ++j) {
            LogF(2, fn, "(%d, %d)", i, j);
            MeasurePatch(i, j, delivered);
            ++delivered;
        }
    }
}

void clGRETAG::MeasurePatch(int row, int patch, int index) {
    int x = 0, y = 0;
    corners_.patchPosition(row, patch, x, y);
    const auto output = outputForMode(pMeasure->Mode);
    if (output == Output::Spectral) {
        phase_ = 2;
        bool ok = false;
        for (int attempt = 0; attempt < kMeasureAttempts && !ok; ++attempt) {
            if (attempt > 0 && !Pause(kRetryPauseMs)) break;
            ok = MoveAndMeasure(x, y);
        }
        if (!ok) throw exGRETAG_LIB("MoveAndMeasure");
    } else {
        if (!MoveAbsXY(0, x, y)) throw exGRETAG_LIB("MoveAbsXY");
        if (!MoveSensorDown()) throw exGRETAG_LIB("MoveSensorDown");
        phase_ = 2;
        if (!PerformMeasurement()) throw exGRETAG_LIB("PerformMeasurement");
        phase_ = 1;
        if (!xQuery("", data_.data(), data_.size(), kPortTimeout)) throw exGRETAG_LIB("Wait data");
    }
    phase_ = 0;
    if (!ProcessMeasurement(index)) throw exGRETAG_LIB("ProcessMeasurement");
}

bool clGRETAG::ProcessMeasurement(int index) {
    static const char* const fn = "clGRETAG::ProcessMeasurement";
    const auto output = outputForMode(pMeasure->Mode);
    if (!output) {
        Log(0, fn, "illegal mode");
        return false;
    }
    MeasurementData measured;
    const std::string failure = parseMeasurement(data_.data(), *output, measured);
    if (!failure.empty()) {
        Log(0, fn, failure.c_str());
        return false;
    }
    if (*output == Output::Spectral) {
        if (LogEnabled(5)) {
            char line[512];
            size_t used = 0;
            for (size_t b = 0; b < measured.spectrum.size() && used < sizeof line - 1; ++b) {
                const int n = std::snprintf(line + used, sizeof line - used, b == 0 ? "%lf" : " %lf",
                                            measured.spectrum[b]);
                if (n < 0) break;
                used = std::min(sizeof line - 1, used + static_cast<size_t>(n));
            }
            Log(5, fn, line);
        }
        DeliverSpectrum(index, measured.spectrum);
    } else {
        const auto& d = measured.densities;
        LogF(5, fn, "%lf %lf %lf %lf", d[0], d[1], d[2], d[3]);
        DeliverDensities(d);
    }
    return true;
}

void clGRETAG::DeliverSpectrum(int index, const std::array<double, kBands>& spectrum) {
    uint8_t* block = GetResultBlock(pMeasure);
    const auto patch = static_cast<uint64_t>(index);
    try {
        switch (pMeasure->Mode) {
            case MEASURE_MODE_SPECTRAL:
                if (block == nullptr || !writeSpectrum(block, patch, spectrum.data()))
                    throw exGRETAG_LIB("notify fail");
                framework::setSpectralCount(block, patch + 1);
                PostMeasureData(pMeasure, 0, deliveredResult(block));
                return;
            case MEASURE_MODE_CIE_XYZ: {
                double xyz[3] = {};
                if (block == nullptr || SpectrumToXYZ(xyz, kSpectralHeader, spectrum.data()) == 0 ||
                    !writeTriple(block, patch, xyz[0], xyz[1], xyz[2]))
                    throw exGRETAG_LIB("notify fail");
                framework::setTripleCount(block, patch + 1);
                PostMeasureData(pMeasure, 0, deliveredResult(block));
                return;
            }
            case MEASURE_MODE_STATUS_E:
            case MEASURE_MODE_STATUS_T: {
                const int slot = NextDensitySlot(kNotifyFail);
                if (!SpectrumToDensWORDS(pMeasure, slot, kSpectralHeader, spectrum.data(), pMeasure->Mode))
                    throw exGRETAG_LIB(kNotifyFail);
                AnnounceDensitySlot(slot, false);
                return;
            }
            default:
                break;
        }
    } catch (const exGRETAG_LIB&) {
        throw;
    } catch (...) {
        throw exGRETAG_LIB("notify fail");
    }
    throw exGRETAG_LIB("spec ill mode");
}

void clGRETAG::DeliverDensities(const std::array<double, 4>& d) {
    const int slot = NextDensitySlot(kNotifyFail);
    StoreDensities(pMeasure, slot, d[0], d[1], d[2], d[3]);
    AnnounceDensitySlot(slot, false);
}

int clGRETAG::Cleanup(const char* fn, int result) {
    PostStatusCode(pMeasure, MEASURE_STATUS_IDLE);
    if (result != MEASURE_END_DONE && stopped()) result = MEASURE_END_STOPPED;
    Log(3, fn, "Cleanup");
    cleanup_ = true;
    try {
        const int phase = phase_.exchange(0);
        if (result != MEASURE_END_DONE && phase != 0) {
            // The instrument may still be measuring or sending: let it finish
            // and throw away what it sent before parking the table.
            if (phase == 2) platform::sleepMs(kFinishCommandMs);
            platform::sleepMs(kFinishDataMs);
            {
                Lock lock = lockPort();
                port_.purge();
            }
            platform::sleepMs(kAfterPurgeMs);
        }
        SetDeviceOnline();
        if (!MoveSensorUp()) throw exGRETAG_LIB("MoveSensorUp fail");
        if (!MoveToHomePos()) throw exGRETAG_LIB("MoveToHomePos fail");
        SetDeviceOnline();
        ReleasePaper();
        Log(3, fn, "End");
    } catch (const std::exception& e) {
        LogF(0, fn, "End catch %s", e.what());
        result = MEASURE_END_FAILED;
    } catch (...) {
        Log(0, fn, "End catch ...");
        result = MEASURE_END_FAILED;
    }
    if (MEASURE2STRUCT* e = extendedOrNull(pMeasure)) {
        e->CellX = 0;
        e->CellY = 0;
    }
    cleanup_ = false;
    PostThreadEndMessage(pMeasure, result);
    return framework::kEndReported;
}

int clGRETAG::SimpleMultiMeasurement() {
    static const char* const fn = "clGRETAG::SimpleMultiMeasurement";
    phase_ = 0;
    const int result = guarded(fn, [&] {
        Log(3, fn, "Start");
        if (!cornersRegistered_) throw exGRETAG_LIB("Corner not registered");
        StartMeasurements(fn);
        if (!HoldPaper()) throw exGRETAG_LIB("HoldPaper");
        PostStatusCode(pMeasure, kStatusSheetHeld);
        if (!SetMeasurementOutput()) throw exGRETAG_LIB("SetMeasurementOutput");
        int delivered = 0;
        MeasureRows(fn, rows_, pMeasure->NumOfPatchesToRead, delivered);
        Log(3, fn, "End Measurements");
    });
    return Cleanup(fn, result);
}

int clGRETAG::MultiMeasurement() {
    static const char* const fn = "clGRETAG::MultiMeasurement";
    phase_ = 0;
    const int result = guarded(fn, [&] {
        BeginChart(fn);
        const int total = pMeasure->NumOfPatchesToRead;
        calibrationInterval_ = 1000;
        int perSheet = total;
        int sheets = 1;
        TakePlanFromRecord(fn, false);
        if (rows_ > 0) {
            const int perChart = word(&MEASURE2STRUCT::NumPatchesPerChart);
            perSheet = perChart < 1 ? total : perChart;
            sheets = rowsFor(total, perSheet);
            if (sheets > 1) rows_ = std::max(1, perSheet / patches_);
        } else {
            const auto plan = fixedLayout(total);
            if (!plan) throw exGRETAG_LIB("switch pMeasure->NumOfPatchesToRead");
            rows_ = plan->rows;
            patches_ = plan->patches;
            xStep_ = plan->xStep;
            yStep_ = plan->yStep;
            calibrationInterval_ = plan->calibrationInterval;
        }
        int delivered = 0;
        for (int sheet = 1; sheet <= sheets && delivered < total; ++sheet) {
            PostPageno(pMeasure, sheet);
            if (!SetDeviceOnline()) throw exGRETAG_LIB("SetDeviceOnline");
            ReleasePaper();
            // The user lays the sheet on the table and presses its key.
            if (!WaitForEnterKey()) throw exGRETAG_LIB("WaitForEnterKey");
            if (!HoldPaper()) throw exGRETAG_LIB("HoldPaper");
            corners_ = Registration{};
            RegisterCorners(fn);
            StartMeasurements(fn);
            if (!SetMeasurementOutput()) throw exGRETAG_LIB("SetMeasurementOutput");
            const auto sheetEnd =
                static_cast<int>(std::min<int64_t>(total, static_cast<int64_t>(delivered) + perSheet));
            MeasureRows(fn, rows_, sheetEnd, delivered);
            const int remaining = total - delivered;
            if (remaining > 0 && remaining < perSheet) rows_ = rowsFor(remaining, patches_);
        }
        Log(3, fn, "End Measurements");
    });
    return Cleanup(fn, result);
}

// ---------------------------------------------------------------------------
// Entries.

namespace {

clGRETAG* driverOf(MEASURESTRUCT* pMeasure) {
    return framework::driverIn<clGRETAG>(pMeasure);
}

template <class Job>
int32_t startJob(MEASURESTRUCT* pMeasure, const char* name, const char* requestName, Job job) {
    return framework::StartEntry<clGRETAG>(pMeasure, name, framework::ModeSet::any(), requestName, job);
}

}  // namespace

int32_t OpenSpectroScan(MEASURESTRUCT* pMeasure) {
    static const char* const fn = "OpenSpectroScan";
    if (pMeasure == nullptr || GetResultBlock(pMeasure) == nullptr) return -1;
    Log(1, fn, nullptr);
    clGRETAG* driver = nullptr;
    try {
        driver = framework::makeDriver<clGRETAG>(pMeasure);
    } catch (...) {
        Log(0, fn, "new causes exception");
        framework::entry::destroyStored(pMeasure);
        return -1;
    }
    if (driver == nullptr) {
        Log(0, fn, "new returns 0");
        return -1;
    }
    if (!driver->connected) {
        framework::entry::destroyStored(pMeasure);
        return -1;
    }
    return 0;
}

int32_t CloseSpectroScan(MEASURESTRUCT* pMeasure) {
    return framework::CloseEntry(pMeasure, "CloseSpectroScan");
}

int32_t SetupSpectroScan(MEASURESTRUCT* pMeasure) {
    clGRETAG* driver = driverOf(pMeasure);
    if (pMeasure == nullptr || driver == nullptr) return -1;
    try {
        return driver->Setup();
    } catch (...) {
        Log(0, "SetupSpectroScan", "catch ...");
        return -1;
    }
}

int32_t StartMultiMeasureSpectroScan(MEASURESTRUCT* pMeasure) {
    return startJob(pMeasure, "StartMultiMeasureSpectroScan", "MultiMeasurement",
                    &clGRETAG::MultiMeasurement);
}

int32_t StopMultiMeasureSpectroScan(MEASURESTRUCT* pMeasure) {
    clGRETAG* driver = driverOf(pMeasure);
    if (pMeasure == nullptr) return -1;
    if (driver == nullptr) {
        Log(0, "StopMultiMeasureSpectroScan", "NULL");
        return -1;
    }
    driver->StopMeasure();
    return 0;
}

int32_t StartRegisterCornersSpectroScan(MEASURESTRUCT* pMeasure) {
    return startJob(pMeasure, "StartRegisterCornersSpectroScan", "RegisterCorner", &clGRETAG::RegisterCorner);
}

int32_t StartSimpleMultiMeasureSpectroScan(MEASURESTRUCT* pMeasure) {
    return startJob(pMeasure, "StartSimpleMultiMeasureSpectroScan", "SimpleMultiMeasurement",
                    &clGRETAG::SimpleMultiMeasurement);
}

}  // namespace measure::spectroscan
