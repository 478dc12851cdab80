// A message-only window records every message its procedure receives after
// creation: posted ones arrive through the thread's queue and DispatchMessage,
// sent ones through the pump while the sender waits for the reply.
#include <windows.h>

#include <chrono>
#include <deque>

#include "support/host_window.h"

namespace measure::test {

struct HostWindow::Queue {
    std::deque<HostMessage> messages;
    bool recording = false;
    bool destroyed = false;
};

namespace {

constexpr const char* kClassName = "MeasureTestHostWindow";

LRESULT CALLBACK hostWindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* queue = reinterpret_cast<HostWindow::Queue*>(::GetWindowLongPtrA(hWnd, GWLP_USERDATA));
    if (queue != nullptr && queue->recording) {
        queue->messages.push_back(
            HostMessage{message, static_cast<uint64_t>(wParam), static_cast<int64_t>(lParam)});
        return 0;
    }
    return ::DefWindowProcA(hWnd, message, wParam, lParam);
}

void registerClassOnce() {
    static const bool registered = [] {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = hostWindowProc;
        windowClass.hInstance = ::GetModuleHandleA(nullptr);
        windowClass.lpszClassName = kClassName;
        return ::RegisterClassA(&windowClass) != 0;
    }();
    (void)registered;
}

// Handles whatever is waiting for this thread: sent messages are delivered
// inside PeekMessage, posted ones are dispatched here.
void pump() {
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageA(&msg);
}

}  // namespace

HostWindow::HostWindow() : queue_(new Queue) {
    registerClassOnce();
    handle_ = ::CreateWindowExA(0, kClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                ::GetModuleHandleA(nullptr), nullptr);
    if (handle_ != nullptr) {
        ::SetWindowLongPtrA(handle_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(queue_));
        queue_->recording = true;
    } else {
        queue_->destroyed = true;
    }
}

HostWindow::~HostWindow() {
    destroy();
    delete queue_;
}

int HostWindow::next(HostMessage& out, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (queue_->destroyed) return -1;
        pump();
        if (!queue_->messages.empty()) {
            out = queue_->messages.front();
            queue_->messages.pop_front();
            return 1;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return 0;
        ::MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(left.count()), QS_ALLINPUT,
                                      MWMO_INPUTAVAILABLE);
    }
}

std::vector<HostMessage> HostWindow::drain() {
    std::vector<HostMessage> out;
    HostMessage msg{};
    while (next(msg, 0) == 1) out.push_back(msg);
    return out;
}

void HostWindow::destroy() {
    if (queue_->destroyed) return;
    queue_->recording = false;
    queue_->destroyed = true;
    ::DestroyWindow(handle_);
    // A sender still waiting on the window gets its reply when this thread
    // next looks at its queue.
    pump();
}

bool systemWithdrawsCancelledSends() {
    return false;
}

bool systemRefusesPointerMessages() {
    return true;
}

}  // namespace measure::test
