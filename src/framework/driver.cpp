#include "framework/driver.h"

#include <exception>
#include <utility>

#include "platform/clock.h"

namespace measure::framework {

namespace {
constexpr const char* kDoesNotFit = "results do not fit the block";
}  // namespace

void setTripleCount(uint8_t* block, uint64_t count) {
    if (!writeTripleCount(block, count)) throw DriverError(kDoesNotFit);
}

void setSpectralCount(uint8_t* block, uint64_t count) {
    if (!writeSpectralCount(block, count)) throw DriverError(kDoesNotFit);
}

Driver::Driver(MEASURESTRUCT* record, const char* className, uint32_t measureTimeout, uint32_t connectWaitMs)
    : KeyThread(std::make_unique<clWORKER_THREAD>(kKeyThreadTimeout, "KeyThread")),
      MeasureThread(std::make_unique<clWORKER_THREAD>(measureTimeout, "MeasureThread")),
      pMeasure(record),
      className_(className),
      connectWaitMs_(connectWaitMs != 0 ? connectWaitMs : measureTimeout) {
    Log(2, qualified(className_).c_str(), nullptr);
}

Driver::~Driver() {
    // A driver that skipped Disconnect still must not leave a request running
    // on a half-destroyed object longer than the stop allows. (After a close
    // that gave up, this runs on the request's own thread as it lets go.)
    if (MeasureThread && !disconnected_.load()) {
        requestStop();
        waitMeasureThread(stopWaitMs, "~Driver");
    }
    endThreads();
}

std::string Driver::qualified(const char* function) const {
    std::string name = className_;
    name += "::";
    name += function;
    return name;
}

std::shared_ptr<Driver> Driver::self() {
    // Drivers are made by the Open entry, always shared. An object made any
    // other way (a test's own) is lent without a share.
    if (std::shared_ptr<Driver> owner = weak_from_this().lock()) return owner;
    return std::shared_ptr<Driver>(std::shared_ptr<Driver>(), this);
}

bool Driver::waitMeasureThread(uint32_t ms, const char* function) {
    try {
        MeasureThread->WaitRequest(ms);
        return true;
    } catch (const std::exception& e) {
        LogF(0, qualified(function).c_str(), "catch(%s)", e.what());
    }
    return false;
}

void Driver::endThreads() {
    MeasureThread.reset();
    KeyThread.reset();
}

void Driver::runThreadDestructor() {
    try {
        ThreadDestructor();
    } catch (...) {
        Log(0, qualified("ThreadDestructor").c_str(), "catch(...)");
    }
}

void Driver::Start() {
    const std::string fn = qualified("ThreadConstructor");
    try {
        MeasureThread->StartRequest([self = self(), fn] {
            try {
                self->ThreadConstructor();
            } catch (const std::exception& e) {
                LogF(0, fn.c_str(), "catch(%s)", e.what());
            } catch (...) {
                Log(0, fn.c_str(), "catch(...)");
            }
        });
        MeasureThread->WaitRequest(connectWaitMs_);
    } catch (const std::exception& e) {
        LogF(0, fn.c_str(), "catch(%s)", e.what());
    }
}

bool Driver::Disconnect() {
    if (disconnected_.exchange(true)) {
        // The last share of a driver whose close left a request running was
        // just let go, on that request's thread: its connection goes now.
        if (teardownOwed_.exchange(false)) runThreadDestructor();
        return true;
    }
    if (!MeasureThread) return true;
    const std::string destructor = std::string(className_) + "::~" + className_;
    Log(2, destructor.c_str(), nullptr);
    requestStop();
    const bool requestEnded = waitMeasureThread(kDefaultStopWait, "Disconnect");
    bool idle = false;
    if (requestEnded) {
        try {
            MeasureThread->StartRequest([self = self()] { self->runThreadDestructor(); });
        } catch (const std::exception& e) {
            LogF(0, qualified("ThreadDestructor").c_str(), "catch(%s)", e.what());
        }
        idle = waitMeasureThread(kDefaultStopWait, "Disconnect");
    } else {
        // The request ignored the stop: its connection goes when it returns.
        teardownOwed_.store(true);
    }
    // Work still running on MeasureThread (the request, or a teardown that
    // hangs) may still use both workers (sounds go to KeyThread): then they
    // end with the driver, when that work lets go of it.
    if (idle) endThreads();
    return idle;
}

void Driver::StartMeasurement(const char* requestName, std::function<int()> request) {
    StopMeasurement();
    // The request still running keeps its plan and its stop flag: a step
    // under the busy flag, or one that ignored the stop, is waited for up to
    // MeasureThread's timeout, then the start is refused (exWORKER_THREAD).
    MeasureThread->WaitRequest(MeasureThread->timeout());
    Log(5, qualified("StartMeasurement").c_str(), requestName);
    passes = 0;
    patchesPerPass = 0;
    passesSpecified = SpecifiedPassesPatches(passes, patchesPerPass, pMeasure);
    clearStop();
    MeasureThread->StartRequest([self = self(), requestName, request = std::move(request)] {
        self->RunRequest(requestName, request);
    });
}

void Driver::StopMeasurement() {
    if (busy.load()) return;
    Log(5, qualified("StopMeasurement").c_str(), nullptr);
    requestStop();
    waitMeasureThread(stopWaitMs, "StopMeasurement");
}

void Driver::requestStop() {
    {
        std::lock_guard lock(stopMutex_);
        stopRequested.store(true);
    }
    stopSignal_.notify_all();
}

bool Driver::Pause(uint32_t ms) {
    std::unique_lock lock(stopMutex_);
    return !stopSignal_.wait_for(lock, platform::scaled(ms), [this] { return stopRequested.load(); });
}

bool Driver::WaitKey() {
    const std::string fn = qualified("WaitKey");
    for (;;) {
        Pause(kKeyPollMs);
        if (PollKey()) {
            Log(3, fn.c_str(), "key pressed");
            return true;
        }
        if (stopped()) {
            Log(3, fn.c_str(), "stopped");
            return false;
        }
    }
}

void Driver::FlushKey() {
    (void)PollKey();
}

void Driver::RunOnKeyThread(std::function<void()> work) {
    try {
        KeyThread->StartRequest([self = self(), work = std::move(work)] { work(); });
    } catch (const std::exception& e) {
        LogF(0, qualified("RunOnKeyThread").c_str(), "catch(%s)", e.what());
    }
}

void Driver::RunOnMeasureThread(std::function<void()> work, uint32_t waitMs) {
    // Shared with the request, which may outlive this call if MeasureThread
    // does not come back in time.
    struct Job {
        std::function<void()> work;
        std::exception_ptr error;
    };
    auto job = std::make_shared<Job>(Job{std::move(work), nullptr});
    MeasureThread->StartRequest([job, self = self()] {
        try {
            job->work();
        } catch (...) {
            job->error = std::current_exception();
        }
    });
    MeasureThread->WaitRequest(waitMs);
    if (job->error) std::rethrow_exception(job->error);
}

void Driver::KeyNotification() {
    RunOnKeyThread([this] {
        platform::sleepMs(kKeyNotificationDelayMs);
        PostStatusCode(pMeasure, MEASURE_STATUS_IDLE);
        Log(3, qualified("KeyNotification").c_str(), nullptr);
        PostStatusCode(pMeasure, MEASURE_STATUS_KEY_PRESSED);
        Beep(kSuccessTone, kSoundAccepted);
    });
}

void Driver::xBeepSuccess(SuccessBeep form) {
    RunOnKeyThread([this, form] {
        Log(3, qualified("xBeepSuccess").c_str(), nullptr);
        if (form == SuccessBeep::Delayed) {
            platform::sleepMs(kDelayedBeepMs);
            Beep(kSuccessTone, kSoundAccepted);
        } else {
            Beep(kSuccessTone, kSoundDelivered);
        }
    });
}

void Driver::DoubleBeep(uint32_t gapMs) {
    xBeepSuccess(SuccessBeep::Immediate);
    if (soundSelector() != MEASURE_SOUND_BUILT_IN) {
        Pause(gapMs);
        xBeepSuccess(SuccessBeep::Immediate);
    }
}

void Driver::xBeepFailure() {
    RunOnKeyThread([this] {
        Log(3, qualified("xBeepFailure").c_str(), nullptr);
        Beep(kFailureTone, kSoundFailure);
    });
}

void Driver::DeliverPatches(const double* values, int count) {
    uint8_t* block = GetResultBlock(pMeasure);
    if (block == nullptr) throw DriverError("!pDllData");
    const bool spectral = pMeasure->Mode == MEASURE_MODE_SPECTRAL;
    const size_t per = spectral ? MEASURE_SPECTRAL_BANDS : 3;
    const uint64_t n = static_cast<uint64_t>(count < 0 ? 0 : count);
    if (spectral)
        setSpectralCount(block, n);
    else
        setTripleCount(block, n);
    for (uint64_t p = 0; p < n; ++p) {
        const double* v = values + p * per;
        if (spectral)
            writeSpectrum(block, p, v);
        else
            writeTriple(block, p, v[0], v[1], v[2]);
    }
    PostMeasureData(pMeasure, 0, deliveredResult(block));
}

int Driver::NextDensitySlot(const char* fullText) {
    const uint32_t used = pMeasure->NumOfMeasurements;
    if (used >= MEASURE_DENSITY_SLOTS) {
        Log(0, qualified("NextDensitySlot").c_str(), "density slots full");
        throw DriverError(fullText);
    }
    return static_cast<int>(used);
}

void Driver::AnnounceDensitySlot(int slot, bool send) {
    pMeasure->NumOfMeasurements = static_cast<uint32_t>(slot + 1);
    NotifyDensitySlot(pMeasure, send, &stopRequested);
}

void Driver::RunRequest(const char* requestName, const std::function<int()>& body) {
    RequestFailure failure{RequestFailure::Kind::Unknown, qualified(requestName), {}};
    // The open sized the result block by NumOfPatchesToRead. A host that
    // raised it since would have every driver's loops and counts run past
    // the block: such a request fails before it starts.
    const int32_t asked = pMeasure->NumOfPatchesToRead;
    const uint64_t capacity = resultCapacity(GetResultBlock(pMeasure));
    if (asked > 0 && capacity > 0 && static_cast<uint64_t>(asked) > capacity) {
        LogF(0, failure.function.c_str(), "NumOfPatchesToRead=%d, the block holds %llu", asked,
             static_cast<unsigned long long>(capacity));
        failure.kind = RequestFailure::Kind::Library;
        failure.text = "NumOfPatchesToRead";
        try {
            RequestFailed(failure);
        } catch (...) {
            Log(0, failure.function.c_str(), "catch(...)");
        }
        return;
    }
    try {
        const int end = body();
        if (end == kEndReported) return;
        PostStatusCode(pMeasure, MEASURE_STATUS_IDLE);
        PostThreadEndMessage(pMeasure, end);
        return;
    } catch (const CalibrationError& e) {
        failure.kind = RequestFailure::Kind::Calibration;
        failure.text = e.what();
    } catch (const std::exception& e) {
        failure.kind = RequestFailure::Kind::Library;
        failure.text = e.what();
    } catch (...) {
    }
    try {
        RequestFailed(failure);
    } catch (...) {
        Log(0, failure.function.c_str(), "catch(...)");
    }
}

void Driver::RequestFailed(const RequestFailure& failure) {
    const char* fn = failure.function.c_str();
    int end = MEASURE_END_FAILED;
    switch (failure.kind) {
        case RequestFailure::Kind::Calibration:
            LogF(0, fn, "calibration catch(%s)", failure.text.c_str());
            end = MEASURE_END_CALIBRATION_FAILED;
            break;
        case RequestFailure::Kind::Library:
            LogF(0, fn, "catch(%s)", failure.text.c_str());
            break;
        case RequestFailure::Kind::Unknown:
            Log(0, fn, "catch(...)");
            break;
    }
    xBeepFailure();
    PostStatusCode(pMeasure, MEASURE_STATUS_IDLE);
    PostThreadEndMessage(pMeasure, end);
}

}  // namespace measure::framework
