// The work of "measure-cli convert", separate from its command line so that
// the benchmark runs exactly what users run: read any CGATS file with the
// library's reader, compute or take XYZ and L*a*b* per patch (plus Status E
// and Status T densities from spectra), write a CGATS file.
#pragma once

#include <cstddef>
#include <string>

namespace cli {

struct ConvertOutcome {
    bool ok = false;
    std::string problem;  // one line: "<file>: line <n>: <what>" when the reader refused it
    size_t patches = 0;
    bool fromSpectra = false;
};

ConvertOutcome convertCgats(const std::string& input, const std::string& output);

}  // namespace cli
