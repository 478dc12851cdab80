// The one readiness wait of the POSIX backends: poll a descriptor until it is
// ready or a deadline passes, resuming after signals.
#pragma once

#include <chrono>
#include <optional>

namespace measure::platform::detail {

using Deadline = std::optional<std::chrono::steady_clock::time_point>;

// Waits until `fd` reports `events` (or an error or hang-up, which the next
// read or write tells apart) or `deadline` passes (nullopt: no limit).
// 1 ready, 0 timed out, -1 failed with errno set.
int pollUntil(int fd, short events, Deadline deadline);

}  // namespace measure::platform::detail
