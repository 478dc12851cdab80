// measure-cli measuring with the Ricoh adjuster as the README shows: the
// address and port, the chart definition and the credentials on the command
// line, the adjuster's values in the measurement file.
#include <gtest/gtest.h>

#include <fstream>

#include "cli/cli_runner.h"
#include "ricoh/adjuster_emulator.h"

namespace measure::test {
namespace {

namespace rc = measure::emu::ricoh;

TEST(CliRicoh, MeasuresAJobAtTheGivenAddressWithTheCredentials) {
    CliRunner cli;
    rc::AdjusterEmulator adjuster(cli.work(), {});
    ASSERT_TRUE(adjuster.start());
    std::ofstream(cli.file("chart.xml"), std::ios::binary) << adjuster.chartDefinition();

    // A third of the specified time: the first TLS handshake of a fresh
    // process (which under wine loads Windows' TLS libraries) must fit the
    // 5 s transfer timeout, which is 1.5 s here.
    const std::string address = "127.0.0.1:" + std::to_string(adjuster.port());
    const CliRun run =
        cli.run({"measure", "--instrument", "61", "--patches", "24", "--mode", "lab", "--address", address,
                 "--chart", "chart.xml", "--credentials", "user:secret", "--sound", "off", "-o", "ricoh.txt"},
                {{"MEASURE_TIME_SCALE", "0.3"}});
    ASSERT_EQ(run.exitCode, 0) << run.output << run.errors;
    EXPECT_EQ(adjuster.journal().at(0).header("Authorization"), "Basic dXNlcjpzZWNyZXQ=");
    const CgatsChartReader reader = readBack(cli.file("ricoh.txt"));
    ASSERT_EQ(reader.GetPatchCount(), 24);
    for (int p = 0; p < 24; ++p) {
        const std::vector<double> lab = rc::AdjusterEmulator::patchValues(p, "M0", "LAB");
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(reader.GetLab(p, c), lab[static_cast<size_t>(c)], 1e-4) << p;
    }
}

TEST(CliRicoh, RefusesAddressesThatAreNone) {
    CliRunner cli;
    for (const char* bad : {"127.0.0", "127.0.0.256", "1.2.3.4:0", "1.2.3.4:65536", "1.2.3.4.5", "host:80"}) {
        const CliRun run =
            cli.run({"measure", "--instrument", "61", "--patches", "4", "--mode", "lab", "--address", bad});
        EXPECT_EQ(run.exitCode, 1) << bad;
        EXPECT_EQ(run.errorLines(),
                  std::vector<std::string>{std::string("measure-cli measure: --address takes A.B.C.D or "
                                                       "A.B.C.D:PORT, not '") +
                                           bad + "'"})
            << bad;
    }
}

}  // namespace
}  // namespace measure::test
