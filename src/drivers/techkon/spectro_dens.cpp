#include "drivers/techkon/spectro_dens.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <vector>

#include "color/spectral.h"
#include "core/delivery.h"
#include "core/logger.h"
#include "core/record.h"
#include "platform/clock.h"

namespace measure::techkon {
namespace {

// Pauses are cut into slices this long so that a stop is seen at once.
constexpr uint32_t kPauseSliceMs = 10;

}  // namespace

void SpectroDensEvents::onTechconEvent(int code) {
    switch (code) {
        case event::kLampError:
            error = true;
            break;
        case event::kConnected:
            connected = true;
            break;
        case event::kDisconnected:
            // Only flags: this runs on the notification thread, which must go
            // on delivering replies, so it never waits for the job to end.
            connected = false;
            // The calibration waits for its own answer; a job ends. While
            // the driver opens, the instrument may still come: it waits.
            if (measuring.load() && !calibrating.load()) stopAsked = true;
            break;
        case event::kSpotSample:
            if (connected.load()) spotSample = true;
            break;
        case event::kScanSample:
            scanSample = true;
            break;
        case 18:
        case event::kCalibrationPaper:
        case event::kCalibrationAbsolute:
            calibrated = true;
            break;
        default:
            break;  // 7 to 17 only wake a waiting job, which polls anyway
    }
}

// The connection waits MeasureThread's timeout: up to four connection
// attempts, 3 s for the instrument and eight property exchanges of 1 s each
// at worst.
clSPECTRO_DENS::clSPECTRO_DENS(MEASURESTRUCT* record) : Driver(record, "clSPECTRO_DENS", kWorkerTimeout) {}

clSPECTRO_DENS::~clSPECTRO_DENS() {
    Disconnect();
}

// The service's own stop (event code 3) arrives on its notification thread,
// which only sets a flag: it is looked at between slices of the skeleton's
// stop-aware wait.
bool clSPECTRO_DENS::Pause(uint32_t ms) {
    for (uint32_t left = ms; left > 0;) {
        if (halted()) return false;
        const uint32_t slice = std::min(left, kPauseSliceMs);
        if (!Driver::Pause(slice)) return false;
        left -= slice;
    }
    return !halted();
}

template <class Ready>
bool clSPECTRO_DENS::WaitFor(Ready ready, int steps, uint32_t stepMs) {
    const auto deadline =
        std::chrono::steady_clock::now() + platform::scaledPeerWait(static_cast<uint32_t>(steps) * stepMs);
    for (;;) {
        if (ready()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        if (!Pause(stepMs)) return ready();
    }
}

clTechcon& clSPECTRO_DENS::client() {
    if (!client_) throw exSPECTRO_DENS_LIB("no service");
    return *client_;
}

void clSPECTRO_DENS::ThreadConstructor() {
    static const char* const fn = "clSPECTRO_DENS::ThreadConstructor";
    Log(1, fn, nullptr);
    events_->connected = false;
    if (!client_ || !client_->IsConnected()) client_ = StartTechcon(events_);
    if (!client_ || !WaitFor([this] { return events_->connected.load(); }, kConnectSteps, kConnectStepMs)) {
        Log(0, fn, "densIsConnected()= not connected");
        return;
    }
    Ensure(Property::Illuminant, code::kIlluminantD50);
    Ensure(Property::Observer, code::kObserver2);
    Ensure(Property::WhiteReference, code::kWhiteAuto);
    Ensure(Property::PolarizationFilter, code::kPolarizationOff);
    serial_ = client_->GetSerialNumber();
    // A service that fell while the defaults were written leaves nothing to
    // measure with.
    connected = client_->IsConnected() && events_->connected.load();
}

void clSPECTRO_DENS::ThreadDestructor() {
    // From here no event reaches this driver's state; the client closes its
    // connection (joining its threads) when the last holder lets it go.
    if (client_) client_->setListener(nullptr);
    DropTechcon();
    client_.reset();
}

void clSPECTRO_DENS::PublishAbilities() {
    if (!usingExtendedRecord()) return;
    // The service reports the serial number as text; the record holds a number.
    extended(pMeasure)->SerialNumber = static_cast<uint32_t>(std::strtoul(serial_.c_str(), nullptr, 10));
}

void clSPECTRO_DENS::Ensure(Property property, int code) {
    if (client().GetProperty(property) != code) client().SetProperty(property, code);
}

void clSPECTRO_DENS::SetupMeasurement(bool strip) {
    const int condition = usingExtendedRecord() ? static_cast<int>(extended(pMeasure)->MeasurementCondition)
                                                : MEASURE_CONDITION_M0;
    Ensure(Property::MeasurementCondition, condition);
    if (strip) {
        Ensure(Property::MeasurementMode, code::kModeScan);
        return;
    }
    switch (pMeasure->Mode) {
        case MEASURE_MODE_CIE_LAB:
            client().SetProperty(Property::MeasurementMode, code::kModeLab);
            break;
        case MEASURE_MODE_CIE_XYZ:
            client().SetProperty(Property::MeasurementMode, code::kModeXYZ);
            break;
        case MEASURE_MODE_SPECTRAL:
            client().SetProperty(Property::MeasurementMode, code::kModeRemission);
            break;
        default:
            throw exSPECTRO_DENS_LIB("default");
    }
}

void clSPECTRO_DENS::BeginJob() {
    events_->measuring = true;
    events_->error = false;
    events_->spotSample = false;
    events_->scanSample = false;
    // A service that went away since the last job ends this one at its
    // first wait, as the drop would have ended a running one.
    events_->stopAsked = !(client_ && client_->IsConnected() && events_->connected.load());
}

bool clSPECTRO_DENS::WhiteCalibration(bool report) {
    events_->calibrating = true;
    events_->calibrated = false;
    events_->error = false;
    client().SendMessage("StartCalibration", "");
    const bool answered = WaitFor([this] { return events_->calibrated.load() || events_->error.load(); },
                                  kCalibrationSteps, kCalibrationStepMs);
    events_->calibrating = false;
    if (answered && events_->calibrated.load() && !events_->error.load()) {
        // Recorded before it is reported: a host asking MustCalibrate on
        // "calibration done" must hear that none is due.
        calibratedSingle = true;
        calibratedMulti = true;
        if (report) {
            PostStatusCode(pMeasure, MEASURE_STATUS_IDLE);
            PostStatusCode(pMeasure, MEASURE_STATUS_CALIBRATION_DONE);
        }
        return true;
    }
    if (halted()) return false;
    Log(0, "clSPECTRO_DENS::WhiteCalibration", "calibration Error");
    xBeepFailure();
    if (report) {
        PostThreadEndMessage(pMeasure, MEASURE_END_CALIBRATION_FAILED);
        PostStatusCode(pMeasure, MEASURE_STATUS_CALIBRATION_FAILED);
    }
    return false;
}

int clSPECTRO_DENS::_WhiteCalibration() {
    BeginJob();
    // A calibration runs on its own answer, whatever the link did before.
    events_->stopAsked = false;
    // A calibration that worked ends with status 16 and no thread end; one
    // that failed has posted its end 4 and status 15.
    if (WhiteCalibration(true) || !halted()) return framework::kEndReported;
    return MEASURE_END_STOPPED;
}

bool clSPECTRO_DENS::PrepareJob(const char* fn, bool strip) {
    BeginJob();
    PostStatusCode(pMeasure, MEASURE_STATUS_STARTED);
    Log(3, fn, "Set options");
    if (!(strip ? calibratedMulti : calibratedSingle).load()) {
        PostStatusCode(pMeasure, MEASURE_STATUS_CALIBRATING);
        if (!WhiteCalibration(false)) {
            if (halted()) return false;
            throw exSPECTRO_DENS_CALIBRATION("Calibration Error");
        }
    }
    SetupMeasurement(strip);
    return true;
}

bool clSPECTRO_DENS::WaitSample(bool spotOnly) {
    for (;;) {
        if (events_->spotSample.load() || (!spotOnly && events_->scanSample.load())) return true;
        if (!Pause(kSampleStepMs)) return false;
    }
}

void clSPECTRO_DENS::Deliver(int first, int count) {
    uint8_t* block = GetResultBlock(pMeasure);
    if (block == nullptr) throw exSPECTRO_DENS_LIB("no result block");
    const auto patches = static_cast<uint64_t>(std::max(count, 0));
    if (pMeasure->Mode == MEASURE_MODE_SPECTRAL) {
        const std::vector<Remission> samples = client().remissionValues();
        for (uint64_t i = 0; i < patches; ++i) {
            const Spectrum36 s = placeBands400To700(samples.at(static_cast<size_t>(first) + i).data());
            writeSpectrum(block, i, s.data());
        }
        framework::setSpectralCount(block, patches);
    } else {
        const std::vector<Triple> samples =
            pMeasure->Mode == MEASURE_MODE_CIE_XYZ ? client().xyzValues() : client().labValues();
        for (uint64_t i = 0; i < patches; ++i) {
            const Triple& v = samples.at(static_cast<size_t>(first) + i);
            writeTriple(block, i, v[0], v[1], v[2]);
        }
        framework::setTripleCount(block, patches);
    }
    PostMeasureData(pMeasure, 0, deliveredResult(block));
}

int clSPECTRO_DENS::MultiMeasurement() {
    static const char* const fn = "clSPECTRO_DENS::MultiMeasurement";
    if (!PrepareJob(fn, true)) return MEASURE_END_STOPPED;

    const int total = pMeasure->NumOfPatchesToRead;
    const int passCount = passesSpecified ? passes : 1;
    const int perPass = passesSpecified ? patchesPerPass : total;
    int lastPatches = perPass > 0 ? total % perPass : 0;
    if (lastPatches == 0 || passCount == 1) lastPatches = perPass;
    PostPassno(pMeasure, -passCount);

    int delivered = 0;
    for (int pass = 1; pass <= passCount;) {
        const bool last = pass == passCount;
        const int patches = last ? lastPatches : perPass;
        // Cleared before the prompt: a user who scans the moment it shows is
        // not missed.
        events_->spotSample = false;
        events_->scanSample = false;
        PostStatusCode(pMeasure, MEASURE_STATUS_WAIT_USER);
        PostPassno(pMeasure, pass);
        bool failed = false;
        try {
            if (!WaitSample(false)) return MEASURE_END_STOPPED;
            PostStatusCode(pMeasure, MEASURE_STATUS_IDLE);
            Log(3, fn, "get sample");
            int n = 1;  // a spot is one sample
            if (events_->scanSample.load()) {
                const int lab = client().GetValues("ScanSampleLab");
                const int xyz = client().GetValues("ScanSampleXYZ");
                const int remission = client().GetValues("ScanSampleRemission");
                n = std::min({lab, xyz, remission});
            }
            // A scan holds the strip's patches with one sample of paper on
            // either side; the two paper samples must agree.
            bool ok = n == patches + 2;
            if (ok) {
                const std::vector<Triple> lab = client().labValues();
                const Triple& a = lab.at(0);
                const Triple& b = lab.at(static_cast<size_t>(n - 1));
                const double difference = DeltaE76(a[0], a[1], a[2], b[0], b[1], b[2]);
                ok = difference <= (last ? kLastPaperTolerance : kPaperTolerance);
            }
            if (ok) {
                PostScanspeedStatus(pMeasure, static_cast<uint32_t>(n - 2));
                xBeepSuccess(framework::SuccessBeep::Immediate);
                const int count = std::min(n - 2, total - delivered);
                Deliver(1, count);
                delivered += count;
                PostPassEnd(pMeasure, static_cast<uint32_t>(perPass));
                ++pass;
                continue;
            }
            Log(0, fn, "Number of patches mismatch");
        } catch (const std::exception& e) {
            LogF(0, fn, "catch(%s)", e.what());
            failed = true;
        } catch (...) {
            Log(0, fn, "catch(...)");
            failed = true;
        }
        xBeepFailure();
        if (failed) {
            if (!Pause(kRetryPassMs)) return MEASURE_END_STOPPED;
            PostStatusCode(pMeasure, MEASURE_STATUS_PASS_FAILED);
        } else {
            PostStatusCode(pMeasure, MEASURE_STATUS_PASS_FAILED);
            if (!Pause(kRetryPassMs)) return MEASURE_END_STOPPED;
        }
    }
    return MEASURE_END_DONE;
}

int clSPECTRO_DENS::SingleMeasurement() {
    static const char* const fn = "clSPECTRO_DENS::SingleMeasurement";
    const char* values = nullptr;
    switch (pMeasure->Mode) {
        case MEASURE_MODE_CIE_LAB:
            values = "SampleLab";
            break;
        case MEASURE_MODE_CIE_XYZ:
            values = "SampleXYZ";
            break;
        case MEASURE_MODE_SPECTRAL:
            values = "SampleRemission";
            break;
        default:
            throw exSPECTRO_DENS_LIB("default");
    }
    if (!PrepareJob(fn, false)) return MEASURE_END_STOPPED;
    // A spot request measures one spot; the host asks again for the next.
    for (;;) {
        events_->spotSample = false;
        PostStatusCode(pMeasure, MEASURE_STATUS_WAIT_USER);
        if (!WaitSample(true)) return MEASURE_END_STOPPED;
        PostStatusCode(pMeasure, MEASURE_STATUS_IDLE);
        Log(3, fn, "get sample");
        if (client().GetValues(values) >= 1) {
            xBeepSuccess(framework::SuccessBeep::Immediate);
            Deliver(0, 1);
            return MEASURE_END_DONE;
        }
        Log(0, fn, "Number of patches mismatch");
        xBeepFailure();
        PostStatusCode(pMeasure, MEASURE_STATUS_PASS_FAILED);
        if (!Pause(kRetryPassMs)) return MEASURE_END_STOPPED;
    }
}

}  // namespace measure::techkon
