#include "platform/socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <chrono>
#include <optional>

#include "platform/posix/poll_wait.h"

namespace measure::platform {
namespace {

using Clock = std::chrono::steady_clock;

int fdOf(SocketHandle socket) {
    return static_cast<int>(socket);
}

detail::Deadline deadlineAfter(uint32_t timeoutMs) {
    if (timeoutMs == kInfinite) return std::nullopt;
    return Clock::now() + scaledPeerWait(timeoutMs);
}

sockaddr_in toSockaddr(const Ipv4Endpoint& endpoint) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = endpoint.port;
    address.sin_addr.s_addr = endpoint.address;
    return address;
}

}  // namespace

uint16_t hostToNetwork16(uint16_t value) {
    return htons(value);
}
uint32_t hostToNetwork32(uint32_t value) {
    return htonl(value);
}
uint32_t loopbackAddress() {
    return htonl(INADDR_LOOPBACK);
}

bool parseIpv4(const char* text, uint32_t& address) {
    if (text == nullptr) return false;
    in_addr parsed{};
    if (::inet_pton(AF_INET, text, &parsed) != 1) return false;
    address = parsed.s_addr;
    return true;
}

bool resolveIpv4(const char* name, uint32_t& address) {
    if (name == nullptr || *name == '\0') return false;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(name, nullptr, &hints, &found) != 0 || found == nullptr) return false;
    address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
    ::freeaddrinfo(found);
    return true;
}

SocketHandle createTcpSocket() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    return fd < 0 ? kInvalidSocket : fd;
}

bool setSocketOption(SocketHandle socket, SocketOption option, int value) {
    if (socket == kInvalidSocket) return false;
    int level = SOL_SOCKET;
    int name = SO_REUSEADDR;
    if (option == SocketOption::KeepAlive) name = SO_KEEPALIVE;
    if (option == SocketOption::NoDelay) {
        level = IPPROTO_TCP;
        name = TCP_NODELAY;
    }
    return ::setsockopt(fdOf(socket), level, name, &value, sizeof value) == 0;
}

bool connectSocket(SocketHandle socket, const Ipv4Endpoint& peer, uint32_t timeoutMs) {
    if (socket == kInvalidSocket) return false;
    const int fd = fdOf(socket);
    // Connect without blocking so that the wait is ours to bound, then hand
    // the socket back in blocking mode.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) return false;
    const sockaddr_in address = toSockaddr(peer);
    bool connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    if (!connected && errno == EINPROGRESS &&
        detail::pollUntil(fdOf(socket), POLLOUT, deadlineAfter(timeoutMs)) == 1) {
        int error = 0;
        socklen_t length = sizeof error;
        connected = ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
    }
    return ::fcntl(fd, F_SETFL, flags) == 0 && connected;
}

void shutdownSocket(SocketHandle socket) {
    if (socket != kInvalidSocket) ::shutdown(fdOf(socket), SHUT_RDWR);
}

void closeSocket(SocketHandle socket) {
    if (socket != kInvalidSocket) ::close(fdOf(socket));
}

int sendSome(SocketHandle socket, const void* data, size_t size, uint32_t timeoutMs) {
    if (socket == kInvalidSocket) return -1;
    const auto deadline = deadlineAfter(timeoutMs);
    for (;;) {
        const int ready = detail::pollUntil(fdOf(socket), POLLOUT, deadline);
        if (ready <= 0) return ready;
        const ssize_t n = ::send(fdOf(socket), data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n >= 0) return static_cast<int>(n);
        if (errno != EINTR && errno != EAGAIN) return -1;
    }
}

int receiveSome(SocketHandle socket, void* buffer, size_t size, uint32_t timeoutMs) {
    if (socket == kInvalidSocket) return -1;
    const auto deadline = deadlineAfter(timeoutMs);
    for (;;) {
        const int ready = detail::pollUntil(fdOf(socket), POLLIN, deadline);
        if (ready <= 0) return ready;
        const ssize_t n = ::recv(fdOf(socket), buffer, size, MSG_DONTWAIT);
        if (n >= 0) return static_cast<int>(n);
        if (errno != EINTR && errno != EAGAIN) return -1;
    }
}

SocketHandle listenLoopback(uint16_t port, uint16_t& boundPort) {
    const SocketHandle listener = createTcpSocket();
    if (listener == kInvalidSocket) return kInvalidSocket;
    setSocketOption(listener, SocketOption::ReuseAddress, 1);
    sockaddr_in address = toSockaddr({loopbackAddress(), htons(port)});
    socklen_t length = sizeof address;
    if (::bind(fdOf(listener), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fdOf(listener), 16) != 0 ||
        ::getsockname(fdOf(listener), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        closeSocket(listener);
        return kInvalidSocket;
    }
    boundPort = ntohs(address.sin_port);
    return listener;
}

SocketHandle acceptConnection(SocketHandle listener, uint32_t timeoutMs) {
    if (detail::pollUntil(fdOf(listener), POLLIN, deadlineAfter(timeoutMs)) != 1) return kInvalidSocket;
    const int fd = ::accept4(fdOf(listener), nullptr, nullptr, SOCK_CLOEXEC);
    return fd < 0 ? kInvalidSocket : fd;
}

}  // namespace measure::platform
