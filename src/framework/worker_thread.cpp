#include "framework/worker_thread.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <utility>

#include "core/logger.h"
#include "platform/clock.h"

namespace measure::framework {

const char kWorkerStop[] = "STOP";

namespace {

std::atomic<int> gLiveThreads{0};

constexpr const char* kDefaultName = "clWORKER_THREAD::ThreadMain";
constexpr const char* kWaitFailed = "clWORKER_THREAD::WaitRequest: !=WAIT_OBJECT_0";

// A worker wait of `ms` specified milliseconds: scaled, but at least
// kWorkerWaitFloorMs of real time (or `ms` when shorter).
std::chrono::nanoseconds workerWait(uint32_t ms) {
    const std::chrono::nanoseconds floor = std::chrono::milliseconds(std::min(ms, kWorkerWaitFloorMs));
    return std::max<std::chrono::nanoseconds>(platform::scaled(ms), floor);
}

}  // namespace

// The three events of the worker share one mutex and one condition variable,
// so that the loop can wait for the first of stop and request with stop
// taking priority, as a wait on several events would.
struct clWORKER_THREAD::Shared {
    explicit Shared(const char* threadName) : name(threadName) {}

    const char* const name;  // null: the loop logs under kDefaultName
    std::mutex mutex;
    std::condition_variable changed;
    bool requestEvent = false;  // auto-reset: a request is waiting
    bool doneEvent = true;      // manual-reset: no request is running
    bool stopEvent = false;     // manual-reset: the thread shall end
    bool exited = false;        // the loop has returned
    std::function<void()> request;

    const char* logName() const { return name != nullptr ? name : kDefaultName; }

    // Under the lock: waits up to `ms` for doneEvent; throws when it stays clear.
    void waitDone(std::unique_lock<std::mutex>& lock, uint32_t ms) {
        if (doneEvent) return;
        Log(3, "clWORKER_THREAD::WaitRequest", name);
        const auto isDone = [this] { return doneEvent; };
        if (ms == platform::kInfinite) {
            changed.wait(lock, isDone);
        } else if (!changed.wait_for(lock, workerWait(ms), isDone)) {
            throw exWORKER_THREAD(kWaitFailed);
        }
    }

    void setDone(bool finished) {
        {
            std::lock_guard lock(mutex);
            doneEvent = true;
            if (finished) exited = true;
        }
        changed.notify_all();
    }
};

namespace {

void runRequest(const char* fn, std::function<void()>& request) {
    if (!request) return;
    try {
        request();
    } catch (const std::exception& e) {
        LogF(0, fn, "Request catch(exception \"%s\")", e.what());
    } catch (...) {
        Log(0, fn, "Request catch(...)");
    }
}

void loop(clWORKER_THREAD::Shared& s) {
    const char* fn = s.logName();
    for (;;) {
        Log(1, fn, "Wait for requests");
        std::function<void()> request;
        {
            std::unique_lock lock(s.mutex);
            s.changed.wait(lock, [&s] { return s.stopEvent || s.requestEvent; });
            if (s.stopEvent) throw exWORKER_THREAD(kWorkerStop);
            s.requestEvent = false;
            request = std::move(s.request);
            s.request = nullptr;
        }
        Log(1, fn, "Request");
        runRequest(fn, request);
        // The request's captures go before "done", so that a waiter that
        // returns from WaitRequest may free what they referred to.
        request = nullptr;
        Log(1, fn, "Request done");
        s.setDone(false);
    }
}

void ThreadMain(std::shared_ptr<clWORKER_THREAD::Shared> shared) {
    clWORKER_THREAD::Shared& s = *shared;
    const char* fn = s.logName();
    try {
        loop(s);
    } catch (const exWORKER_THREAD& e) {
        if (e.what() == kWorkerStop)
            Log(1, fn, "Stopped");
        else
            LogF(0, fn, "catch(exception \"%s\")", e.what());
    } catch (const std::exception& e) {
        LogF(0, fn, "catch(exception \"%s\")", e.what());
    } catch (...) {
        Log(0, fn, "catch(...)");
    }
    // A request that was handed over but never run lets go of its captures
    // here, on this thread, before anyone is told the thread has ended.
    std::function<void()> unrun;
    {
        std::lock_guard lock(s.mutex);
        unrun = std::move(s.request);
        s.request = nullptr;
    }
    unrun = nullptr;
    // No waiter may hang on a thread that has ended.
    s.setDone(true);
    shared.reset();
    gLiveThreads.fetch_sub(1);
}

}  // namespace

clWORKER_THREAD::clWORKER_THREAD(uint32_t timeout, const char* name)
    : timeout_(timeout), shared_(std::make_shared<Shared>(name)) {
    Log(3, "clWORKER_THREAD::clWORKER_THREAD", name);
    gLiveThreads.fetch_add(1);
    try {
        thread_ = std::thread(ThreadMain, shared_);
    } catch (const std::system_error&) {
        gLiveThreads.fetch_sub(1);
        throw exWORKER_THREAD("clWORKER_THREAD::clWORKER_THREAD: _ThreadHandle==NULL");
    }
}

clWORKER_THREAD::~clWORKER_THREAD() {
    const char* fn = "clWORKER_THREAD::~clWORKER_THREAD";
    Log(3, fn, shared_->name);
    if (!thread_.joinable()) return;
    if (thread_.get_id() == std::this_thread::get_id()) {
        // The last owner of a driver let go on this very thread (a request
        // that outlived its close): the loop ends when the request returns.
        {
            std::lock_guard lock(shared_->mutex);
            shared_->stopEvent = true;
        }
        shared_->changed.notify_all();
        thread_.detach();
        return;
    }
    bool ended = false;
    {
        std::unique_lock lock(shared_->mutex);
        shared_->stopEvent = true;
        shared_->changed.notify_all();
        const auto hasExited = [this] { return shared_->exited; };
        if (timeout_ == platform::kInfinite) {
            shared_->changed.wait(lock, hasExited);
            ended = true;
        } else {
            ended = shared_->changed.wait_for(lock, workerWait(timeout_), hasExited);
        }
    }
    if (ended) {
        thread_.join();
        Log(2, fn, "thread exited");
    } else {
        // Exit code 99 of a forced termination; the thread keeps its share
        // of the state and ends on its own when its request returns.
        Log(0, fn, "WAIT_TIMEOUT");
        thread_.detach();
    }
}

void clWORKER_THREAD::StartRequest(RequestFunction function, void* context) {
    if (function != nullptr && context != nullptr)
        StartRequest([function, context] { function(context); });
    else
        StartRequest(std::function<void()>());
}

void clWORKER_THREAD::StartRequest(std::function<void()> request) {
    std::unique_lock lock(shared_->mutex);
    shared_->waitDone(lock, timeout_);
    Log(3, "clWORKER_THREAD::StartRequest", shared_->name);
    shared_->doneEvent = false;
    shared_->request = std::move(request);
    shared_->requestEvent = true;
    shared_->changed.notify_all();
}

void clWORKER_THREAD::WaitRequest(uint32_t ms) {
    std::unique_lock lock(shared_->mutex);
    shared_->waitDone(lock, ms);
}

bool clWORKER_THREAD::busy() const {
    std::lock_guard lock(shared_->mutex);
    return !shared_->doneEvent;
}

const char* clWORKER_THREAD::name() const {
    return shared_->name;
}

int clWORKER_THREAD::liveThreads() {
    return gLiveThreads.load();
}

}  // namespace measure::framework
