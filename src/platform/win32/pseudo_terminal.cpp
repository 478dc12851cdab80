// Under wine a pseudo-terminal pair is made by the pty broker, a Linux
// program the Windows test stage starts beside wine: it links the slave into
// the prefix as a COM port (slavePath() is that name, "COM12") and plays the
// master side for this object over a loopback connection. On a Windows
// machine without the broker no pair can be had and isOpen() is false.
#include "platform/pseudo_terminal.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/win32/pty_broker_protocol.h"
#include "platform/win32/support.h"

namespace measure::platform {
namespace {

using namespace ptybroker;

// Replies come within the request's own timeout; this bounds a broker that died.
constexpr DWORD kReplyGuardMs = 10000;

SOCKET socketOf(intptr_t value) {
    return static_cast<SOCKET>(value);
}

bool sendAll(SOCKET s, const void* data, size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const int n = ::send(s, bytes, static_cast<int>(size), 0);
        if (n <= 0) return false;
        bytes += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool receiveAll(SOCKET s, void* data, size_t size) {
    auto* bytes = static_cast<char*>(data);
    while (size > 0) {
        const int n = ::recv(s, bytes, static_cast<int>(size), 0);
        if (n <= 0) return false;
        bytes += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool request(SOCKET s, Operation operation, uint32_t a, uint32_t b, const void* payload = nullptr) {
    unsigned char head[kRequestBytes];
    head[0] = operation;
    putU32(head + 1, a);
    putU32(head + 5, b);
    if (!sendAll(s, head, sizeof head)) return false;
    return payload == nullptr || sendAll(s, payload, a);
}

}  // namespace

PseudoTerminal::PseudoTerminal() {
    const char* port = std::getenv(kPortVariable);
    if (port == nullptr || *port == '\0' || !win32::winsockReady()) return;
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(std::atoi(port)));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const DWORD guard = kReplyGuardMs;
    const BOOL noDelay = TRUE;
    ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&guard), sizeof guard);
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
    unsigned char length[4];
    if (::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        !receiveAll(s, length, sizeof length) || readU32(length) == 0 || readU32(length) > 64) {
        ::closesocket(s);
        return;
    }
    std::string name(readU32(length), '\0');
    if (!receiveAll(s, name.data(), name.size())) {
        ::closesocket(s);
        return;
    }
    master_ = static_cast<intptr_t>(s);
    slavePath_ = name;
}

PseudoTerminal::~PseudoTerminal() {
    close();
}

void PseudoTerminal::close() {
    if (master_ < 0) return;
    const SOCKET s = socketOf(master_);
    master_ = -1;
    // Waits until the broker has closed the pair, so that the library's next
    // read already sees the cable pulled.
    unsigned char done = 0;
    if (request(s, kClose, 0, 0)) (void)receiveAll(s, &done, 1);
    ::closesocket(s);
}

bool PseudoTerminal::write(std::string_view bytes) {
    if (master_ < 0 || bytes.size() > kMaxTransfer) return false;
    const SOCKET s = socketOf(master_);
    unsigned char sent = 0;
    return request(s, kWrite, static_cast<uint32_t>(bytes.size()), 0, bytes.data()) &&
           receiveAll(s, &sent, 1) && sent == 1;
}

int PseudoTerminal::read(void* buffer, size_t size, std::chrono::milliseconds timeout) {
    if (master_ < 0) return -1;
    if (size == 0) return 0;
    const SOCKET s = socketOf(master_);
    const auto count = static_cast<uint32_t>(size < kMaxTransfer ? size : kMaxTransfer);
    const auto ms = static_cast<uint32_t>(timeout.count() < 0 ? 0 : timeout.count());
    unsigned char head[4];
    if (!request(s, kRead, count, ms) || !receiveAll(s, head, sizeof head)) return -1;
    const auto n = static_cast<int32_t>(readU32(head));
    if (n <= 0) return n;
    if (static_cast<uint32_t>(n) > count || !receiveAll(s, buffer, static_cast<size_t>(n))) return -1;
    return n;
}

uint32_t PseudoTerminal::slaveBaud() const {
    if (master_ < 0) return 0;
    const SOCKET s = socketOf(master_);
    unsigned char baud[4];
    if (!request(s, kBaud, 0, 0) || !receiveAll(s, baud, sizeof baud)) return 0;
    return readU32(baud);
}

}  // namespace measure::platform
