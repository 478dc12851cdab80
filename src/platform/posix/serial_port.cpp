#include "platform/serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#include <cerrno>
#include <chrono>
#include <optional>

#include "platform/clock.h"
#include "platform/posix/poll_wait.h"
#include "platform/posix/serial_custom_baud.h"

namespace measure::platform {
namespace {

using Clock = std::chrono::steady_clock;

// A write without a write timeout still must not hang on a peer that never
// drains the line; this many specified milliseconds is far beyond any command.
constexpr uint32_t kWriteGuardMs = 10000;

uint32_t mapOpenError(int error) {
    switch (error) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return kSerialErrorFileNotFound;
        case EACCES:
        case EPERM:
        case EBUSY:
        case EWOULDBLOCK:
            return kSerialErrorAccessDenied;
        default:
            return static_cast<uint32_t>(error);
    }
}

std::optional<speed_t> classicSpeed(uint32_t baud) {
    switch (baud) {
        case 50:
            return B50;
        case 75:
            return B75;
        case 110:
            return B110;
        case 134:
            return B134;
        case 150:
            return B150;
        case 200:
            return B200;
        case 300:
            return B300;
        case 600:
            return B600;
        case 1200:
            return B1200;
        case 1800:
            return B1800;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        case 230400:
            return B230400;
        default:
            return std::nullopt;
    }
}

std::optional<Clock::time_point> totalDeadline(Clock::time_point start, uint32_t multiplier,
                                               uint32_t constant, uint32_t count) {
    if (multiplier == 0 && constant == 0) return std::nullopt;
    const uint64_t total = static_cast<uint64_t>(multiplier) * count + constant;
    const uint32_t ms = total > 0xFFFFFFFEu ? 0xFFFFFFFEu : static_cast<uint32_t>(total);
    return start + scaledPeerWait(ms);
}

}  // namespace

SerialDevice::~SerialDevice() {
    close();
}

std::string SerialDevice::systemPortPath(int number) {
    return "/dev/ttyS" + std::to_string(number - 1);
}

bool SerialDevice::open(const char* name) {
    close();
    const std::string path = devicePath(name);
    if (path.empty()) return fail(kSerialErrorFileNotFound);
    // Non-blocking so that a port without carrier does not hang the open;
    // every read and write waits through poll under the port's timeouts.
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return fail(mapOpenError(errno));
    // The advisory lock refuses a second opener of this library in any
    // process; TIOCEXCL also refuses other programs (unless privileged).
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        return fail(mapOpenError(error));
    }
    (void)::ioctl(fd, TIOCEXCL);
    handle_ = fd;
    timeouts_ = {};
    return true;
}

void SerialDevice::close() {
    if (handle_ < 0) return;
    const int fd = static_cast<int>(handle_);
    handle_ = -1;
    (void)::ioctl(fd, TIOCNXCL);  // the flag lives on the terminal, not on our descriptor
    ::close(fd);
}

bool SerialDevice::setTimeouts(const SerialTimeouts& timeouts) {
    if (handle_ < 0) return fail(EBADF);
    timeouts_ = timeouts;
    return true;
}

bool SerialDevice::setEventMask(uint32_t mask) {
    if (handle_ < 0) return fail(EBADF);
    return mask == 0 ? true : fail(EINVAL);
}

bool SerialDevice::setLineSettings(const SerialLineSettings& settings) {
    if (handle_ < 0) return fail(EBADF);
    const int fd = static_cast<int>(handle_);
    if (settings.baudRate == 0 || settings.byteSize < 5 || settings.byteSize > 8) return fail(EINVAL);
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) return fail(static_cast<uint32_t>(errno));
    ::cfmakeraw(&tio);
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK | ISTRIP);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS | HUPCL);
    tio.c_cflag |= CLOCAL | CREAD;
    static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    tio.c_cflag |= kSizes[settings.byteSize - 5];
    if (settings.parity == kSerialOddParity) tio.c_cflag |= PARENB | PARODD;
    if (settings.parity == kSerialEvenParity) tio.c_cflag |= PARENB;
    if (settings.stopBits == kSerialTwoStopBits) tio.c_cflag |= CSTOPB;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    const auto speed = classicSpeed(settings.baudRate);
    if (speed) {
        ::cfsetispeed(&tio, *speed);
        ::cfsetospeed(&tio, *speed);
    }
    if (::tcsetattr(fd, TCSANOW, &tio) != 0) return fail(static_cast<uint32_t>(errno));
    if (!speed && !detail::setCustomBaud(fd, settings.baudRate)) return fail(static_cast<uint32_t>(errno));

    // Modem lines: a terminal without them (a pseudo-terminal) has nothing to raise.
    int lines = TIOCM_DTR;
    (void)::ioctl(fd, settings.dtrEnable ? TIOCMBIS : TIOCMBIC, &lines);
    lines = TIOCM_RTS;
    (void)::ioctl(fd, settings.rtsEnable ? TIOCMBIS : TIOCMBIC, &lines);
    return true;
}

const uint32_t SerialDevice::kErrorClosed = EBADF;
const uint32_t SerialDevice::kErrorNoBuffer = EINVAL;

int32_t SerialDevice::receive(void* buffer, uint32_t count) {
    const int fd = static_cast<int>(handle_);
    auto* bytes = static_cast<unsigned char*>(buffer);
    const auto start = Clock::now();
    const auto total =
        totalDeadline(start, timeouts_.readTotalTimeoutMultiplier, timeouts_.readTotalTimeoutConstant, count);
    // MAXDWORD interval with no total timeout: return at once with what is there.
    const bool immediate = timeouts_.readIntervalTimeout == 0xFFFFFFFFu && !total;
    const auto interval = scaledPeerWait(timeouts_.readIntervalTimeout);
    uint32_t got = 0;
    Clock::time_point lastByte = start;
    while (got < count) {
        std::optional<Clock::time_point> deadline = total;
        if (immediate) deadline = start;
        if (got > 0 && timeouts_.readIntervalTimeout != 0 && !immediate) {
            const auto silence = lastByte + interval;
            if (!deadline || silence < *deadline) deadline = silence;
        }
        const int ready = detail::pollUntil(fd, POLLIN, deadline);
        if (ready < 0) {
            lastError_ = static_cast<uint32_t>(errno);
            return -1;
        }
        if (ready == 0) break;
        const ssize_t n = ::read(fd, bytes + got, count - got);
        if (n > 0) {
            got += static_cast<uint32_t>(n);
            lastByte = Clock::now();
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        // End of file or a hang-up: the device is gone.
        lastError_ = static_cast<uint32_t>(n == 0 ? EIO : errno);
        return -1;
    }
    return static_cast<int32_t>(got);
}

int32_t SerialDevice::send(const void* buffer, uint32_t count) {
    const int fd = static_cast<int>(handle_);
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    const auto start = Clock::now();
    auto deadline = totalDeadline(start, timeouts_.writeTotalTimeoutMultiplier,
                                  timeouts_.writeTotalTimeoutConstant, count);
    if (!deadline) deadline = start + scaledPeerWait(kWriteGuardMs);
    uint32_t sent = 0;
    while (sent < count) {
        const ssize_t n = ::write(fd, bytes + sent, count - sent);
        if (n > 0) {
            sent += static_cast<uint32_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            lastError_ = static_cast<uint32_t>(errno);
            return -1;
        }
        const int ready = detail::pollUntil(fd, POLLOUT, deadline);
        if (ready < 0) {
            lastError_ = static_cast<uint32_t>(errno);
            return -1;
        }
        if (ready == 0) break;
    }
    return static_cast<int32_t>(sent);
}

bool SerialDevice::purgeReceive() {
    if (handle_ < 0) return fail(EBADF);
    if (::tcflush(static_cast<int>(handle_), TCIFLUSH) != 0) return fail(static_cast<uint32_t>(errno));
    return true;
}

}  // namespace measure::platform
