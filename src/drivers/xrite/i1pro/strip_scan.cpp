// The strip scan of clEYE_ONE_PRO: the user draws the instrument across one
// strip after another, pressing the button before each; every scan becomes
// the patches of that strip, checked against the pass plan and delivered in
// chart order. The SDK finds the patches itself (recognising variant), or the
// driver finds them in the raw samples (own segmentation).
#include <algorithm>
#include <cstdio>

#include "color/spectral.h"
#include "core/delivery.h"
#include "core/logger.h"
#include "core/record.h"
#include "drivers/xrite/i1pro/eye_one_pro.h"
#include "platform/clock.h"

namespace measure::i1pro {

using namespace measure::xrite;

namespace {

// Status of a pass prompt: the first attempt, and a repeat after a failed one.
constexpr int32_t kAttemptFirst = MEASURE_STATUS_WAIT_USER;
constexpr int32_t kAttemptRepeat = MEASURE_STATUS_PASS_FAILED;

// How long the indicator shows success or failure before the next prompt.
constexpr uint32_t kSucceededMs = 600;
constexpr uint32_t kFailedMs = 1000;

// More raw samples than this are not read from one scan.
constexpr int kMaxRawSamples = 3000;

// The chart printed with half as many strips of twice the length.
constexpr int32_t kAlternateChartPatches = 120;

double lightnessOf(const double xyz[3]) {
    double L = 0, a = 0, b = 0;
    XYZToLab(xyz[0], xyz[1], xyz[2], &L, &a, &b);
    return L;
}

double lightnessOfSpectrum(const float* spectrum) {
    double bands[kI1SpectrumBands], xyz[3] = {};
    std::copy(spectrum, spectrum + kI1SpectrumBands, bands);
    SpectrumToXYZ(xyz, kSpectralHeader, bands);
    return lightnessOf(xyz);
}

}  // namespace

int clEYE_ONE_PRO::MultiMeasurement() {
    PlanPasses(generation_.knownCharts);
    // A record changed since the open may leave nothing to scan.
    if (passes < 1 || patchesPerPass < 1) fail("default");
    if (generation_.ownSegmentation && word(&MEASURE2STRUCT::OwnSegmentation) == 1 &&
        word(&MEASURE2STRUCT::PositionRecognition) == 0)
        return OwnSegmentationScan();
    return RecognisingScan();
}

bool clEYE_ONE_PRO::BeginStrips(bool ownSegmentation) {
    Log(1, multi_.c_str(), nullptr);
    PostStatusCode(pMeasure, MEASURE_STATUS_STARTED);
    FlushKey();
    Log(3, multi_.c_str(), "Set options");
    ScanOptions();
    if (ownSegmentation) SetOption("RecognitionKey", "RecognitionDisabled");
    if (stopped()) {
        PostThreadEndMessage(pMeasure, MEASURE_END_STOPPED);
        return false;
    }
    if (!calibratedMulti.load() && !simpleMode.load()) {
        PostStatusCode(pMeasure, MEASURE_STATUS_CALIBRATING);
        MultiCalibrate();
    }
    return true;
}

bool clEYE_ONE_PRO::ScanStrip() {
    if (!WaitKey()) {
        PostThreadEndMessage(pMeasure, MEASURE_END_STOPPED);
        return false;
    }
    KeyNotification();
    Log(3, multi_.c_str(), "trigger");
    TriggerMeasurement();
    PostStatusCode(pMeasure, MEASURE_STATUS_IDLE);
    Log(3, multi_.c_str(), "get sample");
    return true;
}

void clEYE_ONE_PRO::ReadFirstSample() {
    // Sample 0 must be there before anything else is asked of the scan.
    float values[kI1SpectrumBands];
    switch (pMeasure->Mode) {
        case 0:
        case 1:
        case 4:
            GetSpectrum(values, 0);
            break;
        case 2:
        case 3:
            GetTristimulus(values, 0);
            break;
        case 5:
        case 6:
            GetDensities(values, 0);
            break;
        default:
            fail("default");
    }
}

int clEYE_ONE_PRO::RecognisingScan() {
    if (!BeginStrips(false)) return framework::kEndReported;
    const int32_t toRead = pMeasure->NumOfPatchesToRead;
    const int lastCount = toRead % patchesPerPass != 0 ? toRead % patchesPerPass : patchesPerPass;
    bool alternateChart = !passesSpecified && toRead == kAlternateChartPatches;
    const bool references = word(&MEASURE2STRUCT::ReferencePatches) != 0;
    PostPassno(pMeasure, -passes);

    int32_t attempt = kAttemptFirst;
    int total = 0;
    for (int pass = 0; pass < passes;) {
        const bool dual = word(&MEASURE2STRUCT::DualScan) == 1;
        for (int scan = 0; scan < (dual ? 2 : 1); ++scan) {
            if (dual && scan == 0) {
                PostPassno(pMeasure, pass + 1);
                PostStatusCode(pMeasure, MEASURE_STATUS_SCAN_RIGHT);
                SetOption("ScanDirectionKey", "1");
                SetOption("IndicatorLedKey", "IndicatorLedWait4RightScan");
            } else if (dual) {
                PostStatusCode(pMeasure, MEASURE_STATUS_SCAN_LEFT);
                SetOption("ScanDirectionKey", "2");
                SetOption("IndicatorLedKey", "IndicatorLedWait4LeftScan");
            } else {
                SetOption("IndicatorLedKey", "IndicatorLedWait4Scan");
                PostStatusCode(pMeasure, attempt);
                PostPassno(pMeasure, pass + 1);
            }
            if (!ScanStrip()) return framework::kEndReported;
            if (generation_.succeededAfterEveryScan) {
                SetOption("IndicatorLedKey", "IndicatorLedSucceeded");
                Pause(kSucceededMs);
            }
            if (dual && scan == 1) {
                SetOption("IndicatorLedKey", "IndicatorLedSucceeded");
                Pause(kSucceededMs);
            }
        }

        ReadFirstSample();
        ChooseResultIndex();
        const int n = GetNumberOfAvailableSamples() - (references ? 2 : 0);
        PostScanspeedStatus(pMeasure, static_cast<uint32_t>(n));

        const bool last = pass == passes - 1;
        const bool wrong = last ? (n != lastCount && n != patchesPerPass) : n != patchesPerPass;
        if (wrong && alternateChart && n == 2 * patchesPerPass) {
            // The same chart printed in half as many strips.
            alternateChart = false;
            Log(2, multi_.c_str(), "alternate chart recognized");
            passes /= 2;
            patchesPerPass *= 2;
            PostPassno(pMeasure, -passes);
            PostPassno(pMeasure, pass + 1);
        } else if (wrong) {
            SetOption("IndicatorLedKey", "IndicatorLedFailed");
            Log(2, multi_.c_str(), "Number of patches mismatch");
            xBeepFailure();
            attempt = kAttemptRepeat;
            if (dual) PostStatusCode(pMeasure, MEASURE_STATUS_PASS_FAILED);
            Pause(kFailedMs);
            continue;
        }
        if (!generation_.succeededAfterEveryScan) {
            SetOption("IndicatorLedKey", "IndicatorLedSucceeded");
            Pause(kSucceededMs);
        }
        total += n;
        DeliverRecognised(n, total);
        attempt = kAttemptFirst;
        PostPassEnd(pMeasure, static_cast<uint32_t>(patchesPerPass));
        ++pass;
    }
    return MEASURE_END_DONE;
}

void clEYE_ONE_PRO::DeliverRecognised(int n, int total) {
    const uint32_t mode = pMeasure->Mode;
    if (!generation_.densityStrips && mode != 2 && mode != 3 && mode != 4) fail("default");
    if (mode <= 1 || mode == 5 || mode == 6) {
        xBeepSuccess(framework::SuccessBeep::Immediate);
        DeliverDensities(n, multi_.c_str());
        return;
    }
    if (mode != 2 && mode != 3 && mode != 4) fail("default");
    const bool spectra = mode == 4;
    xBeepSuccess(framework::SuccessBeep::Immediate);

    // Which sample is patch i: past the first reference, backwards when the
    // strip was drawn from its light end, or reversed on the host's request.
    bool backwards = false;
    const bool references = word(&MEASURE2STRUCT::ReferencePatches) != 0;
    if (references) {
        double first = 0, last = 0;
        if (spectra) {
            float s[kI1SpectrumBands];
            GetSpectrum(s, 0);
            first = lightnessOfSpectrum(s);
            GetSpectrum(s, static_cast<uint32_t>(n + 1));
            last = lightnessOfSpectrum(s);
        } else {
            float v[3];
            GetTristimulus(v, 0);
            const double a[3] = {v[0], v[1], v[2]};
            GetTristimulus(v, static_cast<uint32_t>(n + 1));
            const double b[3] = {v[0], v[1], v[2]};
            first = lightnessOf(a);
            last = lightnessOf(b);
        }
        backwards = word(&MEASURE2STRUCT::DirectionDetection) == 1 && first > last;
    } else {
        backwards =
            word(&MEASURE2STRUCT::ReverseOrder) == 1 && word(&MEASURE2STRUCT::PositionRecognition) == 1;
    }
    auto sampleOf = [&](int i) {
        if (references) return static_cast<uint32_t>(backwards ? n - i : i + 1);
        return static_cast<uint32_t>(backwards ? n - 1 - i : i);
    };

    uint8_t* block = GetResultBlock(pMeasure);
    for (int i = 0; i < n; ++i) WriteSample(block, static_cast<uint64_t>(i), sampleOf(i), spectra);
    // The last strip may hold more patches than the chart has left.
    int count = n;
    if (total > pMeasure->NumOfPatchesToRead) count -= total - pMeasure->NumOfPatchesToRead;
    count = std::max(count, 0);
    if (spectra)
        framework::setSpectralCount(block, static_cast<uint64_t>(count));
    else
        framework::setTripleCount(block, static_cast<uint64_t>(count));
    PostMeasureData(pMeasure, 0, deliveredResult(block));
}

int clEYE_ONE_PRO::OwnSegmentationScan() {
    if (!BeginStrips(true)) return framework::kEndReported;
    const uint32_t mode = pMeasure->Mode;
    const bool references = word(&MEASURE2STRUCT::ReferencePatches) != 0;
    PostPassno(pMeasure, -passes);

    int32_t attempt = kAttemptFirst;
    for (int pass = 0; pass < passes;) {
        SetOption("IndicatorLedKey", "IndicatorLedWait4Scan");
        PostStatusCode(pMeasure, attempt);
        PostPassno(pMeasure, pass + 1);
        if (!ScanStrip()) return framework::kEndReported;

        ReadFirstSample();
        ChooseOwnSegmentationResultIndex();
        const int raw = std::min(GetNumberOfAvailableSamples(), kMaxRawSamples);

        if (mode <= 1 || mode == 5 || mode == 6) {
            // Density hosts take every raw sample.
            SetOption("IndicatorLedKey", "IndicatorLedSucceeded");
            Pause(kSucceededMs);
            xBeepSuccess(framework::SuccessBeep::Immediate);
            // More raw samples than the record has slots left are cut to
            // the slots.
            const int left = MEASURE_DENSITY_SLOTS - static_cast<int>(std::min<uint32_t>(
                                                         pMeasure->NumOfMeasurements, MEASURE_DENSITY_SLOTS));
            DeliverDensities(std::min(raw, left), multi_.c_str());
        } else {
            const int expected = patchesPerPass + (references ? 2 : 0);
            Segmentation found;
            if (mode == 4) {
                std::vector<Spectrum36> samples(static_cast<size_t>(std::max(raw, 0)));
                for (int i = 0; i < raw; ++i) {
                    float s[kI1SpectrumBands];
                    GetSpectrum(s, static_cast<uint32_t>(i));
                    std::copy(s, s + kI1SpectrumBands, samples[static_cast<size_t>(i)].begin());
                }
                found = segmentSpectra(samples, expected);
            } else {
                std::vector<Tristimulus> samples(static_cast<size_t>(std::max(raw, 0)));
                for (int i = 0; i < raw; ++i) {
                    float v[3];
                    GetTristimulus(v, static_cast<uint32_t>(i));
                    samples[static_cast<size_t>(i)] = {v[0], v[1], v[2]};
                }
                found = segmentTristimulus(samples, expected);
            }
            if (found.count - (references ? 2 : 0) != patchesPerPass) {
                SetOption("IndicatorLedKey", "IndicatorLedFailed");
                Log(2, multi_.c_str(), "Number of patches mismatch");
                xBeepFailure();
                attempt = kAttemptRepeat;
                Pause(kFailedMs);
                continue;
            }
            SetOption("IndicatorLedKey", "IndicatorLedSucceeded");
            Pause(kSucceededMs);
            DeliverSegmented(found.patches);
        }
        attempt = kAttemptFirst;
        PostPassEnd(pMeasure, static_cast<uint32_t>(patchesPerPass));
        ++pass;
    }
    return MEASURE_END_DONE;
}

void clEYE_ONE_PRO::DeliverSegmented(const std::vector<SegmentedPatch>& segmented) {
    std::vector<SegmentedPatch> patches = segmented;
    if (word(&MEASURE2STRUCT::ReferencePatches) != 0 && patches.size() >= 2) {
        const bool backwards =
            word(&MEASURE2STRUCT::DirectionDetection) == 1 &&
            lightnessOf(patches.front().xyz.data()) > lightnessOf(patches.back().xyz.data());
        patches = std::vector<SegmentedPatch>(patches.begin() + 1, patches.end() - 1);
        if (backwards) std::reverse(patches.begin(), patches.end());
    }
    uint8_t* block = GetResultBlock(pMeasure);
    const bool spectra = pMeasure->Mode == 4;
    for (size_t i = 0; i < patches.size(); ++i) {
        if (spectra)
            writeSpectrum(block, i, patches[i].spectrum.data());
        else
            writeTriple(block, i, patches[i].xyz[0], patches[i].xyz[1], patches[i].xyz[2]);
    }
    if (spectra)
        framework::setSpectralCount(block, patches.size());
    else
        framework::setTripleCount(block, patches.size());
    xBeepSuccess(framework::SuccessBeep::Immediate);
    PostMeasureData(pMeasure, 0, deliveredResult(block));
}

}  // namespace measure::i1pro
