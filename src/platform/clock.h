// The one clock of the library. Every sleep and every timed wait goes through
// it so that a process-wide time scale can shrink the instruments' specified
// delays (beeps, retries, simulated calibrations) in tests and the demo while
// keeping their order. MEASURE_TIME_SCALE sets the scale at load; production
// leaves it at 1.
#pragma once

#include <chrono>
#include <cstdint>

namespace measure::platform {

inline constexpr uint32_t kInfinite = 0xFFFFFFFFu;

double timeScale();
void setTimeScale(double scale);

// A specified delay of `ms` milliseconds on the scaled clock.
std::chrono::nanoseconds scaled(uint32_t ms);

// A wait for another party to act (an instrument's answer, a service's
// reply, a peer taking bytes): the scaled delay, but never shorter than
// kPeerWaitFloorMs of real time (or the unscaled delay when that is shorter),
// so a peer on a loaded machine can still answer while tests shrink time.
// At scale 1 it equals scaled(ms).
inline constexpr uint32_t kPeerWaitFloorMs = 50;
std::chrono::nanoseconds scaledPeerWait(uint32_t ms);

// Sleeps `ms` specified milliseconds (scaled).
void sleepMs(uint32_t ms);

// Milliseconds of the monotonic clock, unscaled, wrapping like a tick count.
uint32_t tickCountMs();

}  // namespace measure::platform
