#include "framework/worker_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "platform/clock.h"
#include "support/test_environment.h"

namespace measure::framework {
namespace {

using Clock = std::chrono::steady_clock;
using test::LogCapture;

// Holds a request inside the worker until the test lets it go (or the gate
// is destroyed), so that "running" is a state the test controls.
class Gate {
public:
    ~Gate() { open(); }
    void open() {
        {
            std::lock_guard lock(mutex_);
            open_ = true;
        }
        changed_.notify_all();
    }
    void pass() {
        {
            std::lock_guard lock(mutex_);
            entered_ = true;
        }
        changed_.notify_all();
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, std::chrono::seconds(10), [this] { return open_; });
    }
    bool waitEntered() {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(5), [this] { return entered_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = false;
    bool entered_ = false;
};

TEST(WorkerThread, DestroyingAnIdleWorkerEndsItsThreadAtOnce) {
    LogCapture log;
    const int before = clWORKER_THREAD::liveThreads();
    const auto start = Clock::now();
    {
        // 60 s specified is 600 ms here; an idle worker must not use any of it.
        clWORKER_THREAD worker(60000, "Idle");
        EXPECT_EQ(clWORKER_THREAD::liveThreads(), before + 1);
    }
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(400));
    EXPECT_EQ(clWORKER_THREAD::liveThreads(), before);
    EXPECT_TRUE(log.has("clWORKER_THREAD::clWORKER_THREAD", "Idle"));
    EXPECT_TRUE(log.has("clWORKER_THREAD::~clWORKER_THREAD", "thread exited"));
    EXPECT_TRUE(log.has("Idle", "Stopped"));
    EXPECT_FALSE(log.has("clWORKER_THREAD::~clWORKER_THREAD", "WAIT_TIMEOUT"));
}

// The function-and-context form runs only with both.
TEST(WorkerThread, RunsRequestsInOrderAndLogsUnderItsName) {
    LogCapture log;
    std::vector<int> order;
    {
        clWORKER_THREAD worker(60000, "Ordered");
        for (int i = 0; i < 4; ++i) worker.StartRequest([&order, i] { order.push_back(i); });
        auto push9 = [](void* context) { static_cast<std::vector<int>*>(context)->push_back(9); };
        worker.StartRequest(push9, &order);
        worker.StartRequest(push9, nullptr);
        worker.StartRequest(nullptr, &order);
        worker.WaitRequest(platform::kInfinite);
        EXPECT_FALSE(worker.busy());
    }
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 9}));
    // An empty request still passes through the loop.
    EXPECT_EQ(log.count("Ordered", "Request"), 7);
    EXPECT_EQ(log.count("Ordered", "Request done"), 7);
    EXPECT_GE(log.count("Ordered", "Wait for requests"), 7);
}

TEST(WorkerThread, AThrowingRequestIsLoggedAndTheNextOneRuns) {
    LogCapture log;
    std::atomic<bool> ran{false};
    clWORKER_THREAD worker(60000, "Thrower");
    worker.StartRequest([] { throw std::runtime_error("instrument gone"); });
    worker.StartRequest([] { throw 42; });
    worker.StartRequest([&ran] { ran = true; });
    worker.WaitRequest(platform::kInfinite);
    EXPECT_TRUE(ran);
    EXPECT_TRUE(log.has("Thrower", "Request catch(exception \"instrument gone\")"));
    EXPECT_TRUE(log.has("Thrower", "Request catch(...)"));
    EXPECT_EQ(log.count("Thrower", "Request done"), 3);
}

TEST(WorkerThread, StartRequestOnABusyWorkerThrowsAfterTheTimeoutAndLeavesTheRequestAlone) {
    Gate gate;
    std::atomic<bool> finished{false};
    std::atomic<bool> second{false};
    // A timeout below the real-time floor of worker waits costs its full length.
    clWORKER_THREAD worker(20, "Busy");
    worker.StartRequest([&] {
        gate.pass();
        finished = true;
    });
    ASSERT_TRUE(gate.waitEntered());
    const auto start = Clock::now();
    try {
        worker.StartRequest([&second] { second = true; });
        FAIL() << "a busy worker accepted a request";
    } catch (const exWORKER_THREAD& e) {
        EXPECT_STREQ(e.what(), "clWORKER_THREAD::WaitRequest: !=WAIT_OBJECT_0");
    }
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(15));
    EXPECT_TRUE(worker.busy());
    gate.open();
    worker.WaitRequest(platform::kInfinite);
    EXPECT_TRUE(finished);
    EXPECT_FALSE(second);
}

TEST(WorkerThread, AnOverrunningRequestIsAbandonedAndFinishesSafelyLater) {
    LogCapture log;
    const int before = clWORKER_THREAD::liveThreads();
    auto gate = std::make_shared<Gate>();
    auto result = std::make_shared<std::atomic<int>>(0);
    std::chrono::steady_clock::duration destroyTime{};
    {
        auto worker = std::make_unique<clWORKER_THREAD>(20, "Overrun");
        // The request owns what it touches after its worker has gone.
        auto payload = std::make_shared<std::vector<int>>(1000, 1);
        worker->StartRequest([gate, result, payload] {
            gate->pass();
            int sum = 0;
            for (int v : *payload) sum += v;
            result->store(sum);
        });
        ASSERT_TRUE(gate->waitEntered());
        const auto start = Clock::now();
        worker.reset();
        destroyTime = Clock::now() - start;
    }
    EXPECT_GE(destroyTime, std::chrono::milliseconds(15));
    EXPECT_LT(destroyTime, std::chrono::seconds(2));
    EXPECT_TRUE(log.has("clWORKER_THREAD::~clWORKER_THREAD", "WAIT_TIMEOUT"));
    EXPECT_FALSE(log.has("clWORKER_THREAD::~clWORKER_THREAD", "thread exited"));
    EXPECT_EQ(result->load(), 0);

    gate->open();
    ASSERT_TRUE(test::waitFor([&] { return clWORKER_THREAD::liveThreads() <= before; }, 5000));
    EXPECT_EQ(result->load(), 1000);
    EXPECT_TRUE(log.has("Overrun", "Request done"));
    EXPECT_TRUE(log.has("Overrun", "Stopped"));
}

}  // namespace
}  // namespace measure::framework
