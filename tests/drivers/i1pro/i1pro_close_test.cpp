// Closing an i1Pro while its request cannot end, as a hostile host would:
// an SDK call that hangs past the close budget, and a host that calls
// CloseInstrument instead of taking the density message the driver is
// waiting to hand it. Run at a time scale where the stop wait and the worker
// timeouts keep their real proportions.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <thread>

#include "drivers/i1pro/i1pro_host.h"
#include "framework/worker_thread.h"
#include "support/test_environment.h"

namespace measure::test {
namespace {

// Large enough that the floors of the worker waits never apply: 30 s of stop
// wait become 1.5 s, MeasureThread's 30 s timeout 1.5 s, KeyThread's 2 s 100 ms.
constexpr double kScale = 0.05;
constexpr int kStopBudgetMs = 30000;
constexpr int kMeasureTimeoutMs = 30000;

int msSince(std::chrono::steady_clock::time_point start) {
    return static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
            .count());
}

class I1ProClose : public ::testing::Test {
protected:
    void SetUp() override { useI1StandIn(); }
    void TearDown() override { emu_i1_reset(); }
    ScopedTimeScale scale_{kScale};
    const int threadsBefore_ = framework::clWORKER_THREAD::liveThreads();
};

// The spot calibration hangs inside the SDK and ignores the stop. The close
// gives up after its budget and returns; the host then frees its record. The
// request, released later, must touch neither that record nor the result
// block, and the driver ends with it: the instrument is let go and no thread
// is left behind.
TEST_F(I1ProClose, ARequestHungPastTheCloseBudgetOutlivesTheCloseWithoutTouchingTheHost) {
    auto host = std::make_unique<I1ProHost>(11, MEASURE_MODE_SPECTRAL, 6);
    ASSERT_EQ(host->open(), 0);
    emu_i1_hold_calibration("ReflectanceSpot");
    ASSERT_EQ(WhiteCalibration(host->record()), 0);
    ASSERT_TRUE(waitFor([] { return emu_i1_calibration_waiting() == 1; }));

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(host->close(), 0);
    const int took = msSince(start);
    EXPECT_GE(took, static_cast<int>(kStopBudgetMs * kScale)) << "the close did not wait for the request";
    // Stop wait, then MeasureThread's end; a second of slack for the machine.
    EXPECT_LT(took, static_cast<int>((kStopBudgetMs + kMeasureTimeoutMs) * kScale) + 1000);
    EXPECT_EQ(host->rec.pDllData, nullptr);
    EXPECT_EQ(host->rec.port, -1);
    EXPECT_EQ(emu_i1_holder(), EMU_I1_HOLDER_I1PRO) << "torn down under the running SDK call";

    host.reset();  // the host frees its record and its window
    emu_i1_hold_calibration(nullptr);
    EXPECT_TRUE(waitFor([] { return emu_i1_holder() == EMU_I1_HOLDER_NONE; }));
    EXPECT_TRUE(waitFor([&] { return framework::clWORKER_THREAD::liveThreads() == threadsBefore_; }));
}

// The driver sends each density but the strip's last and waits for the host
// to take it. A host that closes instead, on the thread that owns the
// window, gets a close that ends the request at once: nothing is abandoned.
TEST_F(I1ProClose, ASentDensityMessageGivesWayToTheClose) {
    I1ProHost host(11, MEASURE_MODE_STATUS_E, 6);
    ASSERT_EQ(host.openOld(), 0);
    queue(strip(20, 6));
    emu_i1_set_auto_press(1);
    ASSERT_EQ(StartMultiMeasure(host.record()), 0);
    // The first spectrum read: its density goes out as a sent message next,
    // and the host never takes it.
    ASSERT_TRUE(waitFor([] { return emu_i1_count("I1_GetSpectrum") >= 1; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(host.close(), 0);
    EXPECT_LT(msSince(start), static_cast<int>(kStopBudgetMs * kScale)) << "the close waited out its budget";
    EXPECT_EQ(emu_i1_holder(), EMU_I1_HOLDER_NONE);
    EXPECT_EQ(framework::clWORKER_THREAD::liveThreads(), threadsBefore_);
}

}  // namespace
}  // namespace measure::test
