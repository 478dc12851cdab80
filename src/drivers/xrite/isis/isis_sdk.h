// The X-Rite i1iSis SDK (EyeOne_iSis64.dll) as clISIS calls it. The library
// exports its calls by ordinal only; it is loaded at run time, so these are
// the function types the binder resolves, not prototypes. The SDK stand-in in
// emulators/xrite/isis/ checks its exports against the same types.
//
// Every call answers an SDK code, 0 for success (isisErrorText turns a code
// into the SDK's text), except the option reads, which answer a text owned by
// the SDK (valid until the next call on the same thread), and the paper
// release, which answers nothing.
#pragma once

#include <cstdint>

namespace measure::xrite {

// SDK codes the driver tells apart.
inline constexpr int32_t kIsisSuccess = 0;
// Chart status: no sheet in the paper path.
inline constexpr int32_t kIsisNoChart = 7;
// A code without text of its own, and the SDK's "unknown error": both are
// explained by the option "LastError".
inline constexpr int32_t kIsisUnexplained = 15;
inline constexpr int32_t kIsisUnknownError = 16;

inline constexpr int kIsisSpectrumBands = 36;  // 380..730 nm in 10 nm steps

namespace isisfn {
using MeasureChart = int32_t(int32_t how);                                    // 2, with 1
using GetSpectrum = int32_t(float* spectrum36, int32_t row, int32_t column);  // 3
using GetOption = const char*(const char* key);                               // 6, null when unknown
using SetOption = int32_t(const char* key, const char* value);                // 7
using ChartStatus = int32_t();                                                // 8: 0 inside, 7 none
using IsConnected = int32_t();                                                // 9: 0 connected
using PrepareChart = int32_t(int32_t how);                                    // 12, with 0
using Prescan = int32_t();                                                    // 14
using ReleasePaper = void();                                                  // 16
using SerialNumberUnopened = const char*();                                   // 22
}  // namespace isisfn

// Expands X(ordinal, Name) for every call, in ordinal order. The binder and
// the stand-in walk this one list, so neither can forget a call.
#define MEASURE_ISIS_CALLS(X) \
    X(2, MeasureChart)        \
    X(3, GetSpectrum)         \
    X(6, GetOption)           \
    X(7, SetOption)           \
    X(8, ChartStatus)         \
    X(9, IsConnected)         \
    X(12, PrepareChart)       \
    X(14, Prescan)            \
    X(16, ReleasePaper)       \
    X(22, SerialNumberUnopened)

}  // namespace measure::xrite
