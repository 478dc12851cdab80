// The skeleton every instrument driver is built from: two worker threads, the
// connected / calibrated / stop / busy flags, the request protocol (the host's
// calls only start work on MeasureThread and return at once), waiting for the
// instrument's button, feedback sounds, and the failure handling that ends
// every request with status 0 and exactly one thread end. The C entry
// patterns that go with it are in framework/driver_entries.h.
//
// A driver contains only what is particular to its instrument:
//
//   MEASURE_DRIVER_ERROR(exFOO_LIB);                // instrument or library failures
//   MEASURE_CALIBRATION_ERROR(exFOO_CALIBRATION);   // failed calibrations
//
//   class clFOO final : public framework::Driver {
//   public:
//       explicit clFOO(MEASURESTRUCT* record) : Driver(record, "clFOO", 10000) { Connect(10000); }
//       ~clFOO() override { Disconnect(); }
//
//       // Requests run on MeasureThread and return the thread end code.
//       int _WhiteCalibration();
//       int MultiMeasurement() {
//           PostStatusCode(pMeasure, MEASURE_STATUS_STARTED);
//           for (int pass = 1; pass <= passes; ++pass) {
//               PostPassno(pMeasure, pass);
//               PostStatusCode(pMeasure, MEASURE_STATUS_WAIT_USER);
//               if (!WaitKey()) return MEASURE_END_STOPPED;
//               if (!device_.scan()) throw exFOO_LIB("Scan");   // logged, failure sound, end 3
//           }
//           ...write the patches with writeSpectrum, then PostMeasureData...
//           xBeepSuccess(SuccessBeep::Immediate);
//           return MEASURE_END_DONE;   // the skeleton posts status 0 and thread end 0
//       }
//
//   private:
//       void ThreadConstructor() override { connected = device_.open(); }   // on MeasureThread
//       void ThreadDestructor() override { device_.close(); }               // on MeasureThread
//       bool PollKey() override { return device_.buttonPressed(); }         // for WaitKey
//       FooDevice device_;
//   };
//
//   int32_t OpenFoo(MEASURESTRUCT* m) { return framework::OpenEntry<clFOO>(m, "OpenFoo", "Foo"); }
//   int32_t CloseFoo(MEASURESTRUCT* m) { return framework::CloseEntry(m, "CloseFoo"); }
//   int32_t StartMultiMeasureFoo(MEASURESTRUCT* m) {
//       return framework::StartEntry(m, "StartMultiMeasureFoo", kFooModes, "MultiMeasurement",
//                                    &clFOO::MultiMeasurement);
//   }
//   int32_t StopMultiMeasureFoo(MEASURESTRUCT* m) {
//       return framework::StopEntry(m, "StopMultiMeasureFoo", framework::StopKind::Multi);
//   }
//   int32_t MustCalibrateFoo(MEASURESTRUCT* m) { return framework::MustCalibrateEntry(m, "MustCalibrateFoo");
//   }
//
// Why Connect and Disconnect are called by the driver: ThreadConstructor and
// ThreadDestructor are the driver's own, and C++ does not dispatch to them
// from the base's constructor or destructor. The driver's constructor ends
// with Connect and its destructor begins with Disconnect.
//
// Threads: entries, StartMeasurement and StopMeasurement run on the host's
// thread; ThreadConstructor, ThreadDestructor, requests, WaitKey and FlushKey
// on MeasureThread; sounds and KeyNotification on KeyThread. The flags are
// atomics; the pass plan is written before a request starts and read by it.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "framework/sound.h"
#include "framework/worker_thread.h"
#include "core/delivery.h"
#include "core/logger.h"
#include "core/record.h"
#include "measure/measure.h"

namespace measure::framework {

// A failure of the instrument, its library, its connection or the driver's
// logic, carrying the failed step's text ("not valid", "MoveAbsXY").
class DriverError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A failed calibration.
class CalibrationError : public DriverError {
public:
    using DriverError::DriverError;
};

// Declare a driver's exception classes: MEASURE_DRIVER_ERROR(exNIX_LIB);
#define MEASURE_DRIVER_ERROR(Name)                          \
    class Name : public ::measure::framework::DriverError { \
    public:                                                 \
        using DriverError::DriverError;                     \
    }
#define MEASURE_CALIBRATION_ERROR(Name)                          \
    class Name : public ::measure::framework::CalibrationError { \
    public:                                                      \
        using CalibrationError::CalibrationError;                \
    }

// A request's result that tells the skeleton the request has already posted
// its own status and thread end.
inline constexpr int kEndReported = -1;

enum class SuccessBeep {
    Delayed,    // the user's action was accepted: 500 ms pause, sound 107
    Immediate,  // results were delivered: sound 111
};

// How a request failed, as handed to Driver::RequestFailed.
struct RequestFailure {
    enum class Kind { Calibration, Library, Unknown };
    Kind kind;
    std::string function;  // qualified request name, "clFOO::MultiMeasurement"
    std::string text;      // the exception's text; empty for Unknown
};

class Driver {
public:
    static constexpr uint32_t kKeyThreadTimeout = 2000;
    static constexpr uint32_t kDefaultStopWait = 30000;
    static constexpr uint32_t kKeyPollMs = 100;
    static constexpr uint32_t kKeyNotificationDelayMs = 800;
    static constexpr uint32_t kDelayedBeepMs = 500;

    // Creates KeyThread (2000 ms) and MeasureThread (`measureTimeout` ms),
    // keeps the record and logs "<className>::<className>". `className` is
    // a static text such as "clFOO".
    Driver(MEASURESTRUCT* record, const char* className, uint32_t measureTimeout);
    virtual ~Driver();
    Driver(const Driver&) = delete;
    Driver& operator=(const Driver&) = delete;

    // Host thread: stops the running request, takes the pass plan from the
    // record (passes, patchesPerPass, passesSpecified; zeros when the host
    // gave none), clears the stop flag and hands `request` to MeasureThread.
    // The request returns the thread end code (MEASURE_END_*) or kEndReported;
    // see RunRequest for how it ends. Throws exWORKER_THREAD when
    // MeasureThread stays busy past its timeout.
    void StartMeasurement(const char* requestName, std::function<int()> request);
    template <class D>
    void StartMeasurement(const char* requestName, int (D::*request)()) {
        D* self = static_cast<D*>(this);
        StartMeasurement(requestName, [self, request] { return (self->*request)(); });
    }

    // Host thread: unless `busy` is set, sets the stop flag and waits up to
    // stopWaitMs for MeasureThread. Never throws. Drivers with indicator
    // lights override it, call this and turn the lights off.
    virtual void StopMeasurement();

    // MeasureThread: polls PollKey every 100 ms until the button is pressed
    // (true, "key pressed") or the stop flag is set (false, "stopped").
    bool WaitKey();
    // MeasureThread: reads and discards a pending button press.
    virtual void FlushKey();
    bool stopped() const { return stopRequested.load(); }

    // Run on KeyThread; they return at once and never throw.
    // KeyNotification: 800 ms, status 0, status 9 (button pressed while no
    // measurement waited), success sound 107.
    void KeyNotification();
    void xBeepSuccess(SuccessBeep form);
    void xBeepFailure();
    // Any short side request on KeyThread (logged and swallowed when
    // KeyThread stays busy past its 2000 ms).
    void RunOnKeyThread(std::function<void()> work);

    // "clFOO::<function>".
    std::string qualified(const char* function) const;
    const char* className() const { return className_; }

    // The skeleton's fields. A driver adds its own after them.
    std::unique_ptr<clWORKER_THREAD> KeyThread;
    std::unique_ptr<clWORKER_THREAD> MeasureThread;
    std::atomic<bool> connected{false};         // set by ThreadConstructor when the instrument is ready
    std::atomic<bool> calibratedSingle{false};  // a single-patch white calibration succeeded
    std::atomic<bool> calibratedMulti{false};   // a multi-patch white calibration succeeded
    std::atomic<bool> stopRequested{false};     // asks the running request to end
    std::atomic<bool> busy{false};              // a step runs that must not be cut short
    MEASURESTRUCT* const pMeasure;              // the record opened with; owned by the host
    uint32_t stopWaitMs = kDefaultStopWait;
    int passes = 0;
    int patchesPerPass = 0;
    bool passesSpecified = false;

    // Whether MustCalibrate answers 1. Default: no multi-patch calibration yet.
    virtual bool NeedsCalibration() const { return !calibratedMulti.load(); }
    // Host thread, from OpenEntry once connected: writes the instrument's
    // identity and abilities into the record (option bits, serial number,
    // port, setInfoString). A throw fails the open.
    virtual void PublishAbilities() {}

protected:
    // MeasureThread: connects; sets `connected` when the instrument is
    // ready. Exceptions are caught (logged "catch(...)") and leave it clear.
    virtual void ThreadConstructor() = 0;
    // MeasureThread: disconnects. Exceptions are logged and swallowed.
    virtual void ThreadDestructor() {}
    // MeasureThread: true when the instrument's button has been pressed.
    virtual bool PollKey() { return false; }

    // What a failed request reports. Default: log "calibration catch(%s)",
    // "catch(%s)" or "catch(...)", xBeepFailure, status 0, thread end 4
    // (calibration) or 3. Drivers whose instruments report more override it.
    virtual void RequestFailed(const RequestFailure& failure);

    // End of the driver's constructor: runs ThreadConstructor on
    // MeasureThread and waits up to `waitMs` for it.
    void Connect(uint32_t waitMs);
    // Start of the driver's destructor: logs "<className>::~<className>",
    // sets the stop flag, waits for MeasureThread, runs ThreadDestructor on
    // it and waits again, then ends MeasureThread and KeyThread.
    void Disconnect();

    // MeasureThread: runs a request body and ends it on every path: status 0
    // and thread end with the body's result; on an exception RequestFailed.
    // A body returning kEndReported posts nothing more.
    void RunRequest(const char* requestName, const std::function<int()>& body);

private:
    void waitMeasureThread(uint32_t ms, const char* function);
    void endThreads();

    const char* const className_;
};

}  // namespace measure::framework
