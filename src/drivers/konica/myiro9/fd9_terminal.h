// The FD-9 terminal on the network: its discovery by a broadcast datagram and
// one HTTP exchange per request over a new TCP connection. Every connect and
// read is bounded, a reply beyond kMaxReplyBytes is refused, and a stop asked
// for by the measurement is seen between reads, so a terminal that hangs
// keeps neither a stop nor a close waiting.
//
// For tests and the demo only (like MEASURE_COMn), read at each discovery and
// exchange: MEASURE_FD9_DISCOVERY=127.x.y.z:<port> replaces the datagram's
// destination (255.255.255.255:51005), MEASURE_FD9_TERMINAL_PORT the
// terminal's port 8800.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace measure::konica {

inline constexpr uint32_t kDiscoveryWaitMs = 2000;
inline constexpr uint32_t kConnectWaitMs = 3000;
// The longest the terminal may stay silent within a reply.
inline constexpr uint32_t kReplyWaitMs = 5000;
// Reads wait in slices this long so that a stop is seen between them.
inline constexpr uint32_t kReadSliceMs = 100;

// Sends the discovery datagram once per address of the local host and waits
// for a reply naming the terminal's address. False when none came.
bool discoverTerminal(std::string& address, const char* logName);

// Sends `request` to the terminal at `address` and reads until the peer
// closes: the reply's length when it contains "200 OK", -2 when it does not,
// -1 when nothing could be connected or read, the reply was cut by `stop`
// or grew beyond kMaxReplyBytes.
int terminalExchange(const std::string& address, const std::string& request, std::string& reply,
                     const std::atomic<bool>* stop);

}  // namespace measure::konica
