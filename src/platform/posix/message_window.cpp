// POSIX message windows: a window is a queue in this process. The host
// creates it, gives its handle to the record's hWnd and reads it with
// MeasureGetMessage on whatever thread it likes. Handles are never reused, so
// a stale handle reads as an unknown window rather than someone else's queue.
#include "platform/message_window.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace measure::platform {
namespace {

struct SendState {
    std::mutex mutex;
    std::condition_variable cv;
    bool done = false;

    void finish() {
        {
            std::lock_guard lock(mutex);
            done = true;
        }
        cv.notify_all();
    }
};

struct Pending {
    uint32_t message;
    uint64_t wParam;
    int64_t lParam;
    std::shared_ptr<SendState> sent;  // null for posted messages
};

struct Window {
    std::mutex mutex;
    std::condition_variable cv;
    std::deque<Pending> queue;
    bool destroyed = false;
};

struct WindowTable {
    std::mutex mutex;
    std::unordered_map<uintptr_t, std::shared_ptr<Window>> windows;
    uintptr_t next = 0x10000;
};

WindowTable& table() {
    static WindowTable* instance = new WindowTable;  // outlives every host thread
    return *instance;
}

std::shared_ptr<Window> find(HWND hWnd) {
    WindowTable& t = table();
    std::lock_guard lock(t.mutex);
    auto it = t.windows.find(reinterpret_cast<uintptr_t>(hWnd));
    return it == t.windows.end() ? nullptr : it->second;
}

bool enqueue(HWND hWnd, Pending pending) {
    std::shared_ptr<Window> window = find(hWnd);
    if (!window) return false;
    {
        std::lock_guard lock(window->mutex);
        if (window->destroyed) return false;
        window->queue.push_back(std::move(pending));
    }
    window->cv.notify_one();
    return true;
}

}  // namespace

bool postWindowMessage(HWND hWnd, uint32_t message, uint64_t wParam, int64_t lParam) {
    return enqueue(hWnd, Pending{message, wParam, lParam, nullptr});
}

// How often a blocked sender looks at its cancel flag, in real time: the
// flag is a plain atomic that nobody signals.
constexpr auto kCancelPoll = std::chrono::milliseconds(5);

bool sendWindowMessage(HWND hWnd, uint32_t message, uint64_t wParam, int64_t lParam,
                       const std::atomic<bool>* cancel) {
    auto state = std::make_shared<SendState>();
    if (!enqueue(hWnd, Pending{message, wParam, lParam, state})) return false;
    {
        std::unique_lock lock(state->mutex);
        for (;;) {
            if (state->done) return true;
            if (cancel != nullptr && cancel->load()) break;
            state->cv.wait_for(lock, kCancelPoll);
        }
    }
    // Cancelled: withdraw the message unless the host took it meanwhile.
    if (std::shared_ptr<Window> window = find(hWnd)) {
        std::lock_guard lock(window->mutex);
        auto& q = window->queue;
        for (auto it = q.begin(); it != q.end(); ++it) {
            if (it->sent == state) {
                q.erase(it);
                return false;
            }
        }
    }
    std::lock_guard lock(state->mutex);
    return state->done;
}

}  // namespace measure::platform

using measure::platform::Pending;
using measure::platform::Window;

MEASURE_API HWND MeasureCreateMessageWindow(void) {
    try {
        auto& t = measure::platform::table();
        auto window = std::make_shared<Window>();
        std::lock_guard lock(t.mutex);
        const uintptr_t handle = t.next;
        t.next += 0x10;
        t.windows.emplace(handle, std::move(window));
        return reinterpret_cast<HWND>(handle);
    } catch (...) {
        return nullptr;
    }
}

MEASURE_API int MeasureGetMessage(HWND hWnd, MEASURE_MSG* msg, int timeout_ms) {
    try {
        std::shared_ptr<Window> window = measure::platform::find(hWnd);
        if (!window) return -1;
        std::unique_lock lock(window->mutex);
        auto ready = [&] { return window->destroyed || !window->queue.empty(); };
        if (timeout_ms < 0) {
            window->cv.wait(lock, ready);
        } else if (!window->cv.wait_for(lock, std::chrono::milliseconds(timeout_ms), ready)) {
            return 0;
        }
        if (window->destroyed) return -1;
        Pending pending = std::move(window->queue.front());
        window->queue.pop_front();
        lock.unlock();
        if (msg != nullptr) *msg = MEASURE_MSG{hWnd, pending.message, pending.wParam, pending.lParam};
        if (pending.sent) pending.sent->finish();
        return 1;
    } catch (...) {
        return -1;
    }
}

MEASURE_API void MeasureDestroyMessageWindow(HWND hWnd) {
    std::shared_ptr<Window> window;
    {
        auto& t = measure::platform::table();
        std::lock_guard lock(t.mutex);
        auto it = t.windows.find(reinterpret_cast<uintptr_t>(hWnd));
        if (it == t.windows.end()) return;
        window = std::move(it->second);
        t.windows.erase(it);
    }
    std::deque<Pending> dropped;
    {
        std::lock_guard lock(window->mutex);
        window->destroyed = true;
        dropped.swap(window->queue);
    }
    window->cv.notify_all();
    // Senders blocked on a destroyed window are released.
    for (Pending& pending : dropped)
        if (pending.sent) pending.sent->finish();
}
