// fd9-terminal-emulator: the FD-9 terminal on loopback for hands-on use with
// measure-cli. It answers discovery datagrams on --discovery-port and the
// terminal's requests on --http-port, with a result of --patches patches for
// every chart identifier given with --chart.
//
//   fd9-terminal-emulator --chart ABCDE12345 --patches 24 &
//   MEASURE_FD9_DISCOVERY=127.0.0.1:51005 MEASURE_FD9_TERMINAL_PORT=8800
//       measure-cli measure --instrument 42 --chart-id ABCDE12345 --patches 24 -o fd9.txt
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "konica/terminal_emulator.h"

namespace {

volatile std::sig_atomic_t gStop = 0;

void onSignal(int) {
    gStop = 1;
}

int usage() {
    std::fprintf(stderr,
                 "usage: fd9-terminal-emulator [--discovery-port N] [--http-port N] [--patches N] "
                 "[--chart ID]... [--after-listings N]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    namespace kt = measure::emu::konica;
    kt::TerminalEmulator::Options options;
    uint16_t discoveryPort = 51005, httpPort = 8800;
    std::vector<std::string> charts;
    int afterListings = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc) return usage();
        const char* value = argv[++i];
        if (arg == "--discovery-port")
            discoveryPort = static_cast<uint16_t>(std::atoi(value));
        else if (arg == "--http-port")
            httpPort = static_cast<uint16_t>(std::atoi(value));
        else if (arg == "--patches")
            options.patches = std::atoi(value);
        else if (arg == "--chart")
            charts.emplace_back(value);
        else if (arg == "--after-listings")
            afterListings = std::atoi(value);
        else
            return usage();
    }
    kt::TerminalEmulator terminal(options);
    for (const auto& chart : charts) {
        kt::ScriptedResult script;
        script.listingsBefore = afterListings;
        terminal.addResult(chart, script);
    }
    if (!terminal.start(discoveryPort, httpPort)) {
        std::fprintf(stderr, "fd9-terminal-emulator: cannot bind 127.0.0.1:%u (UDP) and :%u (TCP)\n",
                     discoveryPort, httpPort);
        return 1;
    }
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::printf("FD-9 terminal on 127.0.0.1: discovery %u, requests %u\n", terminal.discoveryPort(),
                terminal.httpPort());
    std::fflush(stdout);
    while (gStop == 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    terminal.stop();
    return 0;
}
