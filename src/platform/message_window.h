// Notifications to the host's window. On Windows these are PostMessageA and
// SendMessageA; on POSIX a window is a message queue that the host created
// with MeasureCreateMessageWindow and reads with MeasureGetMessage.
#pragma once

#include <atomic>
#include <cstdint>

#include "measure/measure.h"

namespace measure::platform {

// Queues the message and returns at once; false for an unknown window.
bool postWindowMessage(HWND hWnd, uint32_t message, uint64_t wParam, int64_t lParam);

// Delivers the message and waits until the host has taken it, the window is
// gone or `cancel` (may be null) is set; a cancelled message is withdrawn
// where the system allows. False for an unknown window or a cancelled send.
bool sendWindowMessage(HWND hWnd, uint32_t message, uint64_t wParam, int64_t lParam,
                       const std::atomic<bool>* cancel);

}  // namespace measure::platform
