// compare: a measured chart against its reference, in CIEDE2000 and CIE76.
#include <cstdio>
#include <filesystem>

#include "cgats_writer.h"
#include "commands.h"
#include "compare.h"
#include "options.h"

namespace cli {
namespace {

const char* kCompareHelp =
    "usage: measure-cli compare REFERENCE MEASURED [-o TABLE] [--tolerance DE]\n"
    "\n"
    "Pairs the patches of the two CGATS files by SAMPLE_ID (by position, with a\n"
    "warning, when the files do not name their patches alike), takes L*a*b* from\n"
    "each (computed from spectra or XYZ when a file has no LAB fields) and prints\n"
    "the average, median, 95th percentile and maximum of the CIEDE2000 and CIE76\n"
    "differences, and the five patches that differ most.\n"
    "  -o, --output FILE   also write the per-patch table as CGATS\n"
    "  --tolerance DE      exit with status 2 when the 95th percentile of the\n"
    "                      CIEDE2000 differences exceeds DE";

bool writeTable(const std::string& path, const MeasurementFile& reference, const MeasurementFile& measured,
                const Comparison& comparison, std::string& problem) {
    CgatsWriter writer("measure-cli compare", "Colour differences of measured patches from their reference");
    writer.declaredKeyword("REFERENCE_FILE", reference.path());
    writer.declaredKeyword("MEASURED_FILE", measured.path());
    writer.declaredKeyword("PAIRED_BY", comparison.byId ? "SAMPLE_ID" : "position");
    writer.dataFormat(
        {"SAMPLE_ID", "REF_LAB_L", "REF_LAB_A", "REF_LAB_B", "LAB_L", "LAB_A", "LAB_B", "DE_1976", "DE_2000"},
        comparison.pairs.size());
    for (const PatchPair& pair : comparison.pairs) {
        writer.text(measured.sampleId(pair.measured));
        writer.values(pair.referenceLab.data(), 3);
        writer.values(pair.measuredLab.data(), 3);
        writer.value(pair.deltaE76);
        writer.value(pair.deltaE2000);
        writer.endRow();
    }
    writer.finish();
    if (writer.save(path, problem)) return true;
    problem = "cannot write " + path + ": " + problem;
    return false;
}

}  // namespace

int runCompare(int argc, char** argv, int first) {
    const char* command = "compare";
    const Options opts(argc, argv, first, {{"--output", "-o", true}, {"--tolerance", "", true}});
    if (auto end = commandPreamble(command, opts, kCompareHelp, true)) return *end;
    if (opts.positional().size() != 2) return fail(command, "give a reference file and a measured file");
    std::optional<double> tolerance;
    if (auto text = opts.value("--tolerance")) {
        tolerance = parseDecimal(*text);
        if (!tolerance || *tolerance < 0.0)
            return fail(command, "--tolerance takes a colour difference such as 2.0, not '" + *text + "'");
    }
    std::string problem;
    MeasurementFile reference;
    MeasurementFile measured;
    if (!reference.open(opts.positional()[0], problem) || !measured.open(opts.positional()[1], problem))
        return fail(command, problem);
    Comparison comparison;
    if (!compareFiles(reference, measured, comparison, problem)) return fail(command, problem);
    for (const std::string& warning : comparison.warnings)
        std::fprintf(stderr, "measure-cli compare: warning: %s\n", warning.c_str());
    if (auto output = opts.value("--output")) {
        if (!writeTable(*output, reference, measured, comparison, problem)) return fail(command, problem);
    }

    std::vector<double> e2000, e76;
    for (const PatchPair& pair : comparison.pairs) {
        e2000.push_back(pair.deltaE2000);
        e76.push_back(pair.deltaE76);
    }
    const Statistics s2000 = statisticsOf(e2000);
    const Statistics s76 = statisticsOf(e76);
    std::printf("%zu patches compared, paired by %s\n\n", comparison.pairs.size(),
                comparison.byId ? "SAMPLE_ID" : "position");
    std::printf("                  dE2000      dE76\n");
    std::printf("average        %9.2f %9.2f\n", s2000.average, s76.average);
    std::printf("median         %9.2f %9.2f\n", s2000.median, s76.median);
    std::printf("95th percentile%9.2f %9.2f\n", s2000.percentile95, s76.percentile95);
    std::printf("maximum        %9.2f %9.2f\n", s2000.maximum, s76.maximum);
    std::printf("\nlargest differences:\n");
    for (size_t index : worstPairs(comparison.pairs, 5)) {
        const PatchPair& pair = comparison.pairs[index];
        const std::string name = measured.sampleName(pair.measured);
        std::printf("  %-12s dE2000 %6.2f  dE76 %6.2f%s%s\n", measured.sampleId(pair.measured).c_str(),
                    pair.deltaE2000, pair.deltaE76, name.empty() ? "" : "  ", name.c_str());
    }
    if (tolerance) {
        const bool within = s2000.percentile95 <= *tolerance;
        std::printf("\n%s: 95th percentile dE2000 %.2f %s the tolerance %.2f\n", within ? "PASS" : "FAIL",
                    s2000.percentile95, within ? "is within" : "exceeds", *tolerance);
        if (!within) return kExitOutOfTolerance;
    }
    return kExitOk;
}

}  // namespace cli
