// The SpectroScan emulator on its own, only where the driver relies on it:
// the answers' framing and fields, and the pseudo-terminal with its line
// speed and scripted faults.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "spectroscan/spectroscan_emulator.h"
#include "support/environment.h"
#include "transport/serial_port.h"

namespace {

using namespace measure::emu::spectroscan;

std::vector<double> numbersAfterLastColon(const std::string& line) {
    std::istringstream in(line.substr(line.find_last_of(':') + 1));
    std::vector<double> out;
    for (double v; in >> v;) out.push_back(v);
    return out;
}

TEST(SpectroScanEmulatorTable, IdentityAnswersCarryTextsAsOneNumberPerCharacter) {
    Table t;
    const auto head = t.handle("; 181\r\n");
    ASSERT_EQ(head.size(), 1u);
    EXPECT_EQ(head[0].rfind(": 182 83 112 101 99 116 114 111", 0), 0u) << head[0];  // "Spectro"
    EXPECT_EQ(numbersAfterLastColon(head[0]).size(), 1u + 18 + 1 + 8 + 2 + 12);
    EXPECT_EQ(t.handle("; 208 51\r\n")[0], ": 209 147 12 5 1999\r\n");
    EXPECT_EQ(t.handle("; 208 49\r\n")[0], ": 209 145 8103 3\r\n");  // 204711 = 8103 + 3 * 65536
    EXPECT_EQ(numbersAfterLastColon(t.handle("; 0\r\n")[0]).size(), 6u);
}

TEST(SpectroScanEmulatorTable, ShortAndTableCommandsAnswerWithCodeAndErrorField) {
    Table t;
    EXPECT_EQ(t.handle("; 77 155\r\n")[0], ": 78 0\r\n");
    EXPECT_EQ(t.handle("; 22 2 1 3 0\r\n")[0], ": 23 0\r\n");
    EXPECT_EQ(t.state().densityStandard, 2);
    EXPECT_EQ(t.handle("; 22 9 1 3 0\r\n")[0], ": 23 2\r\n");
    EXPECT_EQ(t.handle("; 208 18\r\n")[0], ": 209 18 0\r\n");
    EXPECT_TRUE(t.state().paperHeld);
    EXPECT_EQ(t.handle("; 208 0 1 3201 400\r\n")[0], ": 209 0 3\r\n");
    EXPECT_EQ(t.handle("; 208 0 1 3200 2300\r\n")[0], ": 209 0 0\r\n");
    EXPECT_EQ(t.state().x, 3200);
    EXPECT_EQ(t.handle("garbage\r\n")[0], ": 255 1\r\n");
}

TEST(SpectroScanEmulatorTable, MoveAndMeasureAnswersTheSpectrumOfThePatchUnderTheHead) {
    Table t;
    // Without an output channel the head measures but has nothing to say.
    EXPECT_EQ(t.handle("; 208 7 950 450\r\n")[0], ": 209 7 0\r\n");
    t.handle("; 177 1 1\r\n");
    const auto answer = t.handle("; 208 7 950 450\r\n");
    ASSERT_EQ(answer.size(), 1u);
    EXPECT_EQ(answer[0].rfind(": 209 7 0 : 190 1 1 ", 0), 0u) << answer[0];
    const auto v = numbersAfterLastColon(answer[0]);
    ASSERT_EQ(v.size(), 41u);
    const Spectrum expected = patchSpectrum(1);
    for (int b = 0; b < kBands; ++b) EXPECT_NEAR(v[3 + b], expected[b], 1e-5);
    EXPECT_EQ(v[39], 255);
    EXPECT_EQ(v[40], 0);
    EXPECT_FALSE(t.state().headDown);
    ASSERT_EQ(t.measurements().size(), 1u);
    EXPECT_EQ(t.measurements()[0].patch, 1);
    // Between the patches the head sees paper.
    const auto gap = numbersAfterLastColon(t.handle("; 208 7 900 450\r\n")[0]);
    EXPECT_NEAR(gap[3 + 20], paperSpectrum()[20], 1e-5);
}

TEST(SpectroScanEmulatorTable, DensityOutputFollowsAMeasurementWithTheHeadDown) {
    Table t;
    t.handle("; 177 4 15\r\n");
    t.handle("; 208 0 0 850 550\r\n");
    EXPECT_EQ(t.handle("; 32\r\n")[0], ": 33 20\r\n");  // head still up
    t.handle("; 208 4\r\n");
    const auto answer = t.handle("; 32\r\n");
    ASSERT_EQ(answer.size(), 2u);
    EXPECT_EQ(answer[0], ": 33 0\r\n");
    const auto v = numbersAfterLastColon(answer[1]);
    ASSERT_EQ(v.size(), 15u);
    const auto d = headDensities(patchSpectrum(6));
    EXPECT_NEAR(v[3], d[0], 1e-4);
    EXPECT_NEAR(v[6], d[1], 1e-4);
    EXPECT_NEAR(v[9], d[2], 1e-4);
    EXPECT_NEAR(v[12], d[3], 1e-4);
    EXPECT_EQ(v[13], 255);
}

TEST(SpectroScanEmulatorTable, WhiteMeasurementSucceedsOnlyOnTheTileWithTheHeadDown) {
    Table t;
    t.handle("; 208 4\r\n");
    EXPECT_EQ(t.handle("; 34 9 7\r\n")[0], ": 35 0 21\r\n");
    t.handle("; 208 6 0\r\n");
    EXPECT_EQ(t.handle("; 34 9 7\r\n")[0], ": 35 0 21\r\n");  // the tile, but the head is up
    t.handle("; 208 4\r\n");
    EXPECT_EQ(t.handle("; 34 9 7\r\n")[0], ": 35 19 0\r\n");
    EXPECT_EQ(t.state().whiteMeasurements, 1);
}

TEST(SpectroScanEmulatorTable, DigitisingAnswersTheNearestCornerOnceTheKeyIsPressed) {
    ChartLayout chart;
    chart.angleDeg = 2.0;
    Table t(chart);
    t.handle("; 208 0 1 1300 420\r\n");
    t.handle("; 208 20\r\n");
    t.handle("; 208 37 1\r\n");
    EXPECT_EQ(t.handle("; 208 36\r\n")[0], ": 209 36 0\r\n");
    t.pressKey();
    EXPECT_EQ(t.handle("; 208 36\r\n")[0], ": 209 36 1\r\n");
    const auto [cx, cy] = chart.corner(2);
    EXPECT_EQ(t.handle("; 208 21 1\r\n")[0], ": 209 21 1 0 " + std::to_string(std::lround(cx)) + " " +
                                                 std::to_string(std::lround(cy)) + "\r\n");
}

// One command line out, one answer line back (empty when none came).
std::string exchange(measure::transport::clCOMMUNICATION& port, const std::string& command) {
    if (!command.empty() && port.write(command.data(), static_cast<uint32_t>(command.size())) < 0) return {};
    char answer[512];
    const int n = port.read(answer, sizeof answer - 1, '\n');
    return n > 0 ? std::string(answer, static_cast<size_t>(n)) : std::string();
}

TEST(SpectroScanEmulatorPty, AnswersOnlyAtItsLineSpeedAndAppliesScriptedFaults) {
    Emulator emulator;
    ASSERT_TRUE(emulator.start());
    // A standard rate, which every serial layer (wine's too) passes on to
    // the pseudo-terminal as it is.
    emulator.setAnswerBaud(57600);
    measure::test::ScopedEnvironment com1("MEASURE_COM1", emulator.path().c_str());
    measure::transport::clCOMMUNICATION port;
    ASSERT_EQ(port.open(0, 9600, 100, false), 0);
    EXPECT_EQ(exchange(port, "; 0\r\n"), "");
    // A generous read timeout: the answers must not depend on an idle machine.
    ASSERT_EQ(port.open(0, 57600, 100000, false), 0);
    EXPECT_EQ(exchange(port, "; 0\r\n"), ": 1 2 1 1 61 0\r\n");
    const auto seen = emulator.commands();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].baud, 9600);
    EXPECT_FALSE(seen[0].answered);
    EXPECT_EQ(seen[1].baud, 57600);

    emulator.addFault(Fault::noAnswer("77").skipping(1));
    emulator.addFault(Fault::scanError("208 0", 2));
    emulator.addFault(Fault::lateData("32", 30));
    EXPECT_EQ(exchange(port, "; 77 155\r\n; 77 155\r\n; 77 155\r\n; 208 0 1 800 400\r\n"), ": 78 0\r\n");
    EXPECT_EQ(exchange(port, ""), ": 78 0\r\n");  // the second was swallowed
    EXPECT_EQ(exchange(port, ""), ": 209 0 2\r\n");
    EXPECT_EQ(emulator.state().x, 0);  // the refused move did not happen
    // Late data: the head's answer comes at once, its data afterwards.
    exchange(port, "; 177 4 15\r\n");
    exchange(port, "; 208 4\r\n");
    EXPECT_EQ(exchange(port, "; 32\r\n"), ": 33 0\r\n");
    EXPECT_EQ(exchange(port, "").rfind(": 190 4 15 ", 0), 0u);
    port.close();
    emulator.stop();
}

}  // namespace
