// A serial port as the Windows communications calls present one: opened by
// its COM name, configured with a DCB-like line setting and COMMTIMEOUTS-like
// read timeouts, read and written synchronously, its receive buffer purged.
//
// COM1..COM4 open $MEASURE_COM1..$MEASURE_COM4 when set (a pseudo-terminal of
// an emulator, a USB adapter), else /dev/ttyS0../dev/ttyS3 on POSIX. Any other
// name is used as a device path. A port is held exclusively: a second opener,
// in this process or another, is refused with kSerialErrorAccessDenied.
//
// Timeouts are given in specified milliseconds and run on the scaled clock as
// waits for a peer (platform::scaledPeerWait).
#pragma once

#include <cstdint>
#include <string>

namespace measure::platform {

// Error codes of failed calls, in the Windows numbering for the two that the
// callers tell apart; any other failure reports the OS's own error number.
inline constexpr uint32_t kSerialErrorFileNotFound = 2;  // ERROR_FILE_NOT_FOUND
inline constexpr uint32_t kSerialErrorAccessDenied = 5;  // ERROR_ACCESS_DENIED

// The read and write timeouts of a port, field for field COMMTIMEOUTS.
// Reads: the total timeout of one read call is multiplier * requested bytes +
// constant (both 0: none); the interval timeout ends a read that has bytes
// when the line stays silent that long after the last byte (0: none). A read
// with neither waits for all bytes without limit. Writes: total timeout as for
// reads; both 0 means no write timeout.
struct SerialTimeouts {
    uint32_t readIntervalTimeout = 0;
    uint32_t readTotalTimeoutMultiplier = 0;
    uint32_t readTotalTimeoutConstant = 0;
    uint32_t writeTotalTimeoutMultiplier = 0;
    uint32_t writeTotalTimeoutConstant = 0;
};

inline constexpr uint8_t kSerialNoParity = 0;     // NOPARITY
inline constexpr uint8_t kSerialOddParity = 1;    // ODDPARITY
inline constexpr uint8_t kSerialEvenParity = 2;   // EVENPARITY
inline constexpr uint8_t kSerialOneStopBit = 0;   // ONESTOPBIT
inline constexpr uint8_t kSerialTwoStopBits = 2;  // TWOSTOPBITS

// The line settings of a port: the DCB fields that matter here. Flow control
// is always off (no CTS/DSR handshake, no XON/XOFF).
struct SerialLineSettings {
    uint32_t baudRate = 0;  // any rate the device accepts, not only the classic ones
    bool binary = true;
    bool dtrEnable = false;  // DTR_CONTROL_ENABLE: raise DTR while open
    bool rtsEnable = false;  // RTS_CONTROL_ENABLE: raise RTS while open
    uint8_t byteSize = 8;
    uint8_t parity = kSerialNoParity;
    uint8_t stopBits = kSerialOneStopBit;
};

// One open serial port (RAII: closed with the object). Not thread-safe.
class SerialDevice {
public:
    SerialDevice() = default;
    ~SerialDevice();
    SerialDevice(const SerialDevice&) = delete;
    SerialDevice& operator=(const SerialDevice&) = delete;

    // The device a port name opens ("COM2" -> $MEASURE_COM2 or /dev/ttyS1).
    static std::string devicePath(const char* name);

    // Opens `name` for reading and writing, exclusively. False with lastError().
    bool open(const char* name);
    bool isOpen() const { return handle_ != kClosed; }
    void close();

    bool setTimeouts(const SerialTimeouts& timeouts);
    // Selects the line events to monitor; only 0 (none) is supported.
    bool setEventMask(uint32_t mask);
    bool setLineSettings(const SerialLineSettings& settings);

    // One synchronous read of up to `count` bytes under the timeouts:
    // the bytes read (0 on a timeout), -1 on an error.
    int32_t read(void* buffer, uint32_t count);
    // One synchronous write: the bytes written (fewer on a write timeout),
    // -1 on an error.
    int32_t write(const void* buffer, uint32_t count);
    // Discards what was received and not yet read.
    bool purgeReceive();

    // The error code of the last failed call.
    uint32_t lastError() const { return lastError_; }

private:
    // The system's own device of COM<number> (1..4).
    static std::string systemPortPath(int number);
    bool fail(uint32_t error);
    // What every read and write checks first: an open port, and a buffer
    // when there are bytes to move. False with lastError().
    bool transferAllowed(const void* buffer, uint32_t count);
    // The backend's transfer of `count` (> 0) bytes on the open port.
    int32_t receive(void* buffer, uint32_t count);
    int32_t send(const void* buffer, uint32_t count);
    // The system's error numbers for a closed port and a missing buffer.
    static const uint32_t kErrorClosed;
    static const uint32_t kErrorNoBuffer;

    static constexpr intptr_t kClosed = -1;  // INVALID_HANDLE_VALUE, or no descriptor
    intptr_t handle_ = kClosed;
    intptr_t lock_ = kClosed;  // Windows: the port's "in use" mutex
    SerialTimeouts timeouts_{};
    uint32_t lastError_ = 0;
};

}  // namespace measure::platform
