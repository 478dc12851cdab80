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
//       explicit clFOO(MEASURESTRUCT* record) : Driver(record, "clFOO", 10000) {}
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
// Ownership. A driver is always held by a std::shared_ptr: the Open entry
// makes it and keeps it in a process-wide table of open drivers, and every
// request and side request on the worker threads holds a share for as long
// as it runs. A close that gives up on a request that ignores the stop
// (a hung SDK call, an error box left open) therefore never frees what that
// request still uses: the driver, its vendor library, its connection. The
// close cuts the driver loose from the host's record first (HostRecord), so
// the request can neither notify the host nor write into its block; the
// driver is destroyed, and its connection torn down, on the request's own
// thread when the request finally returns.
//
// Why Start and Disconnect are separate calls: ThreadConstructor and
// ThreadDestructor are the driver's own, and C++ does not dispatch to them
// from the base's constructor or destructor, nor can a constructor hand out
// shares of its object. The Open entry calls Start once the object is made;
// the driver's destructor begins with Disconnect (a no-op once the Close
// entry has disconnected).
//
// Threads: entries, Start, StartMeasurement and StopMeasurement run on the
// host's thread; ThreadConstructor, ThreadDestructor, requests, Pause,
// WaitKey and FlushKey on MeasureThread; sounds and KeyNotification on
// KeyThread. The flags are atomics; the pass plan is written only while no
// request runs and read by the next one.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <type_traits>

#include "core/delivery.h"
#include "core/logger.h"
#include "core/record.h"
#include "framework/host_record.h"
#include "framework/sound.h"
#include "framework/worker_thread.h"
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

// The result count N at the head of the result block (three-value or
// spectral form). Throws DriverError("results do not fit the block") when N
// exceeds the block's capacity; the block then announces only its capacity.
void setTripleCount(uint8_t* block, uint64_t count);
void setSpectralCount(uint8_t* block, uint64_t count);

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

class Driver : public std::enable_shared_from_this<Driver> {
public:
    static constexpr uint32_t kKeyThreadTimeout = 2000;
    static constexpr uint32_t kDefaultStopWait = 30000;
    static constexpr uint32_t kKeyPollMs = 100;
    static constexpr uint32_t kKeyNotificationDelayMs = 800;
    static constexpr uint32_t kDelayedBeepMs = 500;

    // Creates KeyThread (2000 ms) and MeasureThread (`measureTimeout` ms),
    // keeps the record and logs "<className>::<className>". `className` is
    // a static text such as "clFOO". Start waits `connectWaitMs` for the
    // connection (0: the MeasureThread timeout).
    Driver(MEASURESTRUCT* record, const char* className, uint32_t measureTimeout, uint32_t connectWaitMs = 0);
    virtual ~Driver();
    Driver(const Driver&) = delete;
    Driver& operator=(const Driver&) = delete;

    // Host thread, once, right after the object was made: runs
    // ThreadConstructor on MeasureThread and waits for it.
    void Start();
    // Host thread, from the Close entry (and first thing in the driver's
    // destructor): logs "<className>::~<className>", stops the request,
    // waits up to 30 s for it, runs ThreadDestructor on MeasureThread and
    // ends both workers. A request that does not end in time is left to
    // finish on its own, with both workers: ThreadDestructor runs, and the
    // workers end, when it lets go of the driver.
    // Idempotent. True when nothing of the driver's work still runs.
    bool Disconnect();

    // Host thread: stops the running request, waits until MeasureThread is
    // idle (a step under the busy flag runs to its end), takes the pass plan
    // from the record (passes, patchesPerPass, passesSpecified; zeros when
    // the host gave none), clears the stop flag and hands `request` to
    // MeasureThread. The request returns the thread end code (MEASURE_END_*)
    // or kEndReported; see RunRequest for how it ends. Throws exWORKER_THREAD,
    // leaving the running request and its state alone, when MeasureThread
    // stays busy past its timeout.
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
    // Any thread: asks the running request to end (wakes Pause at once).
    void requestStop();
    bool stopped() const { return stopRequested.load(); }

    // MeasureThread: waits `ms` specified milliseconds on the scaled clock.
    // Returns false, at once, when a stop is asked for (before or during the
    // wait). Every wait of a request goes through here.
    bool Pause(uint32_t ms);
    // MeasureThread: polls PollKey every 100 ms until the button is pressed
    // (true, "key pressed") or the stop flag is set (false, "stopped").
    bool WaitKey();
    // MeasureThread: reads and discards a pending button press.
    virtual void FlushKey();

    // Run on KeyThread; they return at once and never throw.
    // KeyNotification: 800 ms, status 0, status 9 (button pressed while no
    // measurement waited), success sound 107.
    void KeyNotification();
    void xBeepSuccess(SuccessBeep form);
    void xBeepFailure();
    // MeasureThread: the closing beeps of a finished sheet or chart: sound
    // 111, and a second one after `gapMs` unless the built-in sounds were
    // chosen (then the one is enough).
    void DoubleBeep(uint32_t gapMs);
    // Any short side request on KeyThread (logged and swallowed when
    // KeyThread stays busy past its 2000 ms).
    void RunOnKeyThread(std::function<void()> work);
    // Host thread: runs `work` on MeasureThread and waits up to `waitMs`
    // for it; rethrows its exception, and exWORKER_THREAD when it does not
    // come back in time (it then finishes on its own, holding the driver).
    void RunOnMeasureThread(std::function<void()> work, uint32_t waitMs);

    // "clFOO::<function>".
    std::string qualified(const char* function) const;
    const char* className() const { return className_; }

    // The skeleton's fields. A driver adds its own after them.
    std::unique_ptr<clWORKER_THREAD> KeyThread;
    std::unique_ptr<clWORKER_THREAD> MeasureThread;
    std::atomic<bool> connected{false};         // set by ThreadConstructor when the instrument is ready
    std::atomic<bool> calibratedSingle{false};  // a single-patch white calibration succeeded
    std::atomic<bool> calibratedMulti{false};   // a multi-patch white calibration succeeded
    std::atomic<bool> stopRequested{false};     // asks the running request to end (write with requestStop)
    std::atomic<bool> busy{false};              // a step runs that must not be cut short (see BusyScope)
    HostRecord pMeasure;                        // the record opened with; owned by the host
    uint32_t stopWaitMs = kDefaultStopWait;
    int passes = 0;
    int patchesPerPass = 0;
    bool passesSpecified = false;

    // Keeps the busy flag set for a step that a stop must not cut short.
    class BusyScope {
    public:
        explicit BusyScope(Driver& driver) : busy_(driver.busy) { busy_.store(true); }
        ~BusyScope() { busy_.store(false); }
        BusyScope(const BusyScope&) = delete;
        BusyScope& operator=(const BusyScope&) = delete;

    private:
        std::atomic<bool>& busy_;
    };

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

    // MeasureThread: runs a request body and ends it on every path: status 0
    // and thread end with the body's result; on an exception RequestFailed.
    // A body returning kEndReported posts nothing more.
    void RunRequest(const char* requestName, const std::function<int()>& body);

    // Host thread: clears the stop flag (only while no request runs).
    void clearStop() { stopRequested.store(false); }

    // Driver option words of the extended record: 0 (and writes ignored)
    // with the plain record, which has none.
    template <class T>
    T word(T MEASURE2STRUCT::*field) const {
        const MEASURE2STRUCT* e = extendedOrNull(pMeasure);
        return e != nullptr ? e->*field : T{};
    }
    template <class T>
    void setWord(T MEASURE2STRUCT::*field, std::type_identity_t<T> value) {
        if (MEASURE2STRUCT* e = extendedOrNull(pMeasure)) e->*field = value;
    }

    // Writes `count` patches of `values` into the result block (36 bands a
    // patch when Mode asks for spectra, else three values) and announces
    // them with one PostMeasureData. Throws DriverError ("!pDllData")
    // without a block, and when they do not fit it.
    void DeliverPatches(const double* values, int count);

    // Old-record density delivery. NextDensitySlot answers the slot for the
    // next result (NumOfMeasurements) and throws DriverError(`fullText`) when
    // all 256 are used: a result that cannot be kept fails the request
    // rather than vanish. AnnounceDensitySlot counts the stored slot and
    // notifies the host: posted, or sent (waiting for the host, given up
    // when the request is stopped) when `send`.
    int NextDensitySlot(const char* fullText);
    void AnnounceDensitySlot(int slot, bool send);

    // A share of this driver for work that may outlive the caller.
    std::shared_ptr<Driver> self();

private:
    bool waitMeasureThread(uint32_t ms, const char* function);
    void endThreads();
    void runThreadDestructor();

    const char* const className_;
    const uint32_t connectWaitMs_;
    std::mutex stopMutex_;
    std::condition_variable stopSignal_;
    std::atomic<bool> disconnected_{false};
    // ThreadDestructor still owed by a request the close left running.
    std::atomic<bool> teardownOwed_{false};
};

}  // namespace measure::framework
