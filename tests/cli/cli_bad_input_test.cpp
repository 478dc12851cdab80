// The contract every file-reading command keeps: a file it cannot use ends
// with status 1 and one line on stderr naming the file, the line where
// reading stopped and what was wrong, and the output file is left as it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "cli/cli_runner.h"

namespace measure::test {
namespace {

struct BadFile {
    const char* name;
    std::string text;  // empty: the file does not exist
    const char* expected;
};

const char* kGood =
    "CGATS.17\nBEGIN_DATA_FORMAT\nSAMPLE_ID LAB_L LAB_A LAB_B\nEND_DATA_FORMAT\nNUMBER_OF_SETS "
    "2\nBEGIN_DATA\n"
    "A 50 1 2\nB 60 3 4\nEND_DATA\n";

const BadFile kBadFiles[] = {
    {"short-row.txt",
     "CGATS.17\nBEGIN_DATA_FORMAT\nSAMPLE_ID LAB_L LAB_A LAB_B\nEND_DATA_FORMAT\nNUMBER_OF_SETS 2\n"
     "BEGIN_DATA\nA 50 1 2\nB 60 3\nEND_DATA\n",
     "short-row.txt: line 8: a data row does not have one value per field"},
    {"not-a-number.txt",
     "CGATS.17\nBEGIN_DATA_FORMAT\nSAMPLE_ID LAB_L LAB_A LAB_B\nEND_DATA_FORMAT\nNUMBER_OF_SETS 2\n"
     "BEGIN_DATA\nA 50 1 2\n\nB 60 x3 4\nEND_DATA\n",
     "not-a-number.txt: line 9: LAB_A of patch B is 'X3', not a number"},
    {"bad-band.txt",
     "CGATS.17\nBEGIN_DATA_FORMAT\nSAMPLE_ID SPECTRAL_NM_400 "
     "SPECTRAL_NM_410\nEND_DATA_FORMAT\nNUMBER_OF_SETS 1\n"
     "BEGIN_DATA\nA 50 --\nEND_DATA\n",
     "bad-band.txt: line 7: SPECTRAL_NM_410 of patch A is '--', not a number"},
    {"no-sets.txt",
     "CGATS.17\nBEGIN_DATA_FORMAT\nSAMPLE_ID LAB_L\nEND_DATA_FORMAT\nBEGIN_DATA\n1 2\nEND_DATA\n",
     "no-sets.txt: line 5: NUMBER_OF_SETS is missing or 0"},
    {"too-long.txt",
     "BEGIN_DATA_FORMAT\nSAMPLE_ID LAB_L LAB_A LAB_B\nEND_DATA_FORMAT\nNUMBER_OF_SETS 1\nBEGIN_DATA\n"
     "1 1 2 3\n2 1 2 3\nEND_DATA\n",
     "too-long.txt: line 7: the row after the last patch is not END_DATA"},
    {"binary.txt", std::string("\x01\x02\xff\xfe\0\0BEGIN_DATA\xff", 15), "binary.txt: line 1: "},
    {"no-colours.txt",
     "CGATS.17\nBEGIN_DATA_FORMAT\nSAMPLE_ID CMYK_C\nEND_DATA_FORMAT\nNUMBER_OF_SETS 1\nBEGIN_DATA\n1 "
     "0\nEND_DATA\n",
     "no-colours.txt: no spectral, XYZ or LAB fields"},
    {"missing.txt", "", "missing.txt: the file cannot be opened"},
};

TEST(CliBadInput, EveryCommandFailsWithOneLineAndLeavesItsOutputAlone) {
    CliRunner cli;
    std::ofstream(cli.file("good.txt")) << kGood;
    for (const BadFile& bad : kBadFiles)
        if (!bad.text.empty()) std::ofstream(cli.file(bad.name), std::ios::binary) << bad.text;
    for (const BadFile& bad : kBadFiles) {
        const std::vector<std::vector<std::string>> commands = {
            {"convert", bad.name, "-o", "out.txt"},
            {"compare", "good.txt", bad.name, "-o", "out.txt"},
            {"compare", bad.name, "good.txt", "-o", "out.txt"},
            {"report", bad.name, "-o", "out.txt"},
            {"report", "good.txt", "--reference", bad.name, "-o", "out.txt"},
        };
        for (const auto& args : commands) {
            std::ofstream(cli.file("out.txt"), std::ios::trunc) << "earlier output";
            const CliRun run = cli.run(args);
            const std::string what = args[0] + " " + bad.name;
            EXPECT_EQ(run.exitCode, 1) << what;
            ASSERT_EQ(run.errorLines().size(), 1u) << what << ": " << run.errors;
            EXPECT_NE(run.errors.find(bad.expected), std::string::npos) << what << ": " << run.errors;
            EXPECT_EQ(readFile(cli.file("out.txt")), "earlier output") << what;
        }
    }
    // No temporary file is left behind either.
    for (const auto& entry : std::filesystem::directory_iterator(cli.work()))
        EXPECT_EQ(entry.path().filename().string().find(".part"), std::string::npos) << entry.path();
}

}  // namespace
}  // namespace measure::test
