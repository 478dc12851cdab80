// The socket operations that read the same on every system.
#include "platform/socket_system.h"

#include <mutex>

#include "platform/environment.h"

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

uint16_t parsePort(std::string_view text) {
    if (text.empty() || text.size() > 5) return 0;
    uint32_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return 0;
        value = value * 10 + static_cast<uint32_t>(c - '0');
    }
    return value >= 1 && value <= 65535 ? static_cast<uint16_t>(value) : 0;
}

std::optional<Ipv4Endpoint> discoveryTarget(const char* variable, Ipv4Endpoint normal) {
    const std::optional<std::string> text = environmentVariable(variable);
    if (!text || text->empty()) return normal;
    // "127.x.y.z:PORT", nothing else.
    const size_t colon = text->rfind(':');
    if (colon == std::string::npos) return std::nullopt;
    const uint16_t port = parsePort(std::string_view(*text).substr(colon + 1));
    uint32_t address = 0;
    if (port == 0 || !parseIpv4(text->substr(0, colon).c_str(), address) || (ntohl(address) >> 24) != 127)
        return std::nullopt;
    return Ipv4Endpoint{address, htons(port)};
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
    if (option == SocketOption::Broadcast) name = SO_BROADCAST;
    if (option == SocketOption::NoDelay) {
        level = IPPROTO_TCP;
        name = TCP_NODELAY;
    }
    return ::setsockopt(nativeOf(socket), level, name, reinterpret_cast<const char*>(&value), sizeof value) ==
           0;
}

bool bindSocket(SocketHandle socket, const Ipv4Endpoint& local) {
    if (socket == kInvalidSocket) return false;
    const sockaddr_in address = detail::toSockaddr(local);
    return ::bind(nativeOf(socket), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

bool localEndpoint(SocketHandle socket, Ipv4Endpoint& local) {
    if (socket == kInvalidSocket) return false;
    sockaddr_in address{};
    detail::SockLen length = sizeof address;
    if (::getsockname(nativeOf(socket), reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        address.sin_family != AF_INET || address.sin_port == 0)
        return false;
    local = {address.sin_addr.s_addr, address.sin_port};
    return true;
}

std::string localHostName() {
    if (!detail::startSockets()) return {};
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return {};
    return name;
}

namespace {

std::mutex addressOverrideMutex;
std::optional<std::vector<uint32_t>> addressOverride;

// The resolver's answer for the local host name, IPv4 only.
addrinfo* resolveLocalHost(int flags) {
    const std::string name = localHostName();
    if (name.empty()) return nullptr;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_flags = flags;
    addrinfo* found = nullptr;
    if (::getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0) return nullptr;
    return found;
}

}  // namespace

std::string localHostOfficialName() {
    addrinfo* found = resolveLocalHost(AI_CANONNAME);
    std::string name = found != nullptr && found->ai_canonname != nullptr ? found->ai_canonname : "";
    if (found != nullptr) ::freeaddrinfo(found);
    return name.empty() ? localHostName() : name;
}

std::vector<uint32_t> localHostAddresses() {
    {
        const std::lock_guard lock(addressOverrideMutex);
        if (addressOverride) return *addressOverride;
    }
    std::vector<uint32_t> addresses;
    addrinfo* found = resolveLocalHost(0);
    for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
        const uint32_t address = reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr.s_addr;
        bool known = false;
        for (const uint32_t seen : addresses) known = known || seen == address;
        if (!known) addresses.push_back(address);
    }
    if (found != nullptr) ::freeaddrinfo(found);
    return addresses;
}

void overrideLocalHostAddresses(std::optional<std::vector<uint32_t>> addresses) {
    const std::lock_guard lock(addressOverrideMutex);
    addressOverride = std::move(addresses);
}

SocketHandle listenLoopback(uint16_t port, uint16_t& boundPort) {
    return listenLoopbackOn(loopbackAddress(), port, boundPort);
}

SocketHandle listenLoopbackOn(uint32_t loopback, uint16_t port, uint16_t& boundPort) {
    if ((ntohl(loopback) >> 24) != 127) return kInvalidSocket;
    const SocketHandle listener = createTcpSocket();
    if (listener == kInvalidSocket) return kInvalidSocket;
    if (detail::kReuseListeningAddress) setSocketOption(listener, SocketOption::ReuseAddress, 1);
    sockaddr_in address = detail::toSockaddr({loopback, htons(port)});
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
