#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "framework/test_driver.h"
#include "platform/clock.h"
#include "support/test_environment.h"

namespace measure::test_driver {
namespace {

using framework::storedDriver;
using test::LogCapture;
using test::Notification;
using DriverSkeleton = TestDriverFixture;

// The notifications of one request: statuses and thread ends, in order.
std::vector<std::pair<Notification::Kind, int64_t>> protocol(const std::vector<Notification>& all) {
    std::vector<std::pair<Notification::Kind, int64_t>> out;
    for (const Notification& n : all)
        if (n.kind == Notification::Status || n.kind == Notification::ThreadEnd)
            out.emplace_back(n.kind, n.value);
    return out;
}

TEST_F(DriverSkeleton, OpenConnectsOnMeasureThreadAndPublishesTheInstrument) {
    LogCapture log;
    ASSERT_EQ(OpenTest(m()), 0);
    ASSERT_NE(driver(), nullptr);
    EXPECT_TRUE(driver()->connected);
    EXPECT_NE(instrument.constructorThread, std::this_thread::get_id());
    EXPECT_EQ(record.SerialNumber, 4711u);
    EXPECT_EQ(record.port, 7);
    EXPECT_TRUE(log.has("clTEST_DRIVER::clTEST_DRIVER", ""));
    EXPECT_EQ(log.count("clWORKER_THREAD::clWORKER_THREAD", "KeyThread"), 1);
    EXPECT_EQ(log.count("clWORKER_THREAD::clWORKER_THREAD", "MeasureThread"), 1);
}

TEST_F(DriverSkeleton, AnAbsentInstrumentFailsOpenAndLeavesNoObject) {
    LogCapture log;
    instrument.present = false;
    const int before = framework::clWORKER_THREAD::liveThreads();
    EXPECT_EQ(OpenTest(m()), -1);
    EXPECT_EQ(storedDriver(m()), nullptr);
    EXPECT_EQ(framework::clWORKER_THREAD::liveThreads(), before);
    EXPECT_TRUE(log.has("OpenTest", "catch ..."));
    EXPECT_TRUE(log.has("OpenTest", "not valid"));
    // The refused object still tore its connection down.
    EXPECT_EQ(instrument.destructorCalls, 1);
}

TEST_F(DriverSkeleton, EntriesWithoutRecordOrDriverRefuse) {
    LogCapture log;
    EXPECT_EQ(OpenTest(nullptr), -1);
    EXPECT_EQ(CloseTest(nullptr), -1);
    EXPECT_EQ(StartMultiMeasureTest(nullptr), -1);
    EXPECT_EQ(StopMultiMeasureTest(nullptr), -1);
    EXPECT_EQ(MustCalibrateTest(nullptr), -1);
    EXPECT_EQ(CloseTest(m()), 0);  // nothing open: nothing to do
    EXPECT_EQ(StartMultiMeasureTest(m()), -1);
    EXPECT_EQ(StopSingleMeasureTest(m()), -1);
    EXPECT_EQ(MustCalibrateTest(m()), -1);
    EXPECT_TRUE(log.has("StartMultiMeasureTest", "NULL"));
    EXPECT_TRUE(log.has("StopSingleMeasureTest", "NULL"));
    EXPECT_TRUE(log.has("MustCalibrateTest", "NULL"));

    MEASURE2STRUCT noBlock{};
    noBlock.cb = MEASURE2_RECORD_SIZE;
    EXPECT_EQ(CloseTest(reinterpret_cast<MEASURESTRUCT*>(&noBlock)), -1);
    EXPECT_EQ(OpenTest(reinterpret_cast<MEASURESTRUCT*>(&noBlock)), -1);
}

TEST_F(DriverSkeleton, AStartEntryRefusesAModeItDoesNotMeasure) {
    ASSERT_EQ(OpenTest(m()), 0);
    LogCapture log;
    record.Mode = MEASURE_MODE_STATUS_E;
    EXPECT_EQ(StartMultiMeasureTest(m()), -1);
    EXPECT_TRUE(log.has("StartMultiMeasureTest", "default"));
    EXPECT_FALSE(driver()->flushed);
    record.Mode = MEASURE_MODE_SPECTRAL;
    EXPECT_EQ(StartMultiMeasureTest(m()), 0);
    EXPECT_TRUE(driver()->flushed);
    EXPECT_TRUE(observer.waitThreadEnds(1));
}

TEST_F(DriverSkeleton, AStopEntryWithNothingRunningPostsStatusZeroAndABusyStepIsNotStopped) {
    ASSERT_EQ(OpenTest(m()), 0);
    EXPECT_EQ(StopSingleMeasureTest(m()), 0);
    EXPECT_EQ(observer.all(), (std::vector<Notification>{{Notification::Status, 0}}));
    observer.clear();
    EXPECT_EQ(StopMultiMeasureTest(m()), 0);
    EXPECT_EQ(observer.all(),
              (std::vector<Notification>{{Notification::Status, 0}, {Notification::Passno, 0}}));
    EXPECT_TRUE(driver()->stopped());

    // A step under the busy flag is not stopped.
    driver()->stopRequested = false;
    driver()->busy = true;
    driver()->StopMeasurement();
    EXPECT_FALSE(driver()->stopped());
    driver()->busy = false;
    driver()->StopMeasurement();
    EXPECT_TRUE(driver()->stopped());
}

TEST_F(DriverSkeleton, StartMeasurementTakesThePassPlanFromTheRecord) {
    ASSERT_EQ(OpenTest(m()), 0);
    ASSERT_EQ(StartMultiMeasureTest(m()), 0);
    ASSERT_TRUE(observer.waitThreadEnds(1));
    EXPECT_TRUE(driver()->passesSpecified);
    EXPECT_EQ(driver()->passes, 3);
    EXPECT_EQ(driver()->patchesPerPass, 5);

    record.NumPatchesPerLine = 0;
    ASSERT_EQ(StartMultiMeasureTest(m()), 0);
    ASSERT_TRUE(observer.waitThreadEnds(2));
    EXPECT_FALSE(driver()->passesSpecified);
    EXPECT_EQ(driver()->passes, 0);
}

TEST_F(DriverSkeleton, ASecondStartStopsTheFirstRequestBeforeTheSecondRuns) {
    LogCapture log;
    instrument.measurement = waitForButton;
    ASSERT_EQ(OpenTest(m()), 0);
    ASSERT_EQ(StartMultiMeasureTest(m()), 0);
    ASSERT_TRUE(observer.waitUntil([](auto& all) { return !all.empty(); }));
    instrument.measurement = [](clTEST_DRIVER& d) {
        PostStatusCode(d.pMeasure, MEASURE_STATUS_WAIT_USER);
        return MEASURE_END_DONE;
    };
    ASSERT_EQ(StartMultiMeasureTest(m()), 0);
    ASSERT_TRUE(observer.waitThreadEnds(2));
    using K = Notification::Kind;
    EXPECT_EQ(protocol(observer.all()),
              (std::vector<std::pair<K, int64_t>>{{K::Status, 1},
                                                  {K::Status, 0},
                                                  {K::ThreadEnd, MEASURE_END_STOPPED},
                                                  {K::Status, 3},
                                                  {K::Status, 0},
                                                  {K::ThreadEnd, MEASURE_END_DONE}}));
    EXPECT_TRUE(log.has("clTEST_DRIVER::WaitKey", "stopped"));
}

TEST_F(DriverSkeleton, CloseDuringARequestStopsItThenTearsDownOnMeasureThread) {
    instrument.measurement = waitForButton;
    ASSERT_EQ(OpenTest(m()), 0);
    ASSERT_EQ(StartMultiMeasureTest(m()), 0);
    ASSERT_TRUE(observer.waitUntil([](auto& all) { return !all.empty(); }));
    const int before = framework::clWORKER_THREAD::liveThreads();

    LogCapture log;
    EXPECT_EQ(CloseTest(m()), 0);
    EXPECT_EQ(storedDriver(m()), nullptr);
    EXPECT_EQ(framework::clWORKER_THREAD::liveThreads(), before - 2);
    EXPECT_EQ(observer.values(Notification::ThreadEnd), (std::vector<int64_t>{MEASURE_END_STOPPED}));
    EXPECT_EQ(instrument.destructorCalls, 1);
    EXPECT_TRUE(instrument.stopSetAtDestructor);
    EXPECT_TRUE(instrument.requestEndedBeforeDestructor);
    EXPECT_EQ(instrument.destructorThread, instrument.constructorThread);
    // MeasureThread ends before KeyThread.
    const int measureEnd = log.indexOf("MeasureThread", "Stopped");
    const int keyEnd = log.indexOf("KeyThread", "Stopped");
    ASSERT_GE(measureEnd, 0);
    ASSERT_GE(keyEnd, 0);
    EXPECT_LT(measureEnd, keyEnd);
    EXPECT_LT(log.indexOf("clTEST_DRIVER::~clTEST_DRIVER", ""), measureEnd);
}

TEST_F(DriverSkeleton, WaitKeyReturnsOnTheButtonAndFlushKeyDiscardsAPendingPress) {
    LogCapture log;
    ASSERT_EQ(OpenTest(m()), 0);
    instrument.pendingPresses = 1;
    ASSERT_EQ(SingleMeasureTest(m()), 0);
    ASSERT_TRUE(observer.waitThreadEnds(1));
    EXPECT_TRUE(log.has("clTEST_DRIVER::WaitKey", "key pressed"));

    instrument.measurement = [](clTEST_DRIVER& d) {
        d.FlushKey();
        return waitForButton(d);
    };
    instrument.pendingPresses = 1;
    ASSERT_EQ(StartMultiMeasureTest(m()), 0);
    ASSERT_TRUE(observer.waitUntil([](auto& all) {
        return std::count(all.begin(), all.end(),
                          Notification{Notification::Status, MEASURE_STATUS_STARTED}) == 2;
    }));
    // The press was flushed, so the request is still waiting for a new one.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(observer.count(Notification::ThreadEnd), 1);
    instrument.pendingPresses = 1;
    ASSERT_TRUE(observer.waitThreadEnds(2));
    EXPECT_EQ(observer.values(Notification::ThreadEnd),
              (std::vector<int64_t>{MEASURE_END_DONE, MEASURE_END_DONE}));
}

TEST_F(DriverSkeleton, MustCalibrateUntilAWhiteCalibrationSucceeded) {
    ASSERT_EQ(OpenTest(m()), 0);
    EXPECT_EQ(MustCalibrateTest(m()), 1);
    ASSERT_EQ(CalibrateWhiteTest(m()), 0);
    ASSERT_TRUE(observer.waitThreadEnds(1));
    EXPECT_EQ(MustCalibrateTest(m()), 0);
    EXPECT_EQ(observer.values(Notification::Status), (std::vector<int64_t>{2, 16, 0}));
}

TEST_F(DriverSkeleton, KeyNotificationAnnouncesTheButtonWithTheSuccessTone) {
    ASSERT_EQ(OpenTest(m()), 0);
    driver()->KeyNotification();
    ASSERT_TRUE(observer.waitUntil([](auto& all) { return all.size() >= 3; }));
    EXPECT_EQ(observer.all(), (std::vector<Notification>{{Notification::Status, 0},
                                                         {Notification::Status, MEASURE_STATUS_KEY_PRESSED},
                                                         {Notification::Beep, 1600, 32}}));
}

// Every way a request can end, with its thread end code and log line.
struct Outcome {
    const char* name;
    friend void PrintTo(const Outcome& o, std::ostream* os) { *os << o.name; }
    std::function<int(clTEST_DRIVER&)> body;
    int64_t endCode;
    const char* logText;  // under "clTEST_DRIVER::MultiMeasurement", or null
    bool failureSound;
};

class RequestOutcome : public TestDriverFixture, public ::testing::WithParamInterface<Outcome> {};

TEST_P(RequestOutcome, EndsWithStatusZeroAndExactlyOneThreadEnd) {
    const Outcome& outcome = GetParam();
    LogCapture log;
    instrument.measurement = outcome.body;
    ASSERT_EQ(OpenTest(m()), 0);
    ASSERT_EQ(StartMultiMeasureTest(m()), 0);
    ASSERT_TRUE(observer.waitThreadEnds(1));
    // Let anything wrongly posted after the first end arrive.
    driver()->MeasureThread->WaitRequest(platform::kInfinite);
    driver()->KeyThread->WaitRequest(platform::kInfinite);

    const auto all = observer.all();
    EXPECT_EQ(observer.values(Notification::ThreadEnd), (std::vector<int64_t>{outcome.endCode}));
    // The failure sound runs on KeyThread and may reach the observer at any
    // point; among the request's own notifications status 0 comes last.
    const auto end =
        std::find_if(all.begin(), all.end(), [](auto& n) { return n.kind == Notification::ThreadEnd; });
    const auto lastStatus = std::find_if(std::make_reverse_iterator(end), all.rend(),
                                         [](auto& n) { return n.kind == Notification::Status; });
    ASSERT_NE(lastStatus, all.rend());
    EXPECT_EQ(lastStatus->value, 0);
    if (outcome.logText != nullptr) {
        EXPECT_TRUE(log.has("clTEST_DRIVER::MultiMeasurement", outcome.logText));
    }
    const bool failureTone =
        std::find(all.begin(), all.end(), Notification{Notification::Beep, 1200, 320}) != all.end();
    EXPECT_EQ(failureTone, outcome.failureSound);
    EXPECT_EQ(log.count("clTEST_DRIVER::xBeepFailure", ""), outcome.failureSound ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Skeleton, RequestOutcome,
    ::testing::Values(
        Outcome{"Done", [](clTEST_DRIVER&) { return MEASURE_END_DONE; }, MEASURE_END_DONE, nullptr, false},
        Outcome{"Stopped",
                [](clTEST_DRIVER& d) {
                    d.stopRequested = true;
                    return d.WaitKey() ? MEASURE_END_DONE : MEASURE_END_STOPPED;
                },
                MEASURE_END_STOPPED, nullptr, false},
        Outcome{"LibraryError", [](clTEST_DRIVER&) -> int { throw exTEST_LIB("MoveAbsXY"); },
                MEASURE_END_FAILED, "catch(MoveAbsXY)", true},
        Outcome{"CalibrationError", [](clTEST_DRIVER&) -> int { throw exTEST_CALIBRATION("white tile"); },
                MEASURE_END_CALIBRATION_FAILED, "calibration catch(white tile)", true},
        Outcome{"StandardException",
                [](clTEST_DRIVER&) -> int { throw std::runtime_error("PostMeasureData NULL"); },
                MEASURE_END_FAILED, "catch(PostMeasureData NULL)", true},
        Outcome{"AnythingElse", [](clTEST_DRIVER&) -> int { throw 7; }, MEASURE_END_FAILED, "catch(...)",
                true}),
    [](const ::testing::TestParamInfo<Outcome>& info) { return std::string(info.param.name); });

TEST_F(DriverSkeleton, ARequestThatReportedItsOwnEndGetsNoSecondOne) {
    instrument.measurement = [](clTEST_DRIVER& d) {
        PostThreadEndMessage(d.pMeasure, MEASURE_END_CALIBRATION_FAILED);
        PostStatusCode(d.pMeasure, MEASURE_STATUS_CALIBRATION_FAILED);
        return framework::kEndReported;
    };
    ASSERT_EQ(OpenTest(m()), 0);
    ASSERT_EQ(StartMultiMeasureTest(m()), 0);
    ASSERT_TRUE(observer.waitThreadEnds(1));
    driver()->MeasureThread->WaitRequest(platform::kInfinite);
    EXPECT_EQ(observer.values(Notification::ThreadEnd),
              (std::vector<int64_t>{MEASURE_END_CALIBRATION_FAILED}));
    EXPECT_EQ(observer.values(Notification::Status),
              (std::vector<int64_t>{MEASURE_STATUS_CALIBRATION_FAILED}));
}

}  // namespace
}  // namespace measure::test_driver
