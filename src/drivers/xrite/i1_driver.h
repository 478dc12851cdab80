// What every driver of an i1 instrument does through the i1 SDK, written
// once: binding the library and taking the shared device handle, the option
// reads and writes with their failure texts, sample reads, calibration, the
// colorimetric and Mode options, the result index, the pass plan of the
// known charts and the old record's density delivery. clEYE_ONE_PRO (the
// hand-held i1Pro) and clIO_PRO (the i1Pro on the i1iO table) derive from it.
//
// Threads: as framework::Driver; every SDK call here runs on MeasureThread.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "drivers/xrite/i1_library.h"
#include "framework/driver.h"

namespace measure::xrite {

// The plain record's 256 density slots are used up.
extern const char* const kSlotsFull;

// Whether an SDK list text ("M0;M1;M2") holds `item`.
bool holds(const std::string& text, const char* item);

class I1Driver : public framework::Driver {
public:
    // `unboundText`: the failure text when the SDK is not bound ("!pEyeOnePro");
    // `which`: the SDK library, whose process-wide handle the driver shares.
    I1Driver(MEASURESTRUCT* record, const char* className, uint32_t measureTimeout, const char* unboundText,
             I1Sdk which = I1Sdk::Pro);

protected:
    // The driver's own exception classes: a library failure and a failed calibration.
    [[noreturn]] virtual void fail(const std::string& text) const = 0;
    [[noreturn]] virtual void failCalibration(const std::string& text) const = 0;

    // --- connection (MeasureThread) ---
    // Binds the driver's SDK library; logs and fails "not valid" when it is missing.
    void BindSdk(const char* function);
    // The SDK's call prefix, for log texts ("I1_", "I1PRO3_").
    const char* sdkPrefix() const;
    // Takes the shared handle, else the first listed device (which becomes
    // the shared handle). Logs and fails "not valid" when there is none.
    I1_DeviceHandle AcquireDevice(const char* function);
    // OpenDevice; when the other i1 library holds the instrument (52, or 51
    // from the i1Pro3 library), makes it let go first. The SDK's code.
    I1_ResultType OpenDevice(I1_DeviceHandle handle, const char* function);
    // Closes the device, unregisters the event handler, lets go of the
    // shared handle.
    void CloseDevice() noexcept;

    // Logs the SDK's version; `warning` when its first number is below `minimum`.
    void CheckSdkVersion(const char* function, double minimum, const char* warning);
    // The button, for WaitKey.
    bool PollKey() override;

    // --- SDK calls; failures call fail() ---
    const I1Library& sdk() const;
    I1_DeviceHandle device() const { return device_.load(); }
    const char* lastError();
    std::string GetOption(const char* key);
    void SetOption(const char* key, const std::string& value);
    // The indicator, where a failure must not end anything (failure paths).
    void SetLedQuietly(const char* state) noexcept;
    void GetSpectrum(float* spectrum36, uint32_t index);
    void GetTristimulus(float* values3, uint32_t index);
    void GetDensities(float* densities4, uint32_t index);
    int GetNumberOfAvailableSamples();
    void SetSubstrate();
    void Calibrate(const char* function);
    // Spot calibration unless done; the substrate unless emission.
    void SingleCalibrate();
    // Scan calibration unless done, under the busy flag: a stop or close
    // must not cut the SDK's calibration short.
    void MultiCalibrate();

    // --- options ---
    void ColorimetricOptions(bool emissive);
    // The colour space or density standard `mode` asks of the SDK; a mode
    // above `highest` fails "default".
    void ModeOptions(uint32_t mode, uint32_t highest);
    // Spot measurement mode (emission, dual with M1/M2 or the dual flag,
    // else reflectance), colorimetric and Mode options up to `highestMode`.
    void SpotOptions(uint32_t highestMode);
    virtual void ChooseResultIndex();
    // Reads sample 0 of a spot in the form `mode` (without the emission
    // bit) asks for and delivers it: spectrum and density slot (0, 1),
    // colour values (2, 3, 7, 8), spectrum (4), densities (5, 6), spectrum
    // with colour values (9, 10).
    virtual void DeliverSpot(uint32_t mode, const char* function);
    bool emission() const { return (pMeasure->Mode & MEASURE_MODE_EMISSION) != 0; }

    // Completes the pass plan: without the host's plan, from the chart
    // sizes the instruments know, or (`knownCharts` false) in one pass.
    void PlanPasses(bool knownCharts = true);
    // Old-record delivery of samples 0..n-1 as density slots: from spectra
    // (Mode 0, 1) or from the SDK's densities (Mode 5, 6). Every patch but
    // the last waits until the host has taken it.
    void DeliverDensities(int n, const char* function);
    // Writes sample `sample` of the last measurement as patch `patch` of the
    // block: its spectrum, or its colour values.
    void WriteSample(uint8_t* block, uint64_t patch, uint32_t sample, bool spectral);

    std::shared_ptr<const I1Library> sdk_;
    std::atomic<I1_DeviceHandle> device_{nullptr};
    std::atomic<bool> ledAllowed_{false};

    const I1Sdk which_;

private:
    const char* const unboundText_;
    char errorText_[kI1TextBufferSize] = {};
};

}  // namespace measure::xrite
