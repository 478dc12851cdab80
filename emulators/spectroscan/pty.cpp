// Linux pseudo-terminals. The line speed goes through termios2 so that rates
// without a B-constant (28800 baud) can be set and seen from the master side,
// which reports the slave's settings.
#include "spectroscan/pty.h"

#include <asm/termbits.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace measure::emu {
namespace {

bool makeRaw(int fd, int baud) {
    struct termios2 t {};
    if (ioctl(fd, TCGETS2, &t) != 0) return false;
    t.c_iflag &=
        ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF);
    t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    t.c_cflag |= CS8 | CREAD | CLOCAL;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    if (baud > 0) {
        t.c_cflag &= ~static_cast<tcflag_t>(CBAUD);
        t.c_cflag |= BOTHER;
        t.c_ispeed = t.c_ospeed = static_cast<speed_t>(baud);
    }
    return ioctl(fd, TCSETS2, &t) == 0;
}

}  // namespace

PtyMaster::~PtyMaster() {
    close();
}

bool PtyMaster::open() {
    close();
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0) return false;
    char name[128];
    if (grantpt(master_) != 0 || unlockpt(master_) != 0 || ptsname_r(master_, name, sizeof name) != 0) {
        close();
        return false;
    }
    slavePath_ = name;
    keeper_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (keeper_ < 0 || !makeRaw(keeper_, 9600)) {
        close();
        return false;
    }
    const int flags = fcntl(master_, F_GETFL);
    fcntl(master_, F_SETFL, flags | O_NONBLOCK);
    return true;
}

void PtyMaster::close() {
    if (keeper_ >= 0) ::close(keeper_);
    if (master_ >= 0) ::close(master_);
    keeper_ = master_ = -1;
    slavePath_.clear();
}

int PtyMaster::slaveBaud() const {
    struct termios2 t {};
    if (master_ < 0 || ioctl(master_, TCGETS2, &t) != 0) return 0;
    return static_cast<int>(t.c_ospeed);
}

SerialLine::~SerialLine() {
    close();
}

bool SerialLine::open(const std::string& path, int baud) {
    close();
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0) return false;
    if (!makeRaw(fd_, baud)) {
        close();
        return false;
    }
    return true;
}

bool SerialLine::setBaud(int baud) {
    return fd_ >= 0 && makeRaw(fd_, baud);
}

void SerialLine::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    pending_.clear();
}

bool SerialLine::write(const std::string& text) {
    size_t done = 0;
    while (fd_ >= 0 && done < text.size()) {
        const ssize_t n = ::write(fd_, text.data() + done, text.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && errno == EAGAIN) {
            struct pollfd p {
                fd_, POLLOUT, 0
            };
            if (poll(&p, 1, 100) <= 0) return false;
        } else if (!(n < 0 && errno == EINTR)) {
            return false;
        }
    }
    return fd_ >= 0;
}

std::string SerialLine::readLine(int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto lf = pending_.find('\n');
        if (lf != std::string::npos) {
            std::string line = pending_.substr(0, lf + 1);
            pending_.erase(0, lf + 1);
            return line;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (fd_ < 0 || left <= 0) return {};
        struct pollfd p {
            fd_, POLLIN, 0
        };
        if (poll(&p, 1, static_cast<int>(left)) <= 0) continue;
        char buffer[512];
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n > 0) pending_.append(buffer, static_cast<size_t>(n));
    }
}

}  // namespace measure::emu
