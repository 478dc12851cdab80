#include "drivers/techkon/techkon_client.h"

#include <charconv>
#include <utility>

#include "core/logger.h"
#include "platform/clock.h"
#include "platform/environment.h"

namespace measure::techkon {
namespace {

constexpr uint32_t kDisconnectPauseMs = 100;
constexpr uint32_t kRetryPauseMs = 100;
constexpr int kInitialBudget = 4;

template <size_t N>
std::vector<std::array<double, N>> groups(const std::vector<double>& values) {
    std::vector<std::array<double, N>> out(values.size() / N);
    for (size_t i = 0; i < out.size(); ++i)
        for (size_t k = 0; k < N; ++k) out[i][k] = values[i * N + k];
    return out;
}

}  // namespace

// ---------------------------------------------------------------------------
// clTechconClientConnection

clTechconClientConnection::clTechconClientConnection(transport::TCPClient& client, clTechcon& owner)
    : TCPClientConnection(&client), owner_(owner) {
    setMaxFrame(clTechcon::kMaxFrame);
}

clTechconClientConnection::~clTechconClientConnection() {
    closing_.store(true);
    // Both threads end here, before anything of this object or its owner goes.
    shutdown();
}

void clTechconClientConnection::OnMessage(const char* data, size_t length) {
    // One read may carry several messages (a reply and an event written
    // together): each is handled on its own, in order.
    for (std::string_view message : splitMessages(std::string_view(data, length)))
        owner_.handleMessage(message);
}

void clTechconClientConnection::Disconnect() {
    const bool wasOpen = GetSocket() != platform::kInvalidSocket;
    TCPClientConnection::Disconnect();
    if (wasOpen && !closing_.load()) owner_.connectionLost();
}

// ---------------------------------------------------------------------------
// clTechcon

clTechcon::clTechcon() {
    for (int i = 0; i < kPropertyCount; ++i)
        codes_[static_cast<size_t>(i)] = notKnownCode(static_cast<Property>(i));
}

clTechcon::~clTechcon() {
    if (connection_ != nullptr) connection_->closing();
    // Joins the read and notification threads while every member still lives.
    tcp_.dropConnection();
    connection_ = nullptr;
}

bool clTechcon::connect(uint16_t port) {
    tcp_.setHost("127.0.0.1");
    tcp_.setPort(port);
    connection_ = static_cast<clTechconClientConnection*>(
        tcp_.Connect(std::make_unique<clTechconClientConnection>(tcp_, *this)));
    return connection_ != nullptr;
}

bool clTechcon::IsConnected() const {
    return connection_ != nullptr && connection_->IsConnected();
}

void clTechcon::setListener(std::shared_ptr<TechconListener> listener) {
    std::lock_guard lock(mutex_);
    listener_ = std::move(listener);
}

bool clTechcon::send(std::string_view type, std::string_view name, std::string_view data) {
    if (connection_ == nullptr) return false;
    const std::string text = buildMessage(type, name, data);
    const transport::Message message(text.data(), text.size());
    LogDump(5, "clTechcon::Send", "Send", text.c_str());
    return connection_->Send(&message, kReplyWaitMs);
}

template <class Ready>
bool clTechcon::waitReply(uint32_t ms, Ready ready) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, platform::scaledPeerWait(ms), [&] { return ready() || !IsConnected(); }) &&
           ready();
}

bool clTechcon::Init() {
    return send("Init", "Init", "QRVMeasurementService");
}

bool clTechcon::Connect() {
    return send("Connect", "Connect", "SpectroDens");
}

void clTechcon::Disconnect() {
    if (!IsConnected()) return;
    send("Disconnect", "", "");
    platform::sleepMs(kDisconnectPauseMs);
    connection_->closing();
    tcp_.dropConnection();
    connection_ = nullptr;
}

int clTechcon::GetProperty(Property property) {
    const size_t slot = static_cast<size_t>(property);
    {
        std::lock_guard lock(mutex_);
        replied_ = false;
        codes_[slot] = notKnownCode(property);
    }
    if (send("GetProperty", propertyName(property), "")) waitReply(kReplyWaitMs, [this] { return replied_; });
    std::lock_guard lock(mutex_);
    return codes_[slot];
}

bool clTechcon::SetProperty(Property property, int code) {
    {
        std::lock_guard lock(mutex_);
        replied_ = false;
    }
    return send("SetProperty", propertyName(property), propertyText(property, code)) &&
           waitReply(kReplyWaitMs, [this] { return replied_; });
}

std::string clTechcon::GetSerialNumber() {
    {
        std::lock_guard lock(mutex_);
        replied_ = false;
        serial_.clear();
    }
    if (send("GetProperty", "SerialNumber", "")) waitReply(kReplyWaitMs, [this] { return replied_; });
    std::lock_guard lock(mutex_);
    return serial_;
}

bool clTechcon::SendMessage(std::string_view name, std::string_view data) {
    {
        std::lock_guard lock(mutex_);
        replied_ = false;
    }
    return send("SendMessage", name, data) && waitReply(kReplyWaitMs, [this] { return replied_; });
}

int clTechcon::GetValues(std::string_view name) {
    {
        std::lock_guard lock(mutex_);
        replied_ = false;
        valueCount_ = 0;
    }
    // The count is what the driver waits for; a reply whose list was refused
    // also ends the wait (the count stays 0), so a bad list costs no time.
    if (send("GetValues", name, ""))
        waitReply(kValuesWaitMs, [this] { return valueCount_ != 0 || replied_; });
    std::lock_guard lock(mutex_);
    return valueCount_;
}

std::vector<Triple> clTechcon::labValues() const {
    std::lock_guard lock(mutex_);
    return lab_;
}

std::vector<Triple> clTechcon::xyzValues() const {
    std::lock_guard lock(mutex_);
    return xyz_;
}

std::vector<Remission> clTechcon::remissionValues() const {
    std::lock_guard lock(mutex_);
    return remission_;
}

void clTechcon::raise(int code) {
    std::shared_ptr<TechconListener> listener;
    {
        std::lock_guard lock(mutex_);
        listener = listener_;
    }
    if (listener && code != event::kNone) listener->onTechconEvent(code);
}

void clTechcon::storeValues(const std::string& upperName, const std::string& data) {
    const bool lab = upperName == "SAMPLELAB" || upperName == "SCANSAMPLELAB";
    const bool xyz = upperName == "SAMPLEXYZ" || upperName == "SCANSAMPLEXYZ";
    const bool remission = upperName == "SAMPLEREMISSION" || upperName == "SCANSAMPLEREMISSION";
    if (!lab && !xyz && !remission) return;
    // A list that is not whole samples, or holds something other than
    // numbers, is refused whole: the count stays 0 and the pass is asked for
    // again rather than measured from a part.
    const auto values = readValueList(data);
    const size_t perSample = remission ? kBands400To700 : 3;
    if (!values || values->size() % perSample != 0) {
        Log(1, "clTechcon::OnMessage", "value list refused");
        return;
    }
    if (lab) {
        lab_ = groups<3>(*values);
        valueCount_ = static_cast<int>(lab_.size());
    } else if (xyz) {
        xyz_ = groups<3>(*values);
        valueCount_ = static_cast<int>(xyz_.size());
    } else {
        remission_ = groups<kBands400To700>(*values);
        valueCount_ = static_cast<int>(remission_.size());
    }
}

void clTechcon::handleMessage(std::string_view text) {
    static const char* const fn = "clTechcon::OnMessage";
    ParsedMessage m = parseMessage(text);
    if (!m.valid()) {
        Log(1, fn, "invalid message");
        return;
    }
    // The service's spelling of TYPE and NAME varies; they are compared in
    // upper case.
    m.type = upperCase(m.type);
    m.name = upperCase(m.name);
    LogF(5, fn, "%s %s", m.type.c_str(), m.name.c_str());
    if (m.type == "INIT") {
        raise(eventCode(m.name, m.data));
        return;
    }
    if (m.type == "SENDMESSAGE") {
        raise(eventCode(m.name, m.data));
    } else if (m.type == "GETPROPERTY") {
        std::lock_guard lock(mutex_);
        if (m.name == "SERIALNUMBER") {
            serial_ = m.data;
        } else if (m.name == "SAMPLESTORAGENUMBERSAMPLES") {
            int count = 0;
            const auto [ptr, ec] = std::from_chars(m.data.data(), m.data.data() + m.data.size(), count);
            valueCount_ = ec == std::errc() ? count : 0;
        } else if (const auto property = propertyNamed(m.name)) {
            codes_[static_cast<size_t>(*property)] = propertyCode(*property, m.data);
        }
    } else if (m.type == "GETVALUES") {
        std::lock_guard lock(mutex_);
        storeValues(m.name, m.data);
    } else if (m.type != "SETPROPERTY") {
        LogF(1, fn, "unknown type %s", m.type.c_str());
        return;
    }
    {
        std::lock_guard lock(mutex_);
        replied_ = true;
    }
    changed_.notify_all();
}

void clTechcon::connectionLost() {
    Log(1, "clTechcon::connectionLost", "service gone");
    {
        // A request between its check and its wait must not miss the news.
        std::lock_guard lock(mutex_);
    }
    changed_.notify_all();
    raise(event::kDisconnected);
}

// ---------------------------------------------------------------------------
// The process-wide client.

namespace {

struct ProcessClient {
    std::mutex lock;
    std::shared_ptr<clTechcon> client;
    int budget = kInitialBudget;
};

ProcessClient& processClient() {
    static ProcessClient* p = new ProcessClient;  // outlives every driver, also at exit
    return *p;
}

}  // namespace

uint16_t techconPort() {
    const auto text = platform::environmentVariable("MEASURE_TECHKON_PORT");
    if (text && !text->empty()) {
        unsigned port = 0;
        const auto [ptr, ec] = std::from_chars(text->data(), text->data() + text->size(), port);
        if (ec == std::errc() && ptr == text->data() + text->size() && port > 0 && port < 65536)
            return static_cast<uint16_t>(port);
    }
    return clTechcon::kDefaultPort;
}

platform::Event& techconStopEvent() {
    static platform::Event* event = new platform::Event(true);
    return *event;
}

std::shared_ptr<clTechcon> StartTechcon(std::shared_ptr<TechconListener> listener) {
    static const char* const fn = "clTechcon::Start";
    ProcessClient& p = processClient();
    std::shared_ptr<clTechcon> stale;
    std::lock_guard lock(p.lock);
    std::shared_ptr<clTechcon> client = p.client;
    if (!client || !client->IsConnected()) {
        stale = std::move(p.client);
        client.reset();
        const uint16_t port = techconPort();
        for (int attempt = 0; attempt < p.budget; ++attempt) {
            if (attempt > 0 && techconStopEvent().wait(kRetryPauseMs)) {
                Log(1, fn, "stopped");
                return nullptr;
            }
            auto candidate = std::make_shared<clTechcon>();
            if (candidate->connect(port)) {
                client = std::move(candidate);
                break;
            }
            LogF(2, fn, "no service on port %u", static_cast<unsigned>(port));
        }
        if (!client) {
            p.budget /= 2;
            return nullptr;
        }
        p.client = client;
    }
    client->setListener(std::move(listener));
    client->Init();
    client->Connect();
    return client;
}

void DropTechcon() {
    ProcessClient& p = processClient();
    std::shared_ptr<clTechcon> client;
    {
        std::lock_guard lock(p.lock);
        client = std::move(p.client);
    }
    if (client) {
        client->setListener(nullptr);
        client->Disconnect();
    }
}

void resetTechconClient() {
    DropTechcon();
    ProcessClient& p = processClient();
    std::lock_guard lock(p.lock);
    p.budget = kInitialBudget;
}

}  // namespace measure::techkon
