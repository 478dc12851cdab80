#include "platform/posix/poll_wait.h"

#include <poll.h>
#include <cerrno>

namespace measure::platform::detail {

int pollUntil(int fd, short events, Deadline deadline) {
    using Clock = std::chrono::steady_clock;
    for (;;) {
        timespec wait{};
        timespec* limit = nullptr;
        if (deadline) {
            const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(*deadline - Clock::now());
            if (left.count() <= 0) return 0;
            wait.tv_sec = static_cast<time_t>(left.count() / 1000000000);
            wait.tv_nsec = static_cast<long>(left.count() % 1000000000);
            limit = &wait;
        }
        pollfd entry{fd, events, 0};
        const int ready = ::ppoll(&entry, 1, limit, nullptr);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) return -1;
        if (ready == 0) continue;  // re-check the deadline
        if ((entry.revents & POLLNVAL) != 0) {
            errno = EBADF;
            return -1;
        }
        return 1;
    }
}

}  // namespace measure::platform::detail
