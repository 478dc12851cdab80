#include "drivers/konica/myiro9/fd9_terminal.h"

#include <array>
#include <string_view>

#include "core/logger.h"
#include "drivers/konica/myiro9/fd9_terminal_protocol.h"
#include "platform/environment.h"
#include "platform/socket.h"

namespace measure::konica {
namespace {

namespace pf = platform;

// Moves the discovery to loopback for tests and the demo.
constexpr const char* kDiscoveryVariable = "MEASURE_FD9_DISCOVERY";

uint16_t terminalPort() {
    const auto text = pf::environmentVariable("MEASURE_FD9_TERMINAL_PORT");
    const uint16_t port = text ? pf::parsePort(*text) : 0;
    return port != 0 ? port : kTerminalPort;
}

}  // namespace

bool discoverTerminal(std::string& address, const char* logName) {
    pf::OwnedSocket sender(pf::createUdpSocket());
    if (!sender.valid() || !pf::setSocketOption(sender.get(), pf::SocketOption::Broadcast, 1)) {
        Log(0, logName, "discovery socket");
        return false;
    }
    pf::setSocketOption(sender.get(), pf::SocketOption::ReuseAddress, 1);
    const auto to =
        pf::discoveryTarget(kDiscoveryVariable, {0xFFFFFFFFu, pf::hostToNetwork16(kDiscoveryPort)});
    if (!to) {
        LogF(0, logName, "%s is no 127.x.y.z:PORT: no discovery", kDiscoveryVariable);
        return false;
    }
    for (size_t i = 0; i < pf::localHostAddresses().size(); ++i)
        pf::sendDatagram(sender.get(), kDiscoveryRequest.data(), kDiscoveryRequest.size(), *to);
    pf::Ipv4Endpoint local{};
    if (!pf::localEndpoint(sender.get(), local)) {
        Log(0, logName, "no discovery datagram sent");
        return false;
    }
    // The replies come back to the sender's port; a second socket bound to
    // it on every interface takes them.
    sender.close();
    pf::OwnedSocket receiver(pf::createUdpSocket());
    if (!receiver.valid()) return false;
    pf::setSocketOption(receiver.get(), pf::SocketOption::ReuseAddress, 1);
    if (!pf::bindSocket(receiver.get(), pf::Ipv4Endpoint{0, local.port})) {
        Log(0, logName, "discovery reply socket");
        return false;
    }
    std::array<char, kDiscoveryReplyBytes> buffer{};
    for (;;) {
        const int got = pf::receiveDatagram(receiver.get(), buffer.data(), buffer.size(), kDiscoveryWaitMs);
        if (got <= 0) return false;
        if (parseDiscoveryReply(std::string_view(buffer.data(), static_cast<size_t>(got)), address))
            return true;
        LogF(2, logName, "discovery reply without an address (%d bytes)", got);
    }
}

int terminalExchange(const std::string& address, const std::string& request, std::string& reply,
                     const std::atomic<bool>* stop) {
    reply.clear();
    pf::Ipv4Endpoint peer{0, pf::hostToNetwork16(terminalPort())};
    if (!pf::parseIpv4(address.c_str(), peer.address) && !pf::resolveIpv4(address.c_str(), peer.address))
        return -1;
    pf::OwnedSocket socket(pf::createTcpSocket());
    if (!socket.valid() || !pf::connectSocket(socket.get(), peer, kConnectWaitMs)) return -1;
    size_t sent = 0;
    while (sent < request.size()) {
        if (stop != nullptr && stop->load()) return -1;
        const int n = pf::sendSome(socket.get(), request.data() + sent, request.size() - sent, kReadSliceMs);
        if (n < 0) return -1;
        sent += static_cast<size_t>(n);
    }
    std::array<char, kReplyChunk> chunk{};
    const uint32_t silentSlices = kReplyWaitMs / kReadSliceMs;
    uint32_t silent = 0;
    for (;;) {
        if (stop != nullptr && stop->load()) return -1;
        const int ready = pf::waitReadable(socket.get(), kReadSliceMs);
        if (ready < 0) return -1;
        if (ready == 0) {
            if (++silent > silentSlices) return -1;
            continue;
        }
        const int n = pf::receiveSome(socket.get(), chunk.data(), chunk.size(), kReadSliceMs);
        if (n < 0) return -1;
        if (n == 0) break;  // the terminal closed: the reply is whole
        silent = 0;
        if (reply.size() + static_cast<size_t>(n) > kMaxReplyBytes) return -1;
        reply.append(chunk.data(), static_cast<size_t>(n));
    }
    return reply.empty() ? -1 : replyResult(reply);
}

}  // namespace measure::konica
