// measure-cli: the reference host. It uses only the public header and the
// shared library, exactly as a third-party host would.
#include <cstdio>
#include <cstring>
#include <string>

#include "commands.h"
#include "console.h"

namespace {

void usage(std::FILE* out) {
    std::fputs(
        "usage: measure-cli <command> [options]   (measure-cli <command> --help for details)\n"
        "\n"
        "commands:\n"
        "  list       the instruments this library knows\n"
        "  info       one instrument in full\n"
        "  calibrate  open an instrument and calibrate it on its white reference\n"
        "  measure    measure patches, strips or a chart and write a CGATS file\n"
        "  convert    turn a CGATS file with spectra, XYZ or L*a*b* into XYZ and L*a*b*\n"
        "  compare    colour differences (CIEDE2000, CIE76) of a measurement from its reference\n"
        "  report     an HTML page of a measurement: swatches, values, spectral curves\n"
        "  demo       a complete measurement with the simulated instrument\n",
        out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argv[1] == nullptr) {
        usage(stderr);
        return cli::kExitFailure;
    }
    const std::string command = argv[1];
    if (command == "--help" || command == "-h" || command == "help") {
        usage(stdout);
        return cli::kExitOk;
    }
    cli::installInterruptHandler();
    if (command == "list") return cli::runList(argc, argv, 2);
    if (command == "info") return cli::runInfo(argc, argv, 2);
    if (command == "calibrate") return cli::runCalibrate(argc, argv, 2);
    if (command == "measure") return cli::runMeasure(argc, argv, 2);
    if (command == "convert") return cli::runConvert(argc, argv, 2);
    if (command == "compare") return cli::runCompare(argc, argv, 2);
    if (command == "report") return cli::runReport(argc, argv, 2);
    if (command == "demo") return cli::runDemo(argc, argv, 2);
    std::fprintf(stderr, "measure-cli: unknown command '%s' (try measure-cli --help)\n", command.c_str());
    return cli::kExitFailure;
}
