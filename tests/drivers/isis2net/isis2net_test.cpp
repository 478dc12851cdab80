// The Ethernet i1iSis row against readers emulated on loopback: discovery,
// the open's names and information text, fetching a finished job in each
// mode and condition, the stop, silent readers and each bad answer.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "support/environment.h"
#include "support/instrument_host.h"
#include "support/test_environment.h"
#include "xrite/isis2net/isis2net_emulator.h"

namespace measure::test {
namespace {

namespace emu = measure::emu::isis2net;

constexpr uint32_t kNetRow = 37;

// Readers running, and the driver pointed at them, for one test.
class NetReaders {
public:
    explicit NetReaders(emu::Settings settings) : emulator_(std::move(settings)) {
        started = emulator_.start();
        discovery_ = std::make_unique<ScopedEnvironment>(
            "MEASURE_ISIS2NET_DISCOVERY", ("127.0.0.1:" + std::to_string(emulator_.discoveryPort())).c_str());
        port_ = std::make_unique<ScopedEnvironment>("MEASURE_ISIS2NET_PORT",
                                                    std::to_string(emulator_.tcpPort()).c_str());
    }
    emu::Isis2NetEmulator& operator*() { return emulator_; }
    emu::Isis2NetEmulator* operator->() { return &emulator_; }
    bool started = false;

private:
    emu::Isis2NetEmulator emulator_;
    std::unique_ptr<ScopedEnvironment> discovery_;
    std::unique_ptr<ScopedEnvironment> port_;
};

emu::Settings oneReader(emu::ReaderSettings reader = {}) {
    emu::Settings s;
    s.readers = {reader};
    return s;
}

class NetHost : public InstrumentHost {
public:
    NetHost(uint32_t mode, int32_t patches, std::string chartId = "CHART00001")
        : InstrumentHost(kNetRow, mode, patches, nullptr), chart_(std::move(chartId)) {
        rec.pszParameterFile = chart_.data();
    }

private:
    std::string chart_;
};

TEST(Isis2Net, TwoReadersAreFoundNamedAndDescribed) {
    emu::Settings s;
    emu::ReaderSettings second;
    second.address = "127.0.0.3";
    second.name = "Press room";
    second.serial = "2081299";
    s.readers = {emu::ReaderSettings{}, second};
    s.malformedFirst = true;
    NetReaders readers(s);
    ASSERT_TRUE(readers.started);
    NetHost host(MEASURE_MODE_CIE_XYZ, 48);
    ASSERT_EQ(host.open(), 0);
    EXPECT_EQ(host.rec.port, 11);
    EXPECT_EQ(host.rec.OptionBits & ~uint32_t{opInstrumentOpened},
              uint32_t{opDualScanOption | opM0Mode | opM1Mode | opM2Mode});
    const char* info = nullptr;
    ASSERT_EQ(GetInfoString(&info), 0);
    EXPECT_STREQ(info,
                 "i1iSis2 NET;127.0.0.2;i1iSis2 NET._i1iSis2NET._tcp.local;2081234.local;"
                 "Press room;127.0.0.3;Press room._i1iSis2NET._tcp.local;2081299.local;");
    EXPECT_EQ(readers->requests(0, 1), 1);
    EXPECT_EQ(readers->requests(1, 1), 1);
}

TEST(Isis2Net, NoAnswerMeansNoInstrument) {
    emu::Settings s = oneReader();
    s.answerDiscovery = false;
    NetReaders readers(s);
    NetHost host(MEASURE_MODE_CIE_XYZ, 48);
    EXPECT_EQ(host.open(), -1);
    EXPECT_EQ(readers->discoveryQueries(), 1);
}

TEST(Isis2Net, AFinishedJobIsDeliveredInEachModeAndCondition) {
    struct Case {
        uint32_t mode;
        uint32_t condition;
    };
    for (const Case c :
         {Case{MEASURE_MODE_CIE_LAB, MEASURE_CONDITION_M0}, Case{MEASURE_MODE_CIE_XYZ, MEASURE_CONDITION_M1},
          Case{MEASURE_MODE_SPECTRAL, MEASURE_CONDITION_M2}}) {
        NetReaders readers(oneReader());
        ASSERT_TRUE(readers.started);
        NetHost host(c.mode, 40);  // fewer than the chart's 48
        host.rec.MeasurementCondition = c.condition;
        ASSERT_EQ(host.open(), 0);
        ASSERT_EQ(StartMultiMeasure(host.record()), 0);
        ASSERT_EQ(host.runToEnd(), MEASURE_END_DONE) << c.mode;
        const int condition = static_cast<int>(c.condition);
        // The virtual user finishes the job at the fourth poll.
        EXPECT_EQ(readers->requests(0, 0x100), 4);
        EXPECT_EQ(readers->requests(0, 0x300), 1);
        if (c.mode == MEASURE_MODE_SPECTRAL) {
            ASSERT_EQ(host.spectra.size(), 1u);
            ASSERT_EQ(host.spectra[0].size(), 40u);
            for (int p : {0, 39}) {
                const auto expected = emu::readerSpectrum(p, condition);
                for (int b = 0; b < 36; ++b) EXPECT_EQ(host.spectra[0][p][b], double{expected[b]}) << p;
            }
            EXPECT_EQ(readers->requests(0, 0x101), 1);
        } else {
            ASSERT_EQ(host.triples.size(), 1u);
            ASSERT_EQ(host.triples[0].size(), 40u);
            for (int p : {0, 17, 39}) {
                const auto expected = c.mode == MEASURE_MODE_CIE_LAB ? emu::readerLab(p, condition)
                                                                     : emu::readerXyz(p, condition);
                EXPECT_EQ(host.triples[0][p], (std::array<double, 3>{expected[0], expected[1], expected[2]}))
                    << p;
            }
            EXPECT_EQ(readers->requests(0, 0x102), 1);
        }
    }
}

TEST(Isis2Net, JobIdGivesTheChartsRowsAndColumns) {
    emu::ReaderSettings reader;
    reader.rows = 10;
    reader.columns = 15;
    NetReaders readers(oneReader(reader));
    NetHost host(MEASURE_MODE_CIE_XYZ, 200);
    ASSERT_EQ(host.open(), 0);
    ASSERT_EQ(StartMultiMeasure(host.record()), 0);
    ASSERT_EQ(host.runToEnd(), MEASURE_END_DONE);
    ASSERT_EQ(host.triples.size(), 1u);
    EXPECT_EQ(host.triples[0].size(), 150u);
    const auto last = emu::readerXyz(149, 0);
    EXPECT_EQ(host.triples[0][149], (std::array<double, 3>{last[0], last[1], last[2]}));
}

TEST(Isis2Net, ChartIdOfNineCharactersFailsAtOnce) {
    NetReaders readers(oneReader());
    LogCapture log;
    NetHost host(MEASURE_MODE_CIE_XYZ, 48, "CHART0001");
    ASSERT_EQ(host.open(), 0);
    ASSERT_EQ(StartMultiMeasure(host.record()), 0);
    EXPECT_EQ(host.runToEnd(), MEASURE_END_FAILED);
    EXPECT_TRUE(log.has("clISIS2NET::MultiMeasurement", "catch(Error ocurred: Bad Chart ID)"));
    EXPECT_EQ(readers->requests(0, 0x300), 0);
    EXPECT_EQ(StartMultiMeasure(host.record()), 0);
    host.rec.Mode = MEASURE_MODE_STATUS_E;
    EXPECT_EQ(StartMultiMeasure(host.record()), -1);
}

TEST(Isis2Net, StopEndsThePollingOfAJobNeverFinished) {
    emu::ReaderSettings reader;
    reader.finishAfterPolls = -1;
    NetReaders readers(oneReader(reader));
    LogCapture log;
    NetHost host(MEASURE_MODE_CIE_XYZ, 48);
    ASSERT_EQ(host.open(), 0);
    ASSERT_EQ(StartMultiMeasure(host.record()), 0);
    ASSERT_TRUE(waitFor([&] { return readers->requests(0, 0x100) >= 3; }));
    EXPECT_EQ(StopMultiMeasure(host.record()), 0);
    EXPECT_EQ(host.runToEnd(), MEASURE_END_FAILED);
    EXPECT_TRUE(log.has("clISIS2NET::MultiMeasurement", "catch(Stoped)"));
    EXPECT_TRUE(host.triples.empty());
}

TEST(Isis2Net, ASilentReaderIsSkippedAndTheOtherDelivers) {
    emu::Settings s;
    emu::ReaderSettings silent;
    silent.allFault = emu::Fault::Silent;
    silent.finishAfterPolls = -1;
    emu::ReaderSettings working;
    working.address = "127.0.0.3";
    working.rows = 2;
    working.columns = 3;
    s.readers = {silent, working};
    NetReaders readers(s);
    NetHost host(MEASURE_MODE_CIE_XYZ, 48);
    ASSERT_EQ(host.open(), 0);
    ASSERT_EQ(StartMultiMeasure(host.record()), 0);
    ASSERT_EQ(host.runToEnd(), MEASURE_END_DONE);
    ASSERT_EQ(host.triples.size(), 1u);
    EXPECT_EQ(host.triples[0].size(), 6u);
    // A slow answer is waited for past one receive time-out.
    emu::ReaderSettings slow;
    slow.dataFault = emu::Fault::Slow;
    NetReaders slowReaders(oneReader(slow));
    NetHost slowHost(MEASURE_MODE_CIE_XYZ, 48);
    ASSERT_EQ(slowHost.open(), 0);
    ASSERT_EQ(StartMultiMeasure(slowHost.record()), 0);
    EXPECT_EQ(slowHost.runToEnd(), MEASURE_END_DONE);
}

TEST(Isis2Net, EachBadDataAnswerEndsTheJobWithItsText) {
    const struct {
        emu::Fault fault;
        const char* text;
        size_t delivered;
    } cases[] = {
        {emu::Fault::BadStatus, "catch(Error ocurred: Bad headerResponse.statusCode)", 0},
        {emu::Fault::Truncated, "catch(Error ocurred: Bad headerResponse.statusCode)", 0},
        {emu::Fault::Oversized, "catch(Error ocurred: Bad headerResponse.statusCode)", 0},
        {emu::Fault::BadJobId, "catch(Error ocurred: invalid jobId size)", 0},
        {emu::Fault::ShortValues, "catch(Error ocurred: not enough data to display)", 0},
        // Two stray bytes: the blocks are a third each, cut to whole patches.
        {emu::Fault::ValuesNotThirds, nullptr, 48},
        // Values for fewer patches than the job's rows and columns: those present.
        {emu::Fault::HalfTheValues, nullptr, 24},
    };
    for (const auto& c : cases) {
        emu::ReaderSettings reader;
        reader.dataFault = c.fault;
        NetReaders readers(oneReader(reader));
        LogCapture log;
        NetHost host(MEASURE_MODE_CIE_XYZ, 48);
        ASSERT_EQ(host.open(), 0);
        ASSERT_EQ(StartMultiMeasure(host.record()), 0);
        const int64_t end = host.runToEnd();
        if (c.text == nullptr) {
            EXPECT_EQ(end, MEASURE_END_DONE);
            ASSERT_EQ(host.triples.size(), 1u);
            EXPECT_EQ(host.triples[0].size(), c.delivered);
            const int last = static_cast<int>(c.delivered) - 1;
            const auto m0 = emu::readerXyz(last, 0);
            EXPECT_EQ(host.triples[0][last], (std::array<double, 3>{m0[0], m0[1], m0[2]}));
            continue;
        }
        EXPECT_EQ(end, MEASURE_END_FAILED) << c.text;
        EXPECT_TRUE(log.has("clISIS2NET::MultiMeasurement", c.text)) << c.text;
        EXPECT_TRUE(host.triples.empty());
    }
}

}  // namespace
}  // namespace measure::test
