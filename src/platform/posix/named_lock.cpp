#include "platform/named_lock.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <string>

namespace measure::platform {

// An abstract-namespace socket name is held by the process that bound it and
// released by the kernel when that process ends, like a named mutex.
bool createNamedLock(const char* name) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string key = std::string("measure.") + (name != nullptr ? name : "");
    const size_t length = std::min(key.size(), sizeof(addr.sun_path) - 2);
    std::memcpy(addr.sun_path + 1, key.data(), length);
    const auto size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + length);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), size) == 0) return false;  // kept open on purpose
    const bool existed = errno == EADDRINUSE;
    ::close(fd);
    return existed;
}

}  // namespace measure::platform
