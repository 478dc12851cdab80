// ricoh-adjuster-emulator: the Ricoh Auto Color Adjuster's REST service on a
// loopback HTTPS port for hands-on use. Prints the port, optionally writes
// the matching chart definition, then answers until interrupted.
// With --control it serves adjusters on request instead, for tests that run
// where the adjuster cannot (adjuster_control.h).
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include <unistd.h>

#include "ricoh/adjuster_control.h"
#include "ricoh/adjuster_emulator.h"

namespace {

volatile std::sig_atomic_t gInterrupted = 0;
void onSignal(int) {
    gInterrupted = 1;
}

void usage() {
    std::puts(
        "usage: ricoh-adjuster-emulator [options]\n"
        "  --sheets N                 sheets of the chart (default 2)\n"
        "  --patches N                patches of the chart (default 24)\n"
        "  --credentials USER:PASS    the accepted credentials (default user:secret)\n"
        "  --polls-per-sheet N        SCANNING answers per sheet (default 1)\n"
        "  --chart-definition PATH    write the matching chart definition to PATH\n"
        "Prints the port; answers on https://127.0.0.1:PORT/raca/v1/ until interrupted.\n"
        "usage: ricoh-adjuster-emulator --control FOLDER\n"
        "  serves adjusters to tests over a loopback control channel; writes its port\n"
        "  to FOLDER/port and the adjusters' certificates under FOLDER.");
}

}  // namespace

int main(int argc, char** argv) {
    namespace rc = measure::emu::ricoh;
    rc::AdjusterEmulator::Options options;
    rc::JobScript script;
    std::string chartPath;
    if (argc == 3 && std::string(argv[1]) == "--control") {
        const std::string folder = argv[2];
        if (rc::control::serve(folder, folder + "/port")) return 0;
        std::fprintf(stderr, "ricoh-adjuster-emulator: cannot serve the control channel\n");
        return 1;
    }
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--sheets" && hasValue) {
            options.sheets = std::atoi(argv[++i]);
        } else if (arg == "--patches" && hasValue) {
            options.patches = std::atoi(argv[++i]);
        } else if (arg == "--credentials" && hasValue) {
            options.credentials = argv[++i];
        } else if (arg == "--polls-per-sheet" && hasValue) {
            script.pollsPerSheet = std::atoi(argv[++i]);
        } else if (arg == "--chart-definition" && hasValue) {
            chartPath = argv[++i];
        } else {
            usage();
            return arg == "--help" ? 0 : 2;
        }
    }
    if (options.sheets < 1 || options.patches < 1) {
        usage();
        return 2;
    }
    const auto folder =
        std::filesystem::temp_directory_path() / ("ricoh-adjuster-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    rc::AdjusterEmulator emulator(folder.string(), options);
    emulator.setScript(script);
    if (!chartPath.empty()) {
        std::ofstream out(chartPath, std::ios::binary | std::ios::trunc);
        out << emulator.chartDefinition();
        if (!out) {
            std::fprintf(stderr, "cannot write %s\n", chartPath.c_str());
            return 1;
        }
    }
    if (!emulator.start()) {
        std::fprintf(stderr, "cannot start the HTTPS server\n");
        return 1;
    }
    std::printf("%d\n", emulator.port());
    std::fflush(stdout);
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    while (gInterrupted == 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    emulator.stop();
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return 0;
}
