// The system's socket declarations for the socket backends only: the one
// place that tells Winsock from BSD sockets, so that what both share is
// written once (socket.cpp).
#pragma once

#if defined(_WIN32)
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include "platform/socket.h"

namespace measure::platform::detail {

#if defined(_WIN32)
using NativeSocket = SOCKET;
using SockLen = int;
// SO_REUSEADDR on Windows would let another socket take a listening port.
constexpr bool kReuseListeningAddress = false;
#else
using NativeSocket = int;
using SockLen = socklen_t;
// A loopback server restarted at once gets its port back.
constexpr bool kReuseListeningAddress = true;
#endif

inline NativeSocket nativeOf(SocketHandle socket) {
    return static_cast<NativeSocket>(socket);
}

inline sockaddr_in toSockaddr(const Ipv4Endpoint& endpoint) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = endpoint.port;
    address.sin_addr.s_addr = endpoint.address;
    return address;
}

// Makes the socket library usable (Winsock's start-up; nothing on POSIX).
bool startSockets();

}  // namespace measure::platform::detail
