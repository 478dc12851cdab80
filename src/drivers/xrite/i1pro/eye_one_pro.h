// clEYE_ONE_PRO: the hand-held X-Rite i1Pro and i1Pro2 through the i1 SDK.
// One class serves the registry rows 11 "X-Rite i1Pro", 15 "QRV SP-100",
// 21 "QRV SP-200" and 22 "X-Rite i1Pro2". It connects to the first instrument
// the SDK lists, checks that it fits the row, calibrates on the instrument's
// white tile, measures spots and scans strips of patches (strip_scan.cpp).
//
// Threads: the entries and StopMeasurement run on the host's
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

#include "drivers/xrite/i1_driver.h"
#include "drivers/xrite/i1pro/strip_segmentation.h"
#include "framework/driver.h"

namespace measure::i1pro {

// Any failure of the SDK or of the driver's logic; the text names the failed
// call ("clEYE_ONE_PRO::GetSpectrum"), the option key or a word ("default").
MEASURE_DRIVER_ERROR(exEYE_ONE_LIB_PRO);
// A failed I1_Calibrate.
MEASURE_CALIBRATION_ERROR(exEYE_ONE_CALIBRATION);

using xrite::kSlotsFull;

// What tells the hand-held generations apart besides the SDK library: the
// version they need, the rows that need the indicator LED, and how a strip
// is scanned.
struct EyeOneGeneration {
    const char* className;
    const char* unboundText;
    xrite::I1Sdk sdk;
    double minimumSdkVersion;
    const char* versionWarning;
    uint32_t ledRows[2];
    // The hardware revision decides which rows an instrument may serve.
    bool revisionDecides;
    // Pass plans from the charts the instruments know, without the host's.
    bool knownCharts;
    // The driver's own segmentation of raw scan samples may be asked for.
    bool ownSegmentation;
    // The indicator shows success after every scan, before its samples are read.
    bool succeededAfterEveryScan;
    // Strips delivered as densities (Mode 0, 1, 5, 6), besides colour values and spectra.
    bool densityStrips;
};

class clEYE_ONE_PRO : public xrite::I1Driver {
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
    // Host thread, after a successful open: option bits, serial number, port.
    // Failures are logged under "OpenEyeOne" and do not fail the open.
    void PublishAbilities() override;

    // Set by the simple strip entry: the scan skips its own calibration.
    std::atomic<bool> simpleMode{false};

protected:
    clEYE_ONE_PRO(MEASURESTRUCT* record, const EyeOneGeneration& generation);

    [[noreturn]] void fail(const std::string& text) const override { throw exEYE_ONE_LIB_PRO(text); }
    [[noreturn]] void failCalibration(const std::string& text) const override {
        throw exEYE_ONE_CALIBRATION(text);
    }
    // --- option set-up ---
    virtual void ScanOptions();
    // The spot's measurement mode, colorimetric and Mode options.
    virtual void SpotSetup();

    const EyeOneGeneration& generation_;

private:
    void ThreadConstructor() override;
    void ThreadDestructor() override;
    void RequestFailed(const framework::RequestFailure& failure) override;
    void TriggerMeasurement();
    bool isLedRow(uint32_t id) const;
    // The strip job's log name.
    const std::string multi_;
    void ChooseOwnSegmentationResultIndex();

    // --- strip scan (strip_scan.cpp) ---
    int RecognisingScan();
    int OwnSegmentationScan();
    // Start of a strip job: prompt, options, calibration; false when stopped.
    bool BeginStrips(bool ownSegmentation);
    // Waits for the button before a scan and triggers it; false when stopped.
    bool ScanStrip();
    // Reads sample 0 of the scan in the form Mode asks for (it must exist).
    void ReadFirstSample();
    void DeliverRecognised(int n, int total);
    void DeliverSegmented(const std::vector<SegmentedPatch>& patches);

    uint32_t lastTriggerCode_ = 0;
};

}  // namespace measure::i1pro
