// Result delivery: the notifications every driver sends to the host, by
// window message when the record (or the remembered fallback) has a window,
// else by a call on the attached observer, else not at all. Called on driver
// threads.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "measure/measure.h"

namespace measure {

// The header of every spectrum the library hands on: 380 nm, 10 nm steps,
// 36 bands.
inline constexpr uint32_t kSpectralHeader[3] = {MEASURE_SPECTRAL_START_NM, MEASURE_SPECTRAL_STEP_NM,
                                                MEASURE_SPECTRAL_BANDS};

void PostScanspeedStatus(MEASURESTRUCT* record, uint32_t value);
void PostPassno(MEASURESTRUCT* record, int32_t value);
void PostPassEnd(MEASURESTRUCT* record, uint32_t value);
void PostStatusCode(MEASURESTRUCT* record, int32_t value);
void PostPageno(MEASURESTRUCT* record, int32_t value);
// Throws std::runtime_error("PostMeasureData NULL") for a null record.
void PostMeasureData(MEASURESTRUCT* record, uint64_t wParam, void* result);
void PostThreadEndMessage(MEASURESTRUCT* record, int32_t endCode);
// Old-record density delivery: message Message, wParam NumOfMeasurements,
// lParam the slot address; posted, or sent when `send`: then it waits until
// the host has taken it, the window is destroyed or `cancel` (the request's
// stop flag) is set.
void NotifyDensitySlot(MEASURESTRUCT* record, bool send, const std::atomic<bool>* cancel);
// Observer tone of the sound feedback (no window channel).
void NotifyBeep(uint32_t frequencyHz, uint32_t durationMs);

MeasureObserverC* attachedObserver();

// A silenced record takes no notifications at all: the private copy a driver
// works on once its close gave up on a running request.
void silenceRecord(const MEASURESTRUCT* record, bool silenced);

// Result block writers. `block` is the record's result block (GetResultBlock);
// patches are 0-based and must lie below the block's capacity, which these
// check. The delivered pointer (block + 16) is what PostMeasureData hands on.
// A count beyond the capacity (the host raised NumOfPatchesToRead after the
// open sized the block) is never announced: the count writers then write
// the capacity, log, and answer false, and the request must end as failed.
uint64_t resultCapacity(const uint8_t* block);
void* deliveredResult(uint8_t* block);
// Three-value form: X, Y, Z or L*, a*, b* of patch i; count N at the head.
bool writeTriple(uint8_t* block, uint64_t patch, double v0, double v1, double v2);
[[nodiscard]] bool writeTripleCount(uint8_t* block, uint64_t count);
// Spectral form: 36 bands of patch i (380..730 nm), optionally three colour
// values at 36..38; header 380/10/36 and count N.
bool writeSpectrum(uint8_t* block, uint64_t patch, const double* bands36, const double* colour3 = nullptr);
[[nodiscard]] bool writeSpectralCount(uint8_t* block, uint64_t count);

}  // namespace measure
