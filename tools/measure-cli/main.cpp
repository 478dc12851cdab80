// measure-cli: the reference host. It uses only the public header and the
// shared library, exactly as a third-party host would.
#include <cstdio>
#include <cstring>
#include <string>

#include <measure/measure.h>

namespace {

std::string modeNames(const ModeEntry* modes) {
    std::string text;
    for (const ModeEntry* m = modes; m != nullptr && m->mode != 0xFFFFFFFFu; ++m) {
        if (!text.empty()) text += ", ";
        text += m->pszName;
    }
    return text.empty() ? "-" : text;
}

int listInstruments() {
    std::printf("%-5s %-34s %-34s %-15s %s\n", "ID", "Name", "Full name", "Maker", "Modes");
    for (const InstrumentDescriptor* row = GetNextInstrument(nullptr); row != nullptr;
         row = GetNextInstrument(row))
        std::printf("%-5u %-34s %-34s %-15s %s\n", row->ID, row->pszName, row->pszFullName,
                    row->pszManufacturer, modeNames(row->pModeList).c_str());
    return 0;
}

void usage() {
    std::puts(
        "usage: measure-cli <command> [options]\n\ncommands:\n  list      the instrument registry\n  demo    "
        "  the built-in demonstration");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        usage();
        return argc < 2 ? 1 : 0;
    }
    const std::string command = argv[1];
    if (command == "list" || command == "demo") return listInstruments();
    std::fprintf(stderr, "measure-cli: unknown command '%s' (try --help)\n", argv[1]);
    return 1;
}
