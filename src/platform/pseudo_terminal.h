// A pseudo-terminal pair: the stand-in for a serial cable to an emulated
// instrument. The emulator (or a test) keeps the master side and reads and
// writes it; the library opens slavePath() as its serial port, usually by
// pointing $MEASURE_COMn at it.
//
// The pair keeps its own handle on the slave side, so the line stays up while
// the library closes and reopens the port (probing rates, reconnecting) and
// bytes sent meanwhile wait in the port's receive buffer as on a real line.
// The slave starts in raw mode so nothing is echoed before the library
// configures it.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace measure::platform {

class PseudoTerminal {
public:
    // Creates the pair; isOpen() tells whether that worked.
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    bool isOpen() const { return master_ >= 0; }
    // The device path of the slave side ("/dev/pts/7").
    const std::string& slavePath() const { return slavePath_; }

    // Writes every byte to the library's side; false on an error or when the
    // bytes could not go out within a second.
    bool write(std::string_view bytes);
    // Reads what the library sent, waiting up to `timeout` (real time) for the
    // first byte: the count read, 0 when nothing came, -1 on an error.
    int read(void* buffer, size_t size, std::chrono::milliseconds timeout);
    // Reads up to and including `terminator`, waiting up to `timeout` in all;
    // what arrived so far when the time is up.
    std::string readUntil(char terminator, std::chrono::milliseconds timeout);

    // The rate the library last set on its side, in baud (0: unknown), so an
    // emulated instrument can stay silent at a rate other than its own.
    uint32_t slaveBaud() const;

    // Closes both sides: the library's next read sees the cable pulled.
    void close();

private:
    intptr_t master_ = -1;
    intptr_t slave_ = -1;
    std::string slavePath_;
};

}  // namespace measure::platform
