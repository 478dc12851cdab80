// Notifications go to the host's real window: posted ones are queued by the
// system in order; a sent one waits until the window's thread has handled it.
#include "platform/message_window.h"

#include <windows.h>

#include <atomic>
#include <memory>

namespace measure::platform {

// A null window would make PostMessageA queue the message to the calling
// thread itself; the library only ever means a host window.
bool postWindowMessage(HWND hWnd, uint32_t message, uint64_t wParam, int64_t lParam) {
    if (hWnd == nullptr) return false;
    return ::PostMessageA(hWnd, message, static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam)) != 0;
}

namespace {

// Set by the system on this thread once the window has handled the message.
// Shared by the sender and the callback: a cancelled sender returns before
// the callback may run, so the callback frees its own share.
struct SendState {
    std::atomic<bool> done{false};
};

void CALLBACK sendDone(HWND, UINT, ULONG_PTR data, LRESULT) {
    auto* share = reinterpret_cast<std::shared_ptr<SendState>*>(data);
    (*share)->done.store(true);
    delete share;
}

}  // namespace

// SendMessageA would block without a bound. The message goes out with
// SendMessageCallbackA instead, and this thread pumps its own queue (which
// is how the system delivers the completion callback) until the window has
// handled it, the window is destroyed or the request is stopped.
bool sendWindowMessage(HWND hWnd, uint32_t message, uint64_t wParam, int64_t lParam,
                       const std::atomic<bool>* cancel) {
    if (hWnd == nullptr || !::IsWindow(hWnd)) return false;
    auto state = std::make_shared<SendState>();
    auto* share = new std::shared_ptr<SendState>(state);
    if (!::SendMessageCallbackA(hWnd, message, static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam),
                                &sendDone, reinterpret_cast<ULONG_PTR>(share))) {
        delete share;
        return false;
    }
    for (;;) {
        MSG msg;
        ::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
        if (state->done.load()) return true;
        if (cancel != nullptr && cancel->load()) return false;
        if (!::IsWindow(hWnd)) return false;
        ::MsgWaitForMultipleObjectsEx(0, nullptr, 5, QS_SENDMESSAGE, 0);
    }
}

}  // namespace measure::platform
