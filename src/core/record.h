// The measurement record's process-wide companions and the record helpers
// the drivers use. One instrument is open at a time, so the extended-record
// flag, the global result block, the fallback window, the open instrument,
// the parameter file name and the sound selector copy are process-wide.
#pragma once

#include <cstdint>
#include <string>

#include "measure/measure.h"

namespace measure {

// The extended view of a record; only valid while the extended record is in use.
inline MEASURE2STRUCT* extended(MEASURESTRUCT* record) {
    return reinterpret_cast<MEASURE2STRUCT*>(record);
}

bool usingExtendedRecord();
void setUsingExtendedRecord(bool on);

// The extended fields of the record, or null while the plain record is in
// use (it has none).
inline MEASURE2STRUCT* extendedOrNull(MEASURESTRUCT* record) {
    return record != nullptr && usingExtendedRecord() ? extended(record) : nullptr;
}

// A zero-filled result block for n patches (at least 256), capacity written
// at offset 8; null for n below 1 or when the block cannot be had.
void* AllocDllData(int32_t n);
void FreeDllData(void* block);
// Bytes of the block for n patches (n >= 1), in 64-bit arithmetic.
uint64_t resultBlockBytes(int32_t n);

// The record's result block: pDllData with the extended record, else the
// global block. Null when there is none.
uint8_t* GetResultBlock(MEASURESTRUCT* record);

// The pass plan from NumPatchesPerLine: false when none was given.
bool SpecifiedPassesPatches(int& passes, int& patches, MEASURESTRUCT* record);
bool SpecifiedPatchDimensions(MEASURESTRUCT* record);
bool IsAlternatingRequested(MEASURESTRUCT* record);
// Writes four densities (x1000, truncated, values <= 0 as 0) into slot.
void StoreDensities(MEASURESTRUCT* record, int slot, double d0, double d1, double d2, double d3);

// The fallback notification target for notifications without a record.
void rememberWindow(HWND hWnd, uint32_t message);
void forgetWindow();
void rememberedWindow(HWND& hWnd, uint32_t& message);

// The sound selector of the open record (copied by Open2Instrument).
uint32_t soundSelector();
void setSoundSelector(uint32_t selector);

// The key code set by SetKeyCode.
uint32_t keyCode();

// The ID of the instrument opened last (0 when none is open).
uint32_t openInstrumentId();

// State the exports keep (used by the export frame only).
uint8_t* exchangeGlobalBlock(uint8_t* block);
void setKeyCode(uint32_t code);
void setOpenInstrumentId(uint32_t id);

// Clears the process-wide record state (module load).
void resetRecordState();

// The process-wide instrument information text of GetInfoString, which the
// drivers that describe their device replace at open.
void setInfoString(const std::string& text);
// Writes its address (valid until it is replaced) to `out` when given; 0
// when it is non-empty, else -1.
int32_t readInfoString(const char** out);

}  // namespace measure
