// Notifications to the host's window. On Windows these are PostMessageA and
// SendMessageA; on POSIX a window is a message queue that the host created
// with MeasureCreateMessageWindow and reads with MeasureGetMessage.
#pragma once

#include <cstdint>

#include "measure/measure.h"

namespace measure::platform {

// Queues the message and returns at once; false for an unknown window.
bool postWindowMessage(HWND hWnd, uint32_t message, uint64_t wParam, int64_t lParam);

// Delivers the message and waits until the host has taken it (or the window
// is gone). False for an unknown window.
bool sendWindowMessage(HWND hWnd, uint32_t message, uint64_t wParam, int64_t lParam);

}  // namespace measure::platform
