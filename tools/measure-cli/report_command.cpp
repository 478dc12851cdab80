// report: an HTML page of a measurement file, optionally against a reference.
#include <cstdio>
#include <filesystem>

#include "commands.h"
#include "options.h"
#include "report.h"

namespace cli {

int runReport(int argc, char** argv, int first) {
    const char* command = "report";
    const Options opts(argc, argv, first, {{"--output", "-o", true}, {"--reference", "", true}});
    if (auto end =
            commandPreamble(command, opts,
                            "usage: measure-cli report MEASURED [--reference REFERENCE] [-o REPORT.html]\n"
                            "\n"
                            "Writes one self-contained HTML page: the patches as swatches (sRGB from their\n"
                            "L*a*b*, those outside sRGB marked), the reflectance curves of a spectral file\n"
                            "(hover or click a patch to pick out its curve) and a table of the values.\n"
                            "With a reference each swatch is split into reference and measured colour and\n"
                            "marked by its CIEDE2000 difference.\n"
                            "  --reference FILE    the reference file (patches paired as by compare)\n"
                            "  -o, --output FILE   the page (default: MEASURED with .html added)",
                            true))
        return *end;
    if (opts.positional().size() != 1) return fail(command, "give exactly one measurement file");
    const std::string input = opts.positional()[0];
    const std::string output = opts.value("--output").value_or(input + ".html");
    std::error_code ec;
    if (std::filesystem::equivalent(input, output, ec))
        return fail(command, "the report would overwrite the measurement file");
    const ReportOutcome outcome = writeReport(input, opts.value("--reference").value_or(""), output);
    if (!outcome.ok) return fail(command, outcome.problem);
    std::printf("Report of %zu patches: %s\n", outcome.patches, output.c_str());
    return kExitOk;
}

}  // namespace cli
