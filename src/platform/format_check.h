// Compile-time checking of printf-style formats in the library's own
// printf-like functions (the logger).
//
// The library formats with the C99 printf on every system: on Windows the
// mingw runtime's own (__USE_MINGW_ANSI_STDIO), which takes %zu and %lld.
// GCC's "printf" archetype means Microsoft's formats on that target, so the
// GNU archetype is named there instead.
#pragma once

#if defined(__MINGW32__)
#define MEASURE_PRINTF(fmt, args) __attribute__((format(gnu_printf, fmt, args)))
#elif defined(__GNUC__)
#define MEASURE_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define MEASURE_PRINTF(fmt, args)
#endif
