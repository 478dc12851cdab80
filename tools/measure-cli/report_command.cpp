// report: an HTML page of a measurement file, optionally against a reference.
#include <cstdio>

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
    int status = kExitOk;
    const auto files = inputAndOutput(command, opts, ".html", status);
    if (!files) return status;
    const std::string& output = files->output;
    const ReportOutcome outcome = writeReport(files->input, opts.value("--reference").value_or(""), output);
    if (!outcome.ok) return fail(command, outcome.problem);
    std::printf("Report of %zu patches: %s\n", outcome.patches, output.c_str());
    return kExitOk;
}

}  // namespace cli
