// The Ethernet i1iSis readers on loopback: an mDNS responder that answers
// the readers' discovery query (one DNS response per reader) and, per
// reader, a TCP server on its own loopback address (127.0.0.2, 127.0.0.3,
// ...) speaking the reader's request/response protocol. A virtual user
// measures a job of the chart a driver asks for after some polls. Scripted
// faults cover discovery, the answers and silent readers. Tests run it
// in-process; `isis2net-emulator` wraps it for hands-on use with measure-cli.
//
// Every member is safe to call from any thread while the emulator runs.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/socket.h"

namespace measure::emu::isis2net {

// How one request kind is answered wrongly.
enum class Fault {
    None,
    BadStatus,        // status 5 in the answer's header
    Truncated,        // half the announced payload, then the connection closes
    BadJobId,         // measurement data whose job ID is "ZZ" (no rows or columns)
    ShortValues,      // measurement data with 24 bytes of values
    ValuesNotThirds,  // measurement data with two stray bytes after the blocks
    HalfTheValues,    // measurement data whose blocks hold the first half of the patches
    Oversized,        // a header announcing 17 MiB
    Slow,             // the answer comes later than one receive time-out
    Silent,           // the connection is taken and never answered
};

struct ReaderSettings {
    std::string address = "127.0.0.2";
    std::string name = "i1iSis2 NET";
    std::string serial = "2081234";
    int rows = 6;
    int columns = 8;
    uint64_t jobCounter = 40;       // the counter the next job gets
    int finishAfterPolls = 3;       // job polls before the user's job of that chart is finished (<0: never)
    Fault dataFault = Fault::None;  // on 0x101/0x102
    Fault allFault = Fault::None;   // on every request
};

struct Settings {
    std::vector<ReaderSettings> readers{ReaderSettings{}};
    uint16_t discoveryPort = 0;  // on 127.0.0.1; 0: any free port
    uint16_t tcpPort = 0;        // the readers' port; 0: any free port
    bool answerDiscovery = true;
    bool malformedFirst = false;  // a broken and a non-response datagram before the answers
};

// The values a reader delivers for patch `patch` of its chart (row by row)
// in condition 0 (M0), 1 (M1) or 2 (M2): L*a*b*, XYZ and 36 bands.
std::array<float, 3> readerLab(int patch, int condition);
std::array<float, 3> readerXyz(int patch, int condition);
std::array<float, 36> readerSpectrum(int patch, int condition);

class Isis2NetEmulator {
public:
    explicit Isis2NetEmulator(Settings settings);
    ~Isis2NetEmulator();
    Isis2NetEmulator(const Isis2NetEmulator&) = delete;
    Isis2NetEmulator& operator=(const Isis2NetEmulator&) = delete;

    // False when a socket could not be bound.
    bool start();
    void stop();
    uint16_t discoveryPort() const { return discoveryPort_; }
    uint16_t tcpPort() const { return tcpPort_; }

    // Requests of a command a reader has taken so far.
    int requests(size_t reader, uint32_t command) const;
    int discoveryQueries() const { return queries_.load(); }

private:
    struct Job {
        std::string id;
        uint64_t counter;
        uint32_t status;
    };
    struct Reader {
        ReaderSettings settings;
        platform::SocketHandle listener = platform::kInvalidSocket;
        std::thread thread;
        std::vector<Job> jobs;
        int polls = 0;
        std::vector<std::pair<uint32_t, int>> counts;
    };

    void discoveryLoop();
    void serveLoop(size_t reader);
    void serve(size_t reader, platform::SocketHandle connection);
    std::vector<uint8_t> answer(size_t reader, uint32_t command, const std::vector<uint8_t>& payload,
                                Fault& fault);
    std::vector<uint8_t> discoveryAnswer(const ReaderSettings& reader) const;

    Settings settings_;
    std::vector<Reader> readers_;
    mutable std::mutex mutex_;
    std::atomic<bool> running_{false};
    std::atomic<int> queries_{0};
    platform::SocketHandle udp_ = platform::kInvalidSocket;
    std::thread discovery_;
    uint16_t discoveryPort_ = 0;
    uint16_t tcpPort_ = 0;
};

}  // namespace measure::emu::isis2net
