#include "platform/socket_system.h"

#include <chrono>
#include <mutex>

namespace measure::platform {
bool detail::startSockets() {
    static std::once_flag once;
    static bool started = false;
    std::call_once(once, [] {
        WSADATA data{};
        started = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    });
    return started;
}

namespace {

using Clock = std::chrono::steady_clock;

// Waits for `events` until `deadline` (none: no limit): 1 ready, 0 timed out, -1 failed.
int waitFor(SocketHandle socket, short events, const Clock::time_point* deadline) {
    for (;;) {
        INT wait = -1;
        if (deadline != nullptr) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - Clock::now());
            if (left.count() <= 0) return 0;
            wait = static_cast<INT>(left.count() > 60000 ? 60000 : left.count());
        }
        WSAPOLLFD entry{detail::nativeOf(socket), events, 0};
        const int ready = ::WSAPoll(&entry, 1, wait);
        if (ready < 0) return -1;
        if (ready == 0) continue;
        if ((entry.revents & POLLNVAL) != 0) return -1;
        return 1;
    }
}

// An operation that waits up to `timeoutMs`, then does one call.
template <typename Call>
int waitThen(SocketHandle socket, short events, uint32_t timeoutMs, Call call) {
    if (socket == kInvalidSocket) return -1;
    Clock::time_point deadline{};
    const Clock::time_point* limit = nullptr;
    if (timeoutMs != kInfinite) {
        deadline = Clock::now() + scaledPeerWait(timeoutMs);
        limit = &deadline;
    }
    const int ready = waitFor(socket, events, limit);
    if (ready <= 0) return ready;
    const int n = call();
    return n == SOCKET_ERROR ? -1 : n;
}

}  // namespace

SocketHandle createTcpSocket() {
    if (!detail::startSockets()) return kInvalidSocket;
    const SOCKET socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    return socket == INVALID_SOCKET ? kInvalidSocket : static_cast<SocketHandle>(socket);
}

bool connectSocket(SocketHandle socket, const Ipv4Endpoint& peer, uint32_t timeoutMs) {
    if (socket == kInvalidSocket) return false;
    u_long nonBlocking = 1;
    if (::ioctlsocket(detail::nativeOf(socket), FIONBIO, &nonBlocking) != 0) return false;
    const sockaddr_in address = detail::toSockaddr(peer);
    bool connected =
        ::connect(detail::nativeOf(socket), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    if (!connected && ::WSAGetLastError() == WSAEWOULDBLOCK) {
        const Clock::time_point deadline = Clock::now() + scaledPeerWait(timeoutMs);
        if (waitFor(socket, POLLWRNORM, timeoutMs == kInfinite ? nullptr : &deadline) == 1) {
            int error = 0;
            int length = sizeof error;
            connected = ::getsockopt(detail::nativeOf(socket), SOL_SOCKET, SO_ERROR,
                                     reinterpret_cast<char*>(&error), &length) == 0 &&
                        error == 0;
        }
    }
    u_long blocking = 0;
    return ::ioctlsocket(detail::nativeOf(socket), FIONBIO, &blocking) == 0 && connected;
}

void shutdownSocket(SocketHandle socket) {
    if (socket != kInvalidSocket) ::shutdown(detail::nativeOf(socket), SD_BOTH);
}

void closeSocket(SocketHandle socket) {
    if (socket != kInvalidSocket) ::closesocket(detail::nativeOf(socket));
}

int sendSome(SocketHandle socket, const void* data, size_t size, uint32_t timeoutMs) {
    const int length = size > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(size);
    return waitThen(socket, POLLWRNORM, timeoutMs, [&] {
        return ::send(detail::nativeOf(socket), static_cast<const char*>(data), length, 0);
    });
}

int receiveSome(SocketHandle socket, void* buffer, size_t size, uint32_t timeoutMs) {
    const int length = size > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(size);
    return waitThen(socket, POLLRDNORM, timeoutMs,
                    [&] { return ::recv(detail::nativeOf(socket), static_cast<char*>(buffer), length, 0); });
}

SocketHandle acceptConnection(SocketHandle listener, uint32_t timeoutMs) {
    const Clock::time_point deadline = Clock::now() + scaledPeerWait(timeoutMs);
    if (waitFor(listener, POLLRDNORM, timeoutMs == kInfinite ? nullptr : &deadline) != 1)
        return kInvalidSocket;
    const SOCKET socket = ::accept(detail::nativeOf(listener), nullptr, nullptr);
    return socket == INVALID_SOCKET ? kInvalidSocket : static_cast<SocketHandle>(socket);
}

}  // namespace measure::platform
