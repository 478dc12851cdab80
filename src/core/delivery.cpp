#include "core/delivery.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "core/logger.h"
#include "core/record.h"
#include "platform/message_window.h"

namespace measure {
namespace {

std::atomic<MeasureObserverC*> gObserver{nullptr};

struct Silenced {
    std::atomic<int> count{0};  // the fast path: nothing silenced
    std::mutex mutex;
    std::vector<const MEASURESTRUCT*> records;
};

Silenced& silenced() {
    static Silenced* instance = new Silenced;  // outlives every driver thread
    return *instance;
}

bool isSilenced(const MEASURESTRUCT* record) {
    Silenced& s = silenced();
    if (record == nullptr || s.count.load() == 0) return false;
    std::lock_guard lock(s.mutex);
    return std::find(s.records.begin(), s.records.end(), record) != s.records.end();
}

struct Target {
    HWND hWnd = nullptr;
    uint32_t message = 0;
};

Target targetOf(MEASURESTRUCT* record, const char* function) {
    Target t;
    if (record == nullptr) {
        Log(1, function, "pMeasure==NULL");
        rememberedWindow(t.hWnd, t.message);
    } else {
        t.hWnd = record->hWnd;
        t.message = record->Message;
    }
    return t;
}

// Kind-carrying status notification on Message+1.
template <class Slot, class Value>
void postKind(MEASURESTRUCT* record, const char* function, uint32_t kind, Value value, Slot slot) {
    if (isSilenced(record)) return;
    const Target t = targetOf(record, function);
    const uint32_t message = t.message + MEASURE_MSG_STATUS;
    if (t.hWnd != nullptr) {
        platform::postWindowMessage(t.hWnd, message, kind, static_cast<int64_t>(value));
    } else if (MeasureObserverC* o = gObserver.load()) {
        if (auto fn = o->lpVtbl->*slot) fn(o, message, kind, value);
    }
}

constexpr size_t kHead = 16;          // driver object and capacity
constexpr size_t kSpectralHead = 24;  // 380, 10, 36, reserved, N
constexpr size_t kTripleHead = 16;    // N, reserved

}  // namespace

MeasureObserverC* attachedObserver() {
    return gObserver.load();
}

void silenceRecord(const MEASURESTRUCT* record, bool on) {
    Silenced& s = silenced();
    std::lock_guard lock(s.mutex);
    auto it = std::find(s.records.begin(), s.records.end(), record);
    if (on && it == s.records.end()) s.records.push_back(record);
    if (!on && it != s.records.end()) s.records.erase(it);
    s.count.store(static_cast<int>(s.records.size()));
}

void PostScanspeedStatus(MEASURESTRUCT* record, uint32_t value) {
    postKind(record, "PostScanspeedStatus", MEASURE_KIND_SCANSPEED, value,
             &MeasureObserverVtbl::OnScanspeedStatus);
}

void PostPassno(MEASURESTRUCT* record, int32_t value) {
    postKind(record, "PostPassno", MEASURE_KIND_PASSNO, value, &MeasureObserverVtbl::OnPassno);
}

void PostPassEnd(MEASURESTRUCT* record, uint32_t value) {
    postKind(record, "PostPassEnd", MEASURE_KIND_PASSEND, value, &MeasureObserverVtbl::OnPassEnd);
}

void PostStatusCode(MEASURESTRUCT* record, int32_t value) {
    postKind(record, "PostStatusCode", MEASURE_KIND_STATUS, value, &MeasureObserverVtbl::OnStatusCode);
}

void PostPageno(MEASURESTRUCT* record, int32_t value) {
    postKind(record, "PostPageno", MEASURE_KIND_PAGENO, value, &MeasureObserverVtbl::OnPageno);
}

void PostMeasureData(MEASURESTRUCT* record, uint64_t wParam, void* result) {
    if (record == nullptr) {
        Log(1, "PostMeasureData", "pMeasure==NULL");
        throw std::runtime_error("PostMeasureData NULL");
    }
    if (isSilenced(record)) return;
    const uint32_t message = record->Message + MEASURE_MSG_MEASURE_DATA;
    if (record->hWnd != nullptr) {
        platform::postWindowMessage(record->hWnd, message, wParam, reinterpret_cast<int64_t>(result));
    } else if (MeasureObserverC* o = gObserver.load()) {
        if (o->lpVtbl->OnMeasureData) o->lpVtbl->OnMeasureData(o, message, wParam, result);
    }
}

void PostThreadEndMessage(MEASURESTRUCT* record, int32_t endCode) {
    if (isSilenced(record)) return;
    const Target t = targetOf(record, "PostThreadEndMessage");
    const uint32_t message = t.message + MEASURE_MSG_THREAD_END;
    if (t.hWnd != nullptr) {
        if (t.message == 0) {
            Log(0, "PostThreadEndMessage", "Message==0");
            return;
        }
        platform::postWindowMessage(t.hWnd, message, static_cast<uint64_t>(static_cast<int64_t>(endCode)), 0);
    } else if (MeasureObserverC* o = gObserver.load()) {
        if (o->lpVtbl->OnThreadEnd) o->lpVtbl->OnThreadEnd(o, message, endCode);
    } else {
        Log(0, "PostThreadEndMessage", "hWnd==NULL\tand observer==NULL");
    }
}

void NotifyDensitySlot(MEASURESTRUCT* record, bool send, const std::atomic<bool>* cancel) {
    if (record == nullptr || record->hWnd == nullptr || isSilenced(record)) return;
    const uint32_t count = record->NumOfMeasurements;
    if (count < 1 || count > MEASURE_DENSITY_SLOTS) return;
    const auto slot = reinterpret_cast<int64_t>(&record->Density[count - 1][0]);
    if (send)
        platform::sendWindowMessage(record->hWnd, record->Message, count, slot, cancel);
    else
        platform::postWindowMessage(record->hWnd, record->Message, count, slot);
}

void NotifyBeep(uint32_t frequencyHz, uint32_t durationMs) {
    if (MeasureObserverC* o = gObserver.load())
        if (o->lpVtbl->OnBeep) o->lpVtbl->OnBeep(o, 0, frequencyHz, durationMs);
}

uint64_t resultCapacity(const uint8_t* block) {
    if (block == nullptr) return 0;
    uint64_t capacity = 0;
    std::memcpy(&capacity, block + 8, sizeof capacity);
    return capacity;
}

void* deliveredResult(uint8_t* block) {
    return block == nullptr ? nullptr : block + kHead;
}

bool writeTriple(uint8_t* block, uint64_t patch, double v0, double v1, double v2) {
    if (block == nullptr || patch >= resultCapacity(block)) return false;
    const double values[3] = {v0, v1, v2};
    std::memcpy(block + kHead + kTripleHead + patch * sizeof values, values, sizeof values);
    return true;
}

namespace {

// The count a block can announce; logs a count that does not fit.
bool fitCount(const uint8_t* block, uint64_t& count, const char* function) {
    const uint64_t capacity = resultCapacity(block);
    if (count <= capacity) return true;
    LogF(0, function, "%llu results do not fit a block of %llu", static_cast<unsigned long long>(count),
         static_cast<unsigned long long>(capacity));
    count = capacity;
    return false;
}

}  // namespace

bool writeTripleCount(uint8_t* block, uint64_t count) {
    if (block == nullptr) return false;
    const bool fits = fitCount(block, count, "writeTripleCount");
    std::memcpy(block + kHead, &count, sizeof count);
    return fits;
}

bool writeSpectrum(uint8_t* block, uint64_t patch, const double* bands36, const double* colour3) {
    if (block == nullptr || bands36 == nullptr || patch >= resultCapacity(block)) return false;
    uint8_t* slot = block + kHead + kSpectralHead + patch * MEASURE_SPECTRAL_SLOT_BYTES;
    std::memcpy(slot, bands36, MEASURE_SPECTRAL_BANDS * sizeof(double));
    if (colour3 != nullptr)
        std::memcpy(slot + MEASURE_SPECTRAL_BANDS * sizeof(double), colour3, 3 * sizeof(double));
    return true;
}

bool writeSpectralCount(uint8_t* block, uint64_t count) {
    if (block == nullptr) return false;
    const bool fits = fitCount(block, count, "writeSpectralCount");
    const uint32_t head[4] = {MEASURE_SPECTRAL_START_NM, MEASURE_SPECTRAL_STEP_NM, MEASURE_SPECTRAL_BANDS, 0};
    std::memcpy(block + kHead, head, sizeof head);
    std::memcpy(block + kHead + sizeof head, &count, sizeof count);
    return fits;
}

}  // namespace measure

MEASURE_API MEASURE_OBSERVER* AttachObserver(MEASURE_OBSERVER* observer) {
    measure::gObserver.store(reinterpret_cast<MeasureObserverC*>(observer));
    return observer;
}

MEASURE_API void DetachObserver(void) {
    measure::gObserver.store(nullptr);
}
