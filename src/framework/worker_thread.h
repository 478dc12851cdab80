// A thread that runs one request at a time. Every driver owns two: "KeyThread"
// for short side requests (sounds, button notifications) and "MeasureThread"
// for connection, calibration and measurement.
//
// The owner hands the worker a request; the worker runs it and signals "done".
// A request that throws is logged and the worker stays ready. Destroying the
// worker asks its thread to end and waits up to the worker's timeout; a
// request is never interrupted, so drivers set their own stop flag first.
//
// A thread that does not end within the timeout cannot be killed safely on
// POSIX. The destructor then logs "WAIT_TIMEOUT" and abandons (detaches) the
// thread. Everything that thread still touches (its events, the request and
// the request's captures) is owned jointly by the thread and the worker
// object, so the abandoned thread runs its request to the end and exits
// without touching freed memory. What the request itself refers to by plain
// pointer (a driver object, for instance) is the request's business: driver
// requests poll the stop flag at least every 100 ms and end long before.
//
// Timeouts are waits for another thread to act. They follow the time scale
// but never drop below kWorkerWaitFloorMs of real time (or the unscaled
// timeout when shorter): a new thread on a loaded machine can take a good
// part of that to be scheduled, and shrunken time in tests must not turn
// that into a failed open. At scale 1 the floor never applies.
//
// Threads: StartRequest and WaitRequest may be called from any thread; the
// request runs on the worker's own thread.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <thread>

namespace measure::framework {

// Failure of the worker machinery. It carries a pointer to a static text;
// the worker's own stop signal is recognised by that pointer (kWorkerStop),
// never by comparing characters.
class exWORKER_THREAD : public std::exception {
public:
    explicit exWORKER_THREAD(const char* text) noexcept : text_(text) {}
    const char* what() const noexcept override { return text_; }

private:
    const char* text_;
};

// Real-time floor of every worker timeout (see above).
inline constexpr uint32_t kWorkerWaitFloorMs = 500;

// The text of the worker's own stop signal.
extern const char kWorkerStop[];

class clWORKER_THREAD {
public:
    // The request form of the original interface: a function and its context.
    // The function runs only when both are set.
    using RequestFunction = void (*)(void* context);

    // Starts the thread. `timeout` (specified ms) bounds the wait for a
    // previous request in StartRequest and for the thread's end in the
    // destructor. `name` (a static text, or null) names the thread in every
    // log line of its loop. Throws exWORKER_THREAD when no thread can be had.
    clWORKER_THREAD(uint32_t timeout, const char* name);
    ~clWORKER_THREAD();
    clWORKER_THREAD(const clWORKER_THREAD&) = delete;
    clWORKER_THREAD& operator=(const clWORKER_THREAD&) = delete;

    // Waits up to the timeout for the running request (throwing
    // exWORKER_THREAD when it is still running), then hands `function` to
    // the thread and returns at once.
    void StartRequest(RequestFunction function, void* context);
    void StartRequest(std::function<void()> request);

    // Waits up to `ms` specified milliseconds (platform::kInfinite: no limit)
    // until no request runs; throws exWORKER_THREAD
    // "clWORKER_THREAD::WaitRequest: !=WAIT_OBJECT_0" when one still does.
    void WaitRequest(uint32_t ms);

    // True while a request is pending or running.
    bool busy() const;

    uint32_t timeout() const { return timeout_; }
    const char* name() const;

    // Worker threads whose loop has not returned yet, abandoned ones
    // included. Lets tests see that an abandoned thread has finished.
    static int liveThreads();

    struct Shared;  // the state the thread and the object own jointly

private:
    const uint32_t timeout_;
    std::shared_ptr<Shared> shared_;
    std::thread thread_;
};

}  // namespace measure::framework
