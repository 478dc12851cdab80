// Notifications go to the host's real window: posted ones are queued by the
// system in order; a sent one waits until the window's thread has handled it.
#include "platform/message_window.h"

#include <windows.h>

namespace measure::platform {

// A null window would make PostMessageA queue the message to the calling
// thread itself; the library only ever means a host window.
bool postWindowMessage(HWND hWnd, uint32_t message, uint64_t wParam, int64_t lParam) {
    if (hWnd == nullptr) return false;
    return ::PostMessageA(hWnd, message, static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam)) != 0;
}

bool sendWindowMessage(HWND hWnd, uint32_t message, uint64_t wParam, int64_t lParam) {
    if (hWnd == nullptr || !::IsWindow(hWnd)) return false;
    ::SendMessageA(hWnd, message, static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam));
    return true;
}

}  // namespace measure::platform
