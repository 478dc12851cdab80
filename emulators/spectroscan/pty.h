// Pseudo-terminals standing in for serial ports: the emulator holds the
// master side and hands the slave's path to whoever opens the "port".
#pragma once

#include <string>

namespace measure::emu {

// The master side of a pseudo-terminal pair. The slave starts in raw mode.
class PtyMaster {
public:
    PtyMaster() = default;
    ~PtyMaster();
    PtyMaster(const PtyMaster&) = delete;
    PtyMaster& operator=(const PtyMaster&) = delete;

    // Creates the pair; false (with errno kept) when the system refuses.
    bool open();
    void close();
    int fd() const { return master_; }
    const std::string& slavePath() const { return slavePath_; }
    // The line speed the slave's opener set, in baud (0 when unknown).
    int slaveBaud() const;

private:
    int master_ = -1;
    int keeper_ = -1;  // our own slave descriptor, so the master never hangs up
    std::string slavePath_;
};

// A plain line-oriented client on a serial device (raw 8N1 at any baud rate),
// for the emulator's own tests and for poking at it by hand.
class SerialLine {
public:
    SerialLine() = default;
    ~SerialLine();
    SerialLine(const SerialLine&) = delete;
    SerialLine& operator=(const SerialLine&) = delete;

    bool open(const std::string& path, int baud);
    // Changes the line speed of the open device.
    bool setBaud(int baud);
    void close();
    bool write(const std::string& text);
    // Reads up to and including a line feed; empty when nothing complete
    // arrived within timeoutMs real milliseconds.
    std::string readLine(int timeoutMs);

private:
    int fd_ = -1;
    std::string pending_;
};

}  // namespace measure::emu
