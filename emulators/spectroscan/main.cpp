// spectroscan-emulator: a SpectroScan table on a pseudo-terminal for hands-on
// use. Prints the device path to point MEASURE_COM1 (or COM2..4) at, then
// answers until interrupted. Enter on standard input presses the table's key.
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <thread>

#include "spectroscan/spectroscan_emulator.h"

namespace {

volatile std::sig_atomic_t gInterrupted = 0;
void onSignal(int) {
    gInterrupted = 1;
}

// Lines typed on standard input, counted by a reader thread that may stay
// blocked in its read until the program ends; the main thread presses the
// key once for each.
std::atomic<int> gKeyLines{0};

void usage() {
    std::puts(
        "usage: spectroscan-emulator [options]\n"
        "  --baud N          answer only at N baud (default: every rate)\n"
        "  --rows N          rows of the chart on the table (default 4)\n"
        "  --patches N       patches per row (default 6)\n"
        "  --origin X,Y      centre of the first patch, 0.1 mm (default 850,450)\n"
        "  --pitch X,Y       patch pitch, 0.1 mm (default 100,100)\n"
        "  --angle DEG       rotation of the sheet (default 0)\n"
        "  --auto-key N      press the table key by itself on the N-th poll (default 3; 0 off)\n"
        "  --digitize X,Y    a point the user digitises (repeatable, in order)\n"
        "  --link PATH       also make PATH a symbolic link to the device\n"
        "  --verbose         print every command and answer on stderr\n"
        "Enter on standard input presses the table's key.");
}

bool pair(const char* text, double& a, double& b) {
    return std::sscanf(text, "%lf,%lf", &a, &b) == 2;
}

}  // namespace

int main(int argc, char** argv) {
    namespace ss = measure::emu::spectroscan;
    ss::ChartLayout chart;
    int baud = 0, autoKey = 3;
    bool verbose = false;
    std::string link;
    std::vector<std::pair<int, int>> points;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        const auto need = [&] {
            if (value == nullptr) {
                std::fprintf(stderr, "spectroscan-emulator: %s needs a value\n", arg.c_str());
                std::exit(2);
            }
            ++i;
            return value;
        };
        double a = 0, b = 0;
        if (arg == "--help" || arg == "-h") {
            usage();
            return 0;
        } else if (arg == "--baud") {
            baud = std::atoi(need());
        } else if (arg == "--rows") {
            chart.rows = std::atoi(need());
        } else if (arg == "--patches") {
            chart.patches = std::atoi(need());
        } else if (arg == "--origin" && pair(need(), a, b)) {
            chart.originX = a, chart.originY = b;
        } else if (arg == "--pitch" && pair(need(), a, b)) {
            chart.pitchX = a, chart.pitchY = b;
        } else if (arg == "--angle") {
            chart.angleDeg = std::atof(need());
        } else if (arg == "--auto-key") {
            autoKey = std::atoi(need());
        } else if (arg == "--digitize" && pair(need(), a, b)) {
            points.emplace_back(static_cast<int>(a), static_cast<int>(b));
        } else if (arg == "--link") {
            link = need();
        } else if (arg == "--verbose") {
            verbose = true;
        } else {
            std::fprintf(stderr, "spectroscan-emulator: bad option '%s' (try --help)\n", arg.c_str());
            return 2;
        }
    }
    if (chart.rows < 1 || chart.patches < 1 || chart.pitchX <= 0 || chart.pitchY <= 0) {
        std::fprintf(stderr, "spectroscan-emulator: the chart needs rows, patches and a pitch above 0\n");
        return 2;
    }

    ss::Emulator emulator(chart);
    if (verbose)
        emulator.setMonitor([](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); });
    emulator.setAnswerBaud(baud);
    emulator.setAutoKey(autoKey);
    for (auto [x, y] : points) emulator.queueDigitizedPoint(x, y);
    if (!emulator.start()) {
        std::fprintf(stderr, "spectroscan-emulator: no pseudo-terminal: %s\n", std::strerror(errno));
        return 1;
    }
    if (!link.empty()) {
        std::error_code ec;
        std::filesystem::remove(link, ec);
        std::filesystem::create_symlink(emulator.path(), link, ec);
        if (ec) {
            std::fprintf(stderr, "spectroscan-emulator: cannot link %s: %s\n", link.c_str(),
                         ec.message().c_str());
            return 1;
        }
    }
    std::printf("%s\n", emulator.path().c_str());
    std::fflush(stdout);

    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::thread([] {
        std::string line;
        while (std::getline(std::cin, line)) ++gKeyLines;
    }).detach();
    int pressed = 0;
    while (gInterrupted == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        for (; pressed < gKeyLines.load(); ++pressed) {
            emulator.pressKey();
            std::fprintf(stderr, "key pressed\n");
        }
    }
    emulator.stop();
    if (!link.empty()) {
        std::error_code ec;
        std::filesystem::remove(link, ec);
    }
    return 0;
}
