#include "compare.h"

#include <algorithm>
#include <numeric>
#include <unordered_map>

namespace cli {
namespace {

// Pairs by SAMPLE_ID when both files have it, the reference's are unique and
// every measured one is among them; otherwise nothing is paired.
bool pairById(const MeasurementFile& reference, const MeasurementFile& measured, Comparison& out) {
    if (!reference.hasSampleId() || !measured.hasSampleId()) return false;
    std::unordered_map<std::string, int32_t> index;
    index.reserve(static_cast<size_t>(reference.patches()));
    for (int32_t p = 0; p < reference.patches(); ++p)
        if (!index.emplace(reference.sampleId(p), p).second) {
            out.warnings.push_back(reference.about("SAMPLE_ID " + reference.sampleId(p) +
                                                   " names two patches; patches are paired by position"));
            return false;
        }
    std::vector<PatchPair> pairs(static_cast<size_t>(measured.patches()));
    size_t missing = 0;
    std::string firstMissing;
    for (int32_t p = 0; p < measured.patches(); ++p) {
        const auto it = index.find(measured.sampleId(p));
        if (it == index.end()) {
            if (missing++ == 0) firstMissing = measured.sampleId(p);
            continue;
        }
        pairs[static_cast<size_t>(p)].reference = it->second;
        pairs[static_cast<size_t>(p)].measured = p;
    }
    if (missing != 0) {
        out.warnings.push_back(measured.about(std::to_string(missing) + " SAMPLE_IDs (first " + firstMissing +
                                              ") are not in " + reference.path() +
                                              "; patches are paired by position"));
        return false;
    }
    if (measured.patches() != reference.patches())
        out.warnings.push_back(reference.about(std::to_string(reference.patches() - measured.patches()) +
                                               " of its patches were not measured"));
    out.pairs = std::move(pairs);
    out.byId = true;
    return true;
}

void pairByPosition(const MeasurementFile& reference, const MeasurementFile& measured, Comparison& out) {
    const int32_t n = std::min(reference.patches(), measured.patches());
    if (reference.patches() != measured.patches())
        out.warnings.push_back("the files have " + std::to_string(reference.patches()) + " and " +
                               std::to_string(measured.patches()) + " patches; the first " +
                               std::to_string(n) + " are compared by position");
    out.pairs.resize(static_cast<size_t>(n));
    for (int32_t p = 0; p < n; ++p)
        out.pairs[static_cast<size_t>(p)].reference = out.pairs[static_cast<size_t>(p)].measured = p;
}

// Linear interpolation between the ranks around (n - 1) p of sorted values.
double percentile(const std::vector<double>& sorted, double p) {
    const double rank = p * static_cast<double>(sorted.size() - 1);
    const auto below = static_cast<size_t>(rank);
    if (below + 1 >= sorted.size()) return sorted.back();
    return sorted[below] + (rank - static_cast<double>(below)) * (sorted[below + 1] - sorted[below]);
}

}  // namespace

bool compareFiles(const MeasurementFile& reference, const MeasurementFile& measured, Comparison& out,
                  std::string& problem) {
    out = Comparison{};
    if (!pairById(reference, measured, out)) pairByPosition(reference, measured, out);
    for (PatchPair& pair : out.pairs) {
        if (!reference.lab(pair.reference, pair.referenceLab, problem) ||
            !measured.lab(pair.measured, pair.measuredLab, problem))
            return false;
        const auto& r = pair.referenceLab;
        const auto& m = pair.measuredLab;
        pair.deltaE76 = DeltaE76(r[0], r[1], r[2], m[0], m[1], m[2]);
        pair.deltaE2000 = DeltaE2000(r[0], r[1], r[2], m[0], m[1], m[2]);
    }
    return true;
}

Statistics statisticsOf(std::vector<double> values) {
    Statistics s;
    if (values.empty()) return s;
    std::sort(values.begin(), values.end());
    s.average = std::accumulate(values.begin(), values.end(), 0.0) / static_cast<double>(values.size());
    s.median = percentile(values, 0.5);
    s.percentile95 = percentile(values, 0.95);
    s.maximum = values.back();
    return s;
}

std::vector<size_t> worstPairs(const std::vector<PatchPair>& pairs, size_t count) {
    std::vector<size_t> order(pairs.size());
    std::iota(order.begin(), order.end(), size_t{0});
    count = std::min(count, order.size());
    std::partial_sort(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(count), order.end(),
                      [&](size_t a, size_t b) {
                          return pairs[a].deltaE2000 != pairs[b].deltaE2000
                                     ? pairs[a].deltaE2000 > pairs[b].deltaE2000
                                     : a < b;
                      });
    order.resize(count);
    return order;
}

}  // namespace cli
