// measure-cli as a user meets it first: the registry listing, one row in
// full, help on every command, and one clear line with a non-zero status for
// every wrong argument -- never a crash or a hang.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "cli/cli_runner.h"

namespace measure::test {
namespace {

class CliArguments : public ::testing::Test {
protected:
    CliRunner cli_;
};

TEST_F(CliArguments, ListShowsTheWholeRegistryInTableOrder) {
    const CliRun run = cli_.run({"list"});
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    const auto rows = lines(run.output);
    ASSERT_EQ(rows.size(), 41u) << "a heading, 39 instruments and the note on missing drivers";
    EXPECT_EQ(rows[1].rfind("28    -      ", 0), 0u) << rows[1];
    EXPECT_EQ(rows[19].rfind("11    yes    ", 0), 0u) << rows[19];
    EXPECT_EQ(rows[39].rfind("999   yes    ", 0), 0u) << rows[39];
    EXPECT_EQ(rows[40], "Driver -: not in this build yet; opening the instrument answers -1.");
    EXPECT_NE(rows[39].find("SimulatorDevice"), std::string::npos);
    EXPECT_NE(rows[39].find("Cie Lab, Cie XYZ, Spectral"), std::string::npos);
}

TEST_F(CliArguments, ListByMode) {
    CliRun run = cli_.run({"list", "--mode", "19"});
    ASSERT_EQ(run.exitCode, 0);
    const auto rows = lines(run.output);
    // A heading, the twelve rows that measure emission in table order, the note.
    ASSERT_EQ(rows.size(), 14u) << run.output;
    const char* const ids[] = {"15", "21", "22", "48", "49", "50", "11", "23", "51", "52", "62", "64"};
    for (size_t i = 0; i < 12; ++i) {
        EXPECT_EQ(rows[i + 1].rfind(std::string(ids[i]) + " ", 0), 0u) << rows[i + 1];
        EXPECT_NE(rows[i + 1].find("Emission Cie XYZ"), std::string::npos) << rows[i + 1];
    }

    run = cli_.run({"list", "--mode=777"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.output.find("no instrument offers mode 777"), std::string::npos);
}

TEST_F(CliArguments, InfoShowsOneRowAndTheFixedAnswers) {
    CliRun run = cli_.run({"info", "26"});
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_NE(run.output.find("X-Rite i1iSis / Vantu SP-600"), std::string::npos);
    EXPECT_NE(run.output.find("MustInsertPage       2"), std::string::npos);
    EXPECT_NE(run.output.find("MustCalibrate        0"), std::string::npos);
    EXPECT_NE(run.output.find("120 Baselin_eye-one.tif"), std::string::npos);

    run = cli_.run({"info", "5"});
    ASSERT_EQ(run.exitCode, 0);
    EXPECT_NE(run.output.find("MustRegisterCorners  1"), std::string::npos);
    EXPECT_NE(run.output.find("Baselin_SpectroScan.tif"), std::string::npos);

    run = cli_.run({"info", "11"});
    EXPECT_NE(run.output.find("asked of the instrument once it is open"), std::string::npos);
}

TEST_F(CliArguments, HelpOnEveryCommand) {
    for (const char* command : {"list", "info", "calibrate", "measure", "convert", "demo"}) {
        const CliRun run = cli_.run({command, "--help"});
        EXPECT_EQ(run.exitCode, 0) << command;
        EXPECT_NE(run.output.find("usage: measure-cli"), std::string::npos) << command;
        EXPECT_TRUE(run.errors.empty()) << command << ": " << run.errors;
    }
    const CliRun run = cli_.run({"--help"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.output.find("convert"), std::string::npos);
}

TEST_F(CliArguments, EveryWrongArgumentIsOneLineAndStatusOne) {
    const std::vector<std::vector<std::string>> wrong = {
        {},
        {"frobnicate"},
        {"list", "--mode"},
        {"list", "--mode", "-1"},
        {"list", "--mode", "4x"},
        {"list", "extra"},
        {"info"},
        {"info", "12345"},
        {"info", "0"},
        {"info", "11", "22"},
        {"info", "99999999999999999999"},
        {"calibrate"},
        {"calibrate", "--instrument", "abc"},
        {"calibrate", "--instrument", "11", "--sound", "loud"},
        {"measure", "--instrument", "999"},
        {"measure", "--instrument", "999", "--patches", "0"},
        {"measure", "--instrument", "999", "--patches", "2147483648"},
        {"measure", "--instrument", "999", "--patches", "-5"},
        {"measure", "--instrument", "999", "--patches", "6", "--per-line", "7"},
        {"measure", "--instrument", "999", "--patches", "6", "--per-chart", "0"},
        {"measure", "--instrument", "999", "--patches", "6", "--per-chart", "7"},
        {"measure", "--instrument", "999", "--patches", "6", "--mode", "cmyk"},
        {"measure", "--instrument", "999", "--patches", "6", "--mode", "status-e"},
        {"measure", "--instrument", "999", "--patches", "6", "--condition", "M4"},
        {"measure", "--instrument", "999", "--patches", "6", "--chart", "no-such-chart.txt"},
        {"measure", "--instrument", "42", "--patches", "6", "--mode", "lab", "--chart-id", ""},
        {"measure", "--instrument", "999", "--patches", "6", "-o", "no/such/folder/out.txt"},
        {"measure", "--instrument", "999", "--patches", "6", "--single=yes"},
        {"measure", "--instrument", "999", "--instrument", "11", "--patches", "6"},
        {"measure", "--bogus"},
        {"convert"},
        {"convert", "a.txt", "b.txt"},
        {"convert", "missing.txt"},
        {"demo", "--nonsense"},
    };
    for (const auto& args : wrong) {
        std::string shown;
        for (const auto& a : args) shown += a + " ";
        const CliRun run = cli_.run(args);
        EXPECT_EQ(run.exitCode, 1) << shown << "\n" << run.errors;
        if (args.empty()) continue;  // the bare program prints its usage
        EXPECT_EQ(run.errorLines().size(), 1u) << shown << "\n" << run.errors;
        EXPECT_EQ(run.errors.rfind("measure-cli", 0), 0u) << shown;
    }
}

TEST_F(CliArguments, MeasuringAnUnopenableInstrumentFailsCleanly) {
    // No simulation configuration and no SDK: the i1Pro cannot open.
    const CliRun run = cli_.run({"measure", "--instrument", "11", "--patches", "3", "--sound", "off"});
    EXPECT_EQ(run.exitCode, 1);
    ASSERT_EQ(run.errorLines().size(), 1u) << run.errors;
    EXPECT_NE(run.errors.find("could not open instrument 11"), std::string::npos);
}

}  // namespace
}  // namespace measure::test
