// The Ricoh adjuster's replies are outside data: malformed JSON, bad IT8
// results, held replies and dropped connections each end the job with its
// code, never with a hang or with wrong patches; a close during a held
// request comes back; the polls run on the scaled clock.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "drivers/ricoh/ricoh_host.h"
#include "support/test_environment.h"

namespace ricoh_test {
namespace {

using measure::test::LogCapture;
using measure::test::ScopedTimeScale;

class RicohFaultTest : public ::testing::Test {
protected:
    ScopedTimeScale scale_{kJobTimeScale};
};

rc::AdjusterEmulator::Options oneSheet() {
    rc::AdjusterEmulator::Options o;
    o.sheets = 1;
    o.patches = 12;
    o.holdMs = 6000;
    return o;
}

TEST_F(RicohFaultTest, MalformedJobRepliesFailTheJob) {
    struct Case {
        rc::Route route;
        rc::Fault fault;
        const char* why;
    };
    const Case cases[] = {
        {rc::Route::Create, rc::Fault::TruncatedJson, "jobId is unterminated"},
        {rc::Route::Create, rc::Fault::NotAnObject, "no jobId"},
        {rc::Route::Create, rc::Fault::LateJobId, "no jobId"},
        {rc::Route::Poll, rc::Fault::TruncatedJson, "reply is not JSON"},
        {rc::Route::Poll, rc::Fault::NotAnObject, "reply is not a JSON object"},
        {rc::Route::Poll, rc::Fault::StatusMissing, "reply has no status text"},
        {rc::Route::Poll, rc::Fault::StatusNotText, "reply has no status text"},
    };
    for (const Case& c : cases) {
        AdjusterHost host(oneSheet());
        host.emulator.setFault(c.route, c.fault);
        ASSERT_EQ(host.open(), 0);
        LogCapture log;
        EXPECT_EQ(host.measure(), MEASURE_END_FAILED) << c.why;
        EXPECT_TRUE(host.results.empty()) << c.why;
        EXPECT_TRUE(log.has("clRICOH_MONET::MultiMeasurement", std::string("catch(") + c.why + ")")) << c.why;
    }
}

TEST_F(RicohFaultTest, BadResultsFailTheJobInsteadOfDeliveringPatches) {
    struct Case {
        rc::Fault fault;
        uint32_t mode;
        const char* why;
    };
    const Case cases[] = {
        {rc::Fault::It8RowCount, MEASURE_MODE_CIE_LAB, "measured data cannot be read"},
        {rc::Fault::It8MissingField, MEASURE_MODE_CIE_LAB, "measured data has no LAB fields"},
        {rc::Fault::It8MissingField, MEASURE_MODE_CIE_XYZ, "measured data has no XYZ fields"},
        {rc::Fault::It8MissingField, MEASURE_MODE_SPECTRAL, "measured data has no spectra"},
        {rc::Fault::It8NonNumeric, MEASURE_MODE_CIE_XYZ,
         "measured data has a cell that is not a number (patch 7)"},
        {rc::Fault::It8Empty, MEASURE_MODE_CIE_LAB, "measured data cannot be read"},
        {rc::Fault::It8HugeCount, MEASURE_MODE_SPECTRAL, "measured data cannot be read"},
        {rc::Fault::Http404, MEASURE_MODE_CIE_LAB, "measuredData.it8: 404"},
    };
    for (const Case& c : cases) {
        AdjusterHost host(oneSheet(), c.mode);
        host.emulator.setFault(rc::Route::Result, c.fault);
        ASSERT_EQ(host.open(), 0);
        LogCapture log;
        EXPECT_EQ(host.measure(), MEASURE_END_FAILED) << c.why;
        EXPECT_TRUE(host.results.empty()) << c.why;
        EXPECT_EQ(host.statuses, (std::vector<int>{1, 9, 0})) << c.why;
        EXPECT_TRUE(log.has("clRICOH_MONET::MultiMeasurement", std::string("catch(") + c.why + ")")) << c.why;
    }
}

TEST_F(RicohFaultTest, HeldAndDroppedRepliesEndTheJob) {
    for (rc::Fault fault : {rc::Fault::Hold, rc::Fault::Drop}) {
        AdjusterHost host(oneSheet());
        host.emulator.setFault(rc::Route::Poll, fault);
        ASSERT_EQ(host.open(), 0);
        const auto begin = std::chrono::steady_clock::now();
        EXPECT_EQ(host.measure(), MEASURE_END_STOPPED);
        EXPECT_EQ(host.statuses, (std::vector<int>{1, 0}));
        // The 5 s timeout is 500 ms here: the job ends long before the
        // 6 s the adjuster holds its reply.
        EXPECT_LT(std::chrono::steady_clock::now() - begin, 5s);
    }
}

TEST_F(RicohFaultTest, CloseDuringAHeldRequestComesBackAtOnce) {
    AdjusterHost host(oneSheet());
    host.emulator.setFault(rc::Route::Create, rc::Fault::Hold);
    // At full time the transfer would wait its whole 5 s.
    ScopedTimeScale fullTime(1.0);
    ASSERT_EQ(host.open(), 0);
    ASSERT_EQ(host.start(), 0);
    ASSERT_EQ(host.waitEnd(5s, MEASURE_STATUS_STARTED), measure::test::kStatusReached);
    // Wait until the creation is held by the adjuster.
    for (int i = 0; i < 500 && host.emulator.count("POST", "/raca/v1/jobs") == 0; ++i)
        std::this_thread::sleep_for(10ms);
    ASSERT_EQ(host.emulator.count("POST", "/raca/v1/jobs"), 1);
    const auto begin = std::chrono::steady_clock::now();
    host.close();
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 2s);
}

TEST_F(RicohFaultTest, PollsRunOnTheScaledClock) {
    rc::AdjusterEmulator::Options o = oneSheet();
    AdjusterHost host(o);
    rc::JobScript script;
    script.pollsPerSheet = 10;
    host.emulator.setScript(script);
    ASSERT_EQ(host.open(), 0);
    const auto begin = std::chrono::steady_clock::now();
    ASSERT_EQ(host.measure(), MEASURE_END_DONE);
    const auto took = std::chrono::steady_clock::now() - begin;
    EXPECT_EQ(host.emulator.count("GET", "/raca/v1/jobs/job-1"), 12);  // 11 polls and the result
    // 10 pauses of 3000 ms at a tenth: 3 s, not 30 s.
    EXPECT_GE(took, 3000ms);
    EXPECT_LT(took, 15s);
}

}  // namespace
}  // namespace ricoh_test
