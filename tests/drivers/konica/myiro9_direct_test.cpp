// The FD-9 and MYIRO-9 direct rows (38, 56) end to end: a host opens the row
// through the exports against the FD9 SDK stand-in, whose virtual user
// inserts the chart; the instrument recognises the patches and reads them
// row by row, and the driver delivers each row. What the host received is
// checked against the virtual FD-9's values and what the SDK was asked (its
// journal).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "measure/measure.h"
#include "platform/paths.h"
#include "platform/socket.h"
#include "support/environment.h"
#include "support/instrument_host.h"
#include "support/test_environment.h"
#include "virtual_fd9.h"

namespace measure::konica {
namespace {

namespace kt = emu::konica;
using test::HostEvent;
using test::LogCapture;

constexpr const char* kFn = "clKONICA_MINOLTA_MYIRO9::MultiMeasurement";

class DirectHost {
public:
    explicit DirectHost(uint32_t id = 38, uint32_t mode = MEASURE_MODE_CIE_LAB, int rows = 4, int perRow = 6)
        : host(id, mode, rows * perRow, nullptr) {
        fd9().reset();
        fd9().setChart(rows, perRow);
    }
    ~DirectHost() { host.close(); }
    static kt::VirtualFd9& fd9() { return kt::emu_fd9_instance(); }
    int64_t measure() {
        if (StartMultiMeasure(host.record()) != 0) return -200;
        return host.runToEnd();
    }
    bool journalHas(const std::string& line) const {
        const auto j = fd9().journal();
        return std::find(j.begin(), j.end(), line) != j.end();
    }
    int journalCount(const std::string& line) const {
        const auto j = fd9().journal();
        return static_cast<int>(std::count(j.begin(), j.end(), line));
    }

    test::ScopedTimeScale scale{0.05};
    test::ScopedEnvironment sdk{"MEASURE_SDK_PATH", MEASURE_FD9_SDK_DIR};
    test::InstrumentHost host;
};

TEST(Myiro9Direct, OpenListsTheDevicesOrConnectsToTheRecordsAddress) {
    {
        DirectHost d;
        ASSERT_EQ(d.host.open(), 0);
        const char* info = nullptr;
        ASSERT_EQ(GetInfoString(&info), 0);
        EXPECT_STREQ(info, "1;FD900123;0;127.0.0.1");
        EXPECT_TRUE(d.journalHas("GetDeviceList"));
    }
    {
        DirectHost d(56);
        d.host.rec.NetworkAddress = platform::loopbackAddress();
        ASSERT_EQ(d.host.open(), 0);
        const auto j = d.fd9().journal();
        EXPECT_TRUE(d.journalHas("TAConnect 127.0.0.1 QRVMeasurementService"));
        EXPECT_TRUE(d.journalHas("Disconnect"));
        EXPECT_FALSE(d.journalHas("GetDeviceList"));
    }
    {
        DirectHost d(56);
        d.host.rec.NetworkAddress = platform::hostToNetwork32(0x7F000002u);
        LogCapture log;
        EXPECT_EQ(d.host.open(), -1);
        EXPECT_TRUE(log.has("clKONICA_MINOLTA_MYIRO9::ThreadConstructor",
                            "Failed to obtain the MYIRO9 device handle."));
    }
}

TEST(Myiro9Direct, WithoutTheSdkTheDirectRowsDoNotOpen) {
    test::ScopedEnvironment none("MEASURE_SDK_PATH", "/nonexistent");
    test::InstrumentHost host(38, MEASURE_MODE_CIE_LAB, 24, nullptr);
    EXPECT_EQ(host.open(), -1);
}

TEST(Myiro9Direct, EachModeAndConditionDeliversTheChartRowByRow) {
    const std::pair<uint32_t, int32_t> conditions[] = {{0, 0}, {1, 2}, {2, 15}};
    for (uint32_t mode : {MEASURE_MODE_CIE_LAB, MEASURE_MODE_CIE_XYZ, MEASURE_MODE_SPECTRAL}) {
        for (const auto& [condition, value] : conditions) {
            DirectHost d(38, mode, 3, 5);
            d.host.rec.MeasurementCondition = condition;
            ASSERT_EQ(d.host.open(), 0);
            ASSERT_EQ(d.measure(), MEASURE_END_DONE) << mode << " " << condition;
            EXPECT_EQ(d.host.values(HostEvent::Status), (std::vector<int64_t>{1, 3, 14, 12, 9, 0}));
            EXPECT_EQ(d.host.values(HostEvent::Passno), (std::vector<int64_t>{1, 2, 3}));
            // Rows are read as they come, the chart announced whole.
            ASSERT_EQ(d.host.values(HostEvent::Data), (std::vector<int64_t>{15}));
            const int32_t kind = mode == MEASURE_MODE_SPECTRAL  ? kFd9DataSpectral
                                 : mode == MEASURE_MODE_CIE_XYZ ? kFd9DataXyz
                                                                : kFd9DataLab;
            for (int row = 0; row < 3; ++row)
                for (int p = 0; p < 5; ++p) {
                    const auto want = kt::VirtualFd9::patchData(row * 5 + p, kind, value);
                    for (size_t v = 0; v < want.size(); ++v) {
                        const size_t at = static_cast<size_t>(row * 5 + p);
                        const double got = mode == MEASURE_MODE_SPECTRAL ? d.host.spectra.back()[at][v]
                                                                         : d.host.triples.back()[at][v];
                        EXPECT_EQ(got, static_cast<double>(want[v])) << row << " " << p << " " << v;
                    }
                }
            EXPECT_TRUE(d.journalHas("SetOption 2 0"));
            EXPECT_TRUE(d.journalHas("SetOption 1 2"));
            EXPECT_TRUE(d.journalHas("SetOption 0 " + std::to_string(value)));
            EXPECT_EQ(d.journalCount("SetOption 3 " + std::to_string(kind)), 15);
            EXPECT_TRUE(d.journalHas("ExitMeasurement text Measurement successful"));
            // The job lets go of the instrument after its closing pause.
            EXPECT_TRUE(test::waitFor([&] { return d.fd9().journal().back() == "Disconnect"; }, 5000));
        }
    }
}

TEST(Myiro9Direct, TheClientNameAndTheStartArgumentsFollowTheRecord) {
    for (uint32_t own : {0u, 1u}) {
        DirectHost d;
        d.host.rec.OwnSegmentation = own;
        const auto before = static_cast<uint32_t>(std::time(nullptr));
        ASSERT_EQ(d.host.open(), 0);
        ASSERT_EQ(d.measure(), MEASURE_END_DONE);
        EXPECT_TRUE(d.journalHas(own == 1 ? "StartMeasurement 1 3 1" : "StartMeasurement 1 1 1"));
        const auto j = d.fd9().journal();
        const auto connect = std::find_if(j.begin(), j.end(), [](const std::string& l) {
            return l.rfind("Connect FD900123 SP100Serv", 0) == 0;
        });
        ASSERT_NE(connect, j.end());
        const long stamp = std::stol(connect->substr(std::string("Connect FD900123 SP100Serv").size()));
        EXPECT_GE(stamp, static_cast<long>(before & 0xFFFFFFu) - 1);
        EXPECT_LE(stamp, static_cast<long>((before + 5) & 0xFFFFFFu));
    }
}

TEST(Myiro9Direct, AnotherClientsJobMeansBusy) {
    DirectHost d;
    d.fd9().setForeignJob(true);
    ASSERT_EQ(d.host.open(), 0);
    EXPECT_EQ(d.measure(), MEASURE_END_STOPPED);
    EXPECT_EQ(d.host.values(HostEvent::Status), (std::vector<int64_t>{1, 37}));
    EXPECT_FALSE(d.journalHas("StartPreMeasurement"));
    EXPECT_EQ(d.fd9().journal().back(), "Disconnect");
}

TEST(Myiro9Direct, ALayoutMismatchIsReportedAndTheMeasurementStopped) {
    DirectHost d;
    kt::Fd9Faults f;
    f.layoutMismatch = true;
    d.fd9().setFaults(f);
    ASSERT_EQ(d.host.open(), 0);
    LogCapture log;
    EXPECT_EQ(d.measure(), MEASURE_END_FAILED);
    EXPECT_EQ(d.host.values(HostEvent::Scanspeed), (std::vector<int64_t>{28}));
    EXPECT_EQ(d.host.values(HostEvent::Status), (std::vector<int64_t>{1, 3, 14, 12, 34, 34, 4, 0}));
    EXPECT_EQ(d.journalCount("StopMeasurement"), 1);
    EXPECT_TRUE(d.journalHas("ExitMeasurement text Chart recognition failed"));
    EXPECT_TRUE(log.has(kFn, "catch(The count of measurement data does not match.)"));
    EXPECT_TRUE(d.host.values(HostEvent::Data).empty());
}

TEST(Myiro9Direct, ErrorEventsAndAFailedPatchFailTheMeasurement) {
    for (int32_t code : {101, 204, 301}) {
        DirectHost d;
        kt::Fd9Faults f;
        f.errorEvent = code;
        d.fd9().setFaults(f);
        ASSERT_EQ(d.host.open(), 0);
        LogCapture log;
        EXPECT_EQ(d.measure(), MEASURE_END_FAILED) << code;
        EXPECT_TRUE(log.has(kFn, "catch(Error: MYIRO9_SDK)")) << code;
        EXPECT_TRUE(d.journalHas(code == 301 ? "ExitMeasurement text Fatal Error" : "ExitMeasurement"))
            << code;
    }
    DirectHost d;
    kt::Fd9Faults f;
    f.failRow = 1;
    f.failPatch = 2;
    d.fd9().setFaults(f);
    ASSERT_EQ(d.host.open(), 0);
    LogCapture log;
    EXPECT_EQ(d.measure(), MEASURE_END_FAILED);
    EXPECT_TRUE(log.has(kFn, "catch(The count of measurement data does not match.)"));
    // A chart with a broken row is not delivered at all.
    EXPECT_TRUE(d.host.values(HostEvent::Data).empty());
}

TEST(Myiro9Direct, AStopIsPassedOnOnceAndEndsWithTheCancellation) {
    DirectHost d;
    kt::Fd9Faults f;
    f.silent = true;
    d.fd9().setFaults(f);
    ASSERT_EQ(d.host.open(), 0);
    ASSERT_EQ(StartMultiMeasure(d.host.record()), 0);
    ASSERT_TRUE(d.host.runUntilStatus(12));
    ASSERT_TRUE(test::waitFor([&] { return d.journalHas("StartPreMeasurement"); }));
    LogCapture log;
    EXPECT_EQ(StopMultiMeasure(d.host.record()), 0);
    EXPECT_EQ(d.host.runToEnd(), MEASURE_END_STOPPED);
    EXPECT_EQ(d.journalCount("StopMeasurement"), 1);
    EXPECT_TRUE(d.journalHas("ExitMeasurement text Mesurement canceled"));
    EXPECT_TRUE(log.has(kFn, "catch(Stopped)"));
}

TEST(Myiro9Direct, WithoutACancelReportTheStopAndTheCloseStillReturn) {
    DirectHost d;
    kt::Fd9Faults f;
    f.silent = true;
    f.noCancelReport = true;
    d.fd9().setFaults(f);
    ASSERT_EQ(d.host.open(), 0);
    ASSERT_EQ(StartMultiMeasure(d.host.record()), 0);
    ASSERT_TRUE(d.host.runUntilStatus(12));
    ASSERT_TRUE(test::waitFor([&] { return d.journalHas("StartPreMeasurement"); }));
    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(d.host.close(), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(5));
    EXPECT_EQ(d.journalCount("StopMeasurement"), 1);
    EXPECT_FALSE(d.fd9().inCallback());
}

TEST(Myiro9Direct, NoEventReachesTheDriverAfterItsClose) {
    DirectHost d(38, MEASURE_MODE_SPECTRAL, 8, 6);
    ASSERT_EQ(d.host.open(), 0);
    ASSERT_EQ(StartMultiMeasure(d.host.record()), 0);
    // Closed while the rows come in: the close stops the instrument, lets go
    // of it and of the handler, and from then on nothing is delivered.
    ASSERT_TRUE(test::waitFor([&] { return !d.fd9().events().empty(); }));
    EXPECT_EQ(d.host.close(), 0);
    EXPECT_FALSE(d.fd9().inCallback());
    const size_t delivered = d.fd9().events().size();
    const auto j = d.fd9().journal();
    EXPECT_EQ(j.back(), "Disconnect");
    EXPECT_FALSE(test::waitFor([&] { return d.fd9().events().size() != delivered; }, 50));
}

TEST(Myiro9Direct, InsertionThenTheSimpleMeasurement) {
    DirectHost d(56, MEASURE_MODE_CIE_XYZ, 2, 4);
    d.host.rec.NumOfPatchesToRead = 99;  // the simple measurement takes the chart as recognised
    ASSERT_EQ(d.host.open(), 0);
    ASSERT_EQ(StartInsertPaper(d.host.record()), 0);
    ASSERT_EQ(d.host.runToEnd(), MEASURE_END_DONE);
    EXPECT_EQ(d.host.values(HostEvent::Status), (std::vector<int64_t>{14, 24, 0}));
    const std::string name = platform::localHostOfficialName().substr(0, 20);
    EXPECT_TRUE(d.journalHas("Connect FD900123 " + name));
    d.host.events.clear();
    ASSERT_EQ(StartSimpleMultiMeasure(d.host.record()), 0);
    ASSERT_EQ(d.host.runToEnd(), MEASURE_END_DONE);
    ASSERT_EQ(d.host.values(HostEvent::Data), (std::vector<int64_t>{8}));
    EXPECT_EQ(d.host.triples.back()[7][0],
              static_cast<double>(kt::VirtualFd9::patchData(7, kFd9DataXyz, 0)[0]));
    EXPECT_TRUE(test::waitFor([&] { return d.fd9().journal().back() == "Disconnect"; }, 5000));
}

// The display images beside the library for the life of the object.
class DisplayImages {
public:
    DisplayImages() {
        std::filesystem::create_directories(folder_);
        for (const char* name : {"SuccessPic.raw", "ErrorPic.raw"}) std::ofstream(folder_ / name) << "raw";
    }
    ~DisplayImages() {
        std::error_code ignored;
        std::filesystem::remove(folder_ / "SuccessPic.raw", ignored);
        std::filesystem::remove(folder_ / "ErrorPic.raw", ignored);
    }

private:
    std::filesystem::path folder_ = std::filesystem::path(platform::moduleFolder()) / "Resources";
};

TEST(Myiro9Direct, RegisteredImagesAreShownInsteadOfTexts) {
    DisplayImages images;
    DirectHost d;
    ASSERT_EQ(d.host.open(), 0);
    ASSERT_EQ(d.measure(), MEASURE_END_DONE);
    const auto j = d.fd9().journal();
    const auto shown = std::find_if(
        j.begin(), j.end(), [](const std::string& l) { return l.rfind("ExitMeasurement image ", 0) == 0; });
    ASSERT_NE(shown, j.end());
    EXPECT_NE(shown->find("SuccessPic.raw"), std::string::npos);
    EXPECT_NE(shown->find("Resources"), std::string::npos);
}

}  // namespace
}  // namespace measure::konica
