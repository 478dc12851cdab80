// clEYE_ONE_PRO: the hand-held X-Rite i1Pro and i1Pro2 through the i1 SDK.
// One class serves the registry rows 11 "X-Rite i1Pro", 15 "QRV SP-100",
// 21 "QRV SP-200" and 22 "X-Rite i1Pro2". It connects to the first instrument
// the SDK lists, checks that it fits the row, calibrates on the instrument's
// white tile, measures spots and scans strips of patches (strip_scan.cpp).
//
// Threads: the entries, StopMeasurement and RequestStop run on the host's
// thread; ThreadConstructor, ThreadDestructor, the requests and every SDK
// call on MeasureThread (PublishAbilities hands its reads to MeasureThread
// too), except the two indicator writes of StopMeasurement; sounds and key
// notifications on KeyThread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "drivers/xrite/i1_library.h"
#include "drivers/xrite/i1pro/strip_segmentation.h"
#include "framework/driver.h"

namespace measure::i1pro {

// Any failure of the SDK or of the driver's logic; the text names the failed
// call ("clEYE_ONE_PRO::GetSpectrum"), the option key or a word ("default").
MEASURE_DRIVER_ERROR(exEYE_ONE_LIB_PRO);
// A failed I1_Calibrate.
MEASURE_CALIBRATION_ERROR(exEYE_ONE_CALIBRATION);

extern const char* const kSlotsFull;

class clEYE_ONE_PRO final : public framework::Driver {
public:
    static constexpr uint32_t kMeasureTimeout = 30000;

    explicit clEYE_ONE_PRO(MEASURESTRUCT* record);
    ~clEYE_ONE_PRO() override;

    // Requests, run on MeasureThread.
    int _WhiteCalibration();
    int SingleMeasurement();
    // The strip scan: own segmentation when the record asks for it (and not
    // for position recognition), else the SDK's recognition.
    int MultiMeasurement();

    // Host thread. Ignored while an SDK calibration runs; otherwise stops the
    // request and turns the indicator off.
    void StopMeasurement() override;
    // Host thread, for CloseEyeOne: only asks the request to stop, and not
    // while an SDK calibration runs.
    void RequestStop();
    // Host thread, after a successful open: option bits, serial number, port.
    // Failures are logged under "OpenEyeOne" and do not fail the open.
    void PublishAbilities() override;

    // Set by the simple strip entry: the scan skips its own calibration.
    std::atomic<bool> simpleMode{false};

private:
    void ThreadConstructor() override;
    void ThreadDestructor() override;
    bool PollKey() override;
    void RequestFailed(const framework::RequestFailure& failure) override;

    // --- SDK calls (MeasureThread); failures throw exEYE_ONE_LIB_PRO ---
    const xrite::I1Library& sdk() const;
    xrite::I1_DeviceHandle device() const { return device_.load(); }
    const char* lastError();
    std::string GetOption(const char* key);
    void SetOption(const char* key, const std::string& value);
    // The indicator, where a failure must not end anything (failure paths).
    void SetLedQuietly(const char* state) noexcept;
    void GetSpectrum(float* spectrum36, uint32_t index);
    void GetTristimulus(float* values3, uint32_t index);
    void GetDensities(float* densities4, uint32_t index);
    int GetNumberOfAvailableSamples();
    void TriggerMeasurement();
    void SetSubstrate();
    void SingleCalibrate();
    void MultiCalibrate();
    void Calibrate(const char* function);

    // --- option set-up ---
    void SpotOptions();
    void ScanOptions();
    void ColorimetricOptions(bool emission);
    // The colour space or density standard `mode` asks of the SDK; a mode
    // above `highest` throws "default".
    void ModeOptions(uint32_t mode, uint32_t highest);
    void ChooseResultIndex();
    void ChooseOwnSegmentationResultIndex();
    bool emission() const { return (pMeasure->Mode & MEASURE_MODE_EMISSION) != 0; }

    // --- strip scan (strip_scan.cpp) ---
    // Completes the pass plan of every job: without the host's plan, from
    // the chart sizes the instrument knows.
    void PlanPasses();
    int RecognisingScan();
    int OwnSegmentationScan();
    // Start of a strip job: prompt, options, calibration; false when stopped.
    bool BeginStrips(bool ownSegmentation);
    // Waits for the button before a scan and triggers it; false when stopped.
    bool ScanStrip();
    // Reads sample 0 of the scan in the form Mode asks for (it must exist).
    void ReadFirstSample();
    void DeliverRecognised(int n, int total);
    // Old-record delivery of n samples as density slots: from spectra
    // (Mode 0, 1) or from the SDK's densities (Mode 5, 6).
    void DeliverDensities(int n);
    void DeliverSegmented(const std::vector<SegmentedPatch>& patches);

    std::shared_ptr<const xrite::I1Library> sdk_;
    std::atomic<xrite::I1_DeviceHandle> device_{nullptr};
    uint32_t lastTriggerCode_ = 0;
    std::atomic<bool> ledAllowed_{false};
    char errorText_[xrite::kI1TextBufferSize] = {};
};

}  // namespace measure::i1pro
