#include "platform/pseudo_terminal.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <thread>

#include "platform/posix/serial_custom_baud.h"

namespace measure::platform {
namespace {

using Clock = std::chrono::steady_clock;

// Waits for `events` on `fd` until `deadline`: true when ready. A master
// without any slave opener reports a hang-up; that is treated as "not yet".
bool waitFor(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return false;
        pollfd entry{fd, events, 0};
        const int ready = ::poll(&entry, 1, static_cast<int>(left.count() < 10 ? left.count() : 10));
        if (ready < 0 && errno != EINTR) return false;
        if (ready > 0 && (entry.revents & events) != 0) return true;
        if (ready > 0 && (entry.revents & (POLLHUP | POLLERR)) != 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

}  // namespace

PseudoTerminal::PseudoTerminal() {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0) return;
    char name[128] = {};
    if (::grantpt(master) != 0 || ::unlockpt(master) != 0 || ::ptsname_r(master, name, sizeof name) != 0) {
        ::close(master);
        return;
    }
    const int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) {
        ::close(master);
        return;
    }
    termios tio{};
    if (::tcgetattr(slave, &tio) == 0) {
        ::cfmakeraw(&tio);
        (void)::tcsetattr(slave, TCSANOW, &tio);
    }
    const int flags = ::fcntl(master, F_GETFL);
    (void)::fcntl(master, F_SETFL, flags | O_NONBLOCK);
    master_ = master;
    slave_ = slave;
    slavePath_ = name;
}

PseudoTerminal::~PseudoTerminal() {
    close();
}

void PseudoTerminal::close() {
    if (slave_ >= 0) ::close(static_cast<int>(slave_));
    if (master_ >= 0) ::close(static_cast<int>(master_));
    slave_ = -1;
    master_ = -1;
}

bool PseudoTerminal::write(std::string_view bytes) {
    if (master_ < 0) return false;
    const int fd = static_cast<int>(master_);
    const auto deadline = Clock::now() + std::chrono::seconds(1);
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + sent, bytes.size() - sent);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
        if (!waitFor(fd, POLLOUT, deadline)) return false;
    }
    return true;
}

int PseudoTerminal::read(void* buffer, size_t size, std::chrono::milliseconds timeout) {
    if (master_ < 0) return -1;
    if (size == 0) return 0;
    const int fd = static_cast<int>(master_);
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        const ssize_t n = ::read(fd, buffer, size);
        if (n > 0) return static_cast<int>(n);
        if (n < 0 && errno != EAGAIN && errno != EINTR && errno != EIO) return -1;
        // EIO: no slave side open at the moment; wait for one like for data.
        if (!waitFor(fd, POLLIN, deadline)) return 0;
    }
}

uint32_t PseudoTerminal::slaveBaud() const {
    if (slave_ < 0) return 0;
    return detail::currentBaud(static_cast<int>(slave_));
}

}  // namespace measure::platform
