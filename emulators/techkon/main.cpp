// techkon-service-emulator: the TECHKON measurement service with a SpectroDens
// on 127.0.0.1 for hands-on use. A virtual user scans a strip or takes a spot
// a moment after the driver has set the instrument up, patch after patch
// through the chart, until the program is interrupted.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "techkon/techkon_service.h"

namespace {

volatile std::sig_atomic_t gInterrupted = 0;
void onSignal(int) {
    gInterrupted = 1;
}

void usage() {
    std::puts(
        "usage: techkon-service-emulator [options]\n"
        "  --port N           TCP port on 127.0.0.1 (default 20102)\n"
        "  --chart N          patches on the chart (default 48)\n"
        "  --strip N          patches the user scans per strip (default 10)\n"
        "  --total N          patches of a job: the last strip stops there (default 20)\n"
        "  --delay MS         how long the user takes to measure (default 1500)\n"
        "  --detached         the SpectroDens is not plugged in\n"
        "  --decimal-comma    values written as 12,5\n"
        "  --crlf             values one per line rather than tab separated\n"
        "  --lamp-error       calibrations fail with a lamp error\n"
        "  --verbose          print every message on stderr");
}

}  // namespace

int main(int argc, char** argv) {
    namespace tk = measure::emu::techkon;
    tk::Settings settings;
    int port = 20102, chartSize = 48, strip = 10, total = 20, delay = 1500;
    bool verbose = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto need = [&] {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "techkon-service-emulator: %s needs a value\n", arg.c_str());
                std::exit(2);
            }
            return std::atoi(argv[++i]);
        };
        if (arg == "--help" || arg == "-h") {
            usage();
            return 0;
        } else if (arg == "--port") {
            port = need();
        } else if (arg == "--chart") {
            chartSize = need();
        } else if (arg == "--strip") {
            strip = need();
        } else if (arg == "--total") {
            total = need();
        } else if (arg == "--delay") {
            delay = need();
        } else if (arg == "--detached") {
            settings.attached = false;
        } else if (arg == "--decimal-comma") {
            settings.decimalComma = true;
        } else if (arg == "--crlf") {
            settings.crlfSeparators = true;
        } else if (arg == "--lamp-error") {
            settings.calibration = "LampError";
        } else if (arg == "--verbose") {
            verbose = true;
        } else {
            std::fprintf(stderr, "techkon-service-emulator: bad option '%s' (try --help)\n", arg.c_str());
            return 2;
        }
    }
    if (port < 1 || port > 65535 || chartSize < 1 || strip < 1 || delay < 0) {
        std::fprintf(stderr, "techkon-service-emulator: port, chart, strip and delay must be positive\n");
        return 2;
    }

    tk::Service service(tk::Chart(chartSize), settings);
    if (verbose)
        service.setMonitor([](const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); });
    service.setAutoUser(strip, delay, total);
    if (!service.start(static_cast<uint16_t>(port))) {
        std::fprintf(stderr, "techkon-service-emulator: cannot listen on 127.0.0.1:%d\n", port);
        return 1;
    }
    std::printf("listening on 127.0.0.1:%u\n", static_cast<unsigned>(service.port()));
    std::fflush(stdout);

    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    while (gInterrupted == 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    service.stop();
    return 0;
}
