#include "framework/driver.h"

#include <utility>

#include "platform/clock.h"

namespace measure::framework {

Driver::Driver(MEASURESTRUCT* record, const char* className, uint32_t measureTimeout)
    : KeyThread(std::make_unique<clWORKER_THREAD>(kKeyThreadTimeout, "KeyThread")),
      MeasureThread(std::make_unique<clWORKER_THREAD>(measureTimeout, "MeasureThread")),
      pMeasure(record),
      className_(className) {
    Log(2, qualified(className_).c_str(), nullptr);
}

Driver::~Driver() {
    // A driver that skipped Disconnect still must not leave a request running
    // on a half-destroyed object longer than the stop allows.
    if (MeasureThread) {
        stopRequested = true;
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

void Driver::waitMeasureThread(uint32_t ms, const char* function) {
    try {
        MeasureThread->WaitRequest(ms);
    } catch (const std::exception& e) {
        LogF(0, qualified(function).c_str(), "catch(%s)", e.what());
    }
}

void Driver::endThreads() {
    MeasureThread.reset();
    KeyThread.reset();
}

void Driver::Connect(uint32_t waitMs) {
    const std::string fn = qualified("ThreadConstructor");
    try {
        MeasureThread->StartRequest([this, fn] {
            try {
                ThreadConstructor();
            } catch (const std::exception& e) {
                LogF(0, fn.c_str(), "catch(%s)", e.what());
            } catch (...) {
                Log(0, fn.c_str(), "catch(...)");
            }
        });
        MeasureThread->WaitRequest(waitMs);
    } catch (const std::exception& e) {
        LogF(0, fn.c_str(), "catch(%s)", e.what());
    }
}

void Driver::Disconnect() {
    if (!MeasureThread) return;
    const std::string destructor = std::string(className_) + "::~" + className_;
    Log(2, destructor.c_str(), nullptr);
    stopRequested = true;
    waitMeasureThread(kDefaultStopWait, "Disconnect");
    const std::string fn = qualified("ThreadDestructor");
    try {
        MeasureThread->StartRequest([this, fn] {
            try {
                ThreadDestructor();
            } catch (...) {
                Log(0, fn.c_str(), "catch(...)");
            }
        });
    } catch (const std::exception& e) {
        LogF(0, fn.c_str(), "catch(%s)", e.what());
    }
    waitMeasureThread(kDefaultStopWait, "Disconnect");
    endThreads();
}

void Driver::StartMeasurement(const char* requestName, std::function<int()> request) {
    StopMeasurement();
    Log(5, qualified("StartMeasurement").c_str(), requestName);
    passes = 0;
    patchesPerPass = 0;
    passesSpecified = SpecifiedPassesPatches(passes, patchesPerPass, pMeasure);
    stopRequested = false;
    MeasureThread->StartRequest(
        [this, requestName, request = std::move(request)] { RunRequest(requestName, request); });
}

void Driver::StopMeasurement() {
    if (busy.load()) return;
    Log(5, qualified("StopMeasurement").c_str(), nullptr);
    stopRequested = true;
    waitMeasureThread(stopWaitMs, "StopMeasurement");
}

bool Driver::WaitKey() {
    const std::string fn = qualified("WaitKey");
    for (;;) {
        platform::sleepMs(kKeyPollMs);
        if (PollKey()) {
            Log(3, fn.c_str(), "key pressed");
            return true;
        }
        if (stopRequested.load()) {
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
        KeyThread->StartRequest(std::move(work));
    } catch (const std::exception& e) {
        LogF(0, qualified("RunOnKeyThread").c_str(), "catch(%s)", e.what());
    }
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

void Driver::xBeepFailure() {
    RunOnKeyThread([this] {
        Log(3, qualified("xBeepFailure").c_str(), nullptr);
        Beep(kFailureTone, kSoundFailure);
    });
}

void Driver::RunRequest(const char* requestName, const std::function<int()>& body) {
    RequestFailure failure{RequestFailure::Kind::Unknown, qualified(requestName), {}};
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
