// The simulated instrument as a host meets it, through the exports: the
// override of Open2Instrument, the values the configuration sets, and every
// request with its status codes, pass numbers and deliveries, seen through a
// POSIX message window or the observer.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/delivery.h"
#include "core/record.h"
#include "drivers/simulator/isis_parameters.h"
#include "drivers/simulator/measurement_data.h"
#include "drivers/simulator/simulator_device.h"
#include "framework/worker_thread.h"
#include "measure/measure.h"
#include "platform/environment.h"
#include "support/host_window.h"
#include "support/test_environment.h"

namespace measure::test {
namespace {

// ---- A test host --------------------------------------------------------

struct Note {
    enum Kind { Status, PassNumber, ScanSpeed, PassEnd, PageNumber, Data, ThreadEnd, Beep };
    Kind kind;
    int64_t value = 0;            // status, pass, count, end code, beep frequency
    std::vector<double> payload;  // Data: the delivered values in order (spectra: 36 per patch)
    bool operator==(const Note& other) const { return kind == other.kind && value == other.value; }
};

std::string describe(const std::vector<Note>& notes);

// Observer channel: copies each delivery while the driver waits for it.
class NoteObserver : public MeasureObserver {
public:
    void setSpectral(bool spectral) { spectral_ = spectral; }
    void OnScanspeedStatus(uint32_t, uint32_t, uint32_t v) override { push({Note::ScanSpeed, v, {}}); }
    void OnPassno(uint32_t, uint32_t, int32_t v) override { push({Note::PassNumber, v, {}}); }
    void OnPageno(uint32_t, uint32_t, int32_t v) override { push({Note::PageNumber, v, {}}); }
    void OnPassEnd(uint32_t, uint32_t, uint32_t v) override { push({Note::PassEnd, v, {}}); }
    void OnStatusCode(uint32_t, uint32_t, int32_t v) override { push({Note::Status, v, {}}); }
    void OnMeasureData(uint32_t, uint64_t, void* result) override;
    void OnThreadEnd(uint32_t, int32_t code) override { push({Note::ThreadEnd, code, {}}); }
    void OnBeep(uint32_t, uint32_t frequency, uint32_t) override { push({Note::Beep, frequency, {}}); }

    std::optional<Note> next(int ms);

private:
    void push(Note note);
    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<Note> notes_;
    bool spectral_ = false;
};

// Reads a delivered result in the form of the record's mode.
std::vector<double> copyResult(const void* result, bool spectral);

class SimulatorHost {
public:
    enum class Channel { Window, Observer };
    explicit SimulatorHost(Channel channel);
    ~SimulatorHost();

    // The configuration file under <appdata>/Vantu/AutomatedTesting.
    void writeConfig(const std::string& xml) const;
    // A configuration listing `ids` with the given delays (ms) and extras
    // inside each instrument element.
    static std::string config(const std::vector<int>& ids, const std::string& top = "",
                              const std::string& perInstrument = "");
    // The measurement file the simulated instrument replays, beside the
    // configuration: `patches` rows, each patch's spectrum its own
    // (measuredBand), so that a patch delivered in the wrong place shows.
    void writeMeasurements(int patches) const;
    // The file holds percentages; the instrument delivers fractions.
    static double measuredBand(int patch, int band) { return (1 + 5 * patch + band) / 100.0; }
    std::string file(const std::string& name) const { return dir_.file(name); }
    const std::string& tempFolder() const { return temp_.path(); }

    MEASURE2STRUCT record{};
    MEASURESTRUCT* r() { return reinterpret_cast<MEASURESTRUCT*>(&record); }
    void configure(uint32_t instrument, uint32_t mode, int32_t patches, int32_t perLine = 0) {
        record.instrument = instrument;
        record.Mode = mode;
        record.NumOfPatchesToRead = patches;
        record.NumPatchesPerLine = perLine;
    }
    int open();
    int close();

    // Notifications up to and including the first one `last` accepts (or
    // until `ms` real milliseconds pass).
    std::vector<Note> until(const std::function<bool(const Note&)>& last, int ms = 10000);
    std::vector<Note> untilThreadEnd(int ms = 10000);
    std::vector<Note> untilStatus(int status, int ms = 10000);
    // Notifications arriving within `ms` milliseconds.
    std::vector<Note> drain(int ms);

private:
    std::optional<Note> next(int ms);
    Channel channel_;
    TempDir dir_;
    TempDir temp_;
    platform::ScopedEnvironment appData_;
    platform::ScopedEnvironment tmp_;
    NoteObserver observer_;
    std::unique_ptr<HostWindow> window_;  // the host's window, on the test thread
};

// Only the notes of one kind, as values.
std::vector<int64_t> valuesOf(const std::vector<Note>& notes, Note::Kind kind);

std::string describe(const std::vector<Note>& notes) {
    static const char* const names[] = {"S", "P", "C", "X", "G", "D", "E", "B"};
    std::string text;
    for (const Note& n : notes) text += std::string(names[n.kind]) + std::to_string(n.value) + " ";
    return text;
}

std::vector<double> copyResult(const void* result, bool spectral) {
    std::vector<double> values;
    if (result == nullptr) return values;
    if (spectral) {
        const auto* head = static_cast<const MEASURE_SPECTRAL_RESULT*>(result);
        for (uint64_t i = 0; i < head->NumPatches; ++i) {
            const double* slot = MEASURE_SPECTRAL_PATCH(result, i);
            values.insert(values.end(), slot, slot + MEASURE_SPECTRAL_BANDS);
        }
    } else {
        const auto* head = static_cast<const MEASURE_TRIPLE_RESULT*>(result);
        for (uint64_t i = 0; i < head->NumPatches; ++i) {
            const double* v = MEASURE_TRIPLE_VALUES(result, i);
            values.insert(values.end(), v, v + 3);
        }
    }
    return values;
}

void NoteObserver::OnMeasureData(uint32_t, uint64_t, void* result) {
    Note note{Note::Data, 0, copyResult(result, spectral_)};
    note.value = static_cast<int64_t>(note.payload.size() / (spectral_ ? 36 : 3));
    push(std::move(note));
}

void NoteObserver::push(Note note) {
    {
        std::lock_guard lock(mutex_);
        notes_.push_back(std::move(note));
    }
    cv_.notify_all();
}

std::optional<Note> NoteObserver::next(int ms) {
    std::unique_lock lock(mutex_);
    if (!cv_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return !notes_.empty(); }))
        return std::nullopt;
    Note note = std::move(notes_.front());
    notes_.pop_front();
    return note;
}

SimulatorHost::SimulatorHost(Channel channel)
    : channel_(channel),
      appData_("MEASURE_COMMON_APPDATA", dir_.path()),
      tmp_(kTemporaryFolderVariable, temp_.path()) {
    record.cb = MEASURE2_RECORD_SIZE;
    record.port = -1;
    record.Message = 0x8000;
    record.SoundSelector = MEASURE_SOUND_OBSERVER;
    if (channel_ == Channel::Window) {
        window_ = std::make_unique<HostWindow>();
        record.hWnd = window_->handle();
    }
    AttachObserver(&observer_);
}

SimulatorHost::~SimulatorHost() {
    if (record.pDllData != nullptr) close();
    DetachObserver();
    window_.reset();
}

void SimulatorHost::writeConfig(const std::string& xml) const {
    const auto folder = std::filesystem::path(dir_.path()) / "Vantu" / "AutomatedTesting";
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "SimulationInstrumentConfig.xml") << xml;
}

void SimulatorHost::writeMeasurements(int patches) const {
    const auto folder = std::filesystem::path(dir_.path()) / "Vantu" / "AutomatedTesting";
    std::filesystem::create_directories(folder);
    std::ofstream file(folder / "VantuMeasure.it8");
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

std::string SimulatorHost::config(const std::vector<int>& ids, const std::string& top,
                                  const std::string& perInstrument) {
    std::string xml = "<SimulationInstrumentConfig>" + top + "<instrumentList>";
    for (int id : ids)
        xml += "<instrument><ID>" + std::to_string(id) + "</ID>" + perInstrument + "</instrument>";
    return xml + "</instrumentList></SimulationInstrumentConfig>";
}

int SimulatorHost::open() {
    const uint32_t form = record.Mode & ~static_cast<uint32_t>(MEASURE_MODE_EMISSION);
    observer_.setSpectral(form == MEASURE_MODE_SPECTRAL);
    return Open2Instrument(r());
}

int SimulatorHost::close() {
    return CloseInstrument(r());
}

std::optional<Note> SimulatorHost::next(int ms) {
    if (channel_ == Channel::Observer) return observer_.next(ms);
    HostMessage msg{};
    if (window_->next(msg, ms) != 1) return std::nullopt;
    const uint32_t base = record.Message;
    if (msg.message == base + MEASURE_MSG_THREAD_END)
        return Note{Note::ThreadEnd, static_cast<int64_t>(msg.wParam), {}};
    if (msg.message == base + MEASURE_MSG_MEASURE_DATA) {
        const uint32_t form = record.Mode & ~static_cast<uint32_t>(MEASURE_MODE_EMISSION);
        Note note{Note::Data, 0,
                  copyResult(reinterpret_cast<const void*>(msg.lParam), form == MEASURE_MODE_SPECTRAL)};
        note.value = static_cast<int64_t>(note.payload.size() / (form == MEASURE_MODE_SPECTRAL ? 36 : 3));
        return note;
    }
    if (msg.message == base + MEASURE_MSG_STATUS) {
        switch (msg.wParam) {
            case MEASURE_KIND_SCANSPEED:
                return Note{Note::ScanSpeed, msg.lParam, {}};
            case MEASURE_KIND_PASSNO:
                return Note{Note::PassNumber, msg.lParam, {}};
            case MEASURE_KIND_PASSEND:
                return Note{Note::PassEnd, msg.lParam, {}};
            case MEASURE_KIND_PAGENO:
                return Note{Note::PageNumber, msg.lParam, {}};
            default:
                return Note{Note::Status, msg.lParam, {}};
        }
    }
    return Note{Note::Status, -1000 - static_cast<int64_t>(msg.message), {}};
}

std::vector<Note> SimulatorHost::until(const std::function<bool(const Note&)>& last, int ms) {
    std::vector<Note> notes;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < deadline) {
        std::optional<Note> note = next(20);
        if (!note) continue;
        notes.push_back(*note);
        if (last(*note)) break;
    }
    return notes;
}

std::vector<Note> SimulatorHost::untilThreadEnd(int ms) {
    return until([](const Note& n) { return n.kind == Note::ThreadEnd; }, ms);
}

std::vector<Note> SimulatorHost::untilStatus(int status, int ms) {
    return until([status](const Note& n) { return n.kind == Note::Status && n.value == status; }, ms);
}

std::vector<Note> SimulatorHost::drain(int ms) {
    return until([](const Note&) { return false; }, ms);
}

std::vector<int64_t> valuesOf(const std::vector<Note>& notes, Note::Kind kind) {
    std::vector<int64_t> values;
    for (const Note& n : notes)
        if (n.kind == kind) values.push_back(n.value);
    return values;
}

// ---- The simulated instrument ------------------------------------------

constexpr int kEndDone = MEASURE_END_DONE;
constexpr int kEndStopped = MEASURE_END_STOPPED;
constexpr int kEndFailed = MEASURE_END_FAILED;

Note pass(int v) {
    return {Note::PassNumber, v, {}};
}

// Configuration with short delays (the test clock runs at 1%).
std::string quickConfig(const std::vector<int>& ids, const std::string& extraTop = "",
                        const std::string& perInstrument = "") {
    return SimulatorHost::config(ids,
                                 "<CalibrationTimeDelay_ms>300</CalibrationTimeDelay_ms>"
                                 "<MeasurementTimeDelay_ms>200</MeasurementTimeDelay_ms>"
                                 "<PositioningTimeDelay_ms>100</PositioningTimeDelay_ms>"
                                 "<InsertPaperTimeDelay_ms>100</InsertPaperTimeDelay_ms>"
                                 "<SpotMeasurementTimeDelay_ms>100</SpotMeasurementTimeDelay_ms>" +
                                     extraTop,
                                 perInstrument);
}

TEST(SimulatorOverride, OnlyListedInstrumentsAreSimulatedAndTheIdComesBack) {
    SimulatorHost host(SimulatorHost::Channel::Window);
    host.writeConfig(quickConfig({22, 35}));
    host.record.instrument = 11;
    host.record.NumOfPatchesToRead = 1;
    EXPECT_EQ(host.open(), -1) << "an unlisted instrument is refused while the configuration exists";
    EXPECT_EQ(host.record.instrument, 11u);
    EXPECT_EQ(host.record.pDllData, nullptr);

    host.record.instrument = 22;
    ASSERT_EQ(host.open(), 0);
    EXPECT_EQ(host.record.instrument, 999u);
    EXPECT_NE(host.record.pDllData, nullptr);
    EXPECT_EQ(MustInsertPage(host.r()), 0);
    EXPECT_EQ(host.close(), 0);
    EXPECT_EQ(host.record.instrument, 22u);
    EXPECT_EQ(host.record.port, -1);
    EXPECT_EQ(host.record.pDllData, nullptr);
}

TEST(SimulatorOverride, UnreadableConfigurationRefusesTheOpen) {
    SimulatorHost host(SimulatorHost::Channel::Window);
    host.writeConfig("<SimulationInstrumentConfig><instrumentList>");
    host.record.instrument = 22;
    host.record.NumOfPatchesToRead = 1;
    EXPECT_EQ(host.open(), -1);
    EXPECT_EQ(host.record.instrument, 22u);
    // A delay the 16-bit field cannot hold is refused, not cut to 4464 ms.
    LogCapture log;
    host.writeConfig(SimulatorHost::config({22}, "<CalibrationTimeDelay_ms>70000</CalibrationTimeDelay_ms>"));
    EXPECT_EQ(host.open(), -1);
    EXPECT_TRUE(log.contains("CalibrationTimeDelay_ms=70000 is outside 0..65535")) << log.text();
}

// The override puts 999 in the record; an open that fails after it must
// leave the ID the host asked for, or every corrected retry fails too.
TEST(SimulatorOverride, AFailedOpenAfterTheOverrideLeavesTheRequestedIdForTheRetry) {
    SimulatorHost host(SimulatorHost::Channel::Window);
    host.writeConfig(quickConfig({22}));
    host.configure(22, MEASURE_MODE_SPECTRAL, 0);  // no patches: no result block
    EXPECT_EQ(host.open(), -1);
    EXPECT_EQ(host.record.instrument, 22u);
    host.record.NumOfPatchesToRead = 6;
    ASSERT_EQ(host.open(), 0);
    EXPECT_EQ(host.record.instrument, 999u);
}

TEST(SimulatorOverride, DefaultConnectedDeviceMustMatchAndTheRowMustExist) {
    SimulatorHost host(SimulatorHost::Channel::Window);
    host.record.NumOfPatchesToRead = 1;
    host.writeConfig(quickConfig({22}, "<DefaultConnectedDeviceID>35</DefaultConnectedDeviceID>"));
    host.record.instrument = 22;
    EXPECT_EQ(host.open(), -1);
    host.writeConfig(quickConfig({12345}));
    host.record.instrument = 12345;
    EXPECT_EQ(host.open(), -1) << "no registry row to imitate";
}

TEST(SimulatorOpen, BatteryLevelIsReportedWithinZeroToHundred) {
    for (const auto& [configured, reported] :
         std::vector<std::pair<int, uint32_t>>{{0, 50}, {250, 100}, {73, 73}}) {
        SimulatorHost host(SimulatorHost::Channel::Window);
        host.writeConfig(quickConfig({22}, "<DeviceBatteryLevel>" + std::to_string(configured) +
                                               "</DeviceBatteryLevel><DeviceSN>4711</DeviceSN>"));
        host.record.instrument = 22;
        host.record.NumOfPatchesToRead = 1;
        ASSERT_EQ(host.open(), 0);
        EXPECT_EQ(host.record.BatteryLevel, reported) << configured;
        EXPECT_EQ(host.record.SerialNumber, 4711u);
        EXPECT_EQ(host.close(), 0);
    }
}

TEST(SimulatorOpen, DiscoveryListForSeveralNixAndSd10Instruments) {
    SimulatorHost host(SimulatorHost::Channel::Window);
    host.record.NumOfPatchesToRead = 1;
    const std::string listFile = host.tempFolder() + "/vantuMSFoundDevs.txt";

    host.writeConfig(quickConfig({65}, "", "<NumberOfDiscoveredDevices>2</NumberOfDiscoveredDevices>"));
    host.record.instrument = 65;
    ASSERT_EQ(host.open(), 0);
    EXPECT_EQ(host.record.DiscoveredDevices, 2u);
    EXPECT_EQ(readTextFile(listFile),
              "[{\"id\":\"0\",\"interfaceType\":1,\"name\":\"SD-10_0668\"},"
              "{\"id\":\"0\",\"interfaceType\":1,\"name\":\"SD-10_0670\"}]\n");
    host.close();

    host.writeConfig(quickConfig({63}, "", "<NumberOfDiscoveredDevices>3</NumberOfDiscoveredDevices>"));
    host.record.instrument = 63;
    ASSERT_EQ(host.open(), 0);
    EXPECT_EQ(host.record.DiscoveredDevices, 3u);
    EXPECT_EQ(readTextFile(listFile),
              "[{\"id\":\"DB:0B:5A:01:56:56\",\"interfaceType\":1,\"name\":\"Nix Spectro "
              "L\",\"rssi\":-50,\"type\":7},"
              "{\"id\":\"C9:B8:D9:CC:7B:D3\",\"interfaceType\":1,\"name\":\"Nix Mini "
              "3\",\"rssi\":-70,\"type\":6}]\n");
    EXPECT_EQ(MustCalibrate(host.r()), 0) << "a Nix comes calibrated";
    host.close();

    std::remove(listFile.c_str());
    host.writeConfig(quickConfig({63}, "", "<NumberOfDiscoveredDevices>1</NumberOfDiscoveredDevices>"));
    ASSERT_EQ(host.open(), 0);
    EXPECT_EQ(host.record.DiscoveredDevices, 1u);
    EXPECT_FALSE(std::filesystem::exists(listFile)) << "one instrument needs no list";
    host.close();
}

TEST(SimulatorSingle, SpectralMeasurementWithoutDataFileDeliversTheDefaultSpectrum) {
    SimulatorHost host(SimulatorHost::Channel::Window);
    host.writeConfig(quickConfig({22}));
    host.configure(22, MEASURE_MODE_SPECTRAL, 1);
    ASSERT_EQ(host.open(), 0);
    ASSERT_EQ(StartSingleMeasure(host.r()), 0);
    const auto notes = host.until([](const Note& n) { return n.kind == Note::Data; });
    ASSERT_FALSE(notes.empty());
    EXPECT_EQ(valuesOf(notes, Note::Status), (std::vector<int64_t>{1, 2, 3, 0})) << describe(notes);
    const Note& data = notes.back();
    ASSERT_EQ(data.kind, Note::Data);
    ASSERT_EQ(data.value, 1);
    const auto* head = static_cast<const MEASURE_SPECTRAL_RESULT*>(deliveredResult(GetResultBlock(host.r())));
    EXPECT_EQ(head->StartNm, 380u);
    EXPECT_EQ(head->StepNm, 10u);
    EXPECT_EQ(head->NumBands, 36u);
    EXPECT_EQ(head->NumPatches, 1u);
    for (size_t i = 0; i < 36; ++i) EXPECT_EQ(data.payload[i], simulator::kDefaultSpectrum[i]) << i;

    // It waits for the next patch until the host stops it.
    EXPECT_EQ(valuesOf(host.untilStatus(3), Note::Status), (std::vector<int64_t>{3}));
    ASSERT_EQ(StopSingleMeasure(host.r()), 0);
    const auto end = host.untilThreadEnd();
    ASSERT_FALSE(end.empty());
    EXPECT_EQ(end.back().value, kEndStopped) << describe(end);
    EXPECT_EQ(host.close(), 0);
}

TEST(SimulatorSingle, LabXyzAndDensityModes) {
    SimulatorHost host(SimulatorHost::Channel::Observer);
    host.writeConfig(quickConfig({22}));
    host.record.instrument = 22;
    host.record.NumOfPatchesToRead = 1;
    host.record.Mode = MEASURE_MODE_CIE_XYZ;
    ASSERT_EQ(host.open(), 0);
    ASSERT_EQ(StartSingleMeasure(host.r()), 0);
    auto notes = host.until([](const Note& n) { return n.kind == Note::Data; });
    ASSERT_EQ(notes.back().kind, Note::Data);
    EXPECT_EQ(notes.back().payload, (std::vector<double>{10, 20, 30}));

    StopSingleMeasure(host.r());
    host.untilThreadEnd();
    host.record.Mode = MEASURE_MODE_CIE_LAB;
    ASSERT_EQ(StartSingleMeasure(host.r()), 0);
    notes = host.until([](const Note& n) { return n.kind == Note::Data; });
    EXPECT_EQ(notes.back().payload, (std::vector<double>{45, 10, 10}));
    StopSingleMeasure(host.r());
    host.untilThreadEnd();

    // Densities do not travel in the extended record: the request fails.
    host.record.Mode = MEASURE_MODE_STATUS_E;
    ASSERT_EQ(StartSingleMeasure(host.r()), 0);
    notes = host.untilThreadEnd();
    EXPECT_EQ(notes.back().value, kEndFailed) << describe(notes);
    const auto later = host.drain(100);
    notes.insert(notes.end(), later.begin(), later.end());
    const auto beeps = valuesOf(notes, Note::Beep);
    EXPECT_NE(std::find(beeps.begin(), beeps.end(), 1200), beeps.end()) << "the failure sound";

    host.record.Mode = 7;
    EXPECT_EQ(StartSingleMeasure(host.r()), -1) << "not a mode the entry takes";
    host.record.Mode = MEASURE_MODE_EMISSION_XYZ;
    EXPECT_EQ(StartSingleMeasure(host.r()), 0);
    StopSingleMeasure(host.r());
    host.untilThreadEnd();
}

TEST(SimulatorMulti, StripsFollowTheHostsPlanWithAShortLastPass) {
    SimulatorHost host(SimulatorHost::Channel::Observer);
    host.writeConfig(quickConfig({11}));
    // More rows than patches: a patch takes its file row only while another
    // row follows it.
    host.writeMeasurements(12);
    host.configure(11, MEASURE_MODE_SPECTRAL, 10, 4);
    ASSERT_EQ(host.open(), 0);
    ASSERT_EQ(StartMultiMeasure(host.r()), 0);
    const auto notes = host.untilThreadEnd();
    ASSERT_FALSE(notes.empty());
    EXPECT_EQ(notes.back().value, kEndDone) << describe(notes);
    EXPECT_EQ(valuesOf(notes, Note::PassNumber), (std::vector<int64_t>{-3, 1, 2, 3}));
    EXPECT_EQ(valuesOf(notes, Note::ScanSpeed), (std::vector<int64_t>{4, 4, 2}));
    EXPECT_EQ(valuesOf(notes, Note::Data), (std::vector<int64_t>{4, 4, 2}));
    EXPECT_EQ(valuesOf(notes, Note::PassEnd), (std::vector<int64_t>{4, 4, 4}));
    // Uncalibrated: the calibration runs first; each pass waits, triggers, idles.
    EXPECT_EQ(valuesOf(notes, Note::Status), (std::vector<int64_t>{1, 2, 2, 3, 0, 3, 0, 3, 0, 0}));
    // Each strip carries the next patches of the chart, in order.
    int patch = 0;
    for (const Note& n : notes) {
        if (n.kind != Note::Data) continue;
        ASSERT_EQ(n.payload.size(), static_cast<size_t>(n.value) * 36);
        for (int64_t i = 0; i < n.value; ++i, ++patch)
            for (int b = 0; b < 36; ++b)
                EXPECT_DOUBLE_EQ(n.payload[static_cast<size_t>(i * 36 + b)],
                                 SimulatorHost::measuredBand(patch, b))
                    << patch << "," << b;
    }
    EXPECT_EQ(patch, 10);
    EXPECT_EQ(MustCalibrate(host.r()), 0);
}

TEST(SimulatorMulti, WithoutPatchesPerLineTheRequestIsRefused) {
    SimulatorHost host(SimulatorHost::Channel::Window);
    host.writeConfig(quickConfig({11}));
    host.configure(11, MEASURE_MODE_SPECTRAL, 6);
    ASSERT_EQ(host.open(), 0);
    ASSERT_EQ(StartMultiMeasure(host.r()), 0);
    const auto notes = host.untilThreadEnd();
    EXPECT_EQ(valuesOf(notes, Note::Data).size(), 0u);
    EXPECT_EQ(notes.back().value, kEndFailed) << describe(notes);
}

TEST(SimulatorMulti, StopDuringAMeasurementEndsWithThreadEndOne) {
    SimulatorHost host(SimulatorHost::Channel::Window);
    // 20 s per strip at the test clock: only a stop ends it soon.
    host.writeConfig(SimulatorHost::config({11}, "<MeasurementTimeDelay_ms>20000</MeasurementTimeDelay_ms>"));
    host.configure(11, MEASURE_MODE_SPECTRAL, 12, 6);
    ASSERT_EQ(host.open(), 0);
    ASSERT_EQ(StartMultiMeasure(host.r()), 0);
    const auto started = host.until([](const Note& n) { return n == pass(1); });
    ASSERT_FALSE(started.empty());
    ASSERT_EQ(started.back(), pass(1)) << describe(started);
    const auto before = std::chrono::steady_clock::now();
    ASSERT_EQ(StopMultiMeasure(host.r()), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(5));
    auto notes = host.untilThreadEnd();
    ASSERT_FALSE(notes.empty());
    EXPECT_EQ(notes.back().value, kEndStopped) << describe(notes);
    // The stop entry's own pass number 0 follows the request's end.
    const auto later = host.drain(50);
    notes.insert(notes.end(), later.begin(), later.end());
    EXPECT_EQ(valuesOf(notes, Note::Data).size(), 0u);
    EXPECT_EQ(valuesOf(notes, Note::PassNumber), (std::vector<int64_t>{0})) << describe(notes);
    EXPECT_EQ(host.close(), 0);
}

class SimulatorChartReader : public ::testing::Test {
protected:
    void SetUp() override {
        host_.writeConfig(quickConfig({26}, "", "<MeasurementDataDelivery>1</MeasurementDataDelivery>"));
        host_.configure(26, MEASURE_MODE_CIE_XYZ, 12, 12);
    }
    void TearDown() override { simulator::clearIsisParameters(); }
    void writeLayout(const std::string& text) {
        std::ofstream(host_.file("layout.txt")) << text;
        parameterFile_ = host_.file("layout.txt");
        host_.record.pszParameterFile = parameterFile_.data();
    }
    SimulatorHost host_{SimulatorHost::Channel::Window};
    std::string parameterFile_;
};

const char* kLayout3x4 =
    "ChartSizeX=210 NumberOfRows=3 NumberOfColumns=4 BarSizeX=5 BarSizeY=5 DistancePaperEdgeToBar=3 "
    "DistBarToFirstLine=4 MarkersDistance=6 PatchSizeX=7 PatchSizeY=7 MarkerPatchDistance=2";

TEST_F(SimulatorChartReader, DeliversTheWholeChartAtOnceAsXyzInRowOrColumnOrder) {
    writeLayout(kLayout3x4);
    host_.writeMeasurements(13);
    const uint32_t header[3] = {380, 10, 36};
    for (const uint32_t columnOrder : {0u, 1u}) {
        SCOPED_TRACE(columnOrder);
        host_.record.ColumnOrder = columnOrder;
        ASSERT_EQ(host_.open(), 0);
        ASSERT_EQ(StartMultiMeasure(host_.r()), 0);
        const auto notes = host_.untilThreadEnd();
        ASSERT_FALSE(notes.empty());
        EXPECT_EQ(notes.back().value, kEndDone) << describe(notes);
        ASSERT_EQ(valuesOf(notes, Note::Data), (std::vector<int64_t>{12}));
        const auto data =
            std::find_if(notes.begin(), notes.end(), [](const Note& n) { return n.kind == Note::Data; });
        ASSERT_EQ(data->payload.size(), 36u);
        // Three rows of four: read by column, the k-th delivered patch is
        // row k % 3 of column k / 3.
        for (int k = 0; k < 12; ++k) {
            const int patch = columnOrder == 1 ? (k % 3) * 4 + k / 3 : k;
            double spectrum[36], xyz[3] = {};
            for (int b = 0; b < 36; ++b) spectrum[b] = SimulatorHost::measuredBand(patch, b);
            ASSERT_EQ(SpectrumToXYZ(xyz, header, spectrum), 1);
            for (int c = 0; c < 3; ++c) EXPECT_DOUBLE_EQ(data->payload[k * 3 + c], xyz[c]) << k;
        }
        EXPECT_EQ(host_.close(), 0);
    }
}

TEST_F(SimulatorChartReader, ChartThatDoesNotFitTheLayoutFails) {
    writeLayout(kLayout3x4);
    host_.record.NumOfPatchesToRead = 10;
    host_.record.NumPatchesPerLine = 10;
    ASSERT_EQ(host_.open(), 0);
    ASSERT_EQ(StartMultiMeasure(host_.r()), 0);
    const auto notes = host_.untilThreadEnd();
    EXPECT_EQ(notes.back().value, kEndFailed) << describe(notes);
    EXPECT_TRUE(valuesOf(notes, Note::Data).empty());
}

TEST_F(SimulatorChartReader, LayoutFileWithoutAKeyRefusesTheOpenWithStatus20) {
    std::string layout = kLayout3x4;
    layout.replace(layout.find("MarkersDistance"), 15, "Markers");
    writeLayout(layout);
    EXPECT_EQ(host_.open(), 6);
    EXPECT_EQ(host_.record.pDllData, nullptr);
    EXPECT_EQ(host_.record.instrument, 26u) << "a refused open gives the host its ID back";
    const auto notes = host_.drain(50);
    EXPECT_EQ(valuesOf(notes, Note::Status), (std::vector<int64_t>{20}));

    parameterFile_ = host_.file("absent.txt");
    host_.record.pszParameterFile = parameterFile_.data();
    EXPECT_EQ(host_.open(), 5);
}

TEST(SimulatorCorners, ThreeCornersOrOnePositioningRun) {
    SimulatorHost host(SimulatorHost::Channel::Observer);
    host.writeConfig(quickConfig({23}));
    host.configure(23, MEASURE_MODE_SPECTRAL, 1);
    ASSERT_EQ(host.open(), 0);
    ASSERT_EQ(StartRegisterCorners(host.r()), 0);
    auto notes = host.untilStatus(MEASURE_STATUS_CORNERS_DONE);
    EXPECT_EQ(valuesOf(notes, Note::Status), (std::vector<int64_t>{6, 7, 8, 23}));
    for (const std::string& mode : {std::string("1"), std::string("2")}) {
        host.record.CornerMode = static_cast<uint32_t>(std::stoi(mode));
        ASSERT_EQ(StartRegisterCorners(host.r()), 0);
        notes = host.untilStatus(MEASURE_STATUS_CORNERS_DONE);
        EXPECT_EQ(valuesOf(notes, Note::Status), (std::vector<int64_t>{30, 23})) << mode;
    }
    EXPECT_TRUE(valuesOf(host.drain(50), Note::ThreadEnd).empty())
        << "corner registration ends with status 23";
}

TEST(SimulatorPaper, InsertionPostsStartGoingInAndInPlace) {
    SimulatorHost host(SimulatorHost::Channel::Window);
    host.writeConfig(quickConfig({26}));
    host.record.instrument = 26;
    host.record.NumOfPatchesToRead = 1;
    ASSERT_EQ(host.open(), 0);
    ASSERT_EQ(StartInsertPaper(host.r()), 0);
    const auto notes = host.untilStatus(MEASURE_STATUS_PAPER_IN_PLACE);
    EXPECT_EQ(valuesOf(notes, Note::Status), (std::vector<int64_t>{25, 14, 24}));
}

// ---- A hostile host ------------------------------------------------------

// The open sized the block for 24 patches. Raising the count afterwards must
// neither announce more patches than the block holds nor keep the request
// (or the stop) busy with a loop over the host's number.
TEST(SimulatorHostileHost, APatchCountRaisedAfterTheOpenFailsTheRequestAtOnce) {
    for (const int32_t raised : {5000, 2147483647}) {
        SimulatorHost host(SimulatorHost::Channel::Window);
        host.writeConfig(quickConfig({11, 26}, "", "<MeasurementDataDelivery>1</MeasurementDataDelivery>"));
        host.configure(11, MEASURE_MODE_SPECTRAL, 24, 6);
        ASSERT_EQ(host.open(), 0);
        host.record.NumOfPatchesToRead = raised;
        LogCapture log;
        ASSERT_EQ(StartMultiMeasure(host.r()), 0);
        const auto notes = host.untilThreadEnd(5000);
        ASSERT_FALSE(notes.empty());
        EXPECT_EQ(notes.back().value, kEndFailed) << describe(notes);
        EXPECT_TRUE(valuesOf(notes, Note::Data).empty());
        EXPECT_TRUE(log.contains("NumOfPatchesToRead=" + std::to_string(raised) + ", the block holds 256"));
        const auto before = std::chrono::steady_clock::now();
        EXPECT_EQ(StopMultiMeasure(host.r()), 0);
        EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(2));
    }
}

// A start while the calibration of the running request is under way (the
// busy flag: no stop) waits for it up to MeasureThread's timeout, then is
// refused; the running request keeps its own plan although the host changed
// NumPatchesPerLine meanwhile.
TEST(SimulatorHostileHost, AStartDuringABusyCalibrationLeavesTheRunningRequestAlone) {
    // A 20 s calibration against MeasureThread's 10 s timeout, at a scale
    // where both keep that proportion: 1 s and 0.5 s.
    ScopedTimeScale scale(0.05);
    SimulatorHost host(SimulatorHost::Channel::Window);
    host.writeConfig(SimulatorHost::config(
        {11},
        "<CalibrationTimeDelay_ms>20000</CalibrationTimeDelay_ms><MeasurementTimeDelay_ms>100</"
        "MeasurementTimeDelay_ms>"));
    host.configure(11, MEASURE_MODE_CIE_LAB, 8, 4);
    ASSERT_EQ(host.open(), 0);
    ASSERT_EQ(StartMultiMeasure(host.r()), 0);
    // The request's status 2, then the calibration's own, which sets busy.
    ASSERT_FALSE(host.untilStatus(MEASURE_STATUS_CALIBRATING).empty());
    ASSERT_FALSE(host.untilStatus(MEASURE_STATUS_CALIBRATING).empty());
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    host.record.NumPatchesPerLine = 3;
    LogCapture log;
    EXPECT_EQ(StartMultiMeasure(host.r()), -1);
    EXPECT_TRUE(log.contains("clWORKER_THREAD::WaitRequest: !=WAIT_OBJECT_0"));
    const auto notes = host.untilThreadEnd();
    ASSERT_FALSE(notes.empty());
    EXPECT_EQ(notes.back().value, kEndDone) << describe(notes);
    EXPECT_EQ(valuesOf(notes, Note::Data), (std::vector<int64_t>{4, 4}));
}

// The FD-5BT's white tile wait is a plain wait: a close ends it at once.
TEST(SimulatorHostileHost, ACloseDuringTheWhiteTileWaitEndsItAtOnce) {
    SimulatorHost host(SimulatorHost::Channel::Window);
    // Twice 65.5 s at the test clock.
    host.writeConfig(SimulatorHost::config({35}, "<CalibrationTimeDelay_ms>65535</CalibrationTimeDelay_ms>"));
    host.configure(35, MEASURE_MODE_SPECTRAL, 1);
    ASSERT_EQ(host.open(), 0);
    ASSERT_EQ(WhiteCalibration(host.r()), 0);
    ASSERT_FALSE(host.untilStatus(simulator::kStatusWhiteTile).empty());
    const int threads = framework::clWORKER_THREAD::liveThreads();
    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(host.close(), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(500));
    EXPECT_EQ(framework::clWORKER_THREAD::liveThreads(), threads - 2) << "a thread was left behind";
}

// A second OpenInstrument must not free the global block under the driver
// of the first.
TEST(SimulatorHostileHost, ASecondOldRecordOpenIsRefusedAndTheFirstStillCloses) {
    SimulatorHost host(SimulatorHost::Channel::Window);
    host.configure(999, MEASURE_MODE_STATUS_E, 4);
    const int threads = framework::clWORKER_THREAD::liveThreads();
    ASSERT_EQ(OpenInstrument(host.r()), 0);
    LogCapture log;
    EXPECT_EQ(OpenInstrument(host.r()), -1);
    EXPECT_TRUE(log.contains("OpenInstrument: pGlobalDllData in use, already open?"));
    EXPECT_EQ(MustCalibrate(host.r()), 1) << "the first driver is gone";
    EXPECT_EQ(CloseInstrument(host.r()), 0);
    EXPECT_EQ(framework::clWORKER_THREAD::liveThreads(), threads);
}

TEST(SimulatorCalibration, MustCalibrateUntilAWhiteCalibration) {
    SimulatorHost host(SimulatorHost::Channel::Window);
    host.writeConfig(quickConfig({35}));
    host.configure(35, MEASURE_MODE_SPECTRAL, 1);
    ASSERT_EQ(host.open(), 0);
    EXPECT_EQ(MustCalibrate(host.r()), 1);
    EXPECT_EQ(BlackCalibration(host.r()), 0);
    EXPECT_EQ(BlackCalibration(nullptr), -1);
    ASSERT_EQ(WhiteCalibration(host.r()), 0);
    const auto notes = host.untilStatus(MEASURE_STATUS_CALIBRATION_DONE);
    // The FD-5BT asks for its white tile first.
    EXPECT_EQ(valuesOf(notes, Note::Status), (std::vector<int64_t>{35, 2, 0, 16})) << describe(notes);
    EXPECT_EQ(MustCalibrate(host.r()), 0);
    EXPECT_TRUE(valuesOf(host.drain(30), Note::ThreadEnd).empty());

    // An emission calibration leaves the reflective calibration undone.
    host.record.Mode = MEASURE_MODE_EMISSION_SPECTRAL;
    ASSERT_EQ(WhiteCalibration(host.r()), 0);
    host.untilStatus(MEASURE_STATUS_CALIBRATION_DONE);
    EXPECT_EQ(MustCalibrate(host.r()), 1);
}

TEST(SimulatorDirect, Row999OpensWithoutAConfiguration) {
    SimulatorHost host(SimulatorHost::Channel::Window);
    host.configure(999, MEASURE_MODE_CIE_XYZ, 1);
    ASSERT_EQ(host.open(), 0);
    EXPECT_EQ(host.record.BatteryLevel, 50u);
    EXPECT_EQ(host.close(), 0);
    EXPECT_EQ(host.record.instrument, 999u);
}

}  // namespace
}  // namespace measure::test
