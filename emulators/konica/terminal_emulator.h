// The FD-9 terminal on loopback: the computer an FD-9 or MYIRO-9 is attached
// to, as the chart reader's driver sees it. A UDP responder answers the
// discovery datagram "kmfd-9ta" (after a short delay: the driver binds its
// reply socket only after sending) with a comma-separated reply whose second
// field is the terminal's address; a plain TCP server answers the three
// requests of the terminal's small HTTP interface (a version with the
// terminal's clock, the result list of a chart identifier, one result as
// CGATS text) and closes each connection after its reply.
//
// Results are scripted per chart identifier (after N listings, incomplete
// first, several per identifier), faults per request kind. Every datagram and
// request is journalled. Tests run it in-process; `fd9-terminal-emulator`
// wraps it for hands-on use with measure-cli.
//
// Every member is safe to call from any thread while the terminal runs.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/socket.h"

namespace measure::emu::konica {

// One patch of the terminal's chart: a reflectance spectrum (380..730 nm,
// 10 nm steps) and its XYZ (D50, 2 degrees) and L*a*b*, each exactly the
// value its 4-decimal text in the result reads back as.
struct Patch {
    std::array<double, 36> spectrum{};
    std::array<double, 3> xyz{};
    std::array<double, 3> lab{};
};

// Patch `index` of the chart (distinct for every index).
Patch chartPatch(int index);

// Which fields a result carries.
struct ResultFields {
    bool spectral = true;
    bool xyz = true;
    bool lab = true;
};

// The CGATS.17 text of the chart's first `patches` patches.
std::string chartResult(int patches, const ResultFields& fields = {});

enum class Request { Discovery, Version, List, Download, Unknown };

enum class Fault {
    None,
    Silence,             // discovery: no reply; requests: no reply, and the connection closed
    MalformedDiscovery,  // a discovery reply with one comma only
    LongAddress,         // a discovery reply whose address has 300 characters
    NotFound,            // "HTTP/1.1 404 Not Found" with an empty body
    NoCgats,             // a download reply without "CGATS.17"
    BadJson,             // a listing that is not JSON
    BadDate,             // a version reply whose Date header does not parse
    CutReply,            // half of the reply, then the connection closed
    Hang,                // no reply, the connection kept open until the client leaves
    Refuse,              // the connection closed at once
    Huge,                // a 200 reply of 40 MB
};

struct ScriptedResult {
    int listingsBefore = 0;        // listings answered with "[]" first
    bool incompleteFirst = false;  // the first download holds half of the patches
    int olderResults = 0;          // older results listed for the identifier too (wrong patch counts)
    ResultFields fields;
};

class TerminalEmulator {
public:
    struct Options {
        int patches = 24;
        uint32_t discoveryDelayMs = 20;  // real milliseconds
        std::string address = "127.0.0.1";
        std::string date = "Sun, 06 Dec 2026 05:00:00 GMT";
    };

    TerminalEmulator();
    explicit TerminalEmulator(Options options);
    ~TerminalEmulator();
    TerminalEmulator(const TerminalEmulator&) = delete;
    TerminalEmulator& operator=(const TerminalEmulator&) = delete;

    // Binds both sockets on 127.0.0.1 (`discoveryPort`/`httpPort` 0: any free
    // port) and starts serving; false when a socket cannot be bound.
    bool start(uint16_t discoveryPort = 0, uint16_t httpPort = 0);
    void stop();
    uint16_t discoveryPort() const { return discoveryPort_; }
    uint16_t httpPort() const { return httpPort_; }

    void addResult(const std::string& chartId, const ScriptedResult& script = {});
    // The next `times` requests of `kind` (-1: all) meet `fault`.
    void setFault(Request kind, Fault fault, int times = -1);

    // The datagrams received and the requests, each as received.
    std::vector<std::string> datagrams() const;
    std::vector<std::string> requests() const;
    int count(Request kind) const;
    // Connections open now (a hung one included).
    int openConnections() const { return open_.load(); }

    static Request classify(const std::string& request);

private:
    struct Scripted {
        ScriptedResult script;
        int listings = 0;
        int downloads = 0;
    };
    struct FaultState {
        Fault fault = Fault::None;
        int times = 0;
    };

    void serveDiscovery();
    void serveHttp();
    void serveConnection(platform::SocketHandle socket);
    Fault takeFault(Request kind);
    std::string reply(const std::string& request, Request kind, Fault fault);
    std::string listing(const std::string& chartId);
    std::string download(const std::string& resultId, bool& found);
    static std::string ok(const std::string& date, const std::string& type, const std::string& body);

    Options options_;
    platform::SocketHandle udp_ = platform::kInvalidSocket;
    platform::SocketHandle listener_ = platform::kInvalidSocket;
    uint16_t discoveryPort_ = 0;
    uint16_t httpPort_ = 0;
    std::atomic<bool> running_{false};
    std::atomic<int> open_{0};
    std::thread udpThread_;
    std::thread httpThread_;
    mutable std::mutex mutex_;
    std::map<std::string, Scripted> results_;
    std::map<Request, FaultState> faults_;
    std::vector<std::string> datagrams_;
    std::vector<std::string> requests_;
};

}  // namespace measure::emu::konica
