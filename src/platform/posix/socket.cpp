#include "platform/socket_system.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <cerrno>
#include <chrono>
#include <optional>

#include "platform/posix/poll_wait.h"

namespace measure::platform {
namespace {

using Clock = std::chrono::steady_clock;

detail::Deadline deadlineAfter(uint32_t timeoutMs) {
    if (timeoutMs == kInfinite) return std::nullopt;
    return Clock::now() + scaledPeerWait(timeoutMs);
}

}  // namespace

bool detail::startSockets() {
    return true;
}

SocketHandle createTcpSocket() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    return fd < 0 ? kInvalidSocket : fd;
}

SocketHandle createUdpSocket() {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    return fd < 0 ? kInvalidSocket : fd;
}

bool connectSocket(SocketHandle socket, const Ipv4Endpoint& peer, uint32_t timeoutMs) {
    if (socket == kInvalidSocket) return false;
    const int fd = detail::nativeOf(socket);
    // Connect without blocking so that the wait is ours to bound, then hand
    // the socket back in blocking mode.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) return false;
    const sockaddr_in address = detail::toSockaddr(peer);
    bool connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    if (!connected && errno == EINPROGRESS &&
        detail::pollUntil(detail::nativeOf(socket), POLLOUT, deadlineAfter(timeoutMs)) == 1) {
        int error = 0;
        socklen_t length = sizeof error;
        connected = ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
    }
    return ::fcntl(fd, F_SETFL, flags) == 0 && connected;
}

void shutdownSocket(SocketHandle socket) {
    if (socket != kInvalidSocket) ::shutdown(detail::nativeOf(socket), SHUT_RDWR);
}

void closeSocket(SocketHandle socket) {
    if (socket != kInvalidSocket) ::close(detail::nativeOf(socket));
}

int sendSome(SocketHandle socket, const void* data, size_t size, uint32_t timeoutMs) {
    if (socket == kInvalidSocket) return -1;
    const auto deadline = deadlineAfter(timeoutMs);
    for (;;) {
        const int ready = detail::pollUntil(detail::nativeOf(socket), POLLOUT, deadline);
        if (ready <= 0) return ready;
        const ssize_t n = ::send(detail::nativeOf(socket), data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n >= 0) return static_cast<int>(n);
        if (errno != EINTR && errno != EAGAIN) return -1;
    }
}

int receiveSome(SocketHandle socket, void* buffer, size_t size, uint32_t timeoutMs) {
    if (socket == kInvalidSocket) return -1;
    const auto deadline = deadlineAfter(timeoutMs);
    for (;;) {
        const int ready = detail::pollUntil(detail::nativeOf(socket), POLLIN, deadline);
        if (ready <= 0) return ready;
        const ssize_t n = ::recv(detail::nativeOf(socket), buffer, size, MSG_DONTWAIT);
        if (n >= 0) return static_cast<int>(n);
        if (errno != EINTR && errno != EAGAIN) return -1;
    }
}

int waitReadable(SocketHandle socket, uint32_t timeoutMs) {
    if (socket == kInvalidSocket) return -1;
    return detail::pollUntil(detail::nativeOf(socket), POLLIN, deadlineAfter(timeoutMs));
}

int sendDatagram(SocketHandle socket, const void* data, size_t size, const Ipv4Endpoint& peer) {
    if (socket == kInvalidSocket) return -1;
    const sockaddr_in address = detail::toSockaddr(peer);
    for (;;) {
        const ssize_t n = ::sendto(detail::nativeOf(socket), data, size, MSG_NOSIGNAL,
                                   reinterpret_cast<const sockaddr*>(&address), sizeof address);
        if (n >= 0) return static_cast<int>(n);
        if (errno != EINTR) return -1;
    }
}

int receiveDatagram(SocketHandle socket, void* buffer, size_t size, uint32_t timeoutMs, Ipv4Endpoint* from) {
    if (socket == kInvalidSocket) return -1;
    const auto deadline = deadlineAfter(timeoutMs);
    for (;;) {
        const int ready = detail::pollUntil(detail::nativeOf(socket), POLLIN, deadline);
        if (ready <= 0) return ready;
        sockaddr_in sender{};
        socklen_t length = sizeof sender;
        const ssize_t n = ::recvfrom(detail::nativeOf(socket), buffer, size, MSG_DONTWAIT,
                                     reinterpret_cast<sockaddr*>(&sender), &length);
        if (n >= 0) {
            if (from != nullptr) *from = {sender.sin_addr.s_addr, sender.sin_port};
            return static_cast<int>(n);
        }
        // A refusal left by an earlier datagram is not this wait's answer.
        if (errno != EINTR && errno != EAGAIN && errno != ECONNREFUSED) return -1;
    }
}

SocketHandle acceptConnection(SocketHandle listener, uint32_t timeoutMs) {
    if (detail::pollUntil(detail::nativeOf(listener), POLLIN, deadlineAfter(timeoutMs)) != 1)
        return kInvalidSocket;
    const int fd = ::accept4(detail::nativeOf(listener), nullptr, nullptr, SOCK_CLOEXEC);
    return fd < 0 ? kInvalidSocket : fd;
}

}  // namespace measure::platform
