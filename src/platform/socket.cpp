// The socket operations that read the same on every system.
#include "platform/socket_system.h"

namespace measure::platform {

using detail::nativeOf;

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
    if (text == nullptr || !detail::startSockets()) return false;
    in_addr parsed{};
    if (::inet_pton(AF_INET, text, &parsed) != 1) return false;
    address = parsed.s_addr;
    return true;
}

bool resolveIpv4(const char* name, uint32_t& address) {
    if (name == nullptr || *name == '\0' || !detail::startSockets()) return false;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(name, nullptr, &hints, &found) != 0 || found == nullptr) return false;
    address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
    ::freeaddrinfo(found);
    return true;
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
    return ::setsockopt(nativeOf(socket), level, name, reinterpret_cast<const char*>(&value), sizeof value) ==
           0;
}

SocketHandle listenLoopback(uint16_t port, uint16_t& boundPort) {
    const SocketHandle listener = createTcpSocket();
    if (listener == kInvalidSocket) return kInvalidSocket;
    if (detail::kReuseListeningAddress) setSocketOption(listener, SocketOption::ReuseAddress, 1);
    sockaddr_in address = detail::toSockaddr({loopbackAddress(), htons(port)});
    detail::SockLen length = sizeof address;
    if (::bind(nativeOf(listener), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(nativeOf(listener), 16) != 0 ||
        ::getsockname(nativeOf(listener), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        closeSocket(listener);
        return kInvalidSocket;
    }
    boundPort = ntohs(address.sin_port);
    return listener;
}

}  // namespace measure::platform
