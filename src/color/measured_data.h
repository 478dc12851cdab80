// The patches of a measured chart result (a CGATS text an instrument or its
// service wrote) in one delivery mode, as the chart readers deliver them.
// Never throws: a result that cannot be trusted is refused with a reason.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace measure::color {

// Results beyond this count are no chart a reader measures.
inline constexpr int kMaxMeasuredPatches = 1000000;

// A decimal count within [1, max]; "12abc", "-3", "1e9" and overflow are none.
bool parseDecimalCount(const char* text, int max, int& value);

// The patches of one mode (2 Lab, 3 XYZ, 4 spectral), at most `maxPatches`
// of them. Lab and XYZ give three values a patch, spectra 36 (380..730 nm, 0
// outside the file's bands). False, with the reason, when the file cannot be
// read, NUMBER_OF_SETS is missing, the mode's fields are missing
// (`missingFields` set, `total` already known), or a cell is not a number: a
// result the reader cannot trust is never delivered as zeros.
struct MeasuredPatches {
    int total = 0;  // NUMBER_OF_SETS of the file
    int count = 0;  // patches read: total, at most maxPatches
    int valuesPerPatch = 0;
    bool missingFields = false;
    std::vector<double> values;
};
bool readMeasuredData(const std::string& path, uint32_t mode, int maxPatches, MeasuredPatches& out,
                      std::string& why);

}  // namespace measure::color
