#include "transport/serial_port.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>

#include "platform/clock.h"
#include "platform/pseudo_terminal.h"
#include "support/environment.h"
#include "support/test_environment.h"

namespace measure::transport {
namespace {

using namespace std::chrono_literals;
using test::LogCapture;
using test::ScopedEnvironment;

constexpr const char* kOpen = "clCOMMUNICATION::open";

// COM1 is a pseudo-terminal whose master side plays the instrument.
class SerialPortTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(line.isOpen()); }

    platform::PseudoTerminal line;
    ScopedEnvironment com1{"MEASURE_COM1", line.slavePath().c_str()};
    LogCapture log;
    clCOMMUNICATION port;
};

TEST_F(SerialPortTest, RatesFrom50To115200AreAcceptedAndTheLineTakesThem) {
    ASSERT_EQ(port.open(0, 50, 100, false), 0);
    EXPECT_TRUE(port.isOpen());
    EXPECT_EQ(port.data()->FrameInterval, 241);
    EXPECT_EQ(line.slaveBaud(), 50u);
    EXPECT_EQ(port.data()->dcb.byteSize, 8);
    EXPECT_TRUE(port.data()->dcb.dtrEnable);
    EXPECT_TRUE(port.data()->dcb.rtsEnable);

    // Reopening needs no close; 28800 Bd is no classic termios rate.
    ASSERT_EQ(port.open(0, 28800, 100, false), 0);
    // Wine sets such a rate through a serial card's divisor, which a
    // pseudo-terminal ignores; the library asked for it all the same.
    if (!test::runningUnderWine()) {
        EXPECT_EQ(line.slaveBaud(), 28800u);
    }
    ASSERT_EQ(port.open(0, 115200, 100, false), 0);
    EXPECT_EQ(port.data()->FrameInterval, 1);
    EXPECT_EQ(line.slaveBaud(), 115200u);
    EXPECT_TRUE(log.has(kOpen, "COM1"));
    EXPECT_TRUE(log.has(kOpen, "Success"));
    EXPECT_EQ(port.close(), 0);
    EXPECT_FALSE(port.isOpen());
}

TEST_F(SerialPortTest, IllegalRatesAndIndexesAreRefusedBeforeAnyPortIsTouched) {
    EXPECT_EQ(port.open(0, 49, 100, false), -1);
    EXPECT_EQ(port.open(0, 115201, 100, false), -1);
    EXPECT_TRUE(log.has(kOpen, "Illegal baud=49"));
    EXPECT_TRUE(log.has(kOpen, "Illegal baud=115201"));
    EXPECT_EQ(port.data()->Baud, 0);

    EXPECT_EQ(port.open(-1, 9600, 100, false), -1);
    EXPECT_EQ(port.open(4, 9600, 100, false), -1);
    EXPECT_TRUE(log.has(kOpen, "Illegal ndx=-1"));
    EXPECT_TRUE(log.has(kOpen, "Illegal ndx=4"));

    // The rate is checked first: the last line is about the rate.
    EXPECT_EQ(port.open(4, 48, 100, false), -1);
    const std::string text = log.text();
    EXPECT_GT(text.find("Illegal baud=48"), text.rfind("Illegal ndx="));
    EXPECT_FALSE(log.contains("CreateFile"));
    EXPECT_FALSE(log.has(kOpen, "COM1"));
    EXPECT_FALSE(port.isOpen());
}

TEST_F(SerialPortTest, TimeoutsFollowTheFrameInterval) {
    ASSERT_EQ(port.open(0, 9600, 0, false), 0);
    EXPECT_TRUE(log.has(kOpen, "cd.FrameInterval=2"));
    EXPECT_TRUE(log.has(kOpen, "timeout=0 adjusted to 2"));
    EXPECT_EQ(port.data()->timeouts.readIntervalTimeout, 0u);
    EXPECT_EQ(port.data()->timeouts.readTotalTimeoutMultiplier, 2u);
    EXPECT_EQ(port.data()->timeouts.readTotalTimeoutConstant, 2u);

    ASSERT_EQ(port.open(0, 9600, 100, true), 0);
    EXPECT_EQ(port.data()->timeouts.readIntervalTimeout, 116u);
    EXPECT_EQ(port.data()->timeouts.readTotalTimeoutConstant, 100u);
    EXPECT_EQ(port.data()->timeouts.writeTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(port.data()->timeouts.writeTotalTimeoutConstant, 0u);

    ASSERT_EQ(port.open(0, 57600, 100, false), 0);
    EXPECT_EQ(port.data()->FrameInterval, 1);
    EXPECT_EQ(port.set_timeout(0, true), 0);
    EXPECT_TRUE(log.has("clCOMMUNICATION::set_timeout", "timeout=0 adjusted to 1"));
    EXPECT_EQ(port.data()->timeouts.readIntervalTimeout, 9u);
    EXPECT_EQ(port.set_timeout(10000, false), 0);
    EXPECT_EQ(port.data()->timeouts.readTotalTimeoutConstant, 10000u);
    EXPECT_EQ(port.data()->timeouts.readIntervalTimeout, 0u);
}

TEST_F(SerialPortTest, ReadStopsAfterTheTerminatorAndCountsIt) {
    ASSERT_EQ(port.open(0, 9600, 1000, false), 0);
    ASSERT_TRUE(line.write(":1 2 3\rrest"));
    char buffer[64] = {};
    EXPECT_EQ(port.read(buffer, sizeof buffer, '\r'), 7);
    EXPECT_EQ(std::string(buffer, 7), ":1 2 3\r");

    // A full buffer without the terminator returns its size.
    std::memset(buffer, 0, sizeof buffer);
    EXPECT_EQ(port.read(buffer, 3, '\r'), 3);
    EXPECT_EQ(std::string(buffer), "res");

    // Silence before the terminator: 0, the byte stays in the buffer unreported.
    std::memset(buffer, 0, sizeof buffer);
    EXPECT_EQ(port.read(buffer, sizeof buffer, '\r'), 0);
    EXPECT_EQ(buffer[0], 't');
    EXPECT_TRUE(log.contains(" : com.read: T"));
}

TEST_F(SerialPortTest, SilenceEndsAReadAfterTheTotalTimeout) {
    constexpr int kTimeout = 1000;
    ASSERT_EQ(port.open(0, 9600, kTimeout, false), 0);
    char buffer[8] = {};
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(port.read(buffer, sizeof buffer, '\n'), 0);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, platform::scaledPeerWait(kTimeout));
    EXPECT_LT(waited, 5s);
    EXPECT_TRUE(log.contains(" : com.read: T"));
    EXPECT_TRUE(log.contains(":0\n"));
}

TEST_F(SerialPortTest, RawReadEndsOnTheIntervalTimeoutOnceBytesCame) {
    // A read of many bytes has a long total timeout (2 ms per byte at 9600 Bd);
    // the interval timeout (1016 ms here) ends it once the line falls silent.
    constexpr uint32_t kCount = 40000;
    constexpr int kTimeout = 1000;
    ASSERT_EQ(port.open(0, 9600, kTimeout, true), 0);
    ASSERT_TRUE(line.write("abc"));
    std::string buffer(kCount, '\0');
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(port.rawRead(buffer.data(), kCount), 3);
    EXPECT_LT(std::chrono::steady_clock::now() - start, platform::scaledPeerWait(kTimeout + 2 * kCount));
    EXPECT_EQ(buffer.substr(0, 4), std::string("abc\0", 4));
}

TEST_F(SerialPortTest, WrittenBytesReachTheInstrument) {
    ASSERT_EQ(port.open(0, 9600, 100, false), 0);
    EXPECT_EQ(port.write("; 208 36\r\n", 10), 10);
    EXPECT_EQ(line.readUntil('\n', 2s), "; 208 36\r\n");
}

TEST_F(SerialPortTest, PurgeDiscardsWhatWasReceived) {
    ASSERT_EQ(port.open(0, 9600, 100, false), 0);
    ASSERT_TRUE(line.write("stale\n"));
    char first = 0;
    ASSERT_EQ(port.rawRead(&first, 1), 1);  // the rest of the write has arrived too
    EXPECT_EQ(port.purge(), 0);
    ASSERT_TRUE(line.write(":fresh\n"));
    char buffer[32] = {};
    EXPECT_EQ(port.read(buffer, sizeof buffer, '\n'), 7);
    EXPECT_EQ(std::string(buffer), ":fresh\n");
}

TEST_F(SerialPortTest, APulledCableIsAReadError) {
    ASSERT_EQ(port.open(0, 9600, 100, false), 0);
    line.close();
    char buffer[8] = {};
    EXPECT_EQ(port.read(buffer, sizeof buffer, '\n'), -1);
}

TEST_F(SerialPortTest, AMissingPortIsNotFound) {
    test::TempDir dir;
    ScopedEnvironment com2("MEASURE_COM2", dir.file("no-such-tty").c_str());
    EXPECT_EQ(port.open(1, 9600, 100, false), -1);
    EXPECT_TRUE(log.has(kOpen, "COM2"));
    EXPECT_TRUE(log.has(kOpen, "CreateFile fail ERROR_FILE_NOT_FOUND"));
    EXPECT_FALSE(port.isOpen());
}

TEST_F(SerialPortTest, APortHeldByAnotherOpenerIsRefused) {
    ASSERT_EQ(port.open(0, 9600, 100, false), 0);
    clCOMMUNICATION other;
    EXPECT_EQ(other.open(0, 9600, 100, false), -1);
    EXPECT_TRUE(log.has(kOpen, "CreateFile fail ERROR_ACCESS_DENIED"));
    EXPECT_FALSE(other.isOpen());

    port.close();
    EXPECT_EQ(other.open(0, 9600, 100, false), 0);
}

TEST_F(SerialPortTest, TheLineStaysUpWhileThePortIsReopened) {
    // An emulator answering between two openings (rate probing) loses nothing.
    ASSERT_EQ(port.open(0, 9600, 100, false), 0);
    port.close();
    ASSERT_TRUE(line.write(":late\n"));
    char silence[4] = {};
    EXPECT_EQ(line.read(silence, sizeof silence, 1ms), 0);
    ASSERT_EQ(port.open(0, 19200, 100, false), 0);
    char buffer[16] = {};
    EXPECT_EQ(port.read(buffer, sizeof buffer, '\n'), 6);
    EXPECT_EQ(std::string(buffer), ":late\n");
}

TEST_F(SerialPortTest, ComNamesMapToTheirVariables) {
    EXPECT_EQ(platform::SerialDevice::devicePath("COM1"), line.slavePath());
    EXPECT_EQ(platform::SerialDevice::devicePath("/dev/ttyUSB0"), "/dev/ttyUSB0");
}

}  // namespace
}  // namespace measure::transport
