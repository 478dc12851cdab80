// clTechcon: the client of the TECHKON measurement service. The service on
// the local host owns the SpectroDens; the client connects to it over TCP,
// announces itself ("Init"), asks it to connect the instrument ("Connect"),
// reads and writes instrument properties, fetches measured values and hands
// the service's events (button, sample, calibration, connection state) to a
// listener as callback codes.
//
// Threads: requests run on the caller's thread (the driver's MeasureThread
// or the host's) and wait a bounded time for their reply; replies and events
// arrive on the connection's notification thread, a lost connection on its
// read thread. The reply slots and value tables are guarded by one mutex; the
// listener is held as a shared object, so an event that races with a closing
// driver reaches state that is still alive, never the driver itself.
//
// One client serves the process at a time (StartTechcon); destroying it drops
// the connection first, which joins both of its threads, so no handler runs
// on a half-destroyed client.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "color/spectral.h"
#include "drivers/techkon/techkon_protocol.h"
#include "platform/event.h"
#include "transport/tcp_client.h"

namespace measure::techkon {

// Receives the service's events as callback codes (event::*).
class TechconListener {
public:
    virtual ~TechconListener() = default;
    // On the notification thread (events) or the read thread (a lost
    // connection reads as event::kDisconnected). Must not block.
    virtual void onTechconEvent(int code) = 0;
};

class clTechcon;

// The connection that hands each received frame to its clTechcon.
class clTechconClientConnection final : public transport::TCPClientConnection {
public:
    clTechconClientConnection(transport::TCPClient& client, clTechcon& owner);
    ~clTechconClientConnection() override;

    // Notification thread: every message of the frame, in order.
    void OnMessage(const char* data, size_t length) override;
    // A drop the client did not ask for tells the owner the service is gone.
    void Disconnect() override;
    // Before a deliberate close: the drop that follows is no news.
    void closing() { closing_.store(true); }

private:
    clTechcon& owner_;
    std::atomic<bool> closing_{false};
};

using Triple = std::array<double, 3>;
using Remission = std::array<double, kBands400To700>;

class clTechcon {
public:
    static constexpr uint16_t kDefaultPort = 20102;
    // A property or message reply: 100 x 10 ms; measured values: 10 x 100 ms.
    static constexpr uint32_t kReplyWaitMs = 100 * 10;
    static constexpr uint32_t kValuesWaitMs = 10 * 100;
    // The service's largest answer is a few hundred kilobytes of values; a
    // frame beyond this is noise and dropped by the transport.
    static constexpr size_t kMaxFrame = 4u << 20;

    clTechcon();
    ~clTechcon();
    clTechcon(const clTechcon&) = delete;
    clTechcon& operator=(const clTechcon&) = delete;

    // One connection attempt to 127.0.0.1:`port`.
    bool connect(uint16_t port);
    bool IsConnected() const;
    void setListener(std::shared_ptr<TechconListener> listener);

    // Requests. Each waits its bounded time and then reads what the slots hold.
    bool Init();
    bool Connect();
    // "Disconnect", 100 ms for the service to let go, then the connection is dropped.
    void Disconnect();
    // The property's code, or its not-known code when no matching reply came.
    int GetProperty(Property property);
    bool SetProperty(Property property, int code);
    // The serial number text; empty when the service did not answer.
    std::string GetSerialNumber();
    bool SendMessage(std::string_view name, std::string_view data);
    // "SampleLab", "ScanSampleRemission", ...: the number of samples received.
    int GetValues(std::string_view name);

    // Copies of the value tables (index 0 is the first sample).
    std::vector<Triple> labValues() const;
    std::vector<Triple> xyzValues() const;
    std::vector<Remission> remissionValues() const;

    // Notification thread: one received message.
    void handleMessage(std::string_view text);
    // Read thread: the service went away.
    void connectionLost();

private:
    bool send(std::string_view type, std::string_view name, std::string_view data);
    // Waits up to `ms` (a wait for the service) for `ready`, or for the
    // connection to fall.
    template <class Ready>
    bool waitReply(uint32_t ms, Ready ready);
    void raise(int code);
    void storeValues(const std::string& upperName, const std::string& data);

    transport::TCPClient tcp_;
    clTechconClientConnection* connection_ = nullptr;  // owned by tcp_

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool replied_ = false;  // guarded by mutex_
    std::array<int, kPropertyCount> codes_{};
    std::string serial_;
    int valueCount_ = 0;
    std::vector<Triple> lab_;
    std::vector<Triple> xyz_;
    std::vector<Remission> remission_;
    std::shared_ptr<TechconListener> listener_;
};

// The service's port: MEASURE_TECHKON_PORT when it holds one (tests run
// several services side by side), else 20102.
uint16_t techconPort();

// The process-wide client. Under one lock: a connected client is reused;
// otherwise a new one connects, retrying after 100 ms waits on the stop event
// while the retry budget lasts. The budget starts at 4 and halves after every
// start that found no service (4, 2, 1, 0), so a missing service costs less
// each time. A started client gets the listener and sends "Init" and
// "Connect". Null when no service answered or the stop event was set.
std::shared_ptr<clTechcon> StartTechcon(std::shared_ptr<TechconListener> listener);
// Says "Disconnect" to the service and lets the process-wide client go.
void DropTechcon();
// Set when the library shuts down: abandons a start's retries.
platform::Event& techconStopEvent();
// Tests: a fresh budget of 4 attempts and no process-wide client.
void resetTechconClient();

}  // namespace measure::techkon
