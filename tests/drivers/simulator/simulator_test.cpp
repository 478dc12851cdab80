// The simulated instrument as a host meets it, through the exports: the
// override of Open2Instrument, the values the configuration sets, and every
// request with its status codes, pass numbers and deliveries, seen through
// the host's window or, without one, the observer.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "drivers/simulator/isis_parameters.h"
#include "drivers/simulator/measurement_data.h"
#include "drivers/simulator/simulator_device.h"
#include "framework/worker_thread.h"
#include "measure/measure.h"
#include "support/environment.h"
#include "support/instrument_host.h"
#include "support/test_environment.h"

namespace measure::test {
namespace {

using Ints = std::vector<int64_t>;

std::string element(const std::string& name, int64_t value) {
    return "<" + name + ">" + std::to_string(value) + "</" + name + ">";
}

// Short delays (the test clock runs at 1%).
const std::string kQuick = element("CalibrationTimeDelay_ms", 300) + element("MeasurementTimeDelay_ms", 200) +
                           element("PositioningTimeDelay_ms", 100) + element("InsertPaperTimeDelay_ms", 100) +
                           element("SpotMeasurementTimeDelay_ms", 100);

// A configuration listing `ids`, `top` before the list and `perInstrument`
// inside each instrument element.
std::string config(const std::vector<int>& ids, const std::string& top = kQuick,
                   const std::string& perInstrument = "") {
    std::string xml = "<SimulationInstrumentConfig>" + top + "<instrumentList>";
    for (int id : ids)
        xml += "<instrument><ID>" + std::to_string(id) + "</ID>" + perInstrument + "</instrument>";
    return xml + "</instrumentList></SimulationInstrumentConfig>";
}

// The file holds percentages; the instrument delivers fractions.
double measuredBand(int patch, int band) {
    return (1 + 5 * patch + band) / 100.0;
}

// A simulated instrument's host: the window host without sounds, with the
// configuration and measurement files under its own <appdata> and the
// discovery list in its own temporary folder.
class Simulator : public ::testing::Test {
protected:
    struct Host : InstrumentHost {
        Host(uint32_t id, uint32_t mode, int32_t patches, int32_t perLine = 0)
            : InstrumentHost(id, mode, patches, nullptr) {
            rec.NumPatchesPerLine = perLine;
        }
        void forget() {
            events.clear();
            triples.clear();
            spectra.clear();
        }
    };

    std::filesystem::path folder() const {
        const auto folder = std::filesystem::path(appData_.path()) / "Vantu" / "AutomatedTesting";
        std::filesystem::create_directories(folder);
        return folder;
    }
    void writeConfig(const std::string& xml) const {
        std::ofstream(folder() / "SimulationInstrumentConfig.xml") << xml;
    }
    // `patches` rows of 36 bands, each patch's spectrum its own
    // (measuredBand), so that a patch delivered in the wrong place shows.
    void writeMeasurements(int patches) const {
        std::ofstream file(folder() / "VantuMeasure.it8");
        file << "CGATS.17\nBEGIN_DATA_FORMAT\nSAMPLE_ID";
        for (int nm = 380; nm <= 730; nm += 10) file << " SPECTRAL_NM_" << nm;
        file << "\nEND_DATA_FORMAT\nNUMBER_OF_SETS " << patches << "\nBEGIN_DATA\n";
        for (int p = 0; p < patches; ++p) {
            file << p + 1;
            for (int b = 0; b < 36; ++b) file << ' ' << 1 + 5 * p + b;
            file << "\n";
        }
        file << "END_DATA\n";
    }

    TempDir appData_;
    TempDir temp_;
    ScopedEnvironment appDataVariable_{"MEASURE_COMMON_APPDATA", appData_.path().c_str()};
    ScopedEnvironment tempVariable_{kTemporaryFolderVariable, temp_.path().c_str()};
};

TEST_F(Simulator, OnlyListedInstrumentsAreSimulatedAndTheIdComesBack) {
    // A default device is allowed when it is the simulated one.
    writeConfig(config({22, 35}, kQuick + element("DefaultConnectedDeviceID", 22)));
    Host host(22, MEASURE_MODE_SPECTRAL, 0);
    // The override puts 999 in the record; an open that fails after it (no
    // patches: no result block) must leave the ID the host asked for, or
    // every corrected retry fails too.
    EXPECT_EQ(host.open(), -1);
    EXPECT_EQ(host.rec.instrument, 22u);
    host.rec.NumOfPatchesToRead = 1;
    ASSERT_EQ(host.open(), 0);
    EXPECT_EQ(host.rec.instrument, 999u);
    EXPECT_NE(host.rec.pDllData, nullptr);
    EXPECT_EQ(MustInsertPage(host.record()), 0);
    EXPECT_EQ(host.close(), 0);
    EXPECT_EQ(host.rec.instrument, 22u);
    EXPECT_EQ(host.rec.pDllData, nullptr);
}

TEST_F(Simulator, ConfigurationsTheRequestCannotMeetRefuseTheOpenAndKeepTheId) {
    const struct {
        uint32_t id;
        std::string xml;
        std::string logged;
    } cases[] = {
        {11, config({22, 35}), "instrument 11 is not in instrumentList"},
        {22, "<SimulationInstrumentConfig><instrumentList>", "XML_ERROR"},
        // A delay the 16-bit field cannot hold is refused, not cut to 4464 ms.
        {22, config({22}, element("CalibrationTimeDelay_ms", 70000)),
         "CalibrationTimeDelay_ms=70000 is outside 0..65535"},
        {22, config({22}, kQuick + element("DefaultConnectedDeviceID", 35)),
         "DefaultConnectedDeviceID 35 is not instrument 22"},
        {12345, config({12345}), "no registry row for instrument 12345"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.xml);
        writeConfig(c.xml);
        Host host(c.id, MEASURE_MODE_SPECTRAL, 1);
        LogCapture log;
        EXPECT_EQ(host.open(), -1);
        EXPECT_EQ(host.rec.instrument, c.id);
        EXPECT_EQ(host.rec.pDllData, nullptr);
        EXPECT_TRUE(log.contains(c.logged)) << log.text();
    }
}

TEST_F(Simulator, BatteryLevelIsReportedWithinZeroToHundredAndHalfWithoutAConfiguration) {
    {  // Row 999 opens without a configuration, and stays 999.
        Host host(999, MEASURE_MODE_CIE_XYZ, 1);
        ASSERT_EQ(host.open(), 0);
        EXPECT_EQ(host.rec.BatteryLevel, 50u);
        EXPECT_EQ(host.close(), 0);
        EXPECT_EQ(host.rec.instrument, 999u);
    }
    for (const auto& [configured, reported] :
         std::vector<std::pair<int, uint32_t>>{{0, 50}, {250, 100}, {73, 73}}) {
        writeConfig(
            config({22}, kQuick + element("DeviceBatteryLevel", configured) + element("DeviceSN", 4711)));
        Host host(22, MEASURE_MODE_SPECTRAL, 1);
        ASSERT_EQ(host.open(), 0);
        EXPECT_EQ(host.rec.BatteryLevel, reported) << configured;
        EXPECT_EQ(host.rec.SerialNumber, 4711u);
    }
}

TEST_F(Simulator, DiscoveryListForSeveralNixAndSd10Instruments) {
    const std::string listFile = temp_.file("vantuMSFoundDevs.txt");
    const struct {
        uint32_t id;
        int found;
        std::string list;  // empty: no list file
        int mustCalibrate;
    } cases[] = {
        {65, 2,
         "[{\"id\":\"0\",\"interfaceType\":1,\"name\":\"SD-10_0668\"},"
         "{\"id\":\"0\",\"interfaceType\":1,\"name\":\"SD-10_0670\"}]\n",
         1},
        // A Nix comes calibrated.
        {63, 3,
         "[{\"id\":\"DB:0B:5A:01:56:56\",\"interfaceType\":1,\"name\":\"Nix Spectro "
         "L\",\"rssi\":-50,\"type\":7},"
         "{\"id\":\"C9:B8:D9:CC:7B:D3\",\"interfaceType\":1,\"name\":\"Nix Mini "
         "3\",\"rssi\":-70,\"type\":6}]\n",
         0},
        {63, 1, "", 0},  // one instrument needs no list
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.found);
        std::remove(listFile.c_str());
        writeConfig(config({static_cast<int>(c.id)}, kQuick, element("NumberOfDiscoveredDevices", c.found)));
        Host host(c.id, MEASURE_MODE_SPECTRAL, 1);
        ASSERT_EQ(host.open(), 0);
        EXPECT_EQ(host.rec.DiscoveredDevices, static_cast<uint32_t>(c.found));
        if (c.list.empty())
            EXPECT_FALSE(std::filesystem::exists(listFile));
        else
            EXPECT_EQ(readTextFile(listFile), c.list);
        EXPECT_EQ(MustCalibrate(host.record()), c.mustCalibrate);
    }
}

TEST_F(Simulator, SpectralMeasurementWithoutDataFileDeliversTheDefaultSpectrumUntilStopped) {
    writeConfig(config({22}));
    Host host(22, MEASURE_MODE_SPECTRAL, 1);
    ASSERT_EQ(host.open(), 0);
    ASSERT_EQ(StartSingleMeasure(host.record()), 0);
    ASSERT_TRUE(host.runUntil([](const HostEvent& e) { return e.kind == HostEvent::Data; }));
    EXPECT_EQ(host.values(HostEvent::Status), (Ints{1, 2, 3, 0}));
    ASSERT_EQ(host.spectra.size(), 1u);
    ASSERT_EQ(host.spectra[0].size(), 1u);
    for (size_t i = 0; i < 36; ++i) EXPECT_EQ(host.spectra[0][0][i], simulator::kDefaultSpectrum[i]) << i;

    // It waits for the next patch until the host stops it.
    ASSERT_TRUE(host.runUntilStatus(MEASURE_STATUS_WAIT_USER));
    EXPECT_EQ(host.values(HostEvent::Status), (Ints{1, 2, 3, 0, 3}));
    ASSERT_EQ(StopSingleMeasure(host.record()), 0);
    EXPECT_EQ(host.runToEnd(), MEASURE_END_STOPPED);
}

// The observer channel: without a window every notification is a call on the
// attached observer from the driver's thread; the delivered values are copied
// while the driver waits for the call to return.
class TripleObserver : public MeasureObserver {
public:
    struct Seen {
        std::vector<HostEvent> events;
        std::vector<std::array<double, 3>> triples;
        std::vector<int64_t> beeps;
    };
    TripleObserver() { AttachObserver(this); }
    ~TripleObserver() { DetachObserver(); }
    void OnStatusCode(uint32_t, uint32_t, int32_t v) override {
        add([&](Seen& s) { s.events.push_back({HostEvent::Status, v}); });
    }
    void OnThreadEnd(uint32_t, int32_t code) override {
        add([&](Seen& s) { s.events.push_back({HostEvent::End, code}); });
    }
    void OnBeep(uint32_t, uint32_t hz, uint32_t) override {
        add([&](Seen& s) { s.beeps.push_back(hz); });
    }
    void OnMeasureData(uint32_t, uint64_t, void* result) override {
        const double* v = MEASURE_TRIPLE_VALUES(result, 0);
        const auto count = static_cast<const MEASURE_TRIPLE_RESULT*>(result)->NumPatches;
        add([&](Seen& s) {
            s.events.push_back({HostEvent::Data, static_cast<int64_t>(count)});
            s.triples.push_back({v[0], v[1], v[2]});
        });
    }
    // Waits until `done` holds for what was seen, then takes it.
    bool take(const std::function<bool(const Seen&)>& done, Seen& taken) {
        const bool held = waitFor([&] {
            std::lock_guard lock(mutex_);
            return done(seen_);
        });
        std::lock_guard lock(mutex_);
        taken = std::exchange(seen_, {});
        return held;
    }

private:
    void add(const std::function<void(Seen&)>& change) {
        std::lock_guard lock(mutex_);
        change(seen_);
    }
    std::mutex mutex_;
    Seen seen_;
};

bool saw(const TripleObserver::Seen& s, const HostEvent& event) {
    return std::find(s.events.begin(), s.events.end(), event) != s.events.end();
}
bool ended(const TripleObserver::Seen& s) {
    return std::any_of(s.events.begin(), s.events.end(),
                       [](const HostEvent& e) { return e.kind == HostEvent::End; });
}

TEST_F(Simulator, WithoutAWindowTheObserverGetsXyzAndLabAndDensitiesFailWithTheirSound) {
    writeConfig(config({22}));
    TripleObserver observer;
    Host host(22, MEASURE_MODE_CIE_XYZ, 1);
    host.rec.hWnd = nullptr;
    host.rec.SoundSelector = MEASURE_SOUND_OBSERVER;
    ASSERT_EQ(host.open(), 0);
    TripleObserver::Seen seen;
    for (const auto& [mode, expected] :
         {std::pair{MEASURE_MODE_CIE_XYZ, std::array<double, 3>{10, 20, 30}},
          std::pair{MEASURE_MODE_CIE_LAB, std::array<double, 3>{45, 10, 10}}}) {
        host.rec.Mode = mode;
        ASSERT_EQ(StartSingleMeasure(host.record()), 0);
        ASSERT_TRUE(observer.take([](const auto& s) { return !s.triples.empty(); }, seen)) << mode;
        EXPECT_EQ(seen.triples[0], expected) << mode;
        EXPECT_TRUE(saw(seen, {HostEvent::Data, 1}));
        ASSERT_EQ(StopSingleMeasure(host.record()), 0);
        ASSERT_TRUE(observer.take(ended, seen)) << mode;
        EXPECT_TRUE(saw(seen, {HostEvent::End, MEASURE_END_STOPPED}));
    }

    // Densities do not travel in the extended record: the request fails.
    host.rec.Mode = MEASURE_MODE_STATUS_E;
    ASSERT_EQ(StartSingleMeasure(host.record()), 0);
    ASSERT_TRUE(observer.take(ended, seen));
    EXPECT_TRUE(saw(seen, {HostEvent::End, MEASURE_END_FAILED}));
    EXPECT_TRUE(seen.triples.empty());
    const auto failureSound = [](const auto& s) {
        return std::count(s.beeps.begin(), s.beeps.end(), 1200) == 1;
    };
    EXPECT_TRUE(failureSound(seen) || observer.take(failureSound, seen));

    host.rec.Mode = 7;
    EXPECT_EQ(StartSingleMeasure(host.record()), -1) << "not a mode the entry takes";
    host.rec.Mode = MEASURE_MODE_EMISSION_XYZ;
    EXPECT_EQ(StartSingleMeasure(host.record()), 0);
    StopSingleMeasure(host.record());
    EXPECT_TRUE(observer.take(ended, seen));
}

TEST_F(Simulator, StripsFollowTheHostsPlanWithAShortLastPass) {
    writeConfig(config({11}));
    // More rows than patches: a patch takes its file row only while another
    // row follows it.
    writeMeasurements(12);
    Host host(11, MEASURE_MODE_SPECTRAL, 10, 4);
    ASSERT_EQ(host.open(), 0);
    ASSERT_EQ(StartMultiMeasure(host.record()), 0);
    EXPECT_EQ(host.runToEnd(), MEASURE_END_DONE);
    EXPECT_EQ(host.values(HostEvent::Passno), (Ints{-3, 1, 2, 3}));
    EXPECT_EQ(host.values(HostEvent::Scanspeed), (Ints{4, 4, 2}));
    EXPECT_EQ(host.values(HostEvent::Data), (Ints{4, 4, 2}));
    EXPECT_EQ(host.values(HostEvent::PassEnd), (Ints{4, 4, 4}));
    // Uncalibrated: the calibration runs first; each pass waits, triggers, idles.
    EXPECT_EQ(host.values(HostEvent::Status), (Ints{1, 2, 2, 3, 0, 3, 0, 3, 0, 0}));
    // Each strip carries the next patches of the chart, in order.
    int patch = 0;
    for (const auto& strip : host.spectra)
        for (const auto& spectrum : strip) {
            for (int b = 0; b < 36; ++b)
                EXPECT_DOUBLE_EQ(spectrum[b], measuredBand(patch, b)) << patch << "," << b;
            ++patch;
        }
    EXPECT_EQ(patch, 10);
    EXPECT_EQ(MustCalibrate(host.record()), 0);
}

TEST_F(Simulator, StopDuringAMeasurementEndsWithThreadEndOne) {
    // 20 s per strip at the test clock: only a stop ends it soon.
    writeConfig(config({11}, element("MeasurementTimeDelay_ms", 20000)));
    Host host(11, MEASURE_MODE_SPECTRAL, 12, 6);
    ASSERT_EQ(host.open(), 0);
    ASSERT_EQ(StartMultiMeasure(host.record()), 0);
    ASSERT_TRUE(host.runUntil([](const HostEvent& e) { return e == HostEvent{HostEvent::Passno, 1}; }));
    host.forget();
    const auto before = std::chrono::steady_clock::now();
    ASSERT_EQ(StopMultiMeasure(host.record()), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(5));
    EXPECT_EQ(host.runToEnd(), MEASURE_END_STOPPED);
    // The stop entry's own pass number 0 follows the request's end.
    host.drain(50);
    EXPECT_TRUE(host.values(HostEvent::Data).empty());
    EXPECT_EQ(host.values(HostEvent::Passno), (Ints{0})) << testing::PrintToString(host.events);
    EXPECT_EQ(host.close(), 0);
}

// Failed multi requests: no patches per line, or a patch count raised after
// the open sized the block for 24 patches. The latter must neither announce
// more patches than the block holds nor keep the request (or the stop) busy
// with a loop over the host's number.
TEST_F(Simulator, MultiRequestsOutsideTheOpensPlanFailAtOnce) {
    writeConfig(config({11}));
    const struct {
        int32_t perLine, raised;
        std::string logged;
    } cases[] = {{0, 24, "NumPatchesPerLine not given"},
                 {6, 5000, "NumOfPatchesToRead=5000, the block holds 256"},
                 {6, 2147483647, "NumOfPatchesToRead=2147483647, the block holds 256"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.logged);
        Host host(11, MEASURE_MODE_SPECTRAL, 24, c.perLine);
        ASSERT_EQ(host.open(), 0);
        host.rec.NumOfPatchesToRead = c.raised;
        LogCapture log;
        ASSERT_EQ(StartMultiMeasure(host.record()), 0);
        EXPECT_EQ(host.runToEnd(5000), MEASURE_END_FAILED);
        EXPECT_TRUE(host.values(HostEvent::Data).empty());
        EXPECT_TRUE(log.contains(c.logged)) << log.text();
        const auto before = std::chrono::steady_clock::now();
        EXPECT_EQ(StopMultiMeasure(host.record()), 0);
        EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(2));
    }
}

class SimulatorChartReader : public Simulator {
protected:
    void SetUp() override { writeConfig(config({26}, kQuick, element("MeasurementDataDelivery", 1))); }
    void TearDown() override { simulator::clearIsisParameters(); }
    void writeLayout(const std::string& text) {
        std::ofstream(appData_.file("layout.txt")) << text;
        host_.rec.pszParameterFile = layoutFile_.data();
    }
    Host host_{26, MEASURE_MODE_CIE_XYZ, 12, 12};
    std::string layoutFile_ = appData_.file("layout.txt");
};

const char* kLayout3x4 =
    "ChartSizeX=210 NumberOfRows=3 NumberOfColumns=4 BarSizeX=5 BarSizeY=5 DistancePaperEdgeToBar=3 "
    "DistBarToFirstLine=4 MarkersDistance=6 PatchSizeX=7 PatchSizeY=7 MarkerPatchDistance=2";

TEST_F(SimulatorChartReader, DeliversTheWholeChartAtOnceAsXyzInRowOrColumnOrder) {
    writeLayout(kLayout3x4);
    writeMeasurements(13);
    const uint32_t header[3] = {380, 10, 36};
    for (const uint32_t columnOrder : {0u, 1u}) {
        SCOPED_TRACE(columnOrder);
        host_.forget();
        host_.rec.ColumnOrder = columnOrder;
        ASSERT_EQ(host_.open(), 0);
        ASSERT_EQ(StartMultiMeasure(host_.record()), 0);
        EXPECT_EQ(host_.runToEnd(), MEASURE_END_DONE);
        ASSERT_EQ(host_.values(HostEvent::Data), (Ints{12}));
        // Three rows of four: read by column, the k-th delivered patch is
        // row k % 3 of column k / 3.
        for (int k = 0; k < 12; ++k) {
            const int patch = columnOrder == 1 ? (k % 3) * 4 + k / 3 : k;
            double spectrum[36], xyz[3] = {};
            for (int b = 0; b < 36; ++b) spectrum[b] = measuredBand(patch, b);
            ASSERT_EQ(SpectrumToXYZ(xyz, header, spectrum), 1);
            for (int c = 0; c < 3; ++c) EXPECT_DOUBLE_EQ(host_.triples[0][k][c], xyz[c]) << k;
        }
        EXPECT_EQ(host_.close(), 0);
    }
}

TEST_F(SimulatorChartReader, AChartOutsideTheLayoutFailsAndABrokenLayoutRefusesTheOpenWithStatus20) {
    writeLayout(kLayout3x4);
    host_.rec.NumOfPatchesToRead = 10;
    host_.rec.NumPatchesPerLine = 10;
    ASSERT_EQ(host_.open(), 0);
    ASSERT_EQ(StartMultiMeasure(host_.record()), 0);
    EXPECT_EQ(host_.runToEnd(), MEASURE_END_FAILED);
    EXPECT_TRUE(host_.values(HostEvent::Data).empty());
    ASSERT_EQ(host_.close(), 0);

    host_.forget();
    std::string layout = kLayout3x4;
    layout.replace(layout.find("MarkersDistance"), 15, "Markers");
    writeLayout(layout);
    EXPECT_EQ(host_.open(), 6);
    EXPECT_EQ(host_.rec.pDllData, nullptr);
    EXPECT_EQ(host_.rec.instrument, 26u) << "a refused open gives the host its ID back";
    host_.drain(50);
    EXPECT_EQ(host_.values(HostEvent::Status), (Ints{MEASURE_STATUS_PARAMETER_FILE_REFUSED}));

    layoutFile_ = appData_.file("absent.txt");
    host_.rec.pszParameterFile = layoutFile_.data();
    EXPECT_EQ(host_.open(), 5);
}

// Neither request ends with a thread end: corner registration ends with
// status 23, the paper insertion with 24.
TEST_F(Simulator, ThreeCornersOrOnePositioningRunAndAPaperInsertion) {
    writeConfig(config({23}));
    Host host(23, MEASURE_MODE_SPECTRAL, 1);
    ASSERT_EQ(host.open(), 0);
    for (const uint32_t mode : {0u, 1u, 2u}) {
        SCOPED_TRACE(mode);
        host.forget();
        host.rec.CornerMode = mode;
        ASSERT_EQ(StartRegisterCorners(host.record()), 0);
        ASSERT_TRUE(host.runUntilStatus(MEASURE_STATUS_CORNERS_DONE));
        EXPECT_EQ(host.values(HostEvent::Status), mode == 0 ? (Ints{6, 7, 8, 23}) : (Ints{30, 23}));
    }
    host.forget();
    ASSERT_EQ(StartInsertPaper(host.record()), 0);
    ASSERT_TRUE(host.runUntilStatus(MEASURE_STATUS_PAPER_IN_PLACE));
    host.drain(50);
    EXPECT_EQ(host.values(HostEvent::Status), (Ints{25, 14, 24}));
    EXPECT_TRUE(host.values(HostEvent::End).empty());
}

// A start while the calibration of the running request is under way (the
// busy flag: no stop) waits for it up to MeasureThread's timeout, then is
// refused; the running request keeps its own plan although the host changed
// NumPatchesPerLine meanwhile.
TEST_F(Simulator, AStartDuringABusyCalibrationLeavesTheRunningRequestAlone) {
    // A 20 s calibration against MeasureThread's 10 s timeout, at a scale
    // where both keep that proportion: 1 s and 0.5 s.
    ScopedTimeScale scale(0.05);
    writeConfig(
        config({11}, element("CalibrationTimeDelay_ms", 20000) + element("MeasurementTimeDelay_ms", 100)));
    Host host(11, MEASURE_MODE_CIE_LAB, 8, 4);
    ASSERT_EQ(host.open(), 0);
    ASSERT_EQ(StartMultiMeasure(host.record()), 0);
    // The request's status 2, then the calibration's own, which sets busy.
    ASSERT_TRUE(host.runUntilStatus(MEASURE_STATUS_CALIBRATING));
    ASSERT_TRUE(host.runUntilStatus(MEASURE_STATUS_CALIBRATING));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    host.rec.NumPatchesPerLine = 3;
    LogCapture log;
    EXPECT_EQ(StartMultiMeasure(host.record()), -1);
    EXPECT_TRUE(log.contains("clWORKER_THREAD::WaitRequest: !=WAIT_OBJECT_0"));
    EXPECT_EQ(host.runToEnd(), MEASURE_END_DONE);
    EXPECT_EQ(host.values(HostEvent::Data), (Ints{4, 4}));
}

// The FD-5BT's white tile wait is a plain wait: a close ends it at once.
TEST_F(Simulator, ACloseDuringTheWhiteTileWaitEndsItAtOnce) {
    // Twice 65.5 s at the test clock.
    writeConfig(config({35}, element("CalibrationTimeDelay_ms", 65535)));
    Host host(35, MEASURE_MODE_SPECTRAL, 1);
    ASSERT_EQ(host.open(), 0);
    ASSERT_EQ(WhiteCalibration(host.record()), 0);
    ASSERT_TRUE(host.runUntilStatus(simulator::kStatusWhiteTile));
    const int threads = framework::clWORKER_THREAD::liveThreads();
    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(host.close(), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(500));
    EXPECT_EQ(framework::clWORKER_THREAD::liveThreads(), threads - 2) << "a thread was left behind";
}

// A second OpenInstrument must not free the global block under the driver
// of the first.
TEST_F(Simulator, ASecondOldRecordOpenIsRefusedAndTheFirstStillCloses) {
    Host host(999, MEASURE_MODE_STATUS_E, 4);
    const int threads = framework::clWORKER_THREAD::liveThreads();
    ASSERT_EQ(host.openOld(), 0);
    LogCapture log;
    EXPECT_EQ(OpenInstrument(host.record()), -1);
    EXPECT_TRUE(log.contains("OpenInstrument: pGlobalDllData in use, already open?"));
    EXPECT_EQ(MustCalibrate(host.record()), 1) << "the first driver is gone";
    EXPECT_EQ(host.close(), 0);
    EXPECT_EQ(framework::clWORKER_THREAD::liveThreads(), threads);
}

TEST_F(Simulator, MustCalibrateUntilAWhiteCalibration) {
    writeConfig(config({35}));
    Host host(35, MEASURE_MODE_SPECTRAL, 1);
    ASSERT_EQ(host.open(), 0);
    EXPECT_EQ(MustCalibrate(host.record()), 1);
    EXPECT_EQ(BlackCalibration(host.record()), 0);
    EXPECT_EQ(BlackCalibration(nullptr), -1);
    ASSERT_EQ(WhiteCalibration(host.record()), 0);
    ASSERT_TRUE(host.runUntilStatus(MEASURE_STATUS_CALIBRATION_DONE));
    // The FD-5BT asks for its white tile first.
    EXPECT_EQ(host.values(HostEvent::Status), (Ints{simulator::kStatusWhiteTile, 2, 0, 16}));
    EXPECT_EQ(MustCalibrate(host.record()), 0);
    host.drain(30);
    EXPECT_TRUE(host.values(HostEvent::End).empty());

    // An emission calibration leaves the reflective calibration undone.
    host.rec.Mode = MEASURE_MODE_EMISSION_SPECTRAL;
    ASSERT_EQ(WhiteCalibration(host.record()), 0);
    ASSERT_TRUE(host.runUntilStatus(MEASURE_STATUS_CALIBRATION_DONE));
    EXPECT_EQ(MustCalibrate(host.record()), 1);
}

}  // namespace
}  // namespace measure::test
