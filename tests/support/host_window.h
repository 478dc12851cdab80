// The host's side of notifications, as a real host sets it up: on Windows a
// message-only window (HWND_MESSAGE) whose messages are pumped on the thread
// that created it; on POSIX a message window of the library.
#pragma once

#include <cstdint>
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

}  // namespace measure::test
