// The TECHKON SpectroDens end to end: a host opens instrument 39 through the
// exports, the driver finds the emulated measurement service on the port
// MEASURE_TECHKON_PORT names, and the connection, calibration, strips, spots
// and the service's faults are checked against what the service received and
// what the host was given.
#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "drivers/techkon/techkon_client.h"
#include "measure/measure.h"
#include "support/environment.h"
#include "support/instrument_host.h"
#include "support/test_environment.h"
#include "techkon/techkon_service.h"

namespace measure::test {
namespace {

namespace tk = measure::emu::techkon;
using techkon::Property;
using namespace std::chrono_literals;

constexpr uint32_t kId = 39;
const std::string kOpen = "clSPECTRO_DENS::ThreadConstructor";
const std::string kStrip = "clSPECTRO_DENS::MultiMeasurement";

// The user at the instrument: one scripted act per prompt (status 3).
class User {
public:
    void then(std::function<void()> act) { acts_.push_back(std::move(act)); }
    void operator()() {
        if (acts_.empty()) return;
        auto act = std::move(acts_.front());
        acts_.pop_front();
        act();
    }

private:
    std::deque<std::function<void()>> acts_;
};

// Settings whose four defaults are the driver's own, so an open writes nothing.
tk::Settings driverDefaults() {
    tk::Settings s;
    s.properties["Illuminant"] = "D50";
    s.properties["Observer"] = "O2";
    s.properties["WhiteReference"] = "AUTO";
    s.properties["PolarizationFilter"] = "OFF";
    return s;
}

class SpectroDens : public ::testing::Test {
protected:
    void SetUp() override { techkon::resetTechconClient(); }
    void TearDown() override { techkon::resetTechconClient(); }

    void startService(tk::Settings settings = {}) {
        service = std::make_unique<tk::Service>(tk::Chart(48), std::move(settings));
        ASSERT_TRUE(service->start());
        portEnv = std::make_unique<ScopedEnvironment>("MEASURE_TECHKON_PORT",
                                                      std::to_string(service->port()).c_str());
    }
    std::unique_ptr<InstrumentHost> host(uint32_t mode, int patches = 20, int perLine = 10) {
        auto h = std::make_unique<InstrumentHost>(kId, mode, patches, [this] { user(); });
        h->rec.NumPatchesPerLine = perLine;
        h->pressOn = {MEASURE_STATUS_WAIT_USER};
        return h;
    }
    // The user scans patches first .. first + count - 1 of the chart.
    void scans(int first, int count, tk::ScanScript script = {}) {
        user.then([this, first, count, script] { service->scan(first, count, script); });
    }
    int sets(const std::string& property) const { return service->count("SetProperty", property); }

    // Every request waits for the service's reply; a fifth of the real waits
    // (a fifth of a second for a reply) keeps a loaded machine from missing
    // one, while calibrations and retried passes stay short.
    ScopedTimeScale patient{0.2};
    User user;
    std::unique_ptr<tk::Service> service;
    std::unique_ptr<ScopedEnvironment> portEnv;
};

void expectTriples(const std::vector<std::array<double, 3>>& got, const tk::Chart& chart, int first,
                   bool xyz = false) {
    for (size_t i = 0; i < got.size(); ++i) {
        const tk::Sample& want = chart.patch(first + static_cast<int>(i));
        for (size_t c = 0; c < 3; ++c)
            EXPECT_DOUBLE_EQ(got[i][c], xyz ? want.xyz[c] : want.lab[c]) << "patch " << i << " value " << c;
    }
}

void expectSpectra(const std::vector<std::array<double, 36>>& got, const tk::Chart& chart, int first) {
    for (size_t i = 0; i < got.size(); ++i) {
        const tk::Sample& want = chart.patch(first + static_cast<int>(i));
        for (size_t b = 0; b < 36; ++b)
            EXPECT_DOUBLE_EQ(got[i][b], b >= 2 && b <= 32 ? want.remission[b - 2] : 0.0)
                << "patch " << i << " band " << b;
    }
}

// ---------------------------------------------------------------------------
// Connection.

TEST_F(SpectroDens, OpenAnnouncesItselfAndWritesOnlyTheDefaultsThatDiffer) {
    tk::Settings settings = driverDefaults();
    settings.properties["Observer"] = "O10";
    settings.properties["PolarizationFilter"] = "ON";
    startService(settings);
    auto h = host(MEASURE_MODE_CIE_LAB);
    ASSERT_EQ(h->open(), 0);

    const std::vector<std::string> journal = service->journal();
    ASSERT_GE(journal.size(), 3u);
    EXPECT_EQ(
        journal[0],
        "BEGIN_MESSAGE\r\nTYPE: Init\r\nNAME: Init\r\nBEGIN_DATA\r\nQRVMeasurementService\r\nEND_DATA\r\n"
        "END_MESSAGE\r\n");
    EXPECT_EQ(journal[1],
              "BEGIN_MESSAGE\r\nTYPE: Connect\r\nNAME: Connect\r\nBEGIN_DATA\r\nSpectroDens\r\nEND_DATA\r\n"
              "END_MESSAGE\r\n");
    EXPECT_EQ(journal[2],
              "BEGIN_MESSAGE\r\nTYPE: GetProperty\r\nNAME: "
              "Illuminant\r\nBEGIN_DATA\r\nEND_DATA\r\nEND_MESSAGE\r\n");
    EXPECT_EQ(sets("Illuminant"), 0);
    EXPECT_EQ(sets("Observer"), 1);
    EXPECT_EQ(sets("WhiteReference"), 0);
    EXPECT_EQ(sets("PolarizationFilter"), 1);
    EXPECT_EQ(service->property("Observer"), "O2");
    EXPECT_EQ(service->property("PolarizationFilter"), "OFF");
    EXPECT_EQ(h->rec.SerialNumber, 40711u);
}

TEST_F(SpectroDens, UnansweredReadsGiveNotKnownCodesSoTheDefaultsAreWrittenAnyway) {
    startService(driverDefaults());
    service->addFault(tk::Fault::on(tk::Fault::Kind::Silence, "GetProperty", "SerialNumber"));
    service->addFault(tk::Fault::on(tk::Fault::Kind::Silence, "GetProperty", "Illuminant"));
    auto h = host(MEASURE_MODE_CIE_LAB);
    ASSERT_EQ(h->open(), 0);
    EXPECT_EQ(sets("Illuminant"), 1);
    EXPECT_EQ(sets("Observer"), 0);
    EXPECT_EQ(h->rec.SerialNumber, 0u);
}

TEST_F(SpectroDens, ClientReadsCodesInAnyCaseAndLeavesRemissionNotKnown) {
    tk::Settings settings;
    settings.properties["MeasurementMode"] = "Remission";
    startService(settings);
    service->addFault(tk::Fault::on(tk::Fault::Kind::LowerCase, "GetProperty", "Observer"));
    service->addFault(
        tk::Fault::on(tk::Fault::Kind::ReplyData, "GetProperty", "DeviceType", "SPECTRODENS_GOLD"));
    techkon::clTechcon client;
    ASSERT_TRUE(client.connect(service->port()));
    EXPECT_EQ(client.GetProperty(Property::MeasurementMode), 41);
    EXPECT_EQ(client.GetProperty(Property::Observer), 1);  // "O10", in a lower-case reply
    EXPECT_EQ(client.GetProperty(Property::Illuminant), 3);
    EXPECT_EQ(client.GetProperty(Property::DeviceType), 3);
    EXPECT_EQ(client.GetSerialNumber(), "40711");
    service->setProperty("MeasurementMode", "Scan");
    EXPECT_EQ(client.GetProperty(Property::MeasurementMode), 27);
}

TEST_F(SpectroDens, AnAbsentServiceIsTriedFourTimesThenTwiceThenOnceThenNoMore) {
    uint16_t freePort = 0;
    {
        tk::Service probe;
        ASSERT_TRUE(probe.start());
        freePort = probe.port();
    }
    ScopedEnvironment port("MEASURE_TECHKON_PORT", std::to_string(freePort).c_str());
    const std::string attempt = "no service on port " + std::to_string(freePort);
    for (int expected : {4, 2, 1, 0}) {
        LogCapture log;
        auto h = host(MEASURE_MODE_CIE_LAB);
        EXPECT_EQ(h->open(), -1);
        EXPECT_EQ(log.count("clTechcon::Start", attempt), expected);
        EXPECT_TRUE(log.has(kOpen, "densIsConnected()= not connected"));
    }
}

TEST_F(SpectroDens, AnInstrumentNotAttachedFailsOpenAfterTheWait) {
    tk::Settings settings;
    settings.attached = false;
    startService(settings);
    LogCapture log;
    auto h = host(MEASURE_MODE_CIE_LAB);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(h->open(), -1);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 600ms);  // 3 s at the fixture's time scale
    EXPECT_TRUE(log.has(kOpen, "densIsConnected()= not connected"));
    EXPECT_TRUE(log.has("OpenSpectroDens", "catch ..."));
    EXPECT_EQ(service->count("Disconnect", ""), 1);
}

TEST_F(SpectroDens, AConnectionDroppedAtAcceptOrMidReplyFailsOpenAndTheNextOpenReconnects) {
    startService();
    // Every connection of the first open falls at once, whether the client
    // notices before or after it counted the attempt as made.
    service->addFault(tk::Fault::on(tk::Fault::Kind::DropAtAccept));
    EXPECT_EQ(host(MEASURE_MODE_CIE_LAB)->open(), -1);
    EXPECT_EQ(service->connections(), 0);
    service->clearFaults();
    service->addFault(tk::Fault::on(tk::Fault::Kind::DropMidReply, "GetProperty", "Observer", "", 0, 1));
    EXPECT_EQ(host(MEASURE_MODE_CIE_LAB)->open(), -1);
    EXPECT_EQ(service->count("GetProperty", "WhiteReference"), 0);
    auto h = host(MEASURE_MODE_CIE_LAB);
    EXPECT_EQ(h->open(), 0);
    EXPECT_EQ(service->connections(), 2);
}

TEST_F(SpectroDens, GarbageInvalidFramesAndUnknownValuesAreSurvived) {
    // Each faulty reply must still arrive within its 1 s reply wait, also on
    // a loaded machine under a sanitizer: the real times.
    ScopedTimeScale realTime(1.0);
    startService(driverDefaults());
    service->addFault(tk::Fault::on(tk::Fault::Kind::GarbageFirst, "GetProperty", "Illuminant",
                                    "\x01\x02junk END_MESSAGE"));
    service->addFault(tk::Fault::on(tk::Fault::Kind::InvalidFirst, "GetProperty", "Observer"));
    service->addFault(tk::Fault::on(tk::Fault::Kind::LowerCase, "GetProperty", "WhiteReference"));
    service->addFault(
        tk::Fault::on(tk::Fault::Kind::ReplyData, "GetProperty", "PolarizationFilter", "POLARISED"));
    LogCapture log;
    auto h = host(MEASURE_MODE_CIE_LAB);
    ASSERT_EQ(h->open(), 0);
    EXPECT_EQ(sets("Illuminant"), 0);
    EXPECT_EQ(sets("Observer"), 0);
    EXPECT_EQ(sets("WhiteReference"), 0);
    EXPECT_EQ(sets("PolarizationFilter"), 1);
    EXPECT_TRUE(log.has("clTechcon::OnMessage", "invalid message"));
}

// ---------------------------------------------------------------------------
// Calibration.

TEST_F(SpectroDens, PaperAndAbsoluteWhiteReferencesCalibrate) {
    startService();
    auto h = host(MEASURE_MODE_CIE_LAB);
    ASSERT_EQ(h->open(), 0);
    EXPECT_EQ(MustCalibrate(h->record()), 1);
    ASSERT_EQ(WhiteCalibration(h->record()), 0);
    EXPECT_TRUE(h->runUntilStatus(MEASURE_STATUS_CALIBRATION_DONE));
    h->drain(50);
    EXPECT_EQ(h->values(HostEvent::Status), (std::vector<int64_t>{0, 16}));
    EXPECT_EQ(h->values(HostEvent::End), std::vector<int64_t>{});  // a calibration that worked has no end
    EXPECT_EQ(MustCalibrate(h->record()), 0);

    service->setProperty("WhiteReference", "ABSOLUTE");
    h->events.clear();
    ASSERT_EQ(WhiteCalibration(h->record()), 0);
    EXPECT_TRUE(h->runUntilStatus(MEASURE_STATUS_CALIBRATION_DONE));
    h->drain(50);
    EXPECT_EQ(h->values(HostEvent::Status), (std::vector<int64_t>{0, 16}));
    EXPECT_EQ(h->values(HostEvent::End), std::vector<int64_t>{});  // a calibration that worked has no end
    EXPECT_EQ(service->count("SendMessage", "StartCalibration"), 2);
}

TEST_F(SpectroDens, TheCalibrationReplyAndItsResultInOneWriteAreBothHandled) {
    tk::Settings settings;
    settings.calibrationInOneWrite = true;
    startService(settings);
    auto h = host(MEASURE_MODE_CIE_LAB);
    ASSERT_EQ(h->open(), 0);
    ASSERT_EQ(WhiteCalibration(h->record()), 0);
    EXPECT_TRUE(h->runUntilStatus(MEASURE_STATUS_CALIBRATION_DONE));
    EXPECT_EQ(MustCalibrate(h->record()), 0);
}

TEST_F(SpectroDens, ALampErrorOrSilenceFailsTheCalibrationWithEnd4AndStatus15) {
    startService();
    auto h = host(MEASURE_MODE_CIE_LAB);
    ASSERT_EQ(h->open(), 0);
    // Only the calibration's own wait runs out here: at the suite's scale.
    ScopedTimeScale quick(0.01);
    for (const char* answer : {"LampError", "none"}) {
        LogCapture log;
        service->setCalibration(answer);
        h->events.clear();
        ASSERT_EQ(WhiteCalibration(h->record()), 0);
        EXPECT_EQ(h->runToEnd(), MEASURE_END_CALIBRATION_FAILED) << answer;
        h->drain(50);
        EXPECT_EQ(h->values(HostEvent::Status), (std::vector<int64_t>{15})) << answer;
        EXPECT_TRUE(log.has("clSPECTRO_DENS::WhiteCalibration", "calibration Error")) << answer;
        EXPECT_EQ(MustCalibrate(h->record()), 1);
    }
}

// ---------------------------------------------------------------------------
// Strips.

TEST_F(SpectroDens, TwentyPatchesInPassesOfTenInLabXyzAndSpectra) {
    startService();
    struct Case {
        uint32_t mode;
        bool decimalComma, crlf;
    };
    for (const Case c : {Case{MEASURE_MODE_CIE_LAB, true, false}, Case{MEASURE_MODE_CIE_XYZ, false, true},
                         Case{MEASURE_MODE_SPECTRAL, true, true}}) {
        SCOPED_TRACE(c.mode);
        service->setFormat(c.decimalComma, c.crlf);
        auto h = host(c.mode);
        ASSERT_EQ(h->open(), 0);
        scans(0, 10);
        scans(10, 10);
        ASSERT_EQ(StartMultiMeasure(h->record()), 0);
        EXPECT_EQ(h->runToEnd(), MEASURE_END_DONE);
        EXPECT_EQ(h->values(HostEvent::Passno), (std::vector<int64_t>{-2, 1, 2}));
        EXPECT_EQ(h->values(HostEvent::Scanspeed), (std::vector<int64_t>{10, 10}));
        EXPECT_EQ(h->values(HostEvent::PassEnd), (std::vector<int64_t>{10, 10}));
        EXPECT_EQ(h->values(HostEvent::Data), (std::vector<int64_t>{10, 10}));
        // Uncalibrated: the strip calibrates first.
        EXPECT_EQ(h->count(HostEvent::Status, MEASURE_STATUS_CALIBRATING), 1u);
        if (c.mode == MEASURE_MODE_SPECTRAL) {
            ASSERT_EQ(h->spectra.size(), 2u);
            expectSpectra(h->spectra[0], service->chart(), 0);
            expectSpectra(h->spectra[1], service->chart(), 10);
        } else {
            ASSERT_EQ(h->triples.size(), 2u);
            expectTriples(h->triples[0], service->chart(), 0, c.mode == MEASURE_MODE_CIE_XYZ);
            expectTriples(h->triples[1], service->chart(), 10, c.mode == MEASURE_MODE_CIE_XYZ);
        }
        EXPECT_EQ(service->property("MeasurementMode"), "Scan");
    }
}

TEST_F(SpectroDens, PaperEndsApartByMoreThanFiveAreMeasuredAgainButTheLastPassAllowsSix) {
    startService();
    auto h = host(MEASURE_MODE_CIE_LAB, 15, 10);
    ASSERT_EQ(h->open(), 0);
    tk::ScanScript drifting;
    drifting.paperDrift = 5.5;
    scans(0, 10, drifting);
    scans(0, 10);
    scans(10, 5, drifting);
    LogCapture log;
    ASSERT_EQ(StartMultiMeasure(h->record()), 0);
    EXPECT_EQ(h->runToEnd(), MEASURE_END_DONE);
    EXPECT_EQ(h->values(HostEvent::Scanspeed), (std::vector<int64_t>{10, 5}));
    EXPECT_EQ(h->values(HostEvent::Passno), (std::vector<int64_t>{-2, 1, 1, 2}));
    EXPECT_EQ(h->count(HostEvent::Status, MEASURE_STATUS_PASS_FAILED), 1u);
    EXPECT_EQ(log.count(kStrip, "Number of patches mismatch"), 1);
    ASSERT_EQ(h->triples.size(), 2u);
    expectTriples(h->triples[0], service->chart(), 0);
    expectTriples(h->triples[1], service->chart(), 10);
}

TEST_F(SpectroDens, TooFewOrTooManySamplesAreMeasuredAgain) {
    startService();
    auto h = host(MEASURE_MODE_CIE_LAB, 10, 10);
    ASSERT_EQ(h->open(), 0);
    tk::ScanScript few, many;
    few.samples = 11;
    many.samples = 13;
    scans(20, 10, few);
    scans(20, 10, many);
    scans(20, 10);
    LogCapture log;
    ASSERT_EQ(StartMultiMeasure(h->record()), 0);
    EXPECT_EQ(h->runToEnd(), MEASURE_END_DONE);
    EXPECT_EQ(log.count(kStrip, "Number of patches mismatch"), 2);
    EXPECT_EQ(h->values(HostEvent::Scanspeed), (std::vector<int64_t>{10}));
    ASSERT_EQ(h->triples.size(), 1u);
    expectTriples(h->triples[0], service->chart(), 20);
}

TEST_F(SpectroDens, AStopWhileWaitingForTheScanEndsWithOne) {
    startService();
    auto h = host(MEASURE_MODE_CIE_LAB);
    ASSERT_EQ(h->open(), 0);
    user.then([&] { EXPECT_EQ(StopMultiMeasure(h->record()), 0); });
    ASSERT_EQ(StartMultiMeasure(h->record()), 0);
    EXPECT_EQ(h->runToEnd(), MEASURE_END_STOPPED);
    EXPECT_EQ(h->values(HostEvent::Data), std::vector<int64_t>{});
}

TEST_F(SpectroDens, ADropOrALostInstrumentMidPassEndsWithOneAndALaterOpenReconnects) {
    startService();
    tk::ScanScript drop, lost;
    drop.dropConnection = true;
    lost.eventName = "ConnectionState";
    lost.eventData = "FALSE";
    for (const tk::ScanScript& script : {drop, lost}) {
        auto h = host(MEASURE_MODE_CIE_LAB);
        ASSERT_EQ(h->open(), 0);
        scans(0, 10);
        scans(10, 10, script);
        ASSERT_EQ(StartMultiMeasure(h->record()), 0);
        EXPECT_EQ(h->runToEnd(), MEASURE_END_STOPPED);
        EXPECT_EQ(h->values(HostEvent::Data), (std::vector<int64_t>{10}));
        // The next job on the fallen link ends at once.
        h->events.clear();
        ASSERT_EQ(StartMultiMeasure(h->record()), 0);
        EXPECT_EQ(h->runToEnd(), MEASURE_END_STOPPED);
        EXPECT_EQ(h->close(), 0);
    }
    auto h = host(MEASURE_MODE_CIE_LAB, 10, 10);
    ASSERT_EQ(h->open(), 0);
    scans(30, 10);
    ASSERT_EQ(StartMultiMeasure(h->record()), 0);
    EXPECT_EQ(h->runToEnd(), MEASURE_END_DONE);
    expectTriples(h->triples.at(0), service->chart(), 30);
    EXPECT_EQ(service->connections(), 3);
}

TEST_F(SpectroDens, CloseIsPromptWhileAStripWaitsAndTheServiceIsSilent) {
    startService();
    auto h = host(MEASURE_MODE_CIE_LAB);
    ASSERT_EQ(h->open(), 0);
    ASSERT_EQ(StartMultiMeasure(h->record()), 0);
    ASSERT_TRUE(h->runUntilStatus(MEASURE_STATUS_WAIT_USER));
    service->addFault(tk::Fault::on(tk::Fault::Kind::Silence));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(h->close(), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    EXPECT_EQ(service->count("Disconnect", ""), 1);
}

// ---------------------------------------------------------------------------
// Spots.

TEST_F(SpectroDens, OneSpotInLabXyzAndSpectra) {
    startService();
    int patch = 5;
    for (uint32_t mode : {MEASURE_MODE_CIE_LAB, MEASURE_MODE_CIE_XYZ, MEASURE_MODE_SPECTRAL}) {
        SCOPED_TRACE(mode);
        auto h = host(mode, 1, 0);
        ASSERT_EQ(h->open(), 0);
        user.then([this, patch] { service->spot(patch); });
        ASSERT_EQ(StartSingleMeasure(h->record()), 0);
        EXPECT_EQ(h->runToEnd(), MEASURE_END_DONE);
        EXPECT_EQ(h->values(HostEvent::Data), (std::vector<int64_t>{1}));
        if (mode == MEASURE_MODE_SPECTRAL)
            expectSpectra(h->spectra.at(0), service->chart(), patch);
        else
            expectTriples(h->triples.at(0), service->chart(), patch, mode == MEASURE_MODE_CIE_XYZ);
        EXPECT_EQ(service->property("MeasurementMode"), mode == MEASURE_MODE_CIE_LAB   ? "Lab"
                                                        : mode == MEASURE_MODE_CIE_XYZ ? "XYZ"
                                                                                       : "Remission");
        ++patch;
    }
}

TEST_F(SpectroDens, ASpotInAModeTheInstrumentLacksEndsWithThreeAndDefault) {
    startService();
    auto h = host(MEASURE_MODE_STATUS_E, 1, 0);
    ASSERT_EQ(h->open(), 0);
    LogCapture log;
    ASSERT_EQ(StartSingleMeasure(h->record()), 0);
    EXPECT_EQ(h->runToEnd(), MEASURE_END_FAILED);
    EXPECT_TRUE(log.has("clSPECTRO_DENS::SingleMeasurement", "catch(default)"));
    EXPECT_EQ(service->count("SendMessage", "StartCalibration"), 0);
}

TEST_F(SpectroDens, AnEndlessFrameIsBoundedAndTheServiceIsHeardAfterIt) {
    startService();
    auto h = host(MEASURE_MODE_CIE_LAB, 1, 0);
    ASSERT_EQ(h->open(), 0);
    service->addFault(tk::Fault::on(tk::Fault::Kind::EndlessFirst, "GetValues", "SampleLab", "",
                                    techkon::clTechcon::kMaxFrame + (1u << 20), 1));
    // Reading past the endless frame may outlast the waits for the values;
    // the spot is then taken again until they come.
    for (int i = 0; i < 50; ++i) user.then([this] { service->spot(7); });
    ASSERT_EQ(StartSingleMeasure(h->record()), 0);
    EXPECT_EQ(h->runToEnd(), MEASURE_END_DONE);
    expectTriples(h->triples.at(0), service->chart(), 7);
}

}  // namespace
}  // namespace measure::test
