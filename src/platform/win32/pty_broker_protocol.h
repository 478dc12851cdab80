// The wire between the Windows PseudoTerminal (inside wine) and the pty
// broker (a Linux program beside wine) that owns the real pseudo-terminal
// pairs. Wine cannot create a Linux pseudo-terminal, but it opens one as a
// COM port through a $WINEPREFIX/dosdevices/comN link; the broker makes the
// pair and the link and plays the master side on the Windows side's behalf.
//
// One loopback TCP connection per pair. The broker first sends the COM name
// (u32 length, then the text). Then each request is one byte of operation and
// two little-endian u32 arguments, followed by any payload; each request gets
// exactly one reply.
#pragma once

#include <cstdint>

namespace measure::ptybroker {

// The variable naming the broker's loopback TCP port.
inline constexpr const char* kPortVariable = "MEASURE_PTY_BROKER_PORT";

enum Operation : uint8_t {
    kWrite = 'W',  // a = byte count, payload = bytes; reply: u8 1 sent / 0 failed
    kRead = 'R',   // a = most bytes, b = timeout ms; reply: i32 count (-1 error), then the bytes
    kBaud = 'B',   // reply: u32 the rate last set on the library's side
    kClose = 'C',  // reply: u8 1 once both sides are closed
};

struct Request {
    uint8_t operation;
    uint32_t a;
    uint32_t b;
};

inline constexpr uint32_t kRequestBytes = 9;
inline constexpr uint32_t kMaxTransfer = 1u << 20;

// The little-endian u32 of the wire at `p`.
inline uint32_t readU32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

inline void putU32(unsigned char* p, uint32_t value) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(value >> (8 * i));
}

}  // namespace measure::ptybroker
