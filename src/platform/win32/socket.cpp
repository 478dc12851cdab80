// IPv4 TCP and UDP sockets over Winsock 2. Every socket is non-blocking inside this
// file: each send, receive, connect and accept waits with WSAPoll under its
// own deadline first, so no call can block past its timeout.
#include <chrono>
#include <optional>

#include "platform/socket_system.h"
#include "platform/win32/support.h"

#include <mswsock.h>

namespace measure::platform {

bool detail::startSockets() {
    return win32::winsockReady();
}

namespace {

using Clock = std::chrono::steady_clock;
using Deadline = std::optional<Clock::time_point>;

Deadline deadlineAfter(uint32_t timeoutMs) {
    if (timeoutMs == kInfinite) return std::nullopt;
    return Clock::now() + scaledPeerWait(timeoutMs);
}

bool makeNonBlocking(SOCKET s) {
    u_long on = 1;
    return ::ioctlsocket(s, FIONBIO, &on) == 0;
}

// A shutdown from another thread does not wake a WSAPoll already waiting
// (wine); every new poll sees it, so long waits are taken in slices.
constexpr int kPollSliceMs = 20;

// Whether the socket was shut down for the direction waited on (the poll
// itself may not say so under wine): the call that follows then reports it.
bool shutDown(SOCKET s, short events) {
    char byte = 0;
    const int n = (events & POLLRDNORM) != 0 ? ::recv(s, &byte, 1, MSG_PEEK) : ::send(s, &byte, 0, 0);
    if ((events & POLLRDNORM) != 0 && n == 0) return true;
    return n < 0 && ::WSAGetLastError() != WSAEWOULDBLOCK && ::WSAGetLastError() != WSAENOTCONN;
}

// Waits until the socket reports `events` (or an error or hang-up, which the
// next call tells apart) or the deadline passes. 1 ready, 0 timed out, -1 error.
int pollUntil(SOCKET s, short events, Deadline deadline) {
    for (;;) {
        int waitMs = kPollSliceMs;
        if (deadline) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now()).count();
            if (left <= 0) return 0;
            if (left < waitMs) waitMs = static_cast<int>(left);
        }
        WSAPOLLFD entry{};
        entry.fd = s;
        entry.events = events;
        const int ready = ::WSAPoll(&entry, 1, waitMs);
        if (ready < 0) return -1;
        if (ready > 0) return (entry.revents & POLLNVAL) != 0 ? -1 : 1;
        if (shutDown(s, events)) return 1;
    }
}

// A datagram send waits only while the system's buffer is full.
constexpr uint32_t kDatagramSendWaitMs = 1000;

SocketHandle adopt(SOCKET s) {
    if (s == INVALID_SOCKET) return kInvalidSocket;
    if (!makeNonBlocking(s)) {
        ::closesocket(s);
        return kInvalidSocket;
    }
    return static_cast<SocketHandle>(s);
}

}  // namespace

SocketHandle createTcpSocket() {
    if (!win32::winsockReady()) return kInvalidSocket;
    return adopt(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
}

SocketHandle createUdpSocket() {
    if (!win32::winsockReady()) return kInvalidSocket;
    const SocketHandle socket = adopt(::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
    if (socket != kInvalidSocket) {
        // Without this, an ICMP "port unreachable" for one datagram fails the
        // next receive with WSAECONNRESET.
        BOOL report = FALSE;
        DWORD returned = 0;
        ::WSAIoctl(detail::nativeOf(socket), SIO_UDP_CONNRESET, &report, sizeof report, nullptr, 0, &returned,
                   nullptr, nullptr);
    }
    return socket;
}

bool connectSocket(SocketHandle socket, const Ipv4Endpoint& peer, uint32_t timeoutMs) {
    if (socket == kInvalidSocket) return false;
    const SOCKET s = detail::nativeOf(socket);
    const sockaddr_in address = detail::toSockaddr(peer);
    if (::connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return true;
    if (::WSAGetLastError() != WSAEWOULDBLOCK) return false;
    if (pollUntil(s, POLLWRNORM, deadlineAfter(timeoutMs)) != 1) return false;
    int error = 0;
    int length = sizeof error;
    return ::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) == 0 && error == 0;
}

void shutdownSocket(SocketHandle socket) {
    if (socket != kInvalidSocket) ::shutdown(detail::nativeOf(socket), SD_BOTH);
}

void closeSocket(SocketHandle socket) {
    if (socket != kInvalidSocket) ::closesocket(detail::nativeOf(socket));
}

int sendSome(SocketHandle socket, const void* data, size_t size, uint32_t timeoutMs) {
    if (socket == kInvalidSocket) return -1;
    const SOCKET s = detail::nativeOf(socket);
    const int length = size > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(size);
    const auto deadline = deadlineAfter(timeoutMs);
    for (;;) {
        const int ready = pollUntil(s, POLLWRNORM, deadline);
        if (ready <= 0) return ready;
        const int n = ::send(s, static_cast<const char*>(data), length, 0);
        if (n >= 0) return n;
        if (::WSAGetLastError() != WSAEWOULDBLOCK) return -1;
    }
}

int receiveSome(SocketHandle socket, void* buffer, size_t size, uint32_t timeoutMs) {
    if (socket == kInvalidSocket) return -1;
    const SOCKET s = detail::nativeOf(socket);
    const int length = size > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(size);
    const auto deadline = deadlineAfter(timeoutMs);
    for (;;) {
        const int ready = pollUntil(s, POLLRDNORM, deadline);
        if (ready <= 0) return ready;
        const int n = ::recv(s, static_cast<char*>(buffer), length, 0);
        if (n >= 0) return n;
        if (::WSAGetLastError() != WSAEWOULDBLOCK) return -1;
    }
}

int waitReadable(SocketHandle socket, uint32_t timeoutMs) {
    if (socket == kInvalidSocket) return -1;
    return pollUntil(detail::nativeOf(socket), POLLRDNORM, deadlineAfter(timeoutMs));
}

int sendDatagram(SocketHandle socket, const void* data, size_t size, const Ipv4Endpoint& peer) {
    if (socket == kInvalidSocket || size > 0x7FFFFFFF) return -1;
    const SOCKET s = detail::nativeOf(socket);
    const sockaddr_in address = detail::toSockaddr(peer);
    const auto deadline = deadlineAfter(kDatagramSendWaitMs);
    for (;;) {
        const int n = ::sendto(s, static_cast<const char*>(data), static_cast<int>(size), 0,
                               reinterpret_cast<const sockaddr*>(&address), sizeof address);
        if (n >= 0) return n;
        if (::WSAGetLastError() != WSAEWOULDBLOCK || pollUntil(s, POLLWRNORM, deadline) != 1) return -1;
    }
}

int receiveDatagram(SocketHandle socket, void* buffer, size_t size, uint32_t timeoutMs, Ipv4Endpoint* from) {
    if (socket == kInvalidSocket) return -1;
    const SOCKET s = detail::nativeOf(socket);
    const int length = size > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(size);
    const auto deadline = deadlineAfter(timeoutMs);
    for (;;) {
        const int ready = pollUntil(s, POLLRDNORM, deadline);
        if (ready <= 0) return ready;
        sockaddr_in sender{};
        int senderLength = sizeof sender;
        const int n = ::recvfrom(s, static_cast<char*>(buffer), length, 0,
                                 reinterpret_cast<sockaddr*>(&sender), &senderLength);
        if (n >= 0 || ::WSAGetLastError() == WSAEMSGSIZE) {
            if (from != nullptr) *from = {sender.sin_addr.s_addr, sender.sin_port};
            return n >= 0 ? n : length;
        }
        const int error = ::WSAGetLastError();
        if (error != WSAEWOULDBLOCK && error != WSAECONNRESET) return -1;
    }
}

SocketHandle acceptConnection(SocketHandle listener, uint32_t timeoutMs) {
    if (listener == kInvalidSocket) return kInvalidSocket;
    const SOCKET s = detail::nativeOf(listener);
    if (pollUntil(s, POLLRDNORM, deadlineAfter(timeoutMs)) != 1) return kInvalidSocket;
    return adopt(::accept(s, nullptr, nullptr));
}

}  // namespace measure::platform
