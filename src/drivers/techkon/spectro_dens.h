// clSPECTRO_DENS: the TECHKON SpectroDens behind its measurement service
// (registry row 39). The driver talks to the service through the process-wide
// clTechcon, sets the instrument up (illuminant, observer, white reference,
// filter, measurement condition and mode), calibrates on the white reference
// and takes spots and scanned strips that the user measures with the
// instrument's own button.
//
// Threads: the entries run on the host's thread; ThreadConstructor,
// ThreadDestructor and the three jobs on MeasureThread. The service's events
// arrive on the client's threads and only touch SpectroDensEvents, which the
// driver and the client share, so an event that comes while the driver closes
// never reaches freed memory.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "drivers/techkon/techkon_client.h"
#include "framework/driver.h"

namespace measure::techkon {

MEASURE_DRIVER_ERROR(exSPECTRO_DENS_LIB);
MEASURE_CALIBRATION_ERROR(exSPECTRO_DENS_CALIBRATION);

// What the service's events set: flags the driver's jobs poll.
class SpectroDensEvents final : public TechconListener {
public:
    void onTechconEvent(int code) override;

    std::atomic<bool> error{false};        // a lamp error was announced
    std::atomic<bool> connected{false};    // the service has the instrument
    std::atomic<bool> spotSample{false};   // a spot was measured
    std::atomic<bool> scanSample{false};   // a strip was scanned
    std::atomic<bool> calibrated{false};   // the white calibration ended well
    std::atomic<bool> calibrating{false};  // a white calibration runs: a drop does not stop it
    // A job has been started (before that, a lost instrument has nothing to end).
    std::atomic<bool> measuring{false};
    // The instrument went away while a job ran: the job ends as if stopped.
    std::atomic<bool> stopAsked{false};
};

class clSPECTRO_DENS final : public framework::Driver {
public:
    static constexpr uint32_t kWorkerTimeout = 30000;
    static constexpr int kConnectSteps = 30;
    static constexpr uint32_t kConnectStepMs = 100;
    static constexpr int kCalibrationSteps = 50;
    static constexpr uint32_t kCalibrationStepMs = 150;
    static constexpr uint32_t kSampleStepMs = 50;
    static constexpr uint32_t kRetryPassMs = 1000;
    // The first and last scan samples are paper; they may differ this much.
    static constexpr double kPaperTolerance = 5.0;
    static constexpr double kLastPaperTolerance = 6.0;

    explicit clSPECTRO_DENS(MEASURESTRUCT* record);
    ~clSPECTRO_DENS() override;

    // Jobs on MeasureThread.
    int _WhiteCalibration();
    int MultiMeasurement();
    int SingleMeasurement();

    void PublishAbilities() override;

private:
    void ThreadConstructor() override;
    void ThreadDestructor() override;

    // Every wait of the driver: the skeleton's Pause in short slices; false
    // as soon as the job is asked to stop, by the host or by the service.
    bool Pause(uint32_t ms);
    // Polls `ready` every `stepMs` for `steps` steps (a wait for the service,
    // so never shorter than the clock's floor for a peer); false on timeout
    // or stop.
    template <class Ready>
    bool WaitFor(Ready ready, int steps, uint32_t stepMs);
    bool halted() const { return stopped() || events_->stopAsked.load(); }
    clTechcon& client();

    // Reads a property and writes `code` only when it differs.
    void Ensure(Property property, int code);
    void SetupMeasurement(bool strip);
    // Calibrates on the white reference; with `report`, posts 0 and 16 or
    // ends the job with 4 and status 15 itself.
    bool WhiteCalibration(bool report);
    // A job's start: clears the event flags it waits on.
    void BeginJob();
    // Status 1, "Set options", a calibration first when the instrument has
    // none, the set-up for a strip or a spot. False when stopped meanwhile.
    bool PrepareJob(const char* fn, bool strip);
    // Waits in 50 ms steps for a spot (or, unless `spotOnly`, a scan); false
    // when the job is stopped.
    bool WaitSample(bool spotOnly);
    void Deliver(int first, int count);

    std::shared_ptr<SpectroDensEvents> events_ = std::make_shared<SpectroDensEvents>();
    std::shared_ptr<clTechcon> client_;
    std::string serial_;
};

}  // namespace measure::techkon
