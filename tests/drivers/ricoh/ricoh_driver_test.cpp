// The Ricoh adjuster end to end: a host opens instrument 61 through the
// exports against the adjuster's emulator on loopback HTTPS and runs jobs to
// every end state; what the host received is checked against what the
// emulator measured and what it was asked (its journal).
#include <gtest/gtest.h>

#include <algorithm>

#include "drivers/ricoh/ricoh_host.h"
#include "support/test_environment.h"

namespace ricoh_test {
namespace {

using measure::test::LogCapture;
using measure::test::ScopedTimeScale;

constexpr const char* kJobs = "/raca/v1/jobs";

class RicohTest : public ::testing::Test {
protected:
    ScopedTimeScale scale_{kJobTimeScale};
};

rc::AdjusterEmulator::Options chart(int sheets, int patches) {
    rc::AdjusterEmulator::Options o;
    o.sheets = sheets;
    o.patches = patches;
    return o;
}

// --- Open ------------------------------------------------------------------

TEST_F(RicohTest, OpenConnectsToAReadyAdjusterWithItsHeaders) {
    rc::AdjusterEmulator::Options options;
    options.serialId = "RACA-0042";
    AdjusterHost host(options);
    ASSERT_TRUE(host.started);
    LogCapture log;
    ASSERT_EQ(host.open(), 0);
    EXPECT_TRUE(log.has("clRICOH_MONET::ThreadConstructor", "READY, serialId RACA-0042"));
    const auto journal = host.emulator.journal();
    ASSERT_EQ(journal.size(), 1u);
    EXPECT_EQ(journal[0].method, "GET");
    EXPECT_EQ(journal[0].path, "/raca/v1/status");
    EXPECT_EQ(journal[0].header("Authorization"), "Basic dXNlcjpzZWNyZXQ=");
    EXPECT_EQ(journal[0].header("User-Agent"), "Vantu Measurement Service measure-http/1");
    EXPECT_EQ(journal[0].header("Content-Type"), "application/json");
}

TEST_F(RicohTest, OpenRefusesABusyAdjusterWrongCredentialsAndNoAddress) {
    {
        AdjusterHost host;
        host.emulator.setForeignJobRunning(true);
        LogCapture log;
        EXPECT_EQ(host.open(), -1);
        EXPECT_TRUE(log.has("clRICOH_MONET::ThreadConstructor", "busy (SCANNING)"));
        EXPECT_TRUE(log.has("OpenRicohMonet", "not valid "));
    }
    {
        AdjusterHost host;
        host.emulator.setFault(rc::Route::Status, rc::Fault::Http503);
        LogCapture log;
        EXPECT_EQ(host.open(), -1);
        EXPECT_TRUE(log.has("clRICOH_MONET::ThreadConstructor", "busy (503)"));
    }
    {
        AdjusterHost host;
        host.setParameter(host.chartPath + "?" + rc::AdjusterEmulator::encodedCredentials("user:wrong"));
        EXPECT_EQ(host.open(), -1);
        EXPECT_EQ(host.emulator.journal().at(0).header("Authorization"), "Basic dXNlcjp3cm9uZw==");
    }
    {
        AdjusterHost host;
        host.rec.NetworkAddress = 0;
        LogCapture log;
        EXPECT_EQ(host.open(), -1);
        EXPECT_TRUE(log.has("clRICOH_MONET::ThreadConstructor", "no address and port"));
        EXPECT_TRUE(host.emulator.journal().empty());
    }
}

TEST_F(RicohTest, OpenFailsOnAClosedPort) {
    AdjusterHost host;
    host.emulator.stop();
    EXPECT_EQ(host.open(), -1);
}

TEST_F(RicohTest, OpenRefusesUnusableChartDefinitions) {
    const char* const bad[] = {
        "<ChartDefinition/>",
        "<ChartDefinition><Chart SheetCount=\"2\"/></ChartDefinition>",
        "<ChartDefinition><Chart SheetCount=\"two\" ChartPatchCount=\"24\"/></ChartDefinition>",
        "<ChartDefinition><Chart SheetCount=\"-2\" ChartPatchCount=\"24\"/></ChartDefinition>",
        "<ChartDefinition><Chart SheetCount=\"2147483647\" ChartPatchCount=\"24\"/></ChartDefinition>",
        "<ChartDefinition><Chart SheetCount=\"2\" ChartPatchCount=\"99999999999\"/></ChartDefinition>",
        "not xml at all",
    };
    for (const char* xml : bad) {
        AdjusterHost host;
        std::ofstream(host.chartPath, std::ios::binary | std::ios::trunc) << xml;
        EXPECT_EQ(host.open(), -1) << xml;
        EXPECT_TRUE(host.emulator.journal().empty()) << xml;
    }
    AdjusterHost missing;
    missing.setParameter(missing.dir.file("absent.xml") + "?dXNlcjpzZWNyZXQ=");
    EXPECT_EQ(missing.open(), -1);
}

// --- Jobs ------------------------------------------------------------------

TEST_F(RicohTest, LabJobDeliversTheAdjustersValuesAndSendsTheExactRequests) {
    AdjusterHost host(chart(2, 24), MEASURE_MODE_CIE_LAB);
    ASSERT_EQ(host.open(), 0);
    ASSERT_EQ(host.measure(), MEASURE_END_DONE);
    EXPECT_EQ(host.statuses, (std::vector<int>{1, 9, 0}));
    ASSERT_EQ(host.results.size(), 1u);
    ASSERT_EQ(host.triples()->NumPatches, 24u);
    for (int p = 0; p < 24; ++p)
        EXPECT_EQ(host.triple(p), rc::AdjusterEmulator::patchValues(p, "M0", "LAB")) << p;

    const auto journal = host.emulator.journal();
    ASSERT_GE(journal.size(), 5u);
    EXPECT_EQ(journal[1].method, "POST");
    EXPECT_EQ(journal[1].path, kJobs);
    EXPECT_EQ(journal[1].body, R"({"lightingCondition": "M0","colorSpace": "LAB","outputFormat": "IT8"})");
    const auto& upload = journal[2];
    EXPECT_EQ(upload.path, "/raca/v1/jobs/job-1/chartDefinition");
    EXPECT_TRUE(upload.hasPart);
    EXPECT_EQ(upload.partFileName, "multipartFile");
    EXPECT_EQ(upload.partType, "application/xml");
    EXPECT_EQ(upload.partContent, host.emulator.chartDefinition());
    EXPECT_EQ(upload.headers.count("Expect"), 0u);
    EXPECT_EQ(upload.header("Authorization"), "Basic dXNlcjpzZWNyZXQ=");
    EXPECT_EQ(upload.header("Content-Type").rfind("multipart/form-data; boundary=", 0), 0u);
    // Two sheets, one SCANNING answer each, then COMPLETED and the result.
    EXPECT_EQ(host.emulator.count("GET", "/raca/v1/jobs/job-1"), 4);
    EXPECT_EQ(journal.back().path, "/raca/v1/jobs/job-1/measuredData.it8");
    EXPECT_EQ(measure::test::readFile(host.dir.file("measureData.it8")),
              rc::AdjusterEmulator::measuredData(24, "M0", "LAB"));
}

TEST_F(RicohTest, XyzJobUnderM1DeliversItsValues) {
    AdjusterHost host(chart(2, 24), MEASURE_MODE_CIE_XYZ);
    host.rec.MeasurementCondition = MEASURE_CONDITION_M1;
    ASSERT_EQ(host.open(), 0);
    ASSERT_EQ(host.measure(), MEASURE_END_DONE);
    EXPECT_EQ(host.emulator.journal()[1].body,
              R"({"lightingCondition": "M1","colorSpace": "XYZ","outputFormat": "IT8"})");
    ASSERT_EQ(host.triples()->NumPatches, 24u);
    for (int p = 0; p < 24; ++p)
        EXPECT_EQ(host.triple(p), rc::AdjusterEmulator::patchValues(p, "M1", "XYZ")) << p;
}

TEST_F(RicohTest, SpectralJobUnderM2FillsTheBandsFrom400To700) {
    AdjusterHost host(chart(2, 24), MEASURE_MODE_SPECTRAL);
    host.rec.MeasurementCondition = MEASURE_CONDITION_M2;
    ASSERT_EQ(host.open(), 0);
    ASSERT_EQ(host.measure(), MEASURE_END_DONE);
    EXPECT_EQ(host.emulator.journal()[1].body,
              R"({"lightingCondition": "M2","colorSpace": "SPECTRAL_REFLECTANCE","outputFormat": "IT8"})");
    ASSERT_EQ(host.spectra()->NumPatches, 24u);
    EXPECT_EQ(host.spectra()->StartNm, 380u);
    for (int p = 0; p < 24; ++p) {
        const std::vector<double> expected =
            rc::AdjusterEmulator::patchValues(p, "M2", "SPECTRAL_REFLECTANCE");
        const std::vector<double> got = host.spectrum(p);
        for (int b : {0, 1, 33, 34, 35}) EXPECT_EQ(got[b], 0.0) << p << " " << b;
        for (int b = 0; b < 31; ++b)
            EXPECT_EQ(got[static_cast<size_t>(b + 2)], expected[static_cast<size_t>(b)]) << p;
    }
}

TEST_F(RicohTest, NeverDeliversMorePatchesThanTheHostAskedFor) {
    AdjusterHost host(chart(1, 24), MEASURE_MODE_CIE_LAB);
    host.rec.NumOfPatchesToRead = 10;
    ASSERT_EQ(host.open(), 0);
    ASSERT_EQ(host.measure(), MEASURE_END_DONE);
    ASSERT_EQ(host.triples()->NumPatches, 10u);
    EXPECT_EQ(host.triple(9), rc::AdjusterEmulator::patchValues(9, "M0", "LAB"));
}

TEST_F(RicohTest, ASuspendedJobTellsTheHostAndResumes) {
    AdjusterHost host(chart(2, 24));
    rc::JobScript script;
    script.pollsPerSheet = 2;
    script.suspendAtPoll = 2;
    script.suspendedPolls = 2;
    host.emulator.setScript(script);
    ASSERT_EQ(host.open(), 0);
    ASSERT_EQ(host.measure(), MEASURE_END_DONE);
    EXPECT_EQ(host.statuses, (std::vector<int>{1, 9, 45, 9, 0}));
    EXPECT_EQ(host.triples()->NumPatches, 24u);
}

TEST_F(RicohTest, FailedAndTerminatedJobsEndStoppedWithoutResults) {
    for (const char* end : {"FAILED", "TERMINATED"}) {
        AdjusterHost host(chart(2, 24));
        rc::JobScript script;
        script.endState = end;
        host.emulator.setScript(script);
        ASSERT_EQ(host.open(), 0);
        EXPECT_EQ(host.measure(), MEASURE_END_STOPPED) << end;
        EXPECT_EQ(host.statuses, (std::vector<int>{1, 9, 4})) << end;
        EXPECT_TRUE(host.results.empty()) << end;
        EXPECT_EQ(host.emulator.count("GET", "/raca/v1/jobs/job-1/measuredData.it8"), 0) << end;
    }
}

TEST_F(RicohTest, AJobStuckScanningIsPolledToItsLimitThenTerminated) {
    AdjusterHost host(chart(3, 24));
    rc::JobScript script;
    script.stuck = true;
    host.emulator.setScript(script);
    ASSERT_EQ(host.open(), 0);
    EXPECT_EQ(host.measure(), MEASURE_END_STOPPED);
    EXPECT_EQ(host.emulator.count("GET", "/raca/v1/jobs/job-1"), 70);
    const auto journal = host.emulator.journal();
    EXPECT_EQ(journal.back().method, "PATCH");
    EXPECT_EQ(journal.back().path, "/raca/v1/jobs/job-1");
    EXPECT_EQ(journal.back().body, R"({"status": "TERMINATED"})");
    EXPECT_EQ(host.emulator.jobState(), "TERMINATED");
    EXPECT_EQ(host.statuses, (std::vector<int>{1, 9, 4}));
}

TEST_F(RicohTest, AStopWhilePollingCancelsTheJob) {
    AdjusterHost host(chart(2, 24));
    rc::JobScript script;
    script.stuck = true;
    host.emulator.setScript(script);
    ASSERT_EQ(host.open(), 0);
    ASSERT_EQ(host.start(), 0);
    ASSERT_EQ(host.waitEnd(20s, MEASURE_STATUS_KEY_PRESSED), measure::test::kStatusReached);
    EXPECT_EQ(StopMultiMeasure(host.record()), 0);
    EXPECT_EQ(host.waitEnd(), MEASURE_END_STOPPED);
    EXPECT_EQ(host.statuses, (std::vector<int>{1, 9, 4}));
    EXPECT_EQ(host.emulator.count("POST", "/raca/v1/jobs/cancel"), 1);
    const auto journal = host.emulator.journal();
    const auto cancel = std::find_if(journal.begin(), journal.end(),
                                     [](const auto& e) { return e.path == "/raca/v1/jobs/cancel"; });
    ASSERT_NE(cancel, journal.end());
    EXPECT_EQ(cancel->body, R"({"lightingCondition": "M0","colorSpace": "LAB","outputFormat": "IT8"})");
    EXPECT_EQ(host.emulator.jobState(), "TERMINATED");
}

TEST_F(RicohTest, RefusedCreationAndUploadReportTheirStatus) {
    struct Case {
        rc::Route route;
        rc::Fault fault;
        std::vector<int> statuses;
    };
    const Case cases[] = {
        {rc::Route::Create, rc::Fault::Http503, {1, 0, 46}},
        {rc::Route::Create, rc::Fault::Http500, {1, 0}},
        {rc::Route::Upload, rc::Fault::Http500, {1, 0, 26}},
        {rc::Route::Upload, rc::Fault::Http503, {1, 0, 46}},
    };
    for (const Case& c : cases) {
        AdjusterHost host(chart(2, 24));
        host.emulator.setFault(c.route, c.fault);
        ASSERT_EQ(host.open(), 0);
        EXPECT_EQ(host.measure(), MEASURE_END_STOPPED);
        EXPECT_EQ(host.statuses, c.statuses);
        EXPECT_EQ(host.emulator.count("GET", "/raca/v1/jobs/"), 0);
        // A created job whose chart the adjuster refused is terminated.
        EXPECT_EQ(host.emulator.count("PATCH", "/raca/v1/jobs/job-1"), c.route == rc::Route::Upload ? 1 : 0);
    }
}

TEST_F(RicohTest, APollAnsweredWithAnErrorEndsTheJobStopped) {
    AdjusterHost host(chart(2, 24));
    host.emulator.setFault(rc::Route::Poll, rc::Fault::Http500);
    ASSERT_EQ(host.open(), 0);
    EXPECT_EQ(host.measure(), MEASURE_END_STOPPED);
    EXPECT_EQ(host.statuses, (std::vector<int>{1, 0}));
    EXPECT_EQ(host.emulator.count("GET", "/raca/v1/jobs/job-1"), 1);
}

TEST_F(RicohTest, IdentifiersAreTakenWhole) {
    {
        AdjusterHost host(chart(1, 24));
        host.emulator.setFault(rc::Route::Create, rc::Fault::LowerCaseJobId);
        ASSERT_EQ(host.open(), 0);
        EXPECT_EQ(host.measure(), MEASURE_END_DONE);
        EXPECT_EQ(host.emulator.count("POST", "/raca/v1/jobs/job-1/chartDefinition"), 1);
    }
    {
        // One character: the identifier an off-by-one would cut to nothing.
        AdjusterHost host(chart(1, 24));
        host.emulator.setNextJobId("Q");
        ASSERT_EQ(host.open(), 0);
        EXPECT_EQ(host.measure(), MEASURE_END_DONE);
        EXPECT_EQ(host.emulator.count("GET", "/raca/v1/jobs/Q/measuredData.it8"), 1);
    }
    // Identifiers that would change the request path are refused.
    for (const char* id : {"a/b", "x?y", "p#q", ".."}) {
        AdjusterHost host(chart(1, 24));
        host.emulator.setNextJobId(id);
        ASSERT_EQ(host.open(), 0);
        LogCapture log;
        EXPECT_EQ(host.measure(), MEASURE_END_FAILED) << id;
        EXPECT_EQ(host.emulator.journal().size(), 2u) << id;  // the status and the creation
        EXPECT_EQ(host.statuses, (std::vector<int>{1, 0})) << id;
        EXPECT_TRUE(log.has("clRICOH_MONET::MultiMeasurement",
                            "catch(jobId holds characters that would change the request path)"))
            << id;
    }
}

}  // namespace
}  // namespace ricoh_test
