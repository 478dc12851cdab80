// calibrate and measure: an instrument driven end to end through the exports.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "cgats_writer.h"
#include "colour_values.h"
#include "console.h"
#include "measurement.h"
#include "options.h"
#include "report.h"

namespace cli {
namespace {

// Large enough for any chart; the result block grows by 1600 bytes a patch.
constexpr int64_t kMaxPatches = 100000;

const char* kMeasureHelp =
    "usage: measure-cli measure --instrument ID --patches N [options]\n"
    "\n"
    "Opens the instrument, calibrates it when it asks, measures and writes a\n"
    "CGATS.17 measurement file.\n"
    "  --instrument ID      registry ID (see measure-cli list)\n"
    "  --patches N          number of patches to measure\n"
    "  --per-line K         patches per strip (default: all in one pass)\n"
    "  --per-chart N        patches per chart sheet, for charts printed on several\n"
    "                       sheets (default: the whole chart on one)\n"
    "  --mode M             lab, xyz, spectral (default), status-e, status-t, din, din-nb;\n"
    "                       density modes are measured as spectra and converted\n"
    "  --condition C        M0 (default), M1, M2 or M3\n"
    "  --single             one patch per button press instead of strips\n"
    "  --chart FILE         chart or parameter file handed to the instrument\n"
    "  --chart-id TEXT      a chart the instrument's own side knows by name, handed to\n"
    "                       the instrument as its parameter text (FD-9 terminal,\n"
    "                       Ethernet i1iSis)\n"
    "  --address A.B.C.D[:PORT]  a network instrument's IPv4 address and port\n"
    "  --credentials USER:PASSWORD  the network instrument's login, sent with the chart\n"
    "  -o, --output FILE    the measurement file (default measurement.txt)\n"
    "  --sound on|off       the instrument's confirmation sounds (default on)\n"
    "  --report             also write an HTML report beside the file (OUTPUT.html)\n"
    "Ctrl-C stops the instrument and closes it; nothing is written then.";

const char* kCalibrateHelp =
    "usage: measure-cli calibrate --instrument ID [--sound on|off]\n"
    "\n"
    "Opens the instrument, runs its white calibration and reports the outcome.";

std::optional<uint32_t> parseCondition(const std::string& text) {
    if (text.size() == 2 && (text[0] == 'M' || text[0] == 'm') && text[1] >= '0' && text[1] <= '3')
        return static_cast<uint32_t>(text[1] - '0');
    return std::nullopt;
}

// "A.B.C.D" or "A.B.C.D:PORT": the address in network order (first octet
// first in memory, as the record's address word holds it) and the port (0
// when none is given).
bool parseAddress(const std::string& text, uint32_t& address, uint32_t& port) {
    const size_t colon = text.find(':');
    const std::string host = text.substr(0, colon);
    unsigned char octets[4] = {};
    size_t at = 0;
    for (int i = 0; i < 4; ++i) {
        const size_t dot = i < 3 ? host.find('.', at) : host.size();
        if (dot == std::string::npos) return false;
        const auto octet = parseInteger(host.substr(at, dot - at), 0, 255);
        if (!octet) return false;
        octets[i] = static_cast<unsigned char>(*octet);
        at = dot + 1;
    }
    if (at != host.size() + 1) return false;
    std::memcpy(&address, octets, sizeof address);
    port = 0;
    if (colon != std::string::npos) {
        const auto p = parseInteger(text.substr(colon + 1), 1, 65535);
        if (!p) return false;
        port = static_cast<uint32_t>(*p);
    }
    return true;
}

// HTTP basic credentials: "USER:PASSWORD" in base64.
std::string base64(const std::string& text) {
    static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < text.size(); i += 3) {
        const size_t n = std::min<size_t>(3, text.size() - i);
        uint32_t v = 0;
        for (size_t k = 0; k < 3; ++k) v = v << 8 | (k < n ? static_cast<unsigned char>(text[i + k]) : 0u);
        for (size_t k = 0; k < 4; ++k) out += k <= n ? kDigits[(v >> (18 - 6 * k)) & 63] : '=';
    }
    return out;
}

// Shared by the two commands: "--instrument ID" and "--sound on|off".
bool commonSettings(const char* command, const Options& opts, MeasureJob& job, int& status) {
    const auto idText = opts.value("--instrument");
    if (!idText) {
        status = fail(command, "--instrument ID is required (see measure-cli list)");
        return false;
    }
    const auto id = parseInteger(*idText, 1, 0xFFFFFFFE);
    if (!id) {
        status = fail(command, "'" + *idText + "' is not an instrument ID");
        return false;
    }
    job.row = GetInstrumentByID(static_cast<uint32_t>(*id));
    if (job.row == nullptr) {
        status = fail(command, "no instrument has ID " + *idText + " (see measure-cli list)");
        return false;
    }
    if (auto sound = opts.value("--sound")) {
        if (*sound != "on" && *sound != "off") {
            status = fail(command, "--sound takes on or off, not '" + *sound + "'");
            return false;
        }
        job.sound = *sound == "on";
    }
    return true;
}

int reportInterrupted(const char* command) {
    std::fprintf(stderr, "measure-cli %s: stopped by Ctrl-C; the instrument was stopped and closed\n",
                 command);
    return kExitInterrupted;
}

}  // namespace

const char* conditionName(uint32_t condition) {
    static const char* const names[] = {"M0", "M1", "M2", "M3"};
    return condition < 4 ? names[condition] : "?";
}

int runMeasurement(const char* command, const MeasureJob& job, Display& display,
                   std::vector<Patch>& patches) {
    SessionSettings settings;
    settings.instrument = job.row->ID;
    settings.mode = job.mode.density ? static_cast<uint32_t>(MEASURE_MODE_SPECTRAL) : job.mode.mode;
    settings.patches = job.patches;
    settings.perLine = job.perLine > 0 ? job.perLine : job.patches;
    settings.perChart = job.perChart;
    settings.condition = job.condition;
    settings.sound = job.sound;
    settings.address = job.address;
    settings.port = job.port;

    // Credentials follow the chart after a question mark.
    const std::string parameter =
        job.credentials.empty() ? job.chart : job.chart + "?" + base64(job.credentials);
    if (!parameter.empty()) SetParameterFile(parameter.c_str());
    InstrumentSession session(settings, display);
    // The fixed answers belong to the model asked for; once open, a simulated
    // instrument answers as itself.
    auto* record = reinterpret_cast<MEASURESTRUCT*>(&session.record());
    const int insertPage = MustInsertPage(record);
    const int registerCorners = MustRegisterCorners(record);

    std::string problem;
    display.line("Opening " + std::string(job.row->pszFullName) + " (ID " + std::to_string(job.row->ID) +
                 ")");
    if (!session.open(problem)) return fail(command, problem);

    auto check = [&](Outcome outcome) {
        if (outcome == Outcome::Interrupted) return reportInterrupted(command);
        if (outcome == Outcome::Failed) return fail(command, problem);
        return kExitOk;
    };
    // 2: the instrument takes the sheet in itself when asked; 1: the user lays
    // the sheet on it, and the instrument's own run waits for it.
    if (insertPage == 2) {
        if (int status = check(session.insertPaper(problem))) return status;
    } else if (insertPage == 1) {
        display.line("Lay the chart on the instrument");
    }
    if (registerCorners != 0) {
        if (int status = check(session.registerCorners(problem))) return status;
    }
    if (session.mustCalibrate()) {
        display.line("The instrument asks for a white calibration");
        if (int status = check(session.calibrate(problem))) return status;
        display.line("Calibration finished");
    }
    if (int status = check(session.measure(job.single, patches, problem))) return status;
    session.close();
    if (patches.size() < static_cast<size_t>(job.patches))
        display.line("Note: the instrument delivered " + std::to_string(patches.size()) + " of " +
                     std::to_string(job.patches) + " patches");
    return kExitOk;
}

bool writeMeasurementFile(const std::string& path, const MeasureJob& job, const std::vector<Patch>& patches,
                          std::string& problem) {
    CgatsWriter writer("measure-cli", "Measurement of " + std::to_string(patches.size()) + " patches");
    writer.keyword("INSTRUMENTATION", job.row->pszFullName);
    writer.declaredKeyword("INSTRUMENT_ID", std::to_string(job.row->ID));
    writer.declaredKeyword("MEASUREMENT_MODE", job.mode.name);
    writer.declaredKeyword("MEASUREMENT_CONDITION", conditionName(job.condition));

    // Spectra (measured in spectral and density modes) carry the colour
    // values profiling and quality tools expect beside them.
    const uint32_t mode = job.mode.mode;
    const bool spectra = job.mode.density || mode == MEASURE_MODE_SPECTRAL;
    if (spectra) {
        writer.keyword("WEIGHTING_FUNCTION", "ILLUMINANT, D50");
        writer.keyword("WEIGHTING_FUNCTION", "OBSERVER, 2 degree");
    }
    std::vector<std::string> fields = {"SAMPLE_ID"};
    if (spectra) fields.insert(fields.end(), {"XYZ_X", "XYZ_Y", "XYZ_Z", "LAB_L", "LAB_A", "LAB_B"});
    if (job.mode.density) {
        fields.insert(fields.end(), {"D_RED", "D_GREEN", "D_BLUE", "D_VIS"});
    } else if (mode == MEASURE_MODE_CIE_LAB) {
        fields.insert(fields.end(), {"LAB_L", "LAB_A", "LAB_B"});
    } else if (mode == MEASURE_MODE_CIE_XYZ) {
        fields.insert(fields.end(), {"XYZ_X", "XYZ_Y", "XYZ_Z"});
    } else {
        const auto names = spectralFieldNames();
        fields.insert(fields.end(), names.begin(), names.end());
    }
    writer.dataFormat(fields, patches.size());
    for (size_t i = 0; i < patches.size(); ++i) {
        const std::string id = std::to_string(i + 1);
        writer.text(id);
        if (spectra) {
            std::array<double, 3> xyz{};
            std::array<double, 3> lab{};
            if (patches[i].size() < MEASURE_SPECTRAL_BANDS ||
                !spectrumToXyzLab(kGridHeader, patches[i].data(), xyz, lab)) {
                problem = "patch " + id + " was delivered without a spectrum";
                return false;
            }
            writer.values(xyz.data(), xyz.size());
            writer.values(lab.data(), lab.size());
        }
        if (job.mode.density) {
            std::array<double, 4> d{};
            if (!spectrumToDensities(kGridHeader, patches[i].data(), mode, d)) {
                problem = "cannot compute densities of patch " + id;
                return false;
            }
            writer.values(d.data(), d.size());
        } else if (mode == MEASURE_MODE_SPECTRAL) {
            // SPECTRAL_NM_ fields carry percentages.
            writer.values(patches[i].data(), patches[i].size(), 100.0);
        } else {
            writer.values(patches[i].data(), patches[i].size());
        }
        writer.endRow();
    }
    if (!writer.finish()) {
        problem = "the delivered patches do not fit the file's fields";
        return false;
    }
    if (!writer.save(path, problem)) {
        problem = "cannot write " + path + ": " + problem;
        return false;
    }
    return true;
}

int runMeasure(int argc, char** argv, int first) {
    const char* command = "measure";
    const Options opts(argc, argv, first,
                       {{"--instrument", "", true},
                        {"--patches", "", true},
                        {"--per-line", "", true},
                        {"--per-chart", "", true},
                        {"--mode", "", true},
                        {"--condition", "", true},
                        {"--single", "", false},
                        {"--chart", "", true},
                        {"--chart-id", "", true},
                        {"--address", "", true},
                        {"--credentials", "", true},
                        {"--output", "-o", true},
                        {"--sound", "", true},
                        {"--report", "", false}});
    if (auto end = commandPreamble(command, opts, kMeasureHelp)) return *end;

    MeasureJob job;
    int status = kExitOk;
    if (!commonSettings(command, opts, job, status)) return status;

    const auto patchesText = opts.value("--patches");
    if (!patchesText) return fail(command, "--patches N is required");
    const auto patches = parseInteger(*patchesText, 1, kMaxPatches);
    if (!patches)
        return fail(command,
                    "--patches takes 1 to " + std::to_string(kMaxPatches) + ", not '" + *patchesText + "'");
    job.patches = static_cast<int32_t>(*patches);
    if (auto perLine = opts.value("--per-line")) {
        const auto k = parseInteger(*perLine, 1, job.patches);
        if (!k) return fail(command, "--per-line takes 1 to the number of patches, not '" + *perLine + "'");
        job.perLine = static_cast<int32_t>(*k);
    }
    if (auto perChart = opts.value("--per-chart")) {
        const auto n = parseInteger(*perChart, 1, job.patches);
        if (!n) return fail(command, "--per-chart takes 1 to the number of patches, not '" + *perChart + "'");
        job.perChart = static_cast<int32_t>(*n);
    }
    const std::string modeText = opts.value("--mode").value_or("spectral");
    const auto mode = findMode(modeText);
    if (!mode)
        return fail(command,
                    "unknown mode '" + modeText + "' (lab, xyz, spectral, status-e, status-t, din, din-nb)");
    job.mode = *mode;
    if (!rowOffersMode(*job.row, job.mode.mode) ||
        (job.mode.density && !rowOffersMode(*job.row, MEASURE_MODE_SPECTRAL)))
        return fail(command, std::string(job.row->pszFullName) + " does not measure " + job.mode.name +
                                 " (it offers: " + modeList(*job.row) + ")");
    if (auto condition = opts.value("--condition")) {
        const auto c = parseCondition(*condition);
        if (!c) return fail(command, "--condition takes M0, M1, M2 or M3, not '" + *condition + "'");
        job.condition = *c;
    }
    job.single = opts.has("--single");
    if (auto chartId = opts.value("--chart-id")) {
        if (opts.has("--chart")) return fail(command, "--chart and --chart-id exclude each other");
        if (chartId->empty()) return fail(command, "--chart-id takes a non-empty text");
        job.chart = *chartId;
    }
    if (auto chart = opts.value("--chart")) {
        if (!std::filesystem::is_regular_file(*chart)) return fail(command, "no chart file '" + *chart + "'");
        job.chart = *chart;
    }
    if (auto address = opts.value("--address")) {
        if (!parseAddress(*address, job.address, job.port))
            return fail(command, "--address takes A.B.C.D or A.B.C.D:PORT, not '" + *address + "'");
    }
    if (auto credentials = opts.value("--credentials")) {
        if (credentials->find(':') == std::string::npos)
            return fail(command, "--credentials takes USER:PASSWORD");
        job.credentials = *credentials;
    }
    const std::string output = opts.value("--output").value_or("measurement.txt");
    const auto folder = std::filesystem::path(output).parent_path();
    if (output.empty() || (!folder.empty() && !std::filesystem::is_directory(folder)))
        return fail(command, "cannot write '" + output + "': no such folder");

    Display display(stdout, stdoutIsTerminal());
    std::vector<Patch> measured;
    if (int run = runMeasurement(command, job, display, measured)) return run;
    std::string problem;
    if (!writeMeasurementFile(output, job, measured, problem)) return fail(command, problem);
    display.line("Wrote " + std::to_string(measured.size()) + " patches to " + output);
    if (opts.has("--report")) {
        const ReportOutcome report = writeReport(output, "", output + ".html");
        if (!report.ok) return fail(command, report.problem);
        display.line("Wrote the report " + output + ".html");
    }
    return kExitOk;
}

int runCalibrate(int argc, char** argv, int first) {
    const char* command = "calibrate";
    const Options opts(argc, argv, first, {{"--instrument", "", true}, {"--sound", "", true}});
    if (auto end = commandPreamble(command, opts, kCalibrateHelp)) return *end;
    MeasureJob job;
    int status = kExitOk;
    if (!commonSettings(command, opts, job, status)) return status;

    SessionSettings settings;
    settings.instrument = job.row->ID;
    // Reflective calibration in the first mode the instrument offers.
    settings.mode = rowOffersMode(*job.row, MEASURE_MODE_SPECTRAL) || job.row->pModeList == nullptr ||
                            job.row->pModeList->mode == 0xFFFFFFFFu
                        ? static_cast<uint32_t>(MEASURE_MODE_SPECTRAL)
                        : job.row->pModeList->mode;
    settings.sound = job.sound;
    Display display(stdout, stdoutIsTerminal());
    InstrumentSession session(settings, display);
    std::string problem;
    display.line("Opening " + std::string(job.row->pszFullName) + " (ID " + std::to_string(job.row->ID) +
                 ")");
    if (!session.open(problem)) return fail(command, problem);
    const Outcome outcome = session.calibrate(problem);
    if (outcome == Outcome::Interrupted) return reportInterrupted(command);
    if (outcome == Outcome::Failed) return fail(command, problem);
    const bool stillAsks = session.mustCalibrate();
    session.close();
    display.line(stillAsks ? "Calibration finished, but the instrument still asks for one"
                           : "Calibration finished: the instrument is ready to measure");
    return stillAsks ? kExitFailure : kExitOk;
}

}  // namespace cli
