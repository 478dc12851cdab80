// convert: CGATS in, XYZ and L*a*b* (and densities from spectra) out.
#include <cstdio>

#include "commands.h"
#include "convert.h"
#include "options.h"

namespace cli {

int runConvert(int argc, char** argv, int first) {
    const char* command = "convert";
    const Options opts(argc, argv, first, {{"--output", "-o", true}});
    if (auto end = commandPreamble(
            command, opts,
            "usage: measure-cli convert INPUT [-o OUTPUT]\n"
            "\n"
            "Reads any CGATS file and writes SAMPLE_ID (and SAMPLE_NAME), the device values\n"
            "(CMYK_*, RGB_*, nCLR_*) unchanged, then XYZ_X XYZ_Y XYZ_Z and LAB_L LAB_A LAB_B\n"
            "per patch. With spectral fields the values are computed from the spectra (D50,\n"
            "2 degree observer) and Status E and Status T densities are added as D_E_RED,\n"
            "D_E_GREEN, D_E_BLUE, D_E_VIS and D_T_RED ... D_T_VIS. Otherwise the file's XYZ\n"
            "is taken (with its Lab, or Lab computed from it), or its Lab with XYZ computed\n"
            "for D50.\n"
            "  -o, --output FILE   the converted file (default: INPUT with .lab.txt added)",
            true))
        return *end;
    int status = kExitOk;
    const auto files = inputAndOutput(command, opts, ".lab.txt", status);
    if (!files) return status;
    const std::string& output = files->output;
    const ConvertOutcome outcome = convertCgats(files->input, output);
    if (!outcome.ok) return fail(command, outcome.problem);
    std::printf("Converted %zu patches from %s: %s\n", outcome.patches, outcome.from, output.c_str());
    return kExitOk;
}

}  // namespace cli
