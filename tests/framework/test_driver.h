// A small driver built on the skeleton, with a scripted instrument, so that
// the skeleton's protocol can be exercised without any vendor library.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

#include "framework/driver.h"
#include "framework/driver_entries.h"
#include "support/recording_observer.h"

#include <gtest/gtest.h>

namespace measure::test_driver {

MEASURE_DRIVER_ERROR(exTEST_LIB);
MEASURE_CALIBRATION_ERROR(exTEST_CALIBRATION);

class clTEST_DRIVER;

// The instrument behind the driver; the test scripts it. Fields written on
// MeasureThread are read by the test only after the request has ended.
struct Instrument {
    std::atomic<bool> present{true};
    std::atomic<int> pendingPresses{0};
    std::atomic<int> destructorCalls{0};
    std::atomic<bool> stopSetAtDestructor{false};
    std::atomic<bool> requestEndedBeforeDestructor{false};
    std::atomic<bool> requestRunning{false};
    std::thread::id constructorThread;
    std::thread::id destructorThread;
    // Body of MultiMeasurement; returns the thread end code.
    std::function<int(clTEST_DRIVER&)> measurement;
};

// The instrument the next driver object talks to.
inline Instrument* gInstrument = nullptr;

class clTEST_DRIVER final : public framework::Driver {
public:
    explicit clTEST_DRIVER(MEASURESTRUCT* record)
        : Driver(record, "clTEST_DRIVER", 10000), instrument_(*gInstrument) {}
    ~clTEST_DRIVER() override { Disconnect(); }

    int MultiMeasurement() {
        instrument_.requestRunning = true;
        const int end = instrument_.measurement ? instrument_.measurement(*this) : MEASURE_END_DONE;
        instrument_.requestRunning = false;
        return end;
    }

    // Waits for the button like a hand-held instrument's spot measurement.
    int SingleMeasurement() {
        instrument_.requestRunning = true;
        PostStatusCode(pMeasure, MEASURE_STATUS_STARTED);
        PostStatusCode(pMeasure, MEASURE_STATUS_WAIT_USER);
        const bool pressed = WaitKey();
        instrument_.requestRunning = false;
        if (!pressed) return MEASURE_END_STOPPED;
        xBeepSuccess(framework::SuccessBeep::Delayed);
        return MEASURE_END_DONE;
    }

    int _WhiteCalibration() {
        calibratedMulti = false;
        PostStatusCode(pMeasure, MEASURE_STATUS_CALIBRATING);
        calibratedMulti = true;
        PostStatusCode(pMeasure, MEASURE_STATUS_CALIBRATION_DONE);
        return MEASURE_END_DONE;
    }

    void PublishAbilities() override {
        extended(pMeasure)->SerialNumber = 4711;
        extended(pMeasure)->OptionBits |= opSingleMeasurementOption;
        pMeasure->port = 7;
    }

    bool flushed = false;  // set by a per-request preparation

private:
    void ThreadConstructor() override {
        instrument_.constructorThread = std::this_thread::get_id();
        connected = instrument_.present.load();
    }
    void ThreadDestructor() override {
        instrument_.destructorThread = std::this_thread::get_id();
        instrument_.stopSetAtDestructor = stopped();
        instrument_.requestEndedBeforeDestructor = !instrument_.requestRunning.load();
        ++instrument_.destructorCalls;
    }
    bool PollKey() override {
        int n = instrument_.pendingPresses.load();
        while (n > 0 && !instrument_.pendingPresses.compare_exchange_weak(n, n - 1)) {
        }
        return n > 0;
    }

    Instrument& instrument_;
};

inline constexpr framework::ModeSet kTestModes{MEASURE_MODE_CIE_LAB, MEASURE_MODE_CIE_XYZ,
                                               MEASURE_MODE_SPECTRAL};

inline int32_t OpenTest(MEASURESTRUCT* m) {
    return framework::OpenEntry<clTEST_DRIVER>(m, "OpenTest", "Test");
}
inline int32_t CloseTest(MEASURESTRUCT* m) {
    return framework::CloseEntry(m, "CloseTest");
}
inline int32_t CalibrateWhiteTest(MEASURESTRUCT* m) {
    return framework::StartEntry(m, "CalibrateWhiteTest", framework::ModeSet::any(), "_WhiteCalibration",
                                 &clTEST_DRIVER::_WhiteCalibration);
}
inline int32_t StartMultiMeasureTest(MEASURESTRUCT* m) {
    return framework::StartEntry(m, "StartMultiMeasureTest", kTestModes, "MultiMeasurement",
                                 &clTEST_DRIVER::MultiMeasurement,
                                 [](clTEST_DRIVER& d) { d.flushed = true; });
}
inline int32_t SingleMeasureTest(MEASURESTRUCT* m) {
    return framework::StartEntry(m, "SingleMeasureTest", kTestModes, "SingleMeasurement",
                                 &clTEST_DRIVER::SingleMeasurement);
}
inline int32_t StopMultiMeasureTest(MEASURESTRUCT* m) {
    return framework::StopEntry(m, "StopMultiMeasureTest", framework::StopKind::Multi);
}
inline int32_t StopSingleMeasureTest(MEASURESTRUCT* m) {
    return framework::StopEntry(m, "StopSingleMeasureTest", framework::StopKind::Single);
}
inline int32_t MustCalibrateTest(MEASURESTRUCT* m) {
    return framework::MustCalibrateEntry(m, "MustCalibrateTest");
}

// An extended record with its result block, as Open2Instrument leaves it for
// the driver's Open entry; closes whatever is still open at the end.
class TestDriverFixture : public ::testing::Test {
protected:
    TestDriverFixture() {
        gInstrument = &instrument;
        record.cb = MEASURE2_RECORD_SIZE;
        record.Mode = MEASURE_MODE_SPECTRAL;
        record.NumOfPatchesToRead = 12;
        record.NumPatchesPerLine = 5;
        record.SoundSelector = MEASURE_SOUND_OBSERVER;
        setSoundSelector(MEASURE_SOUND_OBSERVER);
        setUsingExtendedRecord(true);
        record.pDllData = AllocDllData(record.NumOfPatchesToRead);
    }
    ~TestDriverFixture() override {
        CloseTest(m());
        FreeDllData(record.pDllData);
        setUsingExtendedRecord(false);
        gInstrument = nullptr;
    }
    MEASURESTRUCT* m() { return reinterpret_cast<MEASURESTRUCT*>(&record); }
    clTEST_DRIVER* driver() { return framework::driverIn<clTEST_DRIVER>(m()); }

    // A measurement that waits for the button, like a strip pass.
    static int waitForButton(clTEST_DRIVER& d) {
        PostStatusCode(d.pMeasure, MEASURE_STATUS_STARTED);
        if (!d.WaitKey()) return MEASURE_END_STOPPED;
        return MEASURE_END_DONE;
    }

    Instrument instrument;
    MEASURE2STRUCT record{};
    test::RecordingObserver observer;
};

}  // namespace measure::test_driver
