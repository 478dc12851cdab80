// The record exports: open, set-up, calibrate, measure, stop and close.
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <mutex>
#include <string>
#include <vector>

#include "core/logger.h"
#include "core/record.h"
#include "framework/driver_entries.h"
#include "interface/export_frame.h"
#include "interface/simulation_override.h"
#include "platform/error_box.h"
#include "platform/paths.h"

namespace measure {
namespace {

using Slot = DriverEntry InstrumentDescriptor::*;

struct ParameterFile {
    std::mutex mutex;
    char* copy = nullptr;  // heap copy handed to drivers through pszParameterFile
};

ParameterFile& parameterFile() {
    static ParameterFile* instance = new ParameterFile;
    return *instance;
}

void freeParameterFile() {
    std::lock_guard lock(parameterFile().mutex);
    std::free(parameterFile().copy);
    parameterFile().copy = nullptr;
}

// The close frees the copy: a record still pointing at it would hand the
// next open freed memory.
void forgetParameterFile(MEASURE2STRUCT* r) {
    {
        std::lock_guard lock(parameterFile().mutex);
        if (parameterFile().copy != nullptr && r->pszParameterFile == parameterFile().copy)
            r->pszParameterFile = nullptr;
    }
    freeParameterFile();
}

// SetupInstrument lets go of the name without freeing it: the driver may
// still hold the pointer through pszParameterFile.
void dropParameterFile() {
    std::lock_guard lock(parameterFile().mutex);
    parameterFile().copy = nullptr;
}

char* parameterFileCopy() {
    std::lock_guard lock(parameterFile().mutex);
    return parameterFile().copy;
}

template <class Body>
int32_t guarded(const char* exportName, Body body) {
    try {
        return body();
    } catch (const std::exception& e) {
        ExceptionMessageBox(exportName, e.what());
    } catch (...) {
        ExceptionMessageBox(exportName, nullptr);
    }
    return -1;
}

std::atomic<const InstrumentDescriptor*> gTestRow{nullptr};

int32_t callSlot(MEASURESTRUCT* record, Slot slot) {
    return (frameRow(record->instrument).*slot)(record);
}

enum Flags : unsigned { kRememberWindow = 1, kLogResult = 2 };

int32_t dispatch(const char* exportName, MEASURESTRUCT* record, Slot slot, unsigned flags) {
    if (record == nullptr) return -1;
    return guarded(exportName, [&] {
        Log(1, exportName, nullptr);
        LogRecordSummary(exportName, record);
        if (flags & kRememberWindow) rememberWindow(record->hWnd, record->Message);
        const int32_t result = callSlot(record, slot);
        if (flags & kLogResult) {
            LogRecordSummary(exportName, record);
            LogF(1, exportName, "result=%d", result);
        }
        return result;
    });
}

void logExtendedSummary(MEASURE2STRUCT* r) {
    const char* name = "MEASURE2STRUCT";
    if (r->NumPatchesPerLine) LogF(3, name, "NumPatchesPerLine=%d", r->NumPatchesPerLine);
    if (r->bAlternating) Log(3, name, "bAlternating=TRUE");
    if (r->CellX) LogF(3, name, "CellX=%d", r->CellX);
    if (r->CellY) LogF(3, name, "CellY=%d", r->CellY);
    if (r->GapX) LogF(3, name, "GapX=%d", r->GapX);
    if (r->NumPatchesPerChart) LogF(3, name, "NumPatchesPerChart=%d", r->NumPatchesPerChart);
    if (r->pszParameterFile) LogF(3, name, "pszParameterFile=\"%s\"", r->pszParameterFile);
}

// The simulation configuration under the common application data folder, or
// beside the library when the record asks for it.
bool applySimulation(MEASURE2STRUCT* r) {
    dropSimulationState();
    const std::string shared = platform::joinPath(
        platform::commonAppDataFolder(), "\\Vantu\\AutomatedTesting\\SimulationInstrumentConfig.xml");
    OverrideOutcome outcome = OverrideOutcome::NotApplied;
    if (platform::fileExists(shared)) {
        outcome = applySimulationOverride(r, shared);
        if (outcome == OverrideOutcome::Failed) return false;
    }
    if (outcome == OverrideOutcome::NotApplied && r->SimulationBesideLibrary == 1) {
        const std::string beside =
            platform::joinPath(platform::moduleFolder(), "\\Resources\\SimulationInstrumentConfig.xml");
        if (platform::fileExists(beside) && applySimulationOverride(r, beside) == OverrideOutcome::Failed)
            return false;
    }
    return true;
}

int32_t fixedAnswer(const char* exportName, MEASURESTRUCT* record, int32_t (*answer)(uint32_t)) {
    if (record == nullptr) return -1;
    return guarded(exportName, [&] {
        Log(1, exportName, nullptr);
        LogRecordSummary(exportName, record);
        return answer(record->instrument);
    });
}

bool oneOf(uint32_t id, std::initializer_list<uint32_t> ids) {
    for (uint32_t x : ids)
        if (x == id) return true;
    return false;
}

}  // namespace

const InstrumentDescriptor& frameRow(uint32_t instrument) {
    const InstrumentDescriptor* test = gTestRow.load();
    if (test != nullptr && test->ID == instrument) return *test;
    return *GetInstrumentNZByID(instrument);
}

void setTestDriverRow(const InstrumentDescriptor* row) {
    gTestRow.store(row);
}

void LogRecordSummary(const char* function, const MEASURESTRUCT* record) {
    if (!LogEnabled(3) || record == nullptr) return;
    LogF(3, function, "instrument=%d, port=%d, Mode=%u", static_cast<int>(record->instrument), record->port,
         record->Mode);
    LogF(3, function, "NumOfMeasurements=%u, NumOfPatchesToRead=%d", record->NumOfMeasurements,
         record->NumOfPatchesToRead);
    LogF(3, function, "hWnd=%p, Message=%u", static_cast<void*>(record->hWnd), record->Message);
}

void ExceptionMessageBox(const char* exportName, const char* text) {
    try {
        std::string message = std::string("Exception in ") + (exportName != nullptr ? exportName : "");
        if (text != nullptr) message += std::string(": ") + text;
        Log(0, "ExceptionMessageBox", message.c_str());
        platform::showErrorBox(message, "measure.dll Error");
    } catch (...) {
        // The box is the last word; nothing may escape it.
    }
}

}  // namespace measure

using namespace measure;

namespace {
// The extended records open now. The record form is process-wide, yet a
// host may open a second instrument beside the first: the close of one
// must leave the other's form, so that its close still finds its block and
// its driver.
std::mutex gExtendedMutex;
std::vector<MEASURESTRUCT*> gOpenExtended;

void rememberExtended(MEASURESTRUCT* record) {
    std::lock_guard lock(gExtendedMutex);
    gOpenExtended.push_back(record);
}
bool isOpenExtended(MEASURESTRUCT* record) {
    std::lock_guard lock(gExtendedMutex);
    return std::find(gOpenExtended.begin(), gOpenExtended.end(), record) != gOpenExtended.end();
}
// Forgets the record; whether other extended records stay open.
bool forgetExtended(MEASURESTRUCT* record) {
    std::lock_guard lock(gExtendedMutex);
    std::erase(gOpenExtended, record);
    return !gOpenExtended.empty();
}
}  // namespace

MEASURE_API int32_t OpenInstrument(MEASURESTRUCT* pMeasure) {
    if (pMeasure == nullptr) return -1;
    const char* name = "OpenInstrument";
    return guarded(name, [&]() -> int32_t {
        setUsingExtendedRecord(false);
        Log(1, name, nullptr);
        LogRecordSummary(name, pMeasure);
        pMeasure->port = -1;
        const uint32_t mode = pMeasure->Mode;
        if (mode != MEASURE_MODE_STATUS_E && mode != MEASURE_MODE_STATUS_T &&
            mode != MEASURE_MODE_DIN_16536 && mode != MEASURE_MODE_DIN_16536_NARROW) {
            Log(0, name, "PMEASURE2STRUCT required, use Open2Instrument!");
            return -1;
        }
        // A global block that still holds a driver belongs to an instrument
        // that was never closed: freeing it would lose that driver.
        if (framework::storedDriver(pMeasure) != nullptr) {
            Log(0, name, "pGlobalDllData in use, already open?");
            return -1;
        }
        auto* block = static_cast<uint8_t*>(AllocDllData(pMeasure->NumOfPatchesToRead));
        if (block == nullptr) {
            Log(0, name, "pGlobalDllData alloc fail");
            return -1;
        }
        FreeDllData(exchangeGlobalBlock(block));
        const int32_t result = callSlot(pMeasure, &InstrumentDescriptor::pfnOpen);
        LogRecordSummary(name, pMeasure);
        LogF(1, name, "result=%d", result);
        if (result == 0) setOpenInstrumentId(pMeasure->instrument);
        if (result == -1) pMeasure->port = -1;
        return result;
    });
}

MEASURE_API int32_t Open2Instrument(MEASURESTRUCT* pMeasure) {
    if (pMeasure == nullptr) return -1;
    const char* name = "Open2Instrument";
    // Only the first 2080 bytes are known to exist until cb says otherwise:
    // nothing beyond them is read or written before that.
    MEASURE2STRUCT* r = extended(pMeasure);
    const uint32_t requested = pMeasure->instrument;
    const int32_t result = guarded(name, [&]() -> int32_t {
        // The override reads the extended fields, so it only runs on a record
        // that says it is one.
        if (r->cb == MEASURE2_RECORD_SIZE && !applySimulation(r)) return -1;
        const bool wasExtended = usingExtendedRecord();
        setUsingExtendedRecord(false);
        Log(1, name, nullptr);
        LogRecordSummary(name, pMeasure);
        pMeasure->port = -1;
        if (r->cb != MEASURE2_RECORD_SIZE) {
            LogF(0, name, "sizeof(MEASURE2STRUCT)=%d, pMeasure->cb=%d",
                 static_cast<int>(sizeof(MEASURE2STRUCT)), static_cast<int>(r->cb));
            return -1;
        }
        if (char* copy = parameterFileCopy()) r->pszParameterFile = copy;
        if (r->pDllData != nullptr) {
            Log(0, name, "pMeasure->pDllData != NULL, already open?");
            // The instrument behind this record stays open: its close must
            // still find and free its block.
            setUsingExtendedRecord(wasExtended);
            return -1;
        }
        r->pDllData = AllocDllData(pMeasure->NumOfPatchesToRead);
        if (r->pDllData == nullptr) {
            Log(0, name, "pMeasure->pDllData alloc fail");
            return -1;
        }
        setUsingExtendedRecord(true);
        logExtendedSummary(r);
        if (pMeasure->instrument != 999) r->OptionBits = opInstrumentOpened;
        int32_t result = -1;
        try {
            result = callSlot(pMeasure, &InstrumentDescriptor::pfnOpen);
        } catch (...) {
            FreeDllData(r->pDllData);
            r->pDllData = nullptr;
            setUsingExtendedRecord(false);
            throw;
        }
        if (result == 0) {
            setOpenInstrumentId(pMeasure->instrument);
            rememberExtended(pMeasure);
        } else {
            logExtendedSummary(r);
            FreeDllData(r->pDllData);
            r->pDllData = nullptr;
            setUsingExtendedRecord(false);
        }
        LogRecordSummary(name, pMeasure);
        LogF(1, name, "result=%d", result);
        setSoundSelector(r->SoundSelector);
        if (result == -1) pMeasure->port = -1;
        return result;
    });
    // A failed open leaves the ID the host asked for, so that a corrected
    // retry opens the same instrument (the override may have put 999 there).
    if (result != 0) pMeasure->instrument = requested;
    return result;
}

MEASURE_API int32_t CloseInstrument(MEASURESTRUCT* pMeasure) {
    if (pMeasure == nullptr) return -1;
    const char* name = "CloseInstrument";
    const int32_t result = guarded(name, [&] {
        Log(1, name, nullptr);
        LogRecordSummary(name, pMeasure);
        rememberWindow(pMeasure->hWnd, pMeasure->Message);
        setOpenInstrumentId(0);
        const bool extendedRecord = isOpenExtended(pMeasure);
        if (extendedRecord) setUsingExtendedRecord(true);
        const int32_t closed = callSlot(pMeasure, &InstrumentDescriptor::pfnClose);
        // A close entry may decline to close during a step that must run to
        // its end; the block is freed below, so the driver is closed once
        // that step is over rather than lost.
        framework::closeLeftOver(pMeasure);
        // Freed after the driver is closed or cut loose: it may read the
        // name until then.
        if (usingExtendedRecord())
            forgetParameterFile(extended(pMeasure));
        else
            freeParameterFile();
        forgetWindow();
        LogRecordSummary(name, pMeasure);
        LogF(1, name, "result=%d", closed);
        if (extendedRecord || usingExtendedRecord()) {
            MEASURE2STRUCT* r = extended(pMeasure);
            FreeDllData(r->pDllData);
            r->pDllData = nullptr;
            setUsingExtendedRecord(forgetExtended(pMeasure));
        }
        FreeDllData(exchangeGlobalBlock(nullptr));
        dropSimulationState();
        return closed;
    });
    pMeasure->port = -1;
    return result;
}

MEASURE_API int32_t SetupInstrument(MEASURESTRUCT* pMeasure) {
    if (pMeasure == nullptr) return -1;
    dropParameterFile();
    return dispatch("SetupInstrument", pMeasure, &InstrumentDescriptor::pfnSetup, kLogResult);
}

MEASURE_API int32_t WhiteCalibration(MEASURESTRUCT* pMeasure) {
    return dispatch("WhiteCalibration", pMeasure, &InstrumentDescriptor::pfnCalibrateWhite,
                    kRememberWindow | kLogResult);
}

MEASURE_API int32_t BlackCalibration(MEASURESTRUCT* pMeasure) {
    return dispatch("BlackCalibration", pMeasure, &InstrumentDescriptor::pfnCalibrateBlack,
                    kRememberWindow | kLogResult);
}

MEASURE_API int32_t StartMultiMeasure(MEASURESTRUCT* pMeasure) {
    return dispatch("StartMultiMeasure", pMeasure, &InstrumentDescriptor::pfnStartMultiMeasure,
                    kRememberWindow | kLogResult);
}

MEASURE_API int32_t StopMultiMeasure(MEASURESTRUCT* pMeasure) {
    return dispatch("StopMultiMeasure", pMeasure, &InstrumentDescriptor::pfnStopMultiMeasure, kLogResult);
}

MEASURE_API int32_t StartSingleMeasure(MEASURESTRUCT* pMeasure) {
    return dispatch("StartSingleMeasure", pMeasure, &InstrumentDescriptor::pfnSingleMeasure,
                    kRememberWindow | kLogResult);
}

MEASURE_API int32_t SingleMeasure(MEASURESTRUCT* pMeasure) {
    return dispatch("SingleMeasure", pMeasure, &InstrumentDescriptor::pfnSingleMeasure,
                    kRememberWindow | kLogResult);
}

MEASURE_API int32_t StopSingleMeasure(MEASURESTRUCT* pMeasure) {
    return dispatch("StopSingleMeasure", pMeasure, &InstrumentDescriptor::pfnStopSingleMeasure, kLogResult);
}

MEASURE_API int32_t CancelStripePass(MEASURESTRUCT* pMeasure) {
    return dispatch("CancelStripePass", pMeasure, &InstrumentDescriptor::pfnCancelStripePass, kLogResult);
}

MEASURE_API int32_t StartSimpleMultiMeasure(MEASURESTRUCT* pMeasure) {
    return dispatch("StartSimpleMultiMeasure", pMeasure, &InstrumentDescriptor::pfnStartSimpleMultiMeasure,
                    kRememberWindow | kLogResult);
}

MEASURE_API int32_t StartRegisterCorners(MEASURESTRUCT* pMeasure) {
    return dispatch("StartRegisterCorners", pMeasure, &InstrumentDescriptor::pfnStartRegisterCorners, 0);
}

MEASURE_API int32_t StartInsertPaper(MEASURESTRUCT* pMeasure) {
    return dispatch("StartInsertPaper", pMeasure, &InstrumentDescriptor::pfnStartInsertPaper, 0);
}

MEASURE_API int32_t MustInsertPage(MEASURESTRUCT* pMeasure) {
    return fixedAnswer("MustInsertPage", pMeasure, [](uint32_t id) -> int32_t {
        if (oneOf(id, {5, 23, 28, 29, 33, 43})) return 1;
        if (oneOf(id, {14, 17, 26, 27, 31, 32})) return 2;
        return 0;
    });
}

MEASURE_API int32_t MustRegisterCorners(MEASURESTRUCT* pMeasure) {
    return fixedAnswer("MustRegisterCorners", pMeasure, [](uint32_t id) -> int32_t {
        return oneOf(id, {5, 23, 28, 29, 31, 32, 33, 43}) ? 1 : 0;
    });
}

MEASURE_API int32_t MustCalibrate(MEASURESTRUCT* pMeasure) {
    if (pMeasure == nullptr) return -1;
    const char* name = "MustCalibrate";
    return guarded(name, [&] {
        Log(1, name, nullptr);
        LogRecordSummary(name, pMeasure);
        if (oneOf(pMeasure->instrument, {5, 14, 17, 26, 27, 28, 29, 31, 32, 33, 34, 43})) return 0;
        return callSlot(pMeasure, &InstrumentDescriptor::pfnMustCalibrate);
    });
}

MEASURE_API uint8_t SetUseMeas2Struct(uint8_t flag) {
    setUsingExtendedRecord(flag != 0);
    return flag;
}

MEASURE_API int32_t SetParameterFile(const char* path) {
    try {
        LogF(1, "SetParameterFile", "SetParameterFile=%s", path != nullptr ? path : "(null)");
        freeParameterFile();
        if (path != nullptr && *path != '\0') {
            const size_t length = std::strlen(path);
            auto* copy = static_cast<char*>(std::malloc(length + 1));
            if (copy != nullptr) {
                std::memcpy(copy, path, length + 1);
                std::lock_guard lock(parameterFile().mutex);
                parameterFile().copy = copy;
            }
        }
    } catch (...) {
    }
    return 0;
}

MEASURE_API uint32_t SetKeyCode(uint32_t code) {
    measure::setKeyCode(code);
    return code;
}
