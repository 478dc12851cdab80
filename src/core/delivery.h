// Result delivery: the notifications every driver sends to the host, by
// window message when the record (or the remembered fallback) has a window,
// else by a call on the attached observer, else not at all. Called on driver
// threads.
#pragma once

#include <cstddef>
#include <cstdint>

#include "measure/measure.h"

namespace measure {

void PostScanspeedStatus(MEASURESTRUCT* record, uint32_t value);
void PostPassno(MEASURESTRUCT* record, int32_t value);
void PostPassEnd(MEASURESTRUCT* record, uint32_t value);
void PostStatusCode(MEASURESTRUCT* record, int32_t value);
void PostPageno(MEASURESTRUCT* record, int32_t value);
// Throws std::runtime_error("PostMeasureData NULL") for a null record.
void PostMeasureData(MEASURESTRUCT* record, uint64_t wParam, void* result);
void PostThreadEndMessage(MEASURESTRUCT* record, int32_t endCode);
// Old-record density delivery: message Message, wParam NumOfMeasurements,
// lParam the slot address; posted, or sent (waiting for the host) when `send`.
void NotifyDensitySlot(MEASURESTRUCT* record, bool send);
// Observer tone of the sound feedback (no window channel).
void NotifyBeep(uint32_t frequencyHz, uint32_t durationMs);

MeasureObserverC* attachedObserver();

// Result block writers. `block` is the record's result block (GetResultBlock);
// patches are 0-based and must lie below the block's capacity, which these
// check. The delivered pointer (block + 16) is what PostMeasureData hands on.
uint64_t resultCapacity(const uint8_t* block);
void* deliveredResult(uint8_t* block);
// Three-value form: X, Y, Z or L*, a*, b* of patch i; count N at the head.
bool writeTriple(uint8_t* block, uint64_t patch, double v0, double v1, double v2);
void writeTripleCount(uint8_t* block, uint64_t count);
// Spectral form: 36 bands of patch i (380..730 nm), optionally three colour
// values at 36..38; header 380/10/36 and count N.
bool writeSpectrum(uint8_t* block, uint64_t patch, const double* bands36, const double* colour3 = nullptr);
void writeSpectralCount(uint8_t* block, uint64_t count);

}  // namespace measure
