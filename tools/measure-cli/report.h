// The HTML report of a measurement file: one self-contained page (its style
// and its few lines of script inline, nothing fetched) with the patches as a
// grid of swatches, their reflectance curves drawn as SVG when the file has
// spectra, and a table of the values. With a reference file each swatch is
// split into reference and measured colour and marked by its CIEDE2000
// difference.
#pragma once

#include <string>

namespace cli {

struct ReportOutcome {
    bool ok = false;
    std::string problem;  // one line: "<file>: line <n>: <what>"
    size_t patches = 0;
    size_t outOfGamut = 0;
};

// `reference` may be empty.
ReportOutcome writeReport(const std::string& measured, const std::string& reference,
                          const std::string& output);

}  // namespace cli
