// The host's side of notifications, as a real host sets it up: on Windows a
// message-only window (HWND_MESSAGE) whose messages are pumped on the thread
// that created it; on POSIX a message window of the library.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

#include "measure/measure.h"

namespace measure::test {

struct HostMessage {
    uint32_t message;
    uint64_t wParam;
    int64_t lParam;
};

class HostWindow {
public:
    HostWindow();
    ~HostWindow();
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;

    HWND handle() const { return handle_; }

    // Takes the next message, posted or sent, waiting up to timeoutMs
    // (unscaled). 1 a message, 0 none in time, -1 the window is gone. On
    // Windows only the creating thread may call it.
    int next(HostMessage& out, int timeoutMs);
    // Every message that is waiting now, in order.
    std::vector<HostMessage> drain();
    // Destroys the window; senders still waiting on it are released.
    void destroy();

    struct Queue;  // what the system's side keeps

private:
    HWND handle_ = nullptr;
    Queue* queue_ = nullptr;
};

// Whether the system refuses to post its own messages that carry a pointer
// (Windows' message 1); the POSIX queue takes them as any other.
bool systemRefusesPointerMessages();
// Whether a sent message given up by its sender is taken back from the
// window's queue (POSIX); Windows delivers a message once it has been sent.
bool systemWithdrawsCancelledSends();
// Hands every message to `take` until it answers true (then true) or
// `timeout` (unscaled) has passed or the window is gone (then false).
inline bool takeMessagesUntil(HostWindow& window, std::chrono::milliseconds timeout,
                              const std::function<bool(const HostMessage&)>& take) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        HostMessage m{};
        if (left.count() <= 0 || window.next(m, static_cast<int>(left.count())) != 1) return false;
        if (take(m)) return true;
    }
}

// What takeUntilThreadEnd answers when the awaited status came.
inline constexpr int kStatusReached = 1000;

// A request's notifications on `window` for the record whose Message is
// `base`, up to its thread end: the end code, kStatusReached when the status
// `untilStatus` came first, -100 when neither came within `timeout`.
// Statuses go to `statuses`, every other message to `other`.
inline int takeUntilThreadEnd(HostWindow& window, uint32_t base, std::chrono::milliseconds timeout,
                              int untilStatus, std::vector<int>& statuses,
                              const std::function<void(const HostMessage&)>& other) {
    int end = -100;
    takeMessagesUntil(window, timeout, [&](const HostMessage& m) {
        if (m.message == base + MEASURE_MSG_THREAD_END) {
            end = static_cast<int>(m.wParam);
            return true;
        }
        if (m.message == base + MEASURE_MSG_STATUS && m.wParam == MEASURE_KIND_STATUS) {
            statuses.push_back(static_cast<int>(m.lParam));
            if (m.lParam == untilStatus) {
                end = kStatusReached;
                return true;
            }
            return false;
        }
        other(m);
        return false;
    });
    return end;
}

}  // namespace measure::test
