// Numbers in chart texts, read the way the C library's atoi/atof read them
// in the "C" locale (leading white space, an optional sign, the longest
// number that fits, 0 when there is none), but independent of the host's
// locale and without undefined behaviour on overflow.
#pragma once

#include <cstdint>
#include <string_view>

namespace measure {

// atof: a full stop is the decimal separator; overflow gives +-HUGE_VAL,
// underflow 0.
double parseDouble(std::string_view text);
// atoi/atol: saturates at the limits of int32 instead of overflowing.
int32_t parseInt(std::string_view text);
// The nearest integer, halves away from zero, saturated to int32; NaN is 0.
int32_t roundToInt(double value);

}  // namespace measure
