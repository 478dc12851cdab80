// The Ethernet i1iSis's transport: one TCP connection per request to port
// 8083 of a reader, and the mDNS discovery of the readers (224.0.0.251, port
// 5353). For tests and the demo only, the environment moves both to
// loopback: MEASURE_ISIS2NET_DISCOVERY=127.0.0.1:<port> and
// MEASURE_ISIS2NET_PORT=<port>.
//
// Time-outs: the sockets' time-out values count seconds: 2 for a request's
// connection, sends and receives (a receive that times out is tried again
// after 200 ms, six times at most), 1 for each discovery answer, so the
// discovery ends about a second after the last reader answered.
//
// Threads: any; a link keeps no connection between requests.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "drivers/xrite/isis2net/isis2net_protocol.h"
#include "platform/socket.h"

namespace measure::isis2net {

struct Response {
    uint32_t status = 0;
    std::vector<uint8_t> payload;
};

// Moves the discovery to loopback for tests and the demo.
inline constexpr const char* kDiscoveryVariable = "MEASURE_ISIS2NET_DISCOVERY";

class Isis2NetLink {
public:
    static constexpr uint32_t kRequestTimeoutMs = 2 * 1000;
    static constexpr uint32_t kDiscoveryTimeoutMs = 1 * 1000;
    static constexpr uint32_t kRetryMs = 200;
    static constexpr int kReceiveRetries = 6;

    Isis2NetLink();

    // One request to the reader at `address` (a dotted IPv4 text). False when
    // it could not be made: no connection, a failed send, a connection closed
    // mid-answer, receives that kept timing out, an answer announced shorter
    // than its header or longer than 16 MiB. `cancel`, when set, ends the
    // retries early.
    bool request(const std::string& address, uint32_t command, const std::vector<uint8_t>& payload,
                 Response& out, const std::atomic<bool>* cancel = nullptr) const;

    // Sends the discovery query and collects the readers that answer until
    // an answer is a second late. False when the query could not be sent.
    bool discover(std::vector<DiscoveredReader>& found) const;

private:
    uint16_t port_;
    // Empty when the loopback redirect is set to something else.
    std::optional<platform::Ipv4Endpoint> discovery_;
};

}  // namespace measure::isis2net
