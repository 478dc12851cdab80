// Measured patches against their reference: paired by SAMPLE_ID when both
// files name their patches alike, else by position; per pair the CIE76 and
// CIEDE2000 differences of the two L*a*b* colours, and the statistics a
// print-quality check reports. Used by "compare" and by the report.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "measurement_file.h"

namespace cli {

struct PatchPair {
    int32_t reference = 0;  // patch index in the reference file
    int32_t measured = 0;   // patch index in the measured file
    std::array<double, 3> referenceLab{};
    std::array<double, 3> measuredLab{};
    double deltaE76 = 0.0;
    double deltaE2000 = 0.0;
};

struct Comparison {
    std::vector<PatchPair> pairs;  // in measured-file order
    bool byId = false;             // paired by SAMPLE_ID, else by position
    std::vector<std::string> warnings;
};

// False with `problem` set when a colour cannot be read.
bool compareFiles(const MeasurementFile& reference, const MeasurementFile& measured, Comparison& out,
                  std::string& problem);

struct Statistics {
    double average = 0.0;
    double median = 0.0;
    double percentile95 = 0.0;
    double maximum = 0.0;
};

// Of a non-empty list; percentiles interpolate between the two nearest
// ranks, (n - 1) p counted from the smallest.
Statistics statisticsOf(std::vector<double> values);

// Indexes into `pairs` of the `count` largest CIEDE2000 differences, largest first.
std::vector<size_t> worstPairs(const std::vector<PatchPair>& pairs, size_t count);

}  // namespace cli
