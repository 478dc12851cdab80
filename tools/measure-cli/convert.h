// The work of "measure-cli convert", separate from its command line so that
// the benchmark runs exactly what users run: read any CGATS file with the
// library's reader, compute or take XYZ and L*a*b* per patch (plus Status E
// and Status T densities from spectra), write a CGATS file that keeps the
// sample identification and device values of the source first.
#pragma once

#include <cstddef>
#include <string>

namespace cli {

struct ConvertOutcome {
    bool ok = false;
    std::string problem;  // one line: "<file>: line <n>: <what>"
    size_t patches = 0;
    const char* from = "";  // "spectra", "XYZ" or "Lab"
};

ConvertOutcome convertCgats(const std::string& input, const std::string& output);

// True for the fields a profiling tool needs beside the colours: device
// values (CMYK_*, RGB_*, and the n-colour channels such as 6CLR_3).
bool isDeviceField(const std::string& name);

}  // namespace cli
