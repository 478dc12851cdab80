#include "transport/serial_port.h"

#include <new>

#include "core/logger.h"
#include "platform/clock.h"

namespace measure::transport {
namespace {

constexpr const char* kPortNames[clCOMMUNICATION::kPortCount] = {"COM1", "COM2", "COM3", "COM4"};

// Lines of one read slower than this between two bytes are worth a trace.
constexpr uint32_t kSlowByteMs = 25;

}  // namespace

clCOMMUNICATION::clCOMMUNICATION() : cd_(new (std::nothrow) CommData) {
    reset();
}

clCOMMUNICATION::~clCOMMUNICATION() = default;

int32_t clCOMMUNICATION::frameInterval(int baud) {
    // One character is 12 bit times at most (start, 8 data, parity, stop and
    // slack); 12000 / baud ms, truncated, plus one.
    return static_cast<int32_t>(12000.0 / baud) + 1;
}

void clCOMMUNICATION::reset() {
    if (!cd_) return;
    cd_->handle.close();
    cd_->dcb = {};
    cd_->timeouts = {};
    cd_->Baud = 0;
    cd_->FrameInterval = -1;
}

int clCOMMUNICATION::adjustTimeout(const char* function, int timeout) const {
    // A read must last at least one character time.
    if (cd_->FrameInterval > timeout) {
        LogF(1, function, "timeout=%d adjusted to %d", timeout, cd_->FrameInterval);
        return cd_->FrameInterval;
    }
    return timeout;
}

int32_t clCOMMUNICATION::applyTimeouts(const char* function, int timeout, bool interval) {
    CommData& cd = *cd_;
    cd.timeouts = {};
    cd.timeouts.readIntervalTimeout = interval ? static_cast<uint32_t>(timeout + 8 * cd.FrameInterval) : 0;
    cd.timeouts.readTotalTimeoutMultiplier = static_cast<uint32_t>(cd.FrameInterval);
    cd.timeouts.readTotalTimeoutConstant = static_cast<uint32_t>(timeout);
    if (!cd.handle.setTimeouts(cd.timeouts)) {
        LogF(0, function, "SetCommTimeouts fail LastError=%d", static_cast<int>(cd.handle.lastError()));
        cd.handle.close();
        return -1;
    }
    return 0;
}

int32_t clCOMMUNICATION::open(int ndx, int baud, int timeout, bool interval) {
    static constexpr const char* kFunction = "clCOMMUNICATION::open";
    if (!cd_) {
        Log(0, kFunction, "config==0");
        return -1;
    }
    reset();
    CommData& cd = *cd_;
    if (baud < kMinBaud || baud > kMaxBaud) {
        LogF(0, kFunction, "Illegal baud=%d", baud);
        return -1;
    }
    cd.Baud = baud;
    cd.FrameInterval = frameInterval(baud);
    LogF(5, kFunction, "cd.FrameInterval=%d", cd.FrameInterval);
    timeout = adjustTimeout(kFunction, timeout);
    if (ndx < 0 || ndx >= kPortCount) {
        LogF(0, kFunction, "Illegal ndx=%d", ndx);
        return -1;
    }
    Log(2, kFunction, kPortNames[ndx]);

    if (!cd.handle.open(kPortNames[ndx])) {
        const uint32_t error = cd.handle.lastError();
        if (error == platform::kSerialErrorFileNotFound)
            Log(0, kFunction, "CreateFile fail ERROR_FILE_NOT_FOUND");
        else if (error == platform::kSerialErrorAccessDenied)
            Log(0, kFunction, "CreateFile fail ERROR_ACCESS_DENIED");
        else
            LogF(0, kFunction, "CreateFile fail LastError=%d", static_cast<int>(error));
        return -1;
    }
    if (applyTimeouts(kFunction, timeout, interval) != 0) return -1;
    if (!cd.handle.setEventMask(0)) {
        LogF(0, kFunction, "SetCommMask fail LastError=%d", static_cast<int>(cd.handle.lastError()));
        cd.handle.close();
        return -1;
    }
    cd.dcb = {};
    cd.dcb.baudRate = static_cast<uint32_t>(baud);
    cd.dcb.binary = true;
    cd.dcb.dtrEnable = true;
    cd.dcb.rtsEnable = true;
    cd.dcb.byteSize = 8;
    cd.dcb.parity = platform::kSerialNoParity;
    cd.dcb.stopBits = platform::kSerialOneStopBit;
    if (!cd.handle.setLineSettings(cd.dcb)) {
        LogF(0, kFunction, "SetCommState fail LastError=%d", static_cast<int>(cd.handle.lastError()));
        cd.handle.close();
        return -1;
    }
    Log(1, kFunction, "Success");
    return 0;
}

int32_t clCOMMUNICATION::set_timeout(int timeout, bool interval) {
    if (!cd_) return -1;
    if (cd_->Baud < kMinBaud) return -1;  // never opened at a legal rate
    static constexpr const char* kFunction = "clCOMMUNICATION::set_timeout";
    cd_->FrameInterval = frameInterval(cd_->Baud);
    return applyTimeouts(kFunction, adjustTimeout(kFunction, timeout), interval);
}

int32_t clCOMMUNICATION::read(char* buffer, uint32_t max, char terminator) {
    if (!cd_ || buffer == nullptr) return -1;
    uint32_t last = platform::tickCountMs();
    uint32_t count = 0;
    int retries = 1;
    while (count < max) {
        char byte = 0;
        const int32_t n = cd_->handle.read(&byte, 1);
        if (n < 0) return -1;
        const uint32_t now = platform::tickCountMs();
        if (n == 0) {
            if (--retries <= 0) {
                LogF(5, "com.read", "T%d:%d", static_cast<int>(now - last), static_cast<int>(count));
                return 0;
            }
            continue;
        }
        buffer[count++] = byte;
        if (now - last > kSlowByteMs)
            LogF(5, "com.read", "%d:%d", static_cast<int>(now - last), static_cast<int>(count));
        last = now;
        if (byte == terminator) return static_cast<int32_t>(count);
        retries = 1;
    }
    return static_cast<int32_t>(max);
}

int32_t clCOMMUNICATION::rawRead(void* buffer, uint32_t count) {
    if (!cd_) return -1;
    return cd_->handle.read(buffer, count);
}

int32_t clCOMMUNICATION::write(const void* buffer, uint32_t count) {
    if (!cd_) return -1;
    return cd_->handle.write(buffer, count);
}

int32_t clCOMMUNICATION::purge() {
    if (!cd_) return -1;
    return cd_->handle.purgeReceive() ? 0 : -1;
}

int32_t clCOMMUNICATION::close() {
    if (!cd_) return -1;
    cd_->handle.close();
    return 0;
}

bool clCOMMUNICATION::isOpen() const {
    return cd_ && cd_->handle.isOpen();
}

}  // namespace measure::transport
