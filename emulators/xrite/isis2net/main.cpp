// isis2net-emulator: Ethernet i1iSis readers on loopback for hands-on use.
// It prints the two settings that point the driver at it; a virtual user
// finishes a job of whichever chart the driver asks for after a few polls.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "xrite/isis2net/isis2net_emulator.h"

namespace {

volatile std::sig_atomic_t gInterrupted = 0;
void onSignal(int) {
    gInterrupted = 1;
}

void usage() {
    std::puts(
        "usage: isis2net-emulator [options]\n"
        "  --readers N        readers on 127.0.0.2, 127.0.0.3, ... (default 1)\n"
        "  --discovery-port N UDP port of the discovery answers on 127.0.0.1 (default 15353)\n"
        "  --port N           the readers' TCP port (default 18083)\n"
        "  --rows N           rows of the measured chart (default 6)\n"
        "  --columns N        columns of the measured chart (default 8)\n"
        "  --polls N          job polls before the user's job is finished (default 3)");
}

}  // namespace

int main(int argc, char** argv) {
    namespace emu = measure::emu::isis2net;
    emu::Settings settings;
    settings.discoveryPort = 15353;
    settings.tcpPort = 18083;
    int readers = 1;
    emu::ReaderSettings reader;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        const int value = hasValue ? std::atoi(argv[i + 1]) : 0;
        if (arg == "--readers" && hasValue) {
            readers = value;
        } else if (arg == "--discovery-port" && hasValue) {
            settings.discoveryPort = static_cast<uint16_t>(value);
        } else if (arg == "--port" && hasValue) {
            settings.tcpPort = static_cast<uint16_t>(value);
        } else if (arg == "--rows" && hasValue) {
            reader.rows = value;
        } else if (arg == "--columns" && hasValue) {
            reader.columns = value;
        } else if (arg == "--polls" && hasValue) {
            reader.finishAfterPolls = value;
        } else {
            usage();
            return arg == "--help" ? 0 : 2;
        }
        ++i;
    }
    if (readers < 1 || readers > 200 || reader.rows < 1 || reader.rows > 255 || reader.columns < 1 ||
        reader.columns > 255) {
        usage();
        return 2;
    }
    settings.readers.clear();
    for (int r = 0; r < readers; ++r) {
        reader.address = "127.0.0." + std::to_string(2 + r);
        reader.serial = std::to_string(2081234 + r);
        reader.name = "i1iSis2 NET " + std::to_string(r + 1);
        settings.readers.push_back(reader);
    }
    emu::Isis2NetEmulator emulator(settings);
    if (!emulator.start()) {
        std::fprintf(stderr, "isis2net-emulator: cannot bind the ports\n");
        return 1;
    }
    std::printf("MEASURE_ISIS2NET_DISCOVERY=127.0.0.1:%u\nMEASURE_ISIS2NET_PORT=%u\n",
                emulator.discoveryPort(), emulator.tcpPort());
    std::fflush(stdout);
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    while (gInterrupted == 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    emulator.stop();
    return 0;
}
