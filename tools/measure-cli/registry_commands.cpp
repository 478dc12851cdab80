// list and info: the registry as a host reads it, through the query exports;
// and what every command shares.
#include <cstdio>
#include <filesystem>
#include <string>

#include "commands.h"
#include "options.h"

namespace cli {

int fail(const char* command, const std::string& text) {
    std::fprintf(stderr, "measure-cli %s: %s\n", command, text.c_str());
    return kExitFailure;
}

std::optional<int> commandPreamble(const char* command, const Options& opts, const char* help,
                                   bool takesArguments) {
    if (opts.help()) {
        std::puts(help);
        return kExitOk;
    }
    if (!opts.ok()) return fail(command, opts.error());
    if (!takesArguments && !opts.positional().empty())
        return fail(command, "unexpected argument '" + opts.positional()[0] + "'");
    return std::nullopt;
}

std::optional<InputOutput> inputAndOutput(const char* command, const Options& opts, const char* suffix,
                                          int& status) {
    if (opts.positional().size() != 1) {
        status = fail(command, "give exactly one input file");
        return std::nullopt;
    }
    InputOutput files{opts.positional()[0], opts.value("--output").value_or(opts.positional()[0] + suffix)};
    std::error_code ec;
    if (std::filesystem::equivalent(files.input, files.output, ec)) {
        status = fail(command, "the output would overwrite the input");
        return std::nullopt;
    }
    return files;
}

const std::vector<ModeChoice>& modeChoices() {
    static const std::vector<ModeChoice> choices = {
        {"lab", MEASURE_MODE_CIE_LAB, "Cie Lab", false},
        {"xyz", MEASURE_MODE_CIE_XYZ, "Cie XYZ", false},
        {"spectral", MEASURE_MODE_SPECTRAL, "Spectral", false},
        {"status-e", MEASURE_MODE_STATUS_E, "Status E", true},
        {"status-t", MEASURE_MODE_STATUS_T, "Status T", true},
        {"din", MEASURE_MODE_DIN_16536, "DIN 16536", true},
        {"din-nb", MEASURE_MODE_DIN_16536_NARROW, "DIN 16536 Narrow", true},
    };
    return choices;
}

std::optional<ModeChoice> findMode(const std::string& option) {
    for (const ModeChoice& m : modeChoices())
        if (option == m.option) return m;
    return std::nullopt;
}

bool rowOffersMode(const InstrumentDescriptor& row, uint32_t mode) {
    for (const ModeEntry* m = row.pModeList; m != nullptr && m->mode != 0xFFFFFFFFu; ++m)
        if (m->mode == mode) return true;
    return false;
}

std::string modeList(const InstrumentDescriptor& row) {
    std::string text;
    for (const ModeEntry* m = row.pModeList; m != nullptr && m->mode != 0xFFFFFFFFu; ++m) {
        if (!text.empty()) text += ", ";
        text += m->pszName != nullptr ? m->pszName : "?";
    }
    return text.empty() ? "-" : text;
}

namespace {

const char* text(const char* s) {
    return s != nullptr ? s : "";
}

std::optional<uint32_t> parseId(const std::string& s) {
    const auto id = parseInteger(s, 1, 0xFFFFFFFE);
    if (!id) return std::nullopt;
    return static_cast<uint32_t>(*id);
}

// Rows whose driver has not been written yet answer every slot with the
// library's "not supported" entry. No row implements CancelStripePass, so a
// row whose Open is that same entry has no driver in this build.
bool rowHasDriver(const InstrumentDescriptor& row) {
    return row.pfnOpen != row.pfnCancelStripePass;
}

}  // namespace

int runList(int argc, char** argv, int first) {
    const Options opts(argc, argv, first, {{"--mode", "", true}});
    if (auto end = commandPreamble(
            "list", opts,
            "usage: measure-cli list [--mode N]\n\n"
            "Lists the instrument registry: ID, short name, full name, maker and modes.\n"
            "  --mode N   only the instruments offering mode number N (0 Status E, 1 Status T,\n"
            "             2 Cie Lab, 3 Cie XYZ, 4 Spectral, 5 DIN 16536, 6 DIN 16536 Narrow,\n"
            "             19 Emission Cie XYZ, 20 Emission Spectral)"))
        return *end;
    uint32_t mode = 0xFFFFFFFFu;
    if (auto m = opts.value("--mode")) {
        const auto parsed = parseInteger(*m, 0, 0xFFFFFFFE);
        if (!parsed) return fail("list", "--mode needs a mode number, not '" + *m + "'");
        mode = static_cast<uint32_t>(*parsed);
    }
    std::printf("%-5s %-6s %-34s %-34s %-15s %s\n", "ID", "Driver", "Name", "Full name", "Maker", "Modes");
    int rows = 0;
    bool missing = false;
    for (const InstrumentDescriptor* row = GetNextInstrumentByMode(nullptr, mode); row != nullptr;
         row = GetNextInstrumentByMode(row, mode)) {
        std::printf("%-5u %-6s %-34s %-34s %-15s %s\n", row->ID, rowHasDriver(*row) ? "yes" : "-",
                    text(row->pszName), text(row->pszFullName), text(row->pszManufacturer),
                    modeList(*row).c_str());
        missing = missing || !rowHasDriver(*row);
        ++rows;
    }
    if (rows == 0) std::printf("(no instrument offers mode %u)\n", mode);
    if (missing) std::printf("Driver -: not in this build yet; opening the instrument answers -1.\n");
    return kExitOk;
}

int runInfo(int argc, char** argv, int first) {
    const Options opts(argc, argv, first, {});
    if (auto end = commandPreamble("info", opts,
                                   "usage: measure-cli info ID\n\n"
                                   "Shows one registry row in full and the library's fixed answers to\n"
                                   "MustInsertPage, MustRegisterCorners and MustCalibrate for it.",
                                   true))
        return *end;
    if (opts.positional().size() != 1) return fail("info", "give exactly one instrument ID");
    const auto id = parseId(opts.positional()[0]);
    if (!id) return fail("info", "'" + opts.positional()[0] + "' is not an instrument ID");
    const InstrumentDescriptor* row = GetInstrumentByID(*id);
    if (row == nullptr)
        return fail("info", "no instrument has ID " + std::to_string(*id) + " (see measure-cli list)");

    std::printf("ID                   %u\n", row->ID);
    std::printf("Name                 %s\n", text(row->pszName));
    std::printf("Full name            %s\n", text(row->pszFullName));
    std::printf("Maker                %s (code %u)\n", text(row->pszManufacturer), row->ManufacturerCode);
    std::printf("Driver               %s\n",
                rowHasDriver(*row) ? "yes" : "not in this build yet (Open answers -1)");
    std::printf("Attributes          ");
    for (uint32_t a : row->Attributes) std::printf(" %u", a);
    std::printf("\nModes               ");
    bool any = false;
    for (const ModeEntry* m = row->pModeList; m != nullptr && m->mode != 0xFFFFFFFFu; ++m) {
        std::printf("%s %u %s", any ? "," : "", m->mode, text(m->pszName));
        any = true;
    }
    std::printf("%s\nCharts              ", any ? "" : " -");
    any = false;
    for (const ChartImageEntry* c = row->pChartList; c != nullptr && c->number != 0; ++c) {
        std::printf("%s %llu %s", any ? "," : "", static_cast<unsigned long long>(c->number),
                    text(c->pszFileName));
        any = true;
    }
    std::printf("%s\n", any ? "" : " -");

    // The answers that need no open instrument come from a record that only
    // names the instrument.
    MEASURE2STRUCT record{};
    record.cb = MEASURE2_RECORD_SIZE;
    record.instrument = row->ID;
    auto* r = reinterpret_cast<MEASURESTRUCT*>(&record);
    const int insert = MustInsertPage(r);
    const int corners = MustRegisterCorners(r);
    const int calibrate = MustCalibrate(r);
    std::printf("MustInsertPage       %d%s\n", insert,
                insert == 0   ? " (no chart to insert)"
                : insert == 1 ? " (insert the chart)"
                              : " (chart reader: insert the chart)");
    std::printf("MustRegisterCorners  %d\n", corners);
    if (calibrate < 0) {
        std::printf("MustCalibrate        asked of the instrument once it is open\n");
    } else {
        std::printf("MustCalibrate        %d\n", calibrate);
    }
    return kExitOk;
}

}  // namespace cli
