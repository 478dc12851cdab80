#include "core/record.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "core/logger.h"

namespace measure {
namespace {

struct RecordState {
    std::atomic<bool> extended{false};
    std::atomic<uint8_t*> globalBlock{nullptr};
    std::mutex windowMutex;
    HWND fallbackWindow = nullptr;
    uint32_t fallbackMessage = 0;
    std::atomic<uint32_t> soundSelector{0};
    std::atomic<uint32_t> keyCode{0};
    std::atomic<uint32_t> openInstrument{0};
};

RecordState& state() {
    static RecordState* instance = new RecordState;
    return *instance;
}

// A block beyond this is no chart anyone measures: it is refused before the
// allocator is asked for terabytes.
constexpr uint64_t kMaxBlockBytes = uint64_t{4} << 30;

}  // namespace

bool usingExtendedRecord() {
    return state().extended.load();
}
void setUsingExtendedRecord(bool on) {
    state().extended.store(on);
}

uint64_t resultBlockBytes(int32_t n) {
    if (n <= MEASURE_BLOCK_BASE_PATCHES) return MEASURE_BLOCK_BASE_SIZE;
    return MEASURE_BLOCK_BASE_SIZE + uint64_t(n - MEASURE_BLOCK_BASE_PATCHES) * MEASURE_SPECTRAL_SLOT_BYTES;
}

void* AllocDllData(int32_t n) {
    if (n < 1) return nullptr;
    const uint64_t bytes = resultBlockBytes(n);
    if (n > MEASURE_BLOCK_BASE_PATCHES)
        LogF(5, "AllocDllData", "delta=%lld", static_cast<long long>(bytes - MEASURE_BLOCK_BASE_SIZE));
    if (bytes > kMaxBlockBytes) return nullptr;
    auto* block = static_cast<uint8_t*>(std::calloc(1, static_cast<size_t>(bytes)));
    if (block == nullptr) return nullptr;
    const uint64_t capacity = n <= MEASURE_BLOCK_BASE_PATCHES ? MEASURE_BLOCK_BASE_PATCHES : uint64_t(n);
    std::memcpy(block + 8, &capacity, sizeof capacity);
    return block;
}

void FreeDllData(void* block) {
    std::free(block);
}

uint8_t* GetResultBlock(MEASURESTRUCT* record) {
    if (record == nullptr) return nullptr;
    if (usingExtendedRecord()) return static_cast<uint8_t*>(extended(record)->pDllData);
    return state().globalBlock.load();
}

// Global block of the old record, owned here.
uint8_t* exchangeGlobalBlock(uint8_t* block) {
    return state().globalBlock.exchange(block);
}

bool SpecifiedPassesPatches(int& passes, int& patches, MEASURESTRUCT* record) {
    if (record == nullptr) return false;
    const int n = usingExtendedRecord() && extended(record)->NumPatchesPerLine > 0
                      ? extended(record)->NumPatchesPerLine
                      : 0;
    if (n < 1) return false;
    const int64_t total = record->NumOfPatchesToRead;
    passes = static_cast<int>((total + n - 1) / n);
    patches = passes < 2 ? record->NumOfPatchesToRead : n;
    LogF(3, "SpecifiedPassesPatches", "passes=%d, patches=%d", passes, patches);
    return true;
}

bool SpecifiedPatchDimensions(MEASURESTRUCT* record) {
    if (record == nullptr || !usingExtendedRecord()) return false;
    const MEASURE2STRUCT* r = extended(record);
    if (r->CellX < 1) return false;
    LogF(3, "SpecifiedPatchDimensions", "CellX=%d?m, CellY=%d?m, GapX=%d?m", r->CellX, r->CellY, r->GapX);
    return true;
}

bool IsAlternatingRequested(MEASURESTRUCT* record) {
    return record != nullptr && usingExtendedRecord() && extended(record)->bAlternating != 0;
}

void StoreDensities(MEASURESTRUCT* record, int slot, double d0, double d1, double d2, double d3) {
    if (record == nullptr || slot < 0 || slot >= MEASURE_DENSITY_SLOTS) return;
    auto toWord = [](double d) -> uint16_t {
        const double scaled = d * 1000.0;
        if (!(scaled > 0.0)) return 0;
        return scaled >= 65535.0 ? uint16_t{65535} : static_cast<uint16_t>(scaled);
    };
    record->Density[slot][0] = toWord(d0);
    record->Density[slot][1] = toWord(d1);
    record->Density[slot][2] = toWord(d2);
    record->Density[slot][3] = toWord(d3);
}

void rememberWindow(HWND hWnd, uint32_t message) {
    std::lock_guard lock(state().windowMutex);
    state().fallbackWindow = hWnd;
    state().fallbackMessage = message;
}

void forgetWindow() {
    rememberWindow(nullptr, 0);
}

void rememberedWindow(HWND& hWnd, uint32_t& message) {
    std::lock_guard lock(state().windowMutex);
    hWnd = state().fallbackWindow;
    message = state().fallbackMessage;
}

uint32_t soundSelector() {
    return state().soundSelector.load();
}
void setSoundSelector(uint32_t selector) {
    state().soundSelector.store(selector);
}

uint32_t keyCode() {
    return state().keyCode.load();
}
void setKeyCode(uint32_t code) {
    state().keyCode.store(code);
}

uint32_t openInstrumentId() {
    return state().openInstrument.load();
}
void setOpenInstrumentId(uint32_t id) {
    state().openInstrument.store(id);
}

void resetRecordState() {
    setOpenInstrumentId(0);
    forgetWindow();
}

namespace {

struct InfoText {
    std::mutex mutex;
    std::string text;
};
InfoText& infoText() {
    static InfoText* instance = new InfoText;
    return *instance;
}

}  // namespace

void setInfoString(const std::string& text) {
    std::lock_guard lock(infoText().mutex);
    infoText().text = text;
}

int32_t readInfoString(const char** out) {
    std::lock_guard lock(infoText().mutex);
    if (out != nullptr) *out = infoText().text.c_str();
    return infoText().text.empty() ? -1 : 0;
}

}  // namespace measure
