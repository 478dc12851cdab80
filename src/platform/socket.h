// IPv4 TCP and UDP sockets as Winsock presents them: a handle with an invalid
// value, options set one by one, waits for readability or writability before
// one send or receive. Also a loopback listener for emulated services and
// tests, and the local host's name and addresses for discovery broadcasts.
//
// Timeouts are specified milliseconds and run on the scaled clock as waits
// for a peer (platform::scaledPeerWait); kInfinite waits without limit.
// Nothing here raises SIGPIPE: a send to a closed peer is an error result.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"

namespace measure::platform {

using SocketHandle = intptr_t;
inline constexpr SocketHandle kInvalidSocket = -1;

// An IPv4 address and port, both in network byte order (sockaddr_in's fields).
struct Ipv4Endpoint {
    uint32_t address = 0;
    uint16_t port = 0;
    bool operator==(const Ipv4Endpoint&) const = default;
};

uint16_t hostToNetwork16(uint16_t value);
uint32_t hostToNetwork32(uint32_t value);
// 127.0.0.1 in network order.
uint32_t loopbackAddress();

// A dotted IPv4 text ("192.168.1.20") in network order; false if it is none.
bool parseIpv4(const char* text, uint32_t& address);
// The first IPv4 address of a host name; false when it does not resolve.
bool resolveIpv4(const char* name, uint32_t& address);

// A port number in decimal, 1 to 65535; 0 for any other text.
uint16_t parsePort(std::string_view text);
// Where a broadcast or multicast discovery goes: `normal` while the
// environment variable `variable` is unset or empty, the loopback endpoint
// it names ("127.x.y.z:PORT") for tests and the demo, and nothing at all
// when it holds any other text, so that a mistyped redirect never sends a datagram off the machine.
std::optional<Ipv4Endpoint> discoveryTarget(const char* variable, Ipv4Endpoint normal);

// A new IPv4 stream socket, kInvalidSocket on failure.
SocketHandle createTcpSocket();
// A new IPv4 datagram socket, kInvalidSocket on failure.
SocketHandle createUdpSocket();
// Broadcast: datagrams may go to 255.255.255.255 (SO_BROADCAST).
enum class SocketOption { ReuseAddress, KeepAlive, NoDelay, Broadcast };
bool setSocketOption(SocketHandle socket, SocketOption option, int value);
// Connects within `timeoutMs`; false when refused, unreachable or too slow.
bool connectSocket(SocketHandle socket, const Ipv4Endpoint& peer, uint32_t timeoutMs);
// Ends both directions; a thread blocked on the socket wakes up. The handle
// stays valid until closeSocket.
void shutdownSocket(SocketHandle socket);
void closeSocket(SocketHandle socket);

// Waits up to `timeoutMs` for the socket to take bytes, then one send: the
// bytes sent, 0 when the wait timed out, -1 for an invalid socket or an error.
int sendSome(SocketHandle socket, const void* data, size_t size, uint32_t timeoutMs);
// Waits up to `timeoutMs` for bytes, then one receive: the bytes received,
// 0 when the peer closed the connection or the wait timed out, -1 for an
// invalid socket or an error.
int receiveSome(SocketHandle socket, void* buffer, size_t size, uint32_t timeoutMs);

// Waits up to `timeoutMs` for the socket to have bytes or an end to read:
// 1 when a receive would not wait (a 0 from receiveSome then means the peer
// closed), 0 when the wait timed out, -1 for an invalid socket or an error.
int waitReadable(SocketHandle socket, uint32_t timeoutMs);

// Binds to `local` (address 0: every interface; port 0: any free port).
bool bindSocket(SocketHandle socket, const Ipv4Endpoint& local);
// The address and port the socket is bound to (network order), e.g. after a
// first datagram bound it implicitly; false when it is not bound.
bool localEndpoint(SocketHandle socket, Ipv4Endpoint& local);

// Sends one datagram to `peer`: the bytes sent, or -1 on error.
int sendDatagram(SocketHandle socket, const void* data, size_t size, const Ipv4Endpoint& peer);
// Waits up to `timeoutMs` for one datagram and takes it (cut to `size`),
// telling its sender in `from` when given: the bytes received, 0 when the wait
// timed out (an empty datagram reads the same), -1 on error.
int receiveDatagram(SocketHandle socket, void* buffer, size_t size, uint32_t timeoutMs,
                    Ipv4Endpoint* from = nullptr);

// The local host's name ("" when the system has none).
std::string localHostName();
// The official (canonical) name the resolver gives for the local host name,
// or the plain name when it gives none.
std::string localHostOfficialName();
// The IPv4 addresses the local host name resolves to (network order), in
// the resolver's order; empty when it does not resolve.
std::vector<uint32_t> localHostAddresses();
// For tests: makes localHostAddresses answer `addresses` (nullopt: the
// resolver again), so that what depends on it does not depend on the
// machine's name service.
void overrideLocalHostAddresses(std::optional<std::vector<uint32_t>> addresses);

// Owns a socket handle and closes it when it goes (or on close()).
class OwnedSocket {
public:
    explicit OwnedSocket(SocketHandle handle) : handle_(handle) {}
    ~OwnedSocket() { close(); }
    OwnedSocket(const OwnedSocket&) = delete;
    OwnedSocket& operator=(const OwnedSocket&) = delete;
    SocketHandle get() const { return handle_; }
    bool valid() const { return handle_ != kInvalidSocket; }
    void close() {
        if (handle_ != kInvalidSocket) closeSocket(handle_);
        handle_ = kInvalidSocket;
    }

private:
    SocketHandle handle_;
};

// A listening socket on 127.0.0.1 (`port` 0: any free port, told in
// boundPort, host order); kInvalidSocket on failure.
SocketHandle listenLoopback(uint16_t port, uint16_t& boundPort);
// The same on another loopback address (127.0.0.0/8, network order), so that
// several emulated instruments can each have their own; kInvalidSocket for
// an address outside loopback.
SocketHandle listenLoopbackOn(uint32_t address, uint16_t port, uint16_t& boundPort);
// Takes the next connection within `timeoutMs`; kInvalidSocket when none came.
SocketHandle acceptConnection(SocketHandle listener, uint32_t timeoutMs);

}  // namespace measure::platform
