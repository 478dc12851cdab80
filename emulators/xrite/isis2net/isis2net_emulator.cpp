#include "xrite/isis2net/isis2net_emulator.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>

#include "drivers/xrite/isis2net/isis2net_protocol.h"
#include "measure/measure.h"
#include "platform/clock.h"

namespace measure::emu::isis2net {

using namespace measure::isis2net;

namespace {

constexpr uint32_t kLoopWaitMs = 20;
constexpr uint32_t kReceiveTimeoutMs = 2000;
constexpr uint32_t kLongestRequest = 1u << 20;
constexpr uint32_t kStatusNoData = 4;
constexpr uint32_t kStatusBad = 5;
constexpr uint32_t kStatusInProgress = 3;

void putLe(std::vector<uint8_t>& out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}
void putBe16(std::vector<uint8_t>& out, uint16_t value) {
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value));
}
void putName(std::vector<uint8_t>& out, const std::string& dotted) {
    size_t start = 0;
    while (start < dotted.size()) {
        size_t end = dotted.find('.', start);
        if (end == std::string::npos) end = dotted.size();
        out.push_back(static_cast<uint8_t>(end - start));
        out.insert(out.end(), dotted.begin() + static_cast<long>(start),
                   dotted.begin() + static_cast<long>(end));
        start = end + 1;
    }
    out.push_back(0);
}
void putRecord(std::vector<uint8_t>& out, const std::string& name, uint16_t type,
               const std::vector<uint8_t>& data) {
    putName(out, name);
    putBe16(out, type);
    putBe16(out, 0x8001);  // class IN, cache flush
    putBe16(out, 0);       // TTL 120 s
    putBe16(out, 120);
    putBe16(out, static_cast<uint16_t>(data.size()));
    out.insert(out.end(), data.begin(), data.end());
}

std::string hex2(int value) {
    char text[3];
    std::snprintf(text, sizeof text, "%02X", value & 0xFF);
    return text;
}

bool receiveExactly(platform::SocketHandle socket, uint8_t* data, size_t size,
                    const std::atomic<bool>& running) {
    while (size > 0) {
        if (!running.load()) return false;
        const int got = platform::receiveSome(socket, data, size, kReceiveTimeoutMs);
        if (got <= 0) return false;
        data += got;
        size -= static_cast<size_t>(got);
    }
    return true;
}

bool sendAll(platform::SocketHandle socket, const uint8_t* data, size_t size) {
    while (size > 0) {
        const int sent = platform::sendSome(socket, data, size, kReceiveTimeoutMs);
        if (sent <= 0) return false;
        data += sent;
        size -= static_cast<size_t>(sent);
    }
    return true;
}

}  // namespace

std::array<float, 36> readerSpectrum(int patch, int condition) {
    const double lightness = 0.1 + 0.8 * static_cast<double>((patch * 4001) % 89) / 88.0;
    const double peak = 410.0 + static_cast<double>((patch * 67) % 290);
    // The paper's brightener glows under M1's UV, less under M0's, not at all
    // behind M2's UV cut.
    const double brightener = condition == 1 ? 0.1 : condition == 2 ? 0.0 : 0.05;
    std::array<float, 36> out{};
    for (int band = 0; band < 36; ++band) {
        const double nm = 380.0 + 10.0 * band;
        const double hue = std::exp(-std::pow((nm - peak) / 60.0, 2));
        const double glow = brightener * std::exp(-std::pow((nm - 440.0) / 20.0, 2));
        out[band] = static_cast<float>(0.03 + lightness * (0.3 + 0.65 * hue) + glow);
    }
    return out;
}

std::array<float, 3> readerXyz(int patch, int condition) {
    const auto spectrum = readerSpectrum(patch, condition);
    double bands[36];
    std::copy(spectrum.begin(), spectrum.end(), bands);
    const uint32_t header[3] = {380, 10, 36};
    double xyz[3] = {};
    SpectrumToXYZ(xyz, header, bands);
    return {static_cast<float>(xyz[0]), static_cast<float>(xyz[1]), static_cast<float>(xyz[2])};
}

std::array<float, 3> readerLab(int patch, int condition) {
    // CIE 1976 L*a*b* relative to D50.
    const auto xyz = readerXyz(patch, condition);
    const double white[3] = {96.42, 100.0, 82.51};
    double f[3];
    for (int i = 0; i < 3; ++i) {
        const double t = xyz[i] / white[i];
        f[i] = t > 216.0 / 24389.0 ? std::cbrt(t) : (24389.0 / 27.0 * t + 16.0) / 116.0;
    }
    return {static_cast<float>(116.0 * f[1] - 16.0), static_cast<float>(500.0 * (f[0] - f[1])),
            static_cast<float>(200.0 * (f[1] - f[2]))};
}

Isis2NetEmulator::Isis2NetEmulator(Settings settings) : settings_(std::move(settings)) {
    for (const auto& r : settings_.readers) {
        Reader reader;
        reader.settings = r;
        readers_.push_back(std::move(reader));
    }
}

Isis2NetEmulator::~Isis2NetEmulator() {
    stop();
}

bool Isis2NetEmulator::start() {
    udp_ = platform::createUdpSocket();
    if (udp_ == platform::kInvalidSocket ||
        !platform::bindSocket(
            udp_, {platform::loopbackAddress(), platform::hostToNetwork16(settings_.discoveryPort)}))
        return false;
    platform::Ipv4Endpoint bound;
    if (!platform::localEndpoint(udp_, bound)) return false;
    discoveryPort_ = static_cast<uint16_t>(platform::hostToNetwork16(bound.port));
    uint16_t port = settings_.tcpPort;
    for (auto& reader : readers_) {
        uint32_t address = 0;
        if (!platform::parseIpv4(reader.settings.address.c_str(), address)) return false;
        uint16_t boundPort = 0;
        reader.listener = platform::listenLoopbackOn(address, port, boundPort);
        if (reader.listener == platform::kInvalidSocket) return false;
        port = boundPort;  // every reader on the same port, as on a network
    }
    tcpPort_ = port;
    running_ = true;
    discovery_ = std::thread([this] { discoveryLoop(); });
    for (size_t r = 0; r < readers_.size(); ++r)
        readers_[r].thread = std::thread([this, r] { serveLoop(r); });
    return true;
}

void Isis2NetEmulator::stop() {
    running_ = false;
    if (discovery_.joinable()) discovery_.join();
    for (auto& reader : readers_) {
        if (reader.thread.joinable()) reader.thread.join();
        if (reader.listener != platform::kInvalidSocket) platform::closeSocket(reader.listener);
        reader.listener = platform::kInvalidSocket;
    }
    if (udp_ != platform::kInvalidSocket) platform::closeSocket(udp_);
    udp_ = platform::kInvalidSocket;
}

int Isis2NetEmulator::requests(size_t reader, uint32_t command) const {
    std::lock_guard lock(mutex_);
    if (reader >= readers_.size()) return 0;
    int n = 0;
    for (const auto& [c, count] : readers_[reader].counts)
        if (c == command) n += count;
    return n;
}

std::vector<uint8_t> Isis2NetEmulator::discoveryAnswer(const ReaderSettings& reader) const {
    const std::string service = "_i1iSis2NET._tcp.local";
    const std::string instance = reader.name + "." + service;
    const std::string host = reader.serial + ".local";
    std::vector<uint8_t> out = {0, 0, 0x84, 0, 0, 0, 0, 1, 0, 0, 0, 3};
    std::vector<uint8_t> data;
    putName(data, instance);
    putRecord(out, service, 12, data);
    data.assign({0, 0, 0, 0});
    putBe16(data, tcpPort_);
    putName(data, host);
    putRecord(out, instance, 33, data);
    data.clear();
    for (const std::string& text : {"serial=" + reader.serial, std::string("model=i1iSis2")}) {
        data.push_back(static_cast<uint8_t>(text.size()));
        data.insert(data.end(), text.begin(), text.end());
    }
    putRecord(out, instance, 16, data);
    uint32_t address = 0;
    platform::parseIpv4(reader.address.c_str(), address);
    data.assign(reinterpret_cast<const uint8_t*>(&address), reinterpret_cast<const uint8_t*>(&address) + 4);
    putRecord(out, host, 1, data);
    return out;
}

void Isis2NetEmulator::discoveryLoop() {
    std::vector<uint8_t> query(1500);
    while (running_.load()) {
        platform::Ipv4Endpoint from;
        const int got = platform::receiveDatagram(udp_, query.data(), query.size(), kLoopWaitMs, &from);
        if (got <= 0) continue;
        ++queries_;
        if (!settings_.answerDiscovery) continue;
        if (settings_.malformedFirst) {
            // A query of another host (flags 0) and a response cut short.
            const std::vector<uint8_t> other = buildDiscoveryQuery();
            platform::sendDatagram(udp_, other.data(), other.size(), from);
            const std::vector<uint8_t> whole = discoveryAnswer(readers_.front().settings);
            platform::sendDatagram(udp_, whole.data(), whole.size() - 3, from);
        }
        for (const auto& reader : readers_) {
            const std::vector<uint8_t> answer = discoveryAnswer(reader.settings);
            platform::sendDatagram(udp_, answer.data(), answer.size(), from);
        }
    }
}

void Isis2NetEmulator::serveLoop(size_t reader) {
    while (running_.load()) {
        const platform::SocketHandle connection =
            platform::acceptConnection(readers_[reader].listener, kLoopWaitMs);
        if (connection == platform::kInvalidSocket) continue;
        serve(reader, connection);
        platform::closeSocket(connection);
    }
}

void Isis2NetEmulator::serve(size_t reader, platform::SocketHandle connection) {
    uint8_t header[kRequestHeaderSize];
    if (!receiveExactly(connection, header, sizeof header, running_)) return;
    const uint32_t total = static_cast<uint32_t>(header[0]) | static_cast<uint32_t>(header[1]) << 8 |
                           static_cast<uint32_t>(header[2]) << 16 | static_cast<uint32_t>(header[3]) << 24;
    const uint32_t command = static_cast<uint32_t>(header[8]) | static_cast<uint32_t>(header[9]) << 8 |
                             static_cast<uint32_t>(header[10]) << 16 |
                             static_cast<uint32_t>(header[11]) << 24;
    if (total < kRequestHeaderSize || total > kLongestRequest) return;
    std::vector<uint8_t> payload(total - kRequestHeaderSize);
    if (!receiveExactly(connection, payload.data(), payload.size(), running_)) return;

    Fault fault = Fault::None;
    std::vector<uint8_t> body = answer(reader, command, payload, fault);
    if (fault == Fault::Silent) {
        // Holds the connection until the driver gives up on it.
        while (running_.load()) {
            const int ready = platform::waitReadable(connection, kLoopWaitMs);
            uint8_t byte = 0;
            if (ready < 0 || (ready == 1 && platform::receiveSome(connection, &byte, 1, kLoopWaitMs) <= 0))
                break;
        }
        return;
    }
    const uint32_t status = fault == Fault::BadStatus ? kStatusBad : static_cast<uint32_t>(body.back());
    body.pop_back();  // answer() appends the status as its last byte
    std::vector<uint8_t> out;
    putLe(out, fault == Fault::Oversized ? 17u << 20 : body.size() + kResponseHeaderSize, 4);
    out.insert(out.end(), header + 4, header + 6);
    out.push_back(129);
    out.push_back(0);
    putLe(out, command, 4);
    putLe(out, status, 4);
    if (fault == Fault::Oversized) {
        sendAll(connection, out.data(), out.size());
        return;
    }
    out.insert(out.end(), body.begin(), body.end());
    if (fault == Fault::Truncated) out.resize(kResponseHeaderSize + body.size() / 2);
    if (fault == Fault::Slow)
        std::this_thread::sleep_for(platform::scaledPeerWait(kReceiveTimeoutMs) * 3 / 2);
    sendAll(connection, out.data(), out.size());
}

std::vector<uint8_t> Isis2NetEmulator::answer(size_t r, uint32_t command, const std::vector<uint8_t>& payload,
                                              Fault& fault) {
    std::lock_guard lock(mutex_);
    Reader& reader = readers_[r];
    const ReaderSettings& s = reader.settings;
    auto count = std::find_if(reader.counts.begin(), reader.counts.end(),
                              [command](const auto& c) { return c.first == command; });
    if (count == reader.counts.end()) {
        reader.counts.push_back({command, 1});
    } else {
        ++count->second;
    }
    fault = s.allFault;
    PayloadReader items(payload.data(), payload.size());
    std::string application;
    std::string chart;
    const bool named = items.text(application) && items.text(chart);
    PayloadWriter out;
    uint8_t status = 0;

    switch (command) {
        case kCommandName:
            out.text(s.name);
            break;
        case kCommandJobCounter:
            out.u64(s.jobCounter).u64(0);
            break;
        case kCommandJobs: {
            if (!named) {
                status = kStatusBad;
                break;
            }
            const std::string prefix = hex2(s.rows) + hex2(s.columns) + chart;
            const auto id = [&prefix](uint64_t counter) {
                char digits[9];
                std::snprintf(digits, sizeof digits, "%08X", static_cast<unsigned>(counter));
                return prefix + digits;
            };
            if (std::none_of(reader.jobs.begin(), reader.jobs.end(),
                             [&prefix](const Job& j) { return j.id.rfind(prefix, 0) == 0; })) {
                // An older job of the chart, and the one the user is measuring.
                reader.jobs.push_back({id(s.jobCounter - 1), s.jobCounter - 1, 0});
                reader.jobs.push_back({id(s.jobCounter), s.jobCounter, kStatusInProgress});
                reader.polls = 0;
            }
            ++reader.polls;
            for (auto& job : reader.jobs) {
                if (job.id.rfind(prefix, 0) != 0) continue;
                if (job.status != 0 && s.finishAfterPolls >= 0 && reader.polls > s.finishAfterPolls)
                    job.status = 0;
                out.text(job.id).u64(job.counter).u32(job.status);
            }
            break;
        }
        case kCommandSpectralData:
        case kCommandColourData: {
            if (fault == Fault::None) fault = s.dataFault;
            const Job* last = nullptr;
            for (const auto& job : reader.jobs)
                if (job.status == 0 && job.id.size() > 14 && job.id.compare(4, 10, chart) == 0 &&
                    (last == nullptr || job.counter > last->counter))
                    last = &job;
            if (!named || last == nullptr) {
                status = kStatusNoData;
                break;
            }
            uint8_t space = kColourSpaceLab;
            if (command == kCommandColourData) {
                std::vector<uint8_t> rest(payload.begin() + static_cast<long>(items.position()),
                                          payload.end());
                if (rest.size() >= 5) space = rest[4];
            }
            out.text(fault == Fault::BadJobId ? "ZZ" : last->id);
            if (fault == Fault::ShortValues) {
                for (int i = 0; i < 6; ++i) out.f32(1.0f);
                break;
            }
            const int patches = s.rows * s.columns / (fault == Fault::HalfTheValues ? 2 : 1);
            for (int condition = 0; condition < 3; ++condition) {
                for (int p = 0; p < patches; ++p) {
                    if (command == kCommandSpectralData) {
                        for (float v : readerSpectrum(p, condition)) out.f32(v);
                    } else {
                        const auto values =
                            space == kColourSpaceXyz ? readerXyz(p, condition) : readerLab(p, condition);
                        for (float v : values) out.f32(v);
                    }
                }
            }
            if (fault == Fault::ValuesNotThirds) out.u8(0xEE).u8(0xEE);
            break;
        }
        default:
            status = kStatusBad;
            break;
    }
    std::vector<uint8_t> body = out.bytes();
    body.push_back(status);
    return body;
}

}  // namespace measure::emu::isis2net
