// The SpectroScan end to end: a host opens instrument 5 through the exports,
// the driver finds the emulated table on a pseudo-terminal named by
// MEASURE_COMn, and corner registration, chart runs, stops and faults are
// checked against what the table did and what the host received.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "measure/measure.h"
#include "platform/clock.h"
#include "spectroscan/spectroscan_emulator.h"
#include "support/host_window.h"
#include "support/instrument_host.h"
#include "support/test_environment.h"

namespace {

namespace ss = measure::emu::spectroscan;
using measure::test::LogCapture;
using namespace std::chrono_literals;

constexpr uint32_t kMessage = 0x7100;
constexpr int kStatusSeen = measure::test::kStatusReached;
constexpr const char* kNoPort = "/nonexistent/measure-spectroscan-port";

// Points MEASURE_COM1..COM4 at the given devices while alive.
class PortMap {
public:
    explicit PortMap(const std::array<std::string, 4>& paths)
        : com1_("MEASURE_COM1", paths[0].c_str()),
          com2_("MEASURE_COM2", paths[1].c_str()),
          com3_("MEASURE_COM3", paths[2].c_str()),
          com4_("MEASURE_COM4", paths[3].c_str()) {}

private:
    measure::test::ScopedEnvironment com1_, com2_, com3_, com4_;
};

// A host with its message window and a record for instrument 5.
class Host : public measure::test::RecordHost {
public:
    Host(uint32_t mode, int patches, int perLine) : RecordHost(5, mode, patches, kMessage) {
        rec.NumPatchesPerLine = perLine;
    }

    // Collects notifications up to the thread end; its code, or -100 when
    // none came within `timeout`. With `endStatus`, that status also ends
    // the wait and gives kStatusSeen.
    int waitEnd(std::chrono::milliseconds timeout = 30s, int endStatus = -1) {
        return takeUntilEnd(timeout, endStatus, [this](const measure::test::HostMessage& m) {
            if (m.message == kMessage + MEASURE_MSG_STATUS && m.wParam == MEASURE_KIND_PAGENO)
                pages.push_back(static_cast<int>(m.lParam));
            if (m.message == kMessage + MEASURE_MSG_MEASURE_DATA) data.push_back(m);
            if (m.message == kMessage + MEASURE_MSG_OLD_RECORD_DENSITY) densities.push_back(m);
        });
    }
    // A corner registration ends with status 23, or with a thread end when it fails.
    int waitCorners() { return waitEnd(30s, MEASURE_STATUS_CORNERS_DONE); }
    void clearNotes() {
        statuses.clear();
        pages.clear();
        data.clear();
        densities.clear();
    }

    std::vector<int> pages;
    std::vector<measure::test::HostMessage> data;       // Message+4: pointer to the results
    std::vector<measure::test::HostMessage> densities;  // Message: old-record density slots
};

ss::ChartLayout chart(int rows, int patches) {
    ss::ChartLayout c;
    c.rows = rows;
    c.patches = patches;
    return c;
}

// A chart turned by atan(4/100) (about 2.3 degrees) whose corners fall on
// whole 0.1 mm steps: patch vector (100, 4), row vector (-4, 100).
ss::ChartLayout rotatedChart() {
    ss::ChartLayout c = chart(4, 6);
    c.originX = 812;
    c.originY = 434;
    c.pitchX = c.pitchY = std::hypot(100.0, 4.0);
    c.angleDeg = std::atan2(4.0, 100.0) * 180.0 / 3.14159265358979323846;
    return c;
}

bool contains(const std::vector<int>& v, std::initializer_list<int> sequence) {
    auto it = v.begin();
    for (int x : sequence) {
        it = std::find(it, v.end(), x);
        if (it == v.end()) return false;
        ++it;
    }
    return true;
}

bool parked(const ss::TableState& s) {
    return !s.headDown && s.x == 0 && s.y == 0 && !s.paperHeld;
}

const MEASURE_SPECTRAL_RESULT* spectral(const measure::test::HostMessage& m) {
    return reinterpret_cast<const MEASURE_SPECTRAL_RESULT*>(m.lParam);
}

class SpectroScanDriver : public ::testing::Test {
protected:
    // The table on COM1, nothing on COM2..COM4.
    void startTable(const ss::ChartLayout& layout) {
        table = std::make_unique<ss::Emulator>(layout);
        ASSERT_TRUE(table->start());
        table->setAutoKey(2);
        ports =
            std::make_unique<PortMap>(std::array<std::string, 4>{table->path(), kNoPort, kNoPort, kNoPort});
    }
    size_t count(const std::string& prefix) const { return table->commandsStartingWith(prefix).size(); }

    // The driver reads each answer within 10 s, 100 ms at the usual test
    // scale: too short for an emulator thread on a loaded machine. At 5 %
    // the reads wait 500 ms and the table's pauses stay short.
    measure::test::ScopedTimeScale scale_{0.05};
    std::unique_ptr<ss::Emulator> table;
    std::unique_ptr<PortMap> ports;
};

// ---------------------------------------------------------------------------
// Probing.

TEST_F(SpectroScanDriver, ProbingSkipsPortsThatAnswerWronglyAndFindsTheTableOnTheThirdPortAt28800Baud) {
    ss::Emulator fiveFields, noColon, scan;
    ASSERT_TRUE(fiveFields.start() && noColon.start() && scan.start());
    fiveFields.addFault(ss::Fault::dropLastField("0").repeated(-1));
    noColon.addFault(ss::Fault::noColon("0").repeated(-1));
    scan.setAnswerBaud(28800);
    LogCapture log;
    PortMap map({fiveFields.path(), noColon.path(), scan.path(), kNoPort});
    Host host(MEASURE_MODE_SPECTRAL, 24, 6);
    ASSERT_EQ(host.open(), 0);
    EXPECT_EQ(host.rec.port, 3);
    // A wrong answer moves on to the next port at once, not to the next rate.
    EXPECT_EQ(fiveFields.commandsStartingWith("; 0").size(), 1u);
    EXPECT_EQ(noColon.commandsStartingWith("; 0").size(), 1u);
    EXPECT_TRUE(log.has("clGRETAG::DetectInstrument", "scanf result is 5"));
    EXPECT_TRUE(log.has("clGRETAG::DetectInstrument", "missing colon"));
    std::vector<int> rates;
    for (const auto& c : scan.commands())
        if (c.text == "; 0") rates.push_back(c.baud);
    EXPECT_EQ(rates, (std::vector<int>{9600, 57600, 28800}));
    // Found: reset, handshaking, the head's and the table's identity.
    EXPECT_EQ(scan.state().resets, 1);
    EXPECT_EQ(scan.commandsStartingWith("; 208 33 0").size(), 1u);
    EXPECT_EQ(scan.commandsStartingWith("; 181").size(), 1u);
    EXPECT_EQ(scan.commandsStartingWith("; 208 5").size(), 3u);  // 50, 51, 52
    EXPECT_TRUE(log.has("clGRETAG::XYTableData", "Serial number     204711"));
    EXPECT_TRUE(log.has("clGRETAG::XYTableData", "Production date   12.05.1999"));
    host.close();
    EXPECT_EQ(host.rec.port, -1);
}

TEST_F(SpectroScanDriver, NoTableOnAnyPortFailsTheOpen) {
    ss::Emulator silent;
    ASSERT_TRUE(silent.start());
    silent.setAnswerBaud(1);  // never understood
    PortMap map({silent.path(), kNoPort, kNoPort, kNoPort});
    Host host(MEASURE_MODE_SPECTRAL, 24, 6);
    EXPECT_EQ(host.open(), -1);
    EXPECT_EQ(host.rec.port, -1);
    EXPECT_EQ(host.rec.pDllData, nullptr);
    EXPECT_EQ(silent.commandsStartingWith("; 0").size(), 4u);  // one try per rate
}

TEST_F(SpectroScanDriver, ATableThatCannotBeResetFailsTheOpenWithABox) {
    startTable(chart(4, 6));
    table->addFault(ss::Fault::dropErrorField("208 10"));
    measure::test::ErrorBoxCapture boxes;
    Host host(MEASURE_MODE_SPECTRAL, 24, 6);
    EXPECT_EQ(host.open(), -1);
    ASSERT_EQ(boxes.texts().size(), 1u);
    EXPECT_EQ(boxes.texts()[0], "Failed to reset instrument.");
    EXPECT_EQ(boxes.captions()[0], "Measurement");
}

// ---------------------------------------------------------------------------
// Set-up and corner registration.

TEST_F(SpectroScanDriver, SetupSendsTheMeasurementTypeAndTheModesDensityStandard) {
    startTable(chart(4, 6));
    Host host(MEASURE_MODE_DIN_16536_NARROW, 24, 6);
    ASSERT_EQ(host.open(), 0);
    EXPECT_EQ(SetupInstrument(host.record()), 0);
    EXPECT_EQ(count("; 77 155"), 1u);
    EXPECT_EQ(count("; 22 3 1 3 0"), 1u);
    host.rec.Mode = MEASURE_MODE_CIE_LAB;
    EXPECT_EQ(SetupInstrument(host.record()), -1);
}

TEST_F(SpectroScanDriver, ARotatedChartIsRegisteredAndMeasuredWithinOneStepOfEveryPatch) {
    const ss::ChartLayout layout = rotatedChart();
    startTable(layout);
    Host host(MEASURE_MODE_SPECTRAL, 24, 6);
    ASSERT_EQ(host.open(), 0);
    ASSERT_EQ(StartRegisterCorners(host.record()), 0);
    ASSERT_EQ(host.waitCorners(), kStatusSeen);
    EXPECT_TRUE(contains(host.statuses, {1, 6, 7, 8, 23}));
    EXPECT_TRUE(host.quiet(50));  // 23 is the registration's last word
    EXPECT_EQ(table->state().digitizedPoints, 3);

    host.clearNotes();
    ASSERT_EQ(StartSimpleMultiMeasure(host.record()), 0);
    ASSERT_EQ(host.waitEnd(), MEASURE_END_DONE);
    const auto measured = table->measurements();
    ASSERT_EQ(measured.size(), 24u);
    for (int k = 0; k < 24; ++k) {
        const auto [cx, cy] = layout.centre(k / 6, k % 6);
        EXPECT_LE(std::fabs(measured[k].x - cx), 1.0) << k;
        EXPECT_LE(std::fabs(measured[k].y - cy), 1.0) << k;
        EXPECT_EQ(measured[k].patch, k);
    }
    ASSERT_EQ(host.data.size(), 24u);
    const auto* result = spectral(host.data.back());
    EXPECT_EQ(result->StartNm, 380u);
    EXPECT_EQ(result->NumBands, 36u);
    ASSERT_EQ(result->NumPatches, 24u);
    for (int k = 0; k < 24; ++k) {
        const ss::Spectrum expected = ss::patchSpectrum(k);
        for (int b = 0; b < ss::kBands; ++b)
            EXPECT_NEAR(MEASURE_SPECTRAL_PATCH(result, k)[b], expected[b], 6e-6);
    }
    EXPECT_TRUE(contains(host.statuses, {9, 2, 0}));
    EXPECT_TRUE(parked(table->state()));
    EXPECT_EQ(host.rec.CellX, 0);
}

TEST_F(SpectroScanDriver, OnePatchPerRowRegistersOnlyCornerOneAndStepsByTheNominalRowPitch) {
    ss::ChartLayout layout = chart(4, 1);
    layout.originX = 900;
    layout.originY = 500;
    layout.pitchY = 120;
    startTable(layout);
    Host host(MEASURE_MODE_SPECTRAL, 4, 1);
    host.rec.CellX = 7000;  // micrometres: 70 by 120 table steps
    host.rec.CellY = 12000;
    ASSERT_EQ(host.open(), 0);
    ASSERT_EQ(StartRegisterCorners(host.record()), 0);
    ASSERT_EQ(host.waitCorners(), kStatusSeen);
    EXPECT_EQ(table->state().digitizedPoints, 1);
    EXPECT_EQ(count("; 208 20"), 1u);
    EXPECT_FALSE(contains(host.statuses, {7}));
    ASSERT_EQ(StartSimpleMultiMeasure(host.record()), 0);
    ASSERT_EQ(host.waitEnd(), MEASURE_END_DONE);
    const auto measured = table->measurements();
    ASSERT_EQ(measured.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(measured[i].x, 900);
        EXPECT_EQ(measured[i].y, 500 + 120 * i);
        EXPECT_EQ(measured[i].patch, i);
    }
}

TEST_F(SpectroScanDriver, CornerTargetsBeyondTheTablesReachAreClamped) {
    startTable(chart(4, 6));
    table->queueDigitizedPoint(2800, 2050);
    table->queueDigitizedPoint(3150, 2050);
    table->queueDigitizedPoint(3150, 2290);
    Host host(MEASURE_MODE_SPECTRAL, 24, 6);
    ASSERT_EQ(host.open(), 0);
    ASSERT_EQ(StartRegisterCorners(host.record()), 0);
    ASSERT_EQ(host.waitCorners(), kStatusSeen);
    // Nominal targets (3300, 2050) and (3150, 2350).
    const auto moves = table->commandsStartingWith("; 208 0 1");
    EXPECT_EQ(moves,
              (std::vector<std::string>{"; 208 0 1 800 400", "; 208 0 1 3200 2050", "; 208 0 1 3150 2300"}));
}

TEST_F(SpectroScanDriver, ScanErrorTwoOnADigitisingMoveIsClearedAndOthersFailTheRegistration) {
    startTable(chart(4, 6));
    table->addFault(ss::Fault::scanError("208 0 1", 2));
    Host host(MEASURE_MODE_SPECTRAL, 24, 6);
    ASSERT_EQ(host.open(), 0);
    ASSERT_EQ(StartRegisterCorners(host.record()), 0);
    ASSERT_EQ(host.waitCorners(), kStatusSeen);
    std::vector<std::string> afterMove;
    const auto all = table->commands();
    for (size_t i = 0; i < all.size(); ++i)
        if (all[i].text == "; 208 0 1 800 400")
            for (size_t k = i + 1; k < all.size() && k <= i + 4; ++k) afterMove.push_back(all[k].text);
    EXPECT_EQ(afterMove, (std::vector<std::string>{"; 208 3", "; 208 4", "; 208 3", "; 208 20"}));
    EXPECT_EQ(table->state().digitizedPoints, 3);

    LogCapture log;
    table->addFault(ss::Fault::scanError("208 0 1", 4));
    ASSERT_EQ(StartRegisterCorners(host.record()), 0);
    EXPECT_EQ(host.waitCorners(), MEASURE_END_FAILED);
    EXPECT_TRUE(log.has("clGRETAG::Digitize", "ScanErrorType=4"));
    EXPECT_TRUE(log.has("clGRETAG::RegisterCorner", "catch MoveAbsXY"));
    // Without registered corners the registered-chart run refuses.
    ASSERT_EQ(StartSimpleMultiMeasure(host.record()), 0);
    EXPECT_EQ(host.waitEnd(), MEASURE_END_FAILED);
    EXPECT_TRUE(log.has("clGRETAG::SimpleMultiMeasurement", "catch Corner not registered"));
}

// ---------------------------------------------------------------------------
// Runs.

TEST_F(SpectroScanDriver, AnXyzRunDeliversTheConvertedSpectraInPatchOrder) {
    startTable(chart(4, 6));
    Host host(MEASURE_MODE_CIE_XYZ, 24, 6);
    ASSERT_EQ(host.open(), 0);
    ASSERT_EQ(StartMultiMeasure(host.record()), 0);
    ASSERT_EQ(host.waitEnd(), MEASURE_END_DONE);
    EXPECT_EQ(host.pages, (std::vector<int>{1}));
    ASSERT_EQ(host.data.size(), 24u);
    const auto* result = reinterpret_cast<const MEASURE_TRIPLE_RESULT*>(host.data.back().lParam);
    ASSERT_EQ(result->NumPatches, 24u);
    const uint32_t header[3] = {380, 10, 36};
    for (int k = 0; k < 24; ++k) {
        const ss::Spectrum s = ss::patchSpectrum(k);
        double xyz[3];
        ASSERT_EQ(SpectrumToXYZ(xyz, header, s.data()), 1);
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(MEASURE_TRIPLE_VALUES(result, k)[c], xyz[c], 2e-3) << k;
    }
}

TEST_F(SpectroScanDriver, StatusEFromSpectraGoesIntoTheDensitySlotsWithAMessagePerPatch) {
    startTable(chart(2, 6));
    Host host(MEASURE_MODE_STATUS_E, 12, 6);
    ASSERT_EQ(host.open(), 0);
    ASSERT_EQ(StartMultiMeasure(host.record()), 0);
    ASSERT_EQ(host.waitEnd(), MEASURE_END_DONE);
    ASSERT_EQ(host.densities.size(), 12u);
    const uint32_t header[3] = {380, 10, 36};
    for (int k = 0; k < 12; ++k) {
        EXPECT_EQ(host.densities[k].wParam, static_cast<uint64_t>(k + 1));
        EXPECT_EQ(host.densities[k].lParam, reinterpret_cast<int64_t>(&host.rec.Density[k][0]));
        double d[4];
        ASSERT_EQ(SpectrumToDensity(d, header, ss::patchSpectrum(k).data(), 0), 1);
        for (int c = 0; c < 4; ++c) EXPECT_NEAR(host.rec.Density[k][c], d[c] * 1000, 1.5) << k << "," << c;
    }
    EXPECT_EQ(count("; 177 1 1"), 1u);
}

TEST_F(SpectroScanDriver, TheHeadsDensityOutputFillsTheOldRecordsSlotsForAFixedFifteenPatchChart) {
    ss::ChartLayout layout = chart(1, 15);
    layout.pitchX = 70;
    startTable(layout);
    Host host(MEASURE_MODE_STATUS_T, 15, 0);
    ASSERT_EQ(host.openOld(), 0);
    ASSERT_EQ(StartMultiMeasure(host.record()), 0);
    ASSERT_EQ(host.waitEnd(), MEASURE_END_DONE);
    // The old record's host first hears "start counting again".
    ASSERT_EQ(host.densities.size(), 16u);
    EXPECT_EQ(host.densities[0].wParam, 0u);
    EXPECT_EQ(host.densities[0].lParam, 0);
    EXPECT_EQ(count("; 177 4 15"), 1u);
    EXPECT_EQ(count("; 208 7"), 0u);
    EXPECT_EQ(count("; 32"), 15u);
    for (int k = 0; k < 15; ++k) {
        EXPECT_EQ(host.densities[k + 1].wParam, static_cast<uint64_t>(k + 1));
        const auto d = ss::headDensities(ss::patchSpectrum(k));  // visual first
        const double expected[4] = {d[1], d[2], d[3], d[0]};
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(host.rec.Density[k][c], expected[c] * 1000, 1.0) << k << "," << c;
    }
}

TEST_F(SpectroScanDriver, WhiteCalibrationComesBeforeEveryFourthRow) {
    startTable(chart(9, 2));
    Host host(MEASURE_MODE_SPECTRAL, 18, 2);
    ASSERT_EQ(host.open(), 0);
    ASSERT_EQ(StartMultiMeasure(host.record()), 0);
    ASSERT_EQ(host.waitEnd(), MEASURE_END_DONE);
    // Measurements taken before each white measurement.
    std::vector<int> before;
    int measured = 0;
    for (const auto& c : table->commands()) {
        if (c.text.rfind("; 208 7 ", 0) == 0) ++measured;
        if (c.text == "; 34 9 7") before.push_back(measured);
    }
    EXPECT_EQ(before, (std::vector<int>{0, 8, 16}));
    EXPECT_EQ(table->state().whiteMeasurements, 3);
    EXPECT_TRUE(contains(host.statuses, {2, 0, 2, 0, 2, 0}));
}

TEST_F(SpectroScanDriver, AWholeChartRunsOverTwoSheets) {
    startTable(chart(2, 6));
    Host host(MEASURE_MODE_SPECTRAL, 24, 6);
    host.rec.NumPatchesPerChart = 12;
    ASSERT_EQ(host.open(), 0);
    ASSERT_EQ(StartMultiMeasure(host.record()), 0);
    ASSERT_EQ(host.waitEnd(), MEASURE_END_DONE);
    EXPECT_EQ(host.pages, (std::vector<int>{1, 2}));
    EXPECT_EQ(table->state().sheetsLaid, 2);
    EXPECT_EQ(table->state().digitizedPoints, 6);
    ASSERT_EQ(host.data.size(), 24u);
    const auto* result = spectral(host.data.back());
    ASSERT_EQ(result->NumPatches, 24u);
    for (int k = 0; k < 24; ++k)
        EXPECT_NEAR(MEASURE_SPECTRAL_PATCH(result, k)[10], ss::patchSpectrum(k)[10], 6e-6);
    EXPECT_TRUE(parked(table->state()));
}

TEST_F(SpectroScanDriver, AHundredPatchesWithoutAPlanHaveNoFixedLayout) {
    startTable(chart(4, 6));
    LogCapture log;
    Host host(MEASURE_MODE_SPECTRAL, 100, 0);
    ASSERT_EQ(host.open(), 0);
    ASSERT_EQ(StartMultiMeasure(host.record()), 0);
    EXPECT_EQ(host.waitEnd(), MEASURE_END_FAILED);
    EXPECT_TRUE(log.has("clGRETAG::MultiMeasurement", "catch switch pMeasure->NumOfPatchesToRead"));
    EXPECT_TRUE(parked(table->state()));
}

// ---------------------------------------------------------------------------
// Stops and faults.

TEST_F(SpectroScanDriver, AStopDuringARunEndsWithOneAndParksTheTable) {
    startTable(chart(4, 6));
    Host host(MEASURE_MODE_SPECTRAL, 24, 6);
    ASSERT_EQ(host.open(), 0);
    ASSERT_EQ(StartMultiMeasure(host.record()), 0);
    ASSERT_TRUE(table->waitFor([](const ss::TableState&, const auto& m) { return m.size() >= 3; }, 20s));
    EXPECT_EQ(StopMultiMeasure(host.record()), 0);
    EXPECT_EQ(host.waitEnd(), MEASURE_END_STOPPED);
    EXPECT_LT(table->measurements().size(), 24u);
    EXPECT_TRUE(parked(table->state()));
}

TEST_F(SpectroScanDriver, ATimeoutWhileDataAreAwaitedWaitsPurgesAndParks) {
    // The third patch's data come 750 ms late: after the driver's read has
    // given up (10 s, 500 ms at this scale) and before its wait for the
    // instrument to finish ends (another 500 ms), so the purge must drop them.
    measure::test::ScopedTimeScale scale(0.05);
    startTable(chart(4, 6));
    table->addFault(ss::Fault::lateData("32", 750).skipping(2));
    LogCapture log;
    Host host(MEASURE_MODE_DIN_16536, 24, 6);
    ASSERT_EQ(host.open(), 0);
    ASSERT_EQ(StartMultiMeasure(host.record()), 0);
    EXPECT_EQ(host.waitEnd(), MEASURE_END_FAILED);
    EXPECT_TRUE(log.has("clGRETAG::MultiMeasurement", "catch Wait data"));
    EXPECT_EQ(host.densities.size(), 2u);
    EXPECT_TRUE(parked(table->state()));
    // Nothing of the late data reached the parking exchanges.
    const auto lines = log.entries();
    const auto cleanup = std::find(lines.begin(), lines.end(), "clGRETAG::MultiMeasurement: Cleanup");
    ASSERT_NE(cleanup, lines.end());
    for (auto it = cleanup; it != lines.end(); ++it)
        EXPECT_EQ(it->find("190 4 15"), std::string::npos) << *it;
    EXPECT_FALSE(log.contains("End catch"));
}

// A malformed answer in the middle of a run fails it with the step's log
// line, keeps what came before and parks the table.
TEST_F(SpectroScanDriver, AMalformedAnswerFailsTheRunAtItsStep) {
    struct Case {
        const char* name;
        ss::Fault fault;
        std::vector<std::pair<const char*, const char*>> lines;
        size_t data;
    };
    const Case cases[] = {
        {"the second patch answers with the wrong answer and flag fields",
         ss::Fault::fields("208 7", 190, 1, 0).skipping(1),
         {{"clGRETAG::ProcessMeasurement", "sscanf fldFF=1 RemoteErrorSet=0"},
          {"clGRETAG::MultiMeasurement", "catch ProcessMeasurement"}},
         1},
        {"holding the paper answers without its error field",
         ss::Fault::dropErrorField("208 18"),
         {{"clGRETAG::MultiMeasurement", "catch HoldPaper"}},
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        startTable(chart(4, 6));
        table->addFault(c.fault);
        LogCapture log;
        Host host(MEASURE_MODE_SPECTRAL, 24, 6);
        ASSERT_EQ(host.open(), 0);
        ASSERT_EQ(StartMultiMeasure(host.record()), 0);
        EXPECT_EQ(host.waitEnd(), MEASURE_END_FAILED);
        for (const auto& [function, text] : c.lines) EXPECT_TRUE(log.has(function, text)) << text;
        EXPECT_EQ(host.data.size(), c.data);
        EXPECT_TRUE(parked(table->state()));
        host.close();
        ports.reset();
        table.reset();
    }
}

TEST_F(SpectroScanDriver, AnOutputChannelThatIsOnIsNotSetAgainAndIsSwitchedOffAtClose) {
    startTable(chart(2, 6));
    Host host(MEASURE_MODE_SPECTRAL, 12, 6);
    ASSERT_EQ(host.open(), 0);
    ASSERT_EQ(StartMultiMeasure(host.record()), 0);
    ASSERT_EQ(host.waitEnd(), MEASURE_END_DONE);
    EXPECT_EQ(table->commandsStartingWith("; 177"),
              (std::vector<std::string>{"; 177 0 0", "; 177 2 0", "; 177 3 0", "; 177 4 0", "; 177 1 1"}));
    ASSERT_EQ(StartMultiMeasure(host.record()), 0);
    ASSERT_EQ(host.waitEnd(), MEASURE_END_DONE);
    EXPECT_EQ(count("; 177"), 5u);
    host.close();
    EXPECT_EQ(count("; 177 1 0"), 1u);
    EXPECT_EQ(table->state().outputs[1], 0);
}

}  // namespace
