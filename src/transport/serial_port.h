// The library's serial port: one of the four local COM ports at 8 data bits,
// no parity, one stop bit, DTR and RTS raised, no handshake; every read
// timeout derived from the baud rate. Its user is the SpectroScan driver,
// which probes ports and rates with it and then exchanges command lines.
//
// Results are 0 or a byte count on success and -1 on failure, with one log
// line naming the failed step; nothing is thrown. Not thread-safe: one thread
// at a time per port.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/serial_port.h"

namespace measure::transport {

class clCOMMUNICATION {
public:
    static constexpr int kPortCount = 4;
    static constexpr int kMinBaud = 50;
    static constexpr int kMaxBaud = 115200;

    // The port state ("cd" in the log lines).
    struct CommData {
        platform::SerialDevice handle;  // open exactly while the port is open
        platform::SerialLineSettings dcb{};
        platform::SerialTimeouts timeouts{};
        int32_t Baud = 0;
        int32_t FrameInterval = -1;  // ms per character at Baud
    };

    clCOMMUNICATION();
    ~clCOMMUNICATION();
    clCOMMUNICATION(const clCOMMUNICATION&) = delete;
    clCOMMUNICATION& operator=(const clCOMMUNICATION&) = delete;

    // Opens port `ndx` (0 = COM1 .. 3 = COM4) at `baud` with read timeouts
    // derived from `timeout` ms; `interval` adds an inter-character timeout.
    // Any open port is closed first.
    int32_t open(int ndx, int baud, int timeout, bool interval);
    // Re-derives the read timeouts for the open port at its rate.
    int32_t set_timeout(int timeout, bool interval);
    // Reads one byte at a time until `terminator` (stored and counted) or `max`
    // bytes: the count, 0 when the line stays silent, -1 on an error.
    int32_t read(char* buffer, uint32_t max, char terminator);
    // One read call of up to `count` bytes under the port's timeouts.
    int32_t rawRead(void* buffer, uint32_t count);
    // One write call: the bytes written, -1 on an error.
    int32_t write(const void* buffer, uint32_t count);
    // Discards the bytes received and not yet read.
    int32_t purge();
    int32_t close();
    bool isOpen() const;

    // The state, for diagnostics and tests.
    const CommData* data() const { return cd_.get(); }

    // Milliseconds per character (12 bit times) at `baud`, rounded up.
    static int32_t frameInterval(int baud);

private:
    void reset();
    // The timeout rule: a timeout shorter than one character becomes one
    // character time; then the derived read timeouts are applied.
    int adjustTimeout(const char* function, int timeout) const;
    int32_t applyTimeouts(const char* function, int timeout, bool interval);

    std::unique_ptr<CommData> cd_;
};

}  // namespace measure::transport
