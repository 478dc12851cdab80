#include "konica/terminal_emulator.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "measure/measure.h"

namespace measure::emu::konica {
namespace {

namespace pf = platform;

constexpr int kBands = 36;
constexpr int kFirstNm = 380;
constexpr size_t kMaxRequest = 4096;
constexpr size_t kHugeReply = 40u << 20;

std::string fixed4(double v) {
    char text[64];
    std::snprintf(text, sizeof text, "%.4f", v);
    return text;
}

// The value a 4-decimal text of `v` reads back as.
double asWritten(double v) {
    return std::strtod(fixed4(v).c_str(), nullptr);
}

void sendAll(pf::SocketHandle socket, const std::string& data) {
    size_t sent = 0;
    while (sent < data.size()) {
        const int n = pf::sendSome(socket, data.data() + sent, data.size() - sent, 2000);
        if (n <= 0) return;
        sent += static_cast<size_t>(n);
    }
}

std::string queryValue(const std::string& request, const std::string& key) {
    const size_t at = request.find(key + "=");
    if (at == std::string::npos) return {};
    const size_t start = at + key.size() + 1;
    const size_t end = request.find_first_of(" &\r\n", start);
    return request.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

std::string resultId(const std::string& chartId, int age) {
    return "R" + chartId + "-" + std::to_string(age);
}

}  // namespace

Patch chartPatch(int index) {
    Patch p;
    // Smooth spectra whose peak, depth and width change with the index, so
    // that no two patches share a value.
    const double peak = 420.0 + 11.0 * (index % 29);
    const double depth = 0.05 + 0.013 * (index % 17);
    const double width = 35.0 + 2.0 * (index % 11);
    for (int b = 0; b < kBands; ++b) {
        const double nm = kFirstNm + 10.0 * b;
        const double v = depth + 0.8 * std::exp(-((nm - peak) * (nm - peak)) / (2 * width * width));
        p.spectrum[static_cast<size_t>(b)] = asWritten(std::min(0.98, v));
    }
    const uint32_t header[3] = {kFirstNm, 10, kBands};
    double xyz[3] = {};
    SpectrumToXYZ(xyz, header, p.spectrum.data());
    double lab[3] = {};
    XYZToLab(xyz[0], xyz[1], xyz[2], &lab[0], &lab[1], &lab[2]);
    for (size_t i = 0; i < 3; ++i) {
        p.xyz[i] = asWritten(xyz[i]);
        p.lab[i] = asWritten(lab[i]);
    }
    return p;
}

std::string chartResult(int patches, const ResultFields& fields) {
    std::vector<std::string> names{"SAMPLE_ID"};
    if (fields.spectral)
        for (int b = 0; b < kBands; ++b) names.push_back("SPECTRAL_NM" + std::to_string(kFirstNm + 10 * b));
    if (fields.xyz)
        for (const char* n : {"XYZ_X", "XYZ_Y", "XYZ_Z"}) names.emplace_back(n);
    if (fields.lab)
        for (const char* n : {"LAB_L", "LAB_A", "LAB_B"}) names.emplace_back(n);
    std::string out = "CGATS.17\nORIGINATOR \"fd9-terminal-emulator\"\nINSTRUMENTATION \"FD-9\"\n";
    out += "NUMBER_OF_FIELDS " + std::to_string(names.size()) + "\nBEGIN_DATA_FORMAT\n";
    for (size_t i = 0; i < names.size(); ++i) {
        if (i > 0) out += ' ';
        out += names[i];
    }
    out += "\nEND_DATA_FORMAT\nNUMBER_OF_SETS " + std::to_string(patches) + "\nBEGIN_DATA\n";
    for (int i = 0; i < patches; ++i) {
        const Patch p = chartPatch(i);
        out += std::to_string(i + 1);
        auto cells = [&out](const auto& values) {
            for (double v : values) {
                out += ' ';
                out += fixed4(v);
            }
        };
        if (fields.spectral) cells(p.spectrum);
        if (fields.xyz) cells(p.xyz);
        if (fields.lab) cells(p.lab);
        out += '\n';
    }
    return out + "END_DATA\n";
}

TerminalEmulator::TerminalEmulator() : TerminalEmulator(Options{}) {}

TerminalEmulator::TerminalEmulator(Options options) : options_(std::move(options)) {}

TerminalEmulator::~TerminalEmulator() {
    stop();
}

bool TerminalEmulator::start(uint16_t discoveryPort, uint16_t httpPort) {
    stop();
    udp_ = pf::createUdpSocket();
    if (udp_ == pf::kInvalidSocket ||
        !pf::bindSocket(udp_, pf::Ipv4Endpoint{pf::loopbackAddress(), pf::hostToNetwork16(discoveryPort)})) {
        stop();
        return false;
    }
    pf::Ipv4Endpoint bound{};
    pf::localEndpoint(udp_, bound);
    discoveryPort_ = pf::hostToNetwork16(bound.port);  // the same swap back
    listener_ = pf::listenLoopback(httpPort, httpPort_);
    if (listener_ == pf::kInvalidSocket) {
        stop();
        return false;
    }
    running_.store(true);
    udpThread_ = std::thread([this] { serveDiscovery(); });
    httpThread_ = std::thread([this] { serveHttp(); });
    return true;
}

void TerminalEmulator::stop() {
    running_.store(false);
    if (udpThread_.joinable()) udpThread_.join();
    if (httpThread_.joinable()) httpThread_.join();
    if (udp_ != pf::kInvalidSocket) pf::closeSocket(udp_);
    if (listener_ != pf::kInvalidSocket) pf::closeSocket(listener_);
    udp_ = listener_ = pf::kInvalidSocket;
}

void TerminalEmulator::addResult(const std::string& chartId, const ScriptedResult& script) {
    std::lock_guard lock(mutex_);
    results_[chartId] = Scripted{script, 0, 0};
}

void TerminalEmulator::setFault(Request kind, Fault fault, int times) {
    std::lock_guard lock(mutex_);
    faults_[kind] = FaultState{fault, times};
}

Fault TerminalEmulator::takeFault(Request kind) {
    std::lock_guard lock(mutex_);
    FaultState& f = faults_[kind];
    if (f.fault == Fault::None || f.times == 0) return Fault::None;
    if (f.times > 0) --f.times;
    return f.fault;
}

std::vector<std::string> TerminalEmulator::datagrams() const {
    std::lock_guard lock(mutex_);
    return datagrams_;
}

std::vector<std::string> TerminalEmulator::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

int TerminalEmulator::count(Request kind) const {
    std::lock_guard lock(mutex_);
    if (kind == Request::Discovery) return static_cast<int>(datagrams_.size());
    int n = 0;
    for (const auto& r : requests_) n += classify(r) == kind;
    return n;
}

Request TerminalEmulator::classify(const std::string& request) {
    if (request.rfind("GET /Version/index/ ", 0) == 0) return Request::Version;
    if (request.rfind("GET /MeasureResultFile/index?", 0) == 0) return Request::List;
    if (request.rfind("GET /MeasureResultFile/download?", 0) == 0) return Request::Download;
    return Request::Unknown;
}

void TerminalEmulator::serveDiscovery() {
    std::array<char, 512> buffer{};
    while (running_.load()) {
        pf::Ipv4Endpoint from{};
        const int n = pf::receiveDatagram(udp_, buffer.data(), buffer.size(), 50, &from);
        if (n <= 0) continue;
        const std::string datagram(buffer.data(), static_cast<size_t>(n));
        {
            std::lock_guard lock(mutex_);
            datagrams_.push_back(datagram);
        }
        if (datagram != "kmfd-9ta") continue;
        const Fault fault = takeFault(Request::Discovery);
        if (fault == Fault::Silence) continue;
        std::this_thread::sleep_for(std::chrono::milliseconds(options_.discoveryDelayMs));
        std::string answer = "FD9TA," + options_.address + ",FD-9 Terminal,1.0";
        if (fault == Fault::MalformedDiscovery) answer = "FD9TA " + options_.address;
        if (fault == Fault::LongAddress) answer = "FD9TA," + std::string(300, 'a') + ",FD-9 Terminal";
        pf::sendDatagram(udp_, answer.data(), answer.size(), from);
    }
}

void TerminalEmulator::serveHttp() {
    while (running_.load()) {
        const pf::SocketHandle socket = pf::acceptConnection(listener_, 50);
        if (socket == pf::kInvalidSocket) continue;
        open_.fetch_add(1);
        serveConnection(socket);
        pf::closeSocket(socket);
        open_.fetch_sub(1);
    }
}

void TerminalEmulator::serveConnection(pf::SocketHandle socket) {
    std::string request;
    std::array<char, 512> chunk{};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (request.find("\r\n\r\n") == std::string::npos && request.size() < kMaxRequest) {
        if (!running_.load() || std::chrono::steady_clock::now() > deadline) return;
        if (pf::waitReadable(socket, 50) != 1) continue;
        const int n = pf::receiveSome(socket, chunk.data(), chunk.size(), 50);
        if (n <= 0) break;
        request.append(chunk.data(), static_cast<size_t>(n));
    }
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(request);
    }
    const Request kind = classify(request);
    const Fault fault = takeFault(kind);
    if (fault == Fault::Refuse || fault == Fault::Silence) return;
    if (fault == Fault::Hang) {
        // Holds the connection until the client gives up on it.
        while (running_.load()) {
            const int ready = pf::waitReadable(socket, 50);
            if (ready < 0) return;
            if (ready == 1 && pf::receiveSome(socket, chunk.data(), chunk.size(), 50) <= 0) return;
        }
        return;
    }
    std::string answer = reply(request, kind, fault);
    if (fault == Fault::CutReply) answer.resize(answer.size() / 2);
    sendAll(socket, answer);
}

std::string TerminalEmulator::ok(const std::string& date, const std::string& type, const std::string& body) {
    return "HTTP/1.1 200 OK\r\nDate: " + date + "\r\nContent-Type: " + type +
           "\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

std::string TerminalEmulator::reply(const std::string& request, Request kind, Fault fault) {
    if (fault == Fault::NotFound || kind == Request::Unknown)
        return "HTTP/1.1 404 Not Found\r\nDate: " + options_.date + "\r\nContent-Length: 0\r\n\r\n";
    if (fault == Fault::Huge) return ok(options_.date, "text/plain", std::string(kHugeReply, 'x'));
    switch (kind) {
        case Request::Version:
            return ok(fault == Fault::BadDate ? "Sunday, 06-Dec-26 05:00:00" : options_.date,
                      "application/json", "{\"version\": \"1.0.0\"}");
        case Request::List:
            if (fault == Fault::BadJson) return ok(options_.date, "application/json", "[{\"dateTime\": ");
            return ok(options_.date, "application/json", listing(queryValue(request, "uniqueData")));
        case Request::Download: {
            bool found = false;
            const std::string body = download(queryValue(request, "measureResultId"), found);
            if (!found)
                return "HTTP/1.1 404 Not Found\r\nDate: " + options_.date + "\r\nContent-Length: 0\r\n\r\n";
            if (fault == Fault::NoCgats) return ok(options_.date, "text/plain", "NUMBER_OF_SETS 0\n");
            return ok(options_.date, "text/plain", body);
        }
        default:
            return {};
    }
}

std::string TerminalEmulator::listing(const std::string& chartId) {
    std::lock_guard lock(mutex_);
    // Another chart's result is always listed: the driver must pick its own.
    std::string out =
        "[{\"dateTime\": \"2026-12-06 04:59:00\", \"jobName\": \"other\", \"measureResultId\": "
        "\"ROTHER\", \"uniqueData\": \"OTHERCHART\"}";
    const auto it = results_.find(chartId);
    if (it != results_.end()) {
        Scripted& s = it->second;
        if (s.listings++ >= s.script.listingsBefore) {
            // The newest result (age 0) is listed between older ones.
            std::vector<int> ages;
            for (int age = 1; age <= s.script.olderResults; ++age) ages.push_back(age);
            ages.insert(ages.begin() + (ages.empty() ? 0 : 1), 0);
            for (int age : ages) {
                char when[32];
                std::snprintf(when, sizeof when, "2026-12-06 04:%02d:00", 50 - age);
                out += ",{\"dateTime\": \"" + std::string(when) +
                       "\", \"jobName\": \"job\", \"measureResultId\": \"" + resultId(chartId, age) +
                       "\", \"uniqueData\": \"" + chartId + "\"}";
            }
        }
    }
    return out + "]";
}

std::string TerminalEmulator::download(const std::string& id, bool& found) {
    std::lock_guard lock(mutex_);
    for (auto& [chartId, s] : results_) {
        for (int age = 0; age <= s.script.olderResults; ++age) {
            if (id != resultId(chartId, age)) continue;
            found = true;
            if (age > 0) return chartResult(options_.patches + age, s.script.fields);
            const bool half = s.script.incompleteFirst && s.downloads++ == 0;
            return chartResult(half ? options_.patches / 2 : options_.patches, s.script.fields);
        }
    }
    if (id == "ROTHER") {
        found = true;
        return chartResult(options_.patches + 7);
    }
    return {};
}

}  // namespace measure::emu::konica
