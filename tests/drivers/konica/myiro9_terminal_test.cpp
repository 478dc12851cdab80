// The FD-9 and MYIRO-9 terminal rows (42, 44) end to end: a host opens the row
// through the exports against the terminal emulator on loopback, found by its
// discovery datagram, and measures the chart the host names; what the host
// received is checked against the emulator's chart and what the terminal was
// asked (its journal).
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "konica/terminal_emulator.h"
#include "measure/measure.h"
#include "platform/socket.h"
#include "support/environment.h"
#include "support/instrument_host.h"
#include "support/test_environment.h"

namespace measure::konica {
namespace {

namespace kt = emu::konica;
using test::HostEvent;
using test::LogCapture;

constexpr const char* kChart = "ABCDE12345";
constexpr const char* kFn = "clKONICA_MINOLTA_MYIRO9::MultiMeasurement";
// Rounds of 100 x 100 ms take 500 ms; the discovery reply waits 100 ms.
constexpr double kTimeScale = 0.05;

uint32_t loopback(int last) {
    return platform::hostToNetwork32(0x7F000000u | static_cast<uint32_t>(last));
}

class TerminalHost {
public:
    explicit TerminalHost(uint32_t id = 42, uint32_t mode = MEASURE_MODE_CIE_LAB, int patches = 24,
                          std::vector<uint32_t> addresses = {loopback(1)})
        : emulator(options(patches)), host(id, mode, patches, nullptr) {
        started = emulator.start();
        const std::string to = "127.0.0.1:" + std::to_string(emulator.discoveryPort());
        const std::string port = std::to_string(emulator.httpPort());
        discovery_.emplace("MEASURE_FD9_DISCOVERY", to.c_str());
        terminalPort_.emplace("MEASURE_FD9_TERMINAL_PORT", port.c_str());
        platform::overrideLocalHostAddresses(std::move(addresses));
        setChartId(kChart);
    }
    ~TerminalHost() { platform::overrideLocalHostAddresses(std::nullopt); }

    static kt::TerminalEmulator::Options options(int patches) {
        kt::TerminalEmulator::Options o;
        o.patches = patches;
        return o;
    }
    void setChartId(const std::string& id) {
        chartId_ = std::vector<char>(id.begin(), id.end());
        chartId_.push_back('\0');
        host.rec.pszParameterFile = chartId_.data();
    }
    int64_t measure() {
        if (StartMultiMeasure(host.record()) != 0) return -200;
        return host.runToEnd();
    }
    std::vector<std::string> requestsOf(kt::Request kind) const {
        std::vector<std::string> out;
        for (const auto& r : emulator.requests())
            if (kt::TerminalEmulator::classify(r) == kind) out.push_back(r);
        return out;
    }

    test::ScopedTimeScale scale{kTimeScale};
    test::TempDir temp;
    test::ScopedEnvironment tmp{test::kTemporaryFolderVariable, temp.path().c_str()};
    kt::TerminalEmulator emulator;
    bool started = false;
    test::InstrumentHost host;

private:
    std::optional<test::ScopedEnvironment> discovery_;
    std::optional<test::ScopedEnvironment> terminalPort_;
    std::vector<char> chartId_;
};

// --- Open ------------------------------------------------------------------

TEST(Myiro9Terminal, OpenFindsTheTerminalWithOneDatagramPerLocalAddressAndAsksItsClock) {
    TerminalHost t(42, MEASURE_MODE_CIE_LAB, 24, {loopback(1), loopback(2), loopback(3)});
    ASSERT_TRUE(t.started);
    LogCapture log;
    ASSERT_EQ(t.host.open(), 0);
    // The terminal answers each datagram in turn; the driver takes the first
    // reply, while the others may still be on their way.
    EXPECT_TRUE(test::waitFor([&] { return t.emulator.datagrams().size() >= 3; }, 3000));
    EXPECT_EQ(t.emulator.datagrams(), (std::vector<std::string>{"kmfd-9ta", "kmfd-9ta", "kmfd-9ta"}));
    EXPECT_EQ(t.emulator.requests(), (std::vector<std::string>{"GET /Version/index/ HTTP1.1\r\n\r\n"}));
    EXPECT_TRUE(
        log.has("clKONICA_MINOLTA_MYIRO9::ThreadConstructor", "terminal 127.0.0.1, clock 1796533200"));
    // No FD9 SDK on this machine: the terminal still serves the row.
    EXPECT_TRUE(
        log.has("clKONICA_MINOLTA_MYIRO9::ThreadConstructor", "Failed to obtain the MYIRO9 device handle."));
}

TEST(Myiro9Terminal, OpenFailsWhenNoUsableTerminalAnswers) {
    const std::pair<kt::Request, kt::Fault> faults[] = {
        {kt::Request::Discovery, kt::Fault::Silence},
        {kt::Request::Discovery, kt::Fault::MalformedDiscovery},
        {kt::Request::Discovery, kt::Fault::LongAddress},
        {kt::Request::Version, kt::Fault::NotFound},
        {kt::Request::Version, kt::Fault::BadDate},
        {kt::Request::Version, kt::Fault::Refuse},
    };
    for (const auto& [kind, fault] : faults) {
        TerminalHost t;
        t.emulator.setFault(kind, fault);
        EXPECT_EQ(t.host.open(), -1) << int(fault);
        EXPECT_EQ(t.emulator.count(kt::Request::Version), kind == kt::Request::Discovery ? 0 : 1)
            << int(fault);
    }
    // A host without addresses sends no datagram and finds nothing.
    TerminalHost none(42, MEASURE_MODE_CIE_LAB, 24, {});
    EXPECT_EQ(none.host.open(), -1);
    EXPECT_TRUE(none.emulator.datagrams().empty());
}

// --- Measurements ------------------------------------------------------------

TEST(Myiro9Terminal, EachModeDeliversTheTerminalsChartAndSendsTheExactRequests) {
    for (uint32_t mode : {MEASURE_MODE_CIE_LAB, MEASURE_MODE_CIE_XYZ, MEASURE_MODE_SPECTRAL}) {
        TerminalHost t(mode == MEASURE_MODE_CIE_XYZ ? 44 : 42, mode, 24);
        t.emulator.addResult(kChart);
        ASSERT_EQ(t.host.open(), 0);
        ASSERT_EQ(t.measure(), MEASURE_END_DONE) << mode;
        EXPECT_EQ(t.host.values(HostEvent::Status), (std::vector<int64_t>{0})) << mode;
        ASSERT_EQ(t.host.values(HostEvent::Data), (std::vector<int64_t>{24})) << mode;
        for (int p = 0; p < 24; ++p) {
            const kt::Patch expected = kt::chartPatch(p);
            if (mode == MEASURE_MODE_SPECTRAL) {
                for (int b = 0; b < 36; ++b)
                    EXPECT_NEAR(t.host.spectra[0][p][b], expected.spectrum[b], 1e-12) << p << " " << b;
            } else {
                const auto& want = mode == MEASURE_MODE_CIE_LAB ? expected.lab : expected.xyz;
                for (int c = 0; c < 3; ++c) EXPECT_EQ(t.host.triples[0][p][c], want[c]) << p << " " << c;
            }
        }
        EXPECT_EQ(t.requestsOf(kt::Request::List),
                  (std::vector<std::string>{
                      "GET /MeasureResultFile/index?vendorID=1001&uniqueData=ABCDE12345 HTTP1.1\r\n\r\n"}));
        EXPECT_EQ(t.requestsOf(kt::Request::Download),
                  (std::vector<std::string>{
                      "GET /MeasureResultFile/download?measureResultId=RABCDE12345-0 HTTP1.1\r\n\r\n"}));
        EXPECT_EQ(test::readFile(t.temp.file("tmpIt8.txt")), kt::chartResult(24));
    }
}

TEST(Myiro9Terminal, AChartIdentifierOfNineCharactersFailsAtOnce) {
    TerminalHost t;
    t.setChartId("ABCDE1234");
    t.emulator.addResult("ABCDE1234");
    ASSERT_EQ(t.host.open(), 0);
    LogCapture log;
    EXPECT_EQ(t.measure(), MEASURE_END_FAILED);
    EXPECT_TRUE(log.has(kFn, "catch(Error ocurred: Bad Chart ID)"));
    EXPECT_EQ(t.emulator.count(kt::Request::List), 0);
}

TEST(Myiro9Terminal, AResultListedOnlyAfterTwoEmptyListingsIsFetchedOnTheThirdRound) {
    TerminalHost t(42, MEASURE_MODE_CIE_XYZ, 12);
    kt::ScriptedResult script;
    script.listingsBefore = 2;
    t.emulator.addResult(kChart, script);
    ASSERT_EQ(t.host.open(), 0);
    ASSERT_EQ(t.measure(), MEASURE_END_DONE);
    EXPECT_EQ(t.emulator.count(kt::Request::List), 3);
    EXPECT_EQ(t.emulator.count(kt::Request::Download), 1);
    ASSERT_EQ(t.host.triples.size(), 1u);
    EXPECT_EQ(t.host.triples[0][11][1], kt::chartPatch(11).xyz[1]);
}

TEST(Myiro9Terminal, IncompleteRefusedAndUnusableRepliesAreAskedForAgain) {
    struct Case {
        const char* name;
        kt::Request kind;
        kt::Fault fault;
        bool incomplete;
        int lists, downloads;
    };
    const Case cases[] = {
        {"incomplete result", kt::Request::Download, kt::Fault::None, true, 2, 2},
        {"listing not 200", kt::Request::List, kt::Fault::NotFound, false, 2, 1},
        {"listing not JSON", kt::Request::List, kt::Fault::BadJson, false, 2, 1},
        {"listing cut", kt::Request::List, kt::Fault::CutReply, false, 2, 1},
        {"listing refused", kt::Request::List, kt::Fault::Refuse, false, 2, 1},
        {"download without CGATS.17", kt::Request::Download, kt::Fault::NoCgats, false, 2, 2},
        {"download not 200", kt::Request::Download, kt::Fault::NotFound, false, 2, 2},
        {"download beyond the cap", kt::Request::Download, kt::Fault::Huge, false, 2, 2},
    };
    for (const Case& c : cases) {
        TerminalHost t(42, MEASURE_MODE_CIE_LAB, 24);
        kt::ScriptedResult script;
        script.incompleteFirst = c.incomplete;
        t.emulator.addResult(kChart, script);
        if (c.fault != kt::Fault::None) t.emulator.setFault(c.kind, c.fault, 1);
        ASSERT_EQ(t.host.open(), 0) << c.name;
        ASSERT_EQ(t.measure(), MEASURE_END_DONE) << c.name;
        EXPECT_EQ(t.emulator.count(kt::Request::List), c.lists) << c.name;
        EXPECT_EQ(t.emulator.count(kt::Request::Download), c.downloads) << c.name;
        ASSERT_EQ(t.host.triples.size(), 1u) << c.name;
        EXPECT_EQ(t.host.triples[0][23][2], kt::chartPatch(23).lab[2]) << c.name;
        // What was saved is the complete result, never the faulty reply.
        EXPECT_EQ(test::readFile(t.temp.file("tmpIt8.txt")), kt::chartResult(24)) << c.name;
    }
}

TEST(Myiro9Terminal, TheNewestOfSeveralResultsForTheChartIsFetched) {
    TerminalHost t(42, MEASURE_MODE_CIE_LAB, 24);
    kt::ScriptedResult script;
    script.olderResults = 2;
    t.emulator.addResult(kChart, script);
    ASSERT_EQ(t.host.open(), 0);
    ASSERT_EQ(t.measure(), MEASURE_END_DONE);
    EXPECT_EQ(t.requestsOf(kt::Request::Download),
              (std::vector<std::string>{
                  "GET /MeasureResultFile/download?measureResultId=RABCDE12345-0 HTTP1.1\r\n\r\n"}));
}

TEST(Myiro9Terminal, AResultWithoutTheModesFieldsFailsTheMeasurement) {
    const std::pair<uint32_t, const char*> cases[] = {
        {MEASURE_MODE_SPECTRAL, "catch(Error no spectral data found)"},
        {MEASURE_MODE_CIE_XYZ, "catch(Error no XYZ data found)"},
    };
    for (const auto& [mode, text] : cases) {
        TerminalHost t(42, mode, 24);
        kt::ScriptedResult script;
        script.fields.spectral = false;
        script.fields.xyz = false;
        t.emulator.addResult(kChart, script);
        ASSERT_EQ(t.host.open(), 0);
        LogCapture log;
        EXPECT_EQ(t.measure(), MEASURE_END_FAILED);
        EXPECT_TRUE(log.has(kFn, text)) << text;
        EXPECT_EQ(t.host.values(HostEvent::Data).size(), 0u);
    }
}

// --- Stop and close ------------------------------------------------------------

TEST(Myiro9Terminal, AStopWhileWaitingForTheResultEndsTheMeasurementAsStopped) {
    TerminalHost t;
    ASSERT_EQ(t.host.open(), 0);
    ASSERT_EQ(StartMultiMeasure(t.host.record()), 0);
    ASSERT_TRUE(test::waitFor([&] { return t.emulator.count(kt::Request::List) >= 1; }));
    LogCapture log;
    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(StopMultiMeasure(t.host.record()), 0);
    EXPECT_EQ(t.host.runToEnd(), MEASURE_END_STOPPED);
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(3));
    EXPECT_TRUE(log.has(kFn, "catch(Stopped)"));
}

TEST(Myiro9Terminal, CloseDuringAnExchangeWithAHungTerminalReturnsPromptly) {
    TerminalHost t;
    t.emulator.addResult(kChart);
    t.emulator.setFault(kt::Request::List, kt::Fault::Hang);
    ASSERT_EQ(t.host.open(), 0);
    ASSERT_EQ(StartMultiMeasure(t.host.record()), 0);
    ASSERT_TRUE(test::waitFor([&] { return t.emulator.openConnections() == 1; }));
    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(t.host.close(), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(3));
    // The driver left the connection: the terminal sees it closed.
    EXPECT_TRUE(test::waitFor([&] { return t.emulator.openConnections() == 0; }, 3000));
}

}  // namespace
}  // namespace measure::konica
