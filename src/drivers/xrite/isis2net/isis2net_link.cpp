#include "drivers/xrite/isis2net/isis2net_link.h"

#include <random>
#include <string>

#include "core/logger.h"
#include "platform/clock.h"
#include "platform/environment.h"
#include "transport/tcp_client.h"

namespace measure::isis2net {
namespace {

constexpr uint16_t kReaderPort = 8083;
constexpr const char* kMulticastGroup = "224.0.0.251";
constexpr uint16_t kMulticastPort = 5353;
constexpr size_t kLargestDatagram = 9000;

uint16_t requestNumber() {
    thread_local std::mt19937 generator{std::random_device{}()};
    return static_cast<uint16_t>(std::uniform_int_distribution<int>(0, 65534)(generator));
}

// Receives exactly `size` bytes: a receive that times out is tried again
// after 200 ms, six times in all; a closed connection or an error fails.
bool receiveAll(platform::SocketHandle socket, uint8_t* data, size_t size, const std::atomic<bool>* cancel) {
    int retries = 0;
    while (size > 0) {
        const int ready = platform::waitReadable(socket, Isis2NetLink::kRequestTimeoutMs);
        if (ready < 0) return false;
        if (ready == 0) {
            if (++retries > Isis2NetLink::kReceiveRetries || (cancel != nullptr && cancel->load()))
                return false;
            platform::sleepMs(Isis2NetLink::kRetryMs);
            continue;
        }
        // Readable: the receive returns at once, with bytes or the close.
        const int got = platform::receiveSome(socket, data, size, Isis2NetLink::kRequestTimeoutMs);
        if (got <= 0) return false;
        data += got;
        size -= static_cast<size_t>(got);
    }
    return true;
}

}  // namespace

Isis2NetLink::Isis2NetLink() : port_(kReaderPort) {
    platform::Ipv4Endpoint group{0, platform::hostToNetwork16(kMulticastPort)};
    platform::parseIpv4(kMulticastGroup, group.address);
    discovery_ = platform::discoveryTarget(kDiscoveryVariable, group);
    if (const auto port = platform::environmentVariable("MEASURE_ISIS2NET_PORT")) {
        const uint16_t given = platform::parsePort(*port);
        if (given != 0) port_ = given;
    }
}

bool Isis2NetLink::request(const std::string& address, uint32_t command, const std::vector<uint8_t>& payload,
                           Response& out, const std::atomic<bool>* cancel) const {
    out = {};
    platform::Ipv4Endpoint peer;
    if (!platform::resolveIpv4(address.c_str(), peer.address)) return false;
    peer.port = platform::hostToNetwork16(port_);
    const platform::OwnedSocket socket(platform::createTcpSocket());
    if (!socket.valid() || !platform::connectSocket(socket.get(), peer, kRequestTimeoutMs)) return false;
    const std::vector<uint8_t> request = buildRequest(requestNumber(), command, payload);
    if (transport::sendAll(socket.get(), request.data(), request.size(), kRequestTimeoutMs) != request.size())
        return false;
    uint8_t header[kResponseHeaderSize];
    if (!receiveAll(socket.get(), header, sizeof header, cancel)) return false;
    ResponseHeader parsed;
    if (!parseResponseHeader(header, parsed)) {
        LogF(0, "Isis2NetLink::request", "answer of %u bytes refused", parsed.totalLength);
        return false;
    }
    out.status = parsed.status;
    out.payload.resize(parsed.totalLength - kResponseHeaderSize);
    return receiveAll(socket.get(), out.payload.data(), out.payload.size(), cancel);
}

bool Isis2NetLink::discover(std::vector<DiscoveredReader>& found) const {
    found.clear();
    if (!discovery_) {
        LogF(0, "Isis2NetLink::discover", "%s is no 127.x.y.z:PORT: no discovery", kDiscoveryVariable);
        return false;
    }
    const platform::OwnedSocket socket(platform::createUdpSocket());
    if (!socket.valid()) return false;
    platform::setSocketOption(socket.get(), platform::SocketOption::Broadcast, 1);
    const std::vector<uint8_t> query = buildDiscoveryQuery();
    if (platform::sendDatagram(socket.get(), query.data(), query.size(), *discovery_) !=
        static_cast<int>(query.size()))
        return false;
    std::vector<uint8_t> answer(kLargestDatagram);
    for (;;) {
        const int got =
            platform::receiveDatagram(socket.get(), answer.data(), answer.size(), kDiscoveryTimeoutMs);
        if (got <= 0) break;
        DiscoveredReader reader;
        if (parseDiscoveryAnswer(answer.data(), static_cast<size_t>(got), reader)) found.push_back(reader);
    }
    return true;
}

}  // namespace measure::isis2net
