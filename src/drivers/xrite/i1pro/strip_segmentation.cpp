#include "drivers/xrite/i1pro/strip_segmentation.h"

#include <cstdint>
#include <functional>

#include "color/spectral.h"
#include "core/delivery.h"
#include "measure/measure.h"

namespace measure::i1pro {
namespace {

// A candidate run holds at most this many samples.
constexpr size_t kMaxCandidate = 100;
// Start and shrink of the jump threshold, start and growth of the stability
// threshold, and the iteration limits of the search.
constexpr double kJumpStart = 10.0;
constexpr double kJumpStep = 1.0;
constexpr double kStableStart = 0.5;
constexpr double kStableStep = 0.2;
constexpr int kOuterIterations = 4;
constexpr int kInnerIterations = 10;
// A stable run must cover at least 1/13 of the samples one patch would get.
constexpr double kRunDivisor = 13.0;

struct Lab {
    double L, a, b;
};

Lab labOf(const Tristimulus& xyz) {
    Lab lab{};
    XYZToLab(xyz[0], xyz[1], xyz[2], &lab.L, &lab.a, &lab.b);
    return lab;
}

double difference(const Lab& p, const Lab& q) {
    return DeltaE76(p.L, p.a, p.b, q.L, q.a, q.b);
}

// Averages the samples of a candidate run; false when the run is too short
// or too long, or its mean is no colour (X, Y or Z not above 0).
using Averager = std::function<bool(const std::vector<size_t>& run, SegmentedPatch& out)>;

// Samples trimmed at each end of a run before averaging: the blended edges.
size_t trimOf(size_t m) {
    return m < 15 ? 1 : m < 19 ? 2 : 3;
}

bool trimmedRange(const std::vector<size_t>& run, size_t& first, size_t& last) {
    const size_t m = run.size();
    const size_t t = trimOf(m);
    if (m <= 2 * t || m > kMaxCandidate) return false;
    first = t;
    last = m - t;
    return true;
}

bool isColour(const Tristimulus& xyz) {
    return xyz[0] > 0 && xyz[1] > 0 && xyz[2] > 0;
}

// One walk over the samples with the jump threshold `jump` and the stability
// threshold `stable`; returns the patches found (at most `limit`).
std::vector<SegmentedPatch> walk(const std::vector<Lab>& lab, size_t minRun, double jump, double stableLimit,
                                 size_t limit, const Averager& average) {
    std::vector<SegmentedPatch> found;
    std::vector<size_t> run;
    run.reserve(kMaxCandidate);
    size_t runLength = 0;
    bool stable = false;
    bool closed = false;

    auto close = [&] {
        if (found.size() >= limit) return;
        SegmentedPatch patch;
        if (!average(run, patch)) return;
        patch.samples = static_cast<int>(run.size());
        found.push_back(patch);
    };
    auto append = [&](size_t i) {
        if (run.size() < kMaxCandidate) run.push_back(i);
    };

    for (size_t i = 2; i < lab.size(); ++i) {
        const double d = difference(lab[i - 1], lab[i]);
        if (d > jump) {
            // An edge: the run before it, if it settled, was a patch.
            if (stable && !closed) close();
            run.clear();
            runLength = 0;
            stable = closed = false;
            continue;
        }
        if (closed) continue;
        if (d < stableLimit && !stable) {
            append(i);
            if (++runLength > minRun) stable = true;
        } else if (d <= 2 * stableLimit) {
            append(i);
        } else {
            // A drift too large for the patch but no edge: the patch ends here.
            if (stable) {
                close();
                closed = true;
            }
            run.clear();
            runLength = 0;
        }
    }
    if (stable && !closed) close();
    return found;
}

Segmentation segment(const std::vector<Tristimulus>& xyz, int expected, const Averager& average) {
    Segmentation result;
    if (expected < 1 || xyz.size() < 3) return result;
    const size_t n = static_cast<size_t>(expected);
    const size_t limit = n + 2;  // the paper on both sides

    std::vector<Lab> lab;
    lab.reserve(xyz.size());
    for (const auto& v : xyz) lab.push_back(labOf(v));
    const auto minRun = static_cast<size_t>(static_cast<double>(xyz.size()) / (expected * kRunDivisor));

    std::vector<SegmentedPatch> found;
    bool success = false;
    double jump = kJumpStart;
    for (int outer = 0; outer < kOuterIterations && !success; ++outer) {
        double stableLimit = kStableStart;
        for (int inner = 0; inner < kInnerIterations; ++inner) {
            if (jump <= stableLimit) jump = stableLimit + 0.5;
            found = walk(lab, minRun, jump, stableLimit, limit, average);
            if (found.size() == limit) {
                success = true;
                break;
            }
            stableLimit += kStableStep;
        }
        jump -= kJumpStep;
        if (jump - kJumpStep < stableLimit) break;
    }
    if (!success) return result;

    // The first patch may not be a merge of two, and the paper after the
    // strip must be there, not the strip's last samples.
    double meanLength = 0;
    for (size_t i = 1; i <= n; ++i) meanLength += found[i].samples;
    meanLength /= static_cast<double>(n);
    if (found[1].samples > 2 * meanLength || found[n + 1].samples < meanLength / 2) return result;

    result.found = true;
    result.patches.assign(found.begin() + 1, found.begin() + 1 + static_cast<std::ptrdiff_t>(n));
    result.substrateDifference = difference(labOf(found[0].xyz), labOf(found[n + 1].xyz));
    if (result.substrateDifference < kSubstrateTolerance) result.count = expected;
    return result;
}

Tristimulus xyzOfSpectrum(const Spectrum36& spectrum) {
    Tristimulus xyz{};
    SpectrumToXYZ(xyz.data(), kSpectralHeader, spectrum.data());
    return xyz;
}

}  // namespace

Segmentation segmentTristimulus(const std::vector<Tristimulus>& samples, int expected) {
    const Averager average = [&](const std::vector<size_t>& run, SegmentedPatch& out) {
        size_t first = 0, last = 0;
        if (!trimmedRange(run, first, last)) return false;
        Tristimulus sum{};
        for (size_t k = first; k < last; ++k)
            for (int c = 0; c < 3; ++c) sum[c] += samples[run[k]][c];
        for (double& v : sum) v /= static_cast<double>(last - first);
        out.xyz = sum;
        return isColour(sum);
    };
    return segment(samples, expected, average);
}

Segmentation segmentSpectra(const std::vector<Spectrum36>& samples, int expected) {
    std::vector<Tristimulus> xyz;
    xyz.reserve(samples.size());
    for (const auto& s : samples) xyz.push_back(xyzOfSpectrum(s));
    const Averager average = [&](const std::vector<size_t>& run, SegmentedPatch& out) {
        size_t first = 0, last = 0;
        if (!trimmedRange(run, first, last)) return false;
        Spectrum36 sum{};
        for (size_t k = first; k < last; ++k)
            for (size_t band = 0; band < sum.size(); ++band) sum[band] += samples[run[k]][band];
        for (double& v : sum) v /= static_cast<double>(last - first);
        out.spectrum = sum;
        out.xyz = xyzOfSpectrum(sum);
        return isColour(out.xyz);
    };
    return segment(xyz, expected, average);
}

}  // namespace measure::i1pro
