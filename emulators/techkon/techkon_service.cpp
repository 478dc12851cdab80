#include "techkon/techkon_service.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "color/spectral.h"
#include "drivers/techkon/techkon_protocol.h"
#include "measure/measure.h"
#include "transport/message_framer.h"
#include "transport/tcp_client.h"

namespace measure::emu::techkon {
namespace {

namespace proto = measure::techkon;

constexpr uint32_t kAcceptPollMs = 100;
constexpr size_t kReadChunk = 4096;
constexpr int kLab = 0, kXyz = 1, kRemission = 2;

double round4(double v) {
    return std::round(v * 1e4) / 1e4;
}

bool sameText(const std::string& a, const std::string& b) {
    return proto::upperCase(a) == proto::upperCase(b);
}

std::string lowerCase(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::string event(const std::string& name, const std::string& data = "") {
    return proto::buildMessage("SendMessage", name, data);
}

}  // namespace

// ---------------------------------------------------------------------------
// Chart

Sample Chart::fromSpectrum(const std::array<double, 36>& spectrum) {
    static constexpr uint32_t kHeader[3] = {380, 10, 36};
    Sample s;
    double xyz[3] = {};
    SpectrumToXYZ(xyz, kHeader, spectrum.data());
    double lab[3] = {};
    XYZToLab(xyz[0], xyz[1], xyz[2], &lab[0], &lab[1], &lab[2]);
    for (int c = 0; c < 3; ++c) {
        s.xyz[static_cast<size_t>(c)] = round4(xyz[c]);
        s.lab[static_cast<size_t>(c)] = round4(lab[c]);
    }
    // The instrument measures 400 to 700 nm: grid bands 2 to 32.
    for (size_t b = 0; b < s.remission.size(); ++b) s.remission[b] = round4(spectrum[b + 2]);
    return s;
}

Chart::Chart(int patches) {
    std::array<double, 36> paper{};
    for (size_t b = 0; b < paper.size(); ++b) paper[b] = 0.86 + 0.04 * static_cast<double>(b) / 35.0;
    paper_ = fromSpectrum(paper);
    // Each patch: an ink's absorption band (a Gaussian dip of its own centre
    // and width) over a base reflectance, so every patch has its own colour.
    for (int i = 0; i < std::max(patches, 1); ++i) {
        const double centre = 400.0 + ((i * 37) % 31) * 10.0;
        const double width = 30.0 + ((i * 13) % 7) * 10.0;
        const double floor = 0.04 + (i % 5) * 0.05;
        const double top = 0.92 - (i % 3) * 0.12;
        std::array<double, 36> s{};
        for (size_t b = 0; b < s.size(); ++b) {
            const double nm = 380.0 + 10.0 * static_cast<double>(b);
            const double dip = std::exp(-std::pow((nm - centre) / width, 2.0));
            s[b] = top - (top - floor) * dip;
        }
        patches_.push_back(fromSpectrum(s));
    }
}

const Sample& Chart::patch(int i) const {
    const int n = size();
    return patches_[static_cast<size_t>(((i % n) + n) % n)];
}

// ---------------------------------------------------------------------------
// Service

Service::Service(Chart chart, Settings settings) : chart_(std::move(chart)), settings_(std::move(settings)) {
    spotSample_ = chart_.patch(0);
}

Service::~Service() {
    stop();
}

bool Service::start(uint16_t port) {
    if (thread_.joinable()) return false;
    listener_ = platform::listenLoopback(port, port_);
    if (listener_ == platform::kInvalidSocket) return false;
    stopping_ = false;
    thread_ = std::thread([this] { run(); });
    userThread_ = std::thread([this] { userLoop(); });
    return true;
}

void Service::stop() {
    if (!thread_.joinable()) return;
    stopping_ = true;
    dropConnection();
    {
        std::lock_guard lock(mutex_);
        changed_.notify_all();
    }
    thread_.join();
    userThread_.join();
    platform::closeSocket(listener_);
    listener_ = platform::kInvalidSocket;
}

void Service::run() {
    while (!stopping_) {
        const platform::SocketHandle socket = platform::acceptConnection(listener_, kAcceptPollMs);
        if (socket == platform::kInvalidSocket) continue;
        if (stopping_ || takeFault("", "", true)) {
            platform::shutdownSocket(socket);
            platform::closeSocket(socket);
            continue;
        }
        serve(socket);
    }
}

void Service::serve(platform::SocketHandle socket) {
    {
        std::lock_guard lock(mutex_);
        client_ = socket;
        ++connections_;
        changed_.notify_all();
    }
    transport::MessageFramer framer;
    std::vector<char> buffer(kReadChunk);
    // A stop that came before the socket was published could not shut it down.
    while (!stopping_) {
        // Without a timeout: the peer closing or dropConnection ends it.
        const int n = platform::receiveSome(socket, buffer.data(), buffer.size(), platform::kInfinite);
        if (n <= 0 || stopping_) break;
        const auto frame = framer.feed(std::string_view(buffer.data(), static_cast<size_t>(n)));
        if (!frame) continue;
        for (std::string_view message : proto::splitMessages(*frame)) handle(std::string(message));
    }
    {
        std::lock_guard lock(mutex_);
        client_ = platform::kInvalidSocket;
        changed_.notify_all();
    }
    std::lock_guard writing(writeMutex_);  // no write still uses the handle
    platform::shutdownSocket(socket);
    platform::closeSocket(socket);
}

bool Service::write(const std::string& bytes) {
    std::lock_guard writing(writeMutex_);
    platform::SocketHandle socket;
    {
        std::lock_guard lock(mutex_);
        socket = client_;
    }
    if (socket == platform::kInvalidSocket) return false;
    if (monitor_) monitor_("< " + bytes);
    // Without a limit: a slow reader must not cut a message short, which would
    // garble the stream. A stop shuts the socket down and ends the wait.
    return transport::sendAll(socket, bytes.data(), bytes.size(), platform::kInfinite) == bytes.size();
}

std::optional<Fault> Service::takeFault(const std::string& type, const std::string& name, bool atAccept) {
    std::lock_guard lock(mutex_);
    for (auto it = faults_.begin(); it != faults_.end(); ++it) {
        if ((it->kind == Fault::Kind::DropAtAccept) != atAccept) continue;
        if (!atAccept && ((!it->type.empty() && !sameText(it->type, type)) ||
                          (!it->name.empty() && !sameText(it->name, name))))
            continue;
        Fault fired = *it;
        if (it->times > 0 && --it->times == 0) faults_.erase(it);
        return fired;
    }
    return std::nullopt;
}

std::string Service::valueList(const std::vector<Sample>& samples, int kind) const {
    const char* separator = settings_.crlfSeparators ? "\r\n" : "\t";
    std::string out;
    char number[32];
    for (const Sample& s : samples) {
        const double* values = kind == kLab ? s.lab.data() : kind == kXyz ? s.xyz.data() : s.remission.data();
        const size_t count = kind == kRemission ? s.remission.size() : 3;
        for (size_t i = 0; i < count; ++i) {
            std::snprintf(number, sizeof number, "%.4f", values[i]);
            if (!out.empty()) out += separator;
            out += number;
        }
    }
    if (settings_.decimalComma) std::replace(out.begin(), out.end(), '.', ',');
    return out;
}

void Service::armUser() {
    if (autoStrip_ <= 0) return;
    userArmed_ = true;
    userAt_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(autoDelayMs_);
    changed_.notify_all();
}

void Service::handle(const std::string& raw) {
    const proto::ParsedMessage m = proto::parseMessage(raw);
    if (monitor_) monitor_("> " + raw);
    {
        std::lock_guard lock(mutex_);
        journal_.push_back(raw);
        changed_.notify_all();
    }
    const std::string type = proto::upperCase(m.type);
    const std::string name = proto::upperCase(m.name);
    const std::optional<Fault> fault = takeFault(type, name, false);
    if (fault && fault->kind == Fault::Kind::Silence) return;

    std::string replyType = m.type, replyName = m.name, data, after;
    bool oneWrite = false;
    {
        std::lock_guard lock(mutex_);
        const char* state = settings_.attached ? "TRUE" : "FALSE";
        if (type == "INIT") {
            replyName = "ConnectionState";
            data = state;
        } else if (type == "CONNECT") {
            replyType = "SendMessage";
            replyName = "ConnectionState";
            data = state;
        } else if (type == "GETPROPERTY" || type == "SETPROPERTY") {
            if (name == "SERIALNUMBER") {
                data = settings_.serial;
            } else if (name == "SAMPLESTORAGENUMBERSAMPLES") {
                data = settings_.storedSamples;
            } else {
                for (auto& [key, value] : settings_.properties) {
                    if (!sameText(key, m.name)) continue;
                    if (type == "SETPROPERTY" && key != "DeviceType") value = m.data;
                    data = value;
                }
            }
            if (name == "MEASUREMENTMODE") armUser();
        } else if (type == "SENDMESSAGE" && name == "STARTCALIBRATION") {
            std::string answer = settings_.calibration;
            if (answer.empty())
                answer = sameText(settings_.properties["WhiteReference"], "ABSOLUTE") ? "CalibrationAbsolute"
                                                                                      : "CalibrationPaper";
            if (!sameText(answer, "none")) after = event(answer);
            oneWrite = settings_.calibrationInOneWrite;
        } else if (type == "SENDMESSAGE") {
            // Messages the service does not know are acknowledged as they are.
        } else if (type == "GETVALUES") {
            const bool scan = name.rfind("SCANSAMPLE", 0) == 0;
            const std::vector<Sample> samples = scan ? scanSamples_ : std::vector<Sample>{spotSample_};
            const std::string what = name.substr(scan ? 10 : 6);
            data = what == "LAB"         ? valueList(samples, kLab)
                   : what == "XYZ"       ? valueList(samples, kXyz)
                   : what == "REMISSION" ? valueList(samples, kRemission)
                                         : "";
            if (name == "SCANSAMPLEREMISSION" || name == "SAMPLEREMISSION" || name == "SAMPLELAB" ||
                name == "SAMPLEXYZ")
                armUser();
        } else {
            return;  // "Disconnect" and anything unknown get no answer
        }
    }

    std::string prefix;
    if (fault) {
        switch (fault->kind) {
            case Fault::Kind::ReplyData:
                data = fault->text;
                break;
            case Fault::Kind::LowerCase:
                replyType = lowerCase(replyType);
                replyName = lowerCase(replyName);
                break;
            case Fault::Kind::GarbageFirst:
                prefix = fault->text;
                break;
            case Fault::Kind::InvalidFirst:
                prefix = "BEGIN_MESSAGE\r\nBEGIN_DATA\r\n1\r\nEND_DATA\r\nEND_MESSAGE\r\n";
                break;
            case Fault::Kind::EndlessFirst:
                prefix = "BEGIN_MESSAGE\r\nTYPE: GetValues\r\nNAME: ScanSampleLab\r\nBEGIN_DATA\r\n" +
                         std::string(fault->size, '7');
                break;
            default:
                break;
        }
    }
    const std::string reply = proto::buildMessage(replyType, replyName, data);
    if (fault && fault->kind == Fault::Kind::DropMidReply) {
        write(reply.substr(0, reply.size() / 2));
        dropConnection();
        return;
    }
    if (oneWrite) {
        write(prefix + reply + after);
        return;
    }
    write(prefix + reply);
    if (!after.empty()) write(after);
}

bool Service::scan(int firstPatch, int patches, const ScanScript& script) {
    if (script.dropConnection) {
        std::lock_guard lock(mutex_);
        if (client_ == platform::kInvalidSocket) return false;
    }
    if (script.dropConnection) {
        dropConnection();
        return true;
    }
    if (!script.eventName.empty()) return write(event(script.eventName, script.eventData));
    std::vector<Sample> samples{chart_.paper()};
    for (int i = 0; i < patches; ++i) samples.push_back(chart_.patch(firstPatch + i));
    Sample trailing = chart_.paper();
    trailing.lab[0] = round4(trailing.lab[0] - script.paperDrift);
    samples.push_back(trailing);
    if (script.samples >= 0) {
        const size_t wanted = static_cast<size_t>(script.samples);
        while (samples.size() < wanted) samples.push_back(trailing);
        samples.resize(wanted);
    }
    {
        std::lock_guard lock(mutex_);
        scanSamples_ = std::move(samples);
    }
    // The instrument reports a scan with three events in one go; only the
    // last one says a sample is ready.
    return write(event("ScanMeasurement") + event("DeviceButtonPressed") +
                 event("Measurement", "ScanSample"));
}

bool Service::spot(int patch) {
    {
        std::lock_guard lock(mutex_);
        spotSample_ = chart_.patch(patch);
    }
    return write(event("SpotMeasurement") + event("Measurement", "Sample"));
}

void Service::userLoop() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        if (!userArmed_) {
            changed_.wait(lock);
            continue;
        }
        if (changed_.wait_until(lock, userAt_) != std::cv_status::timeout || !userArmed_) continue;
        userArmed_ = false;
        const bool strip = sameText(settings_.properties["MeasurementMode"], "Scan");
        int first = autoCursor_;
        int count = strip ? autoStrip_ : 1;
        if (autoTotal_ > 0) {
            if (first >= autoTotal_) first = 0;
            count = std::min(count, autoTotal_ - first);
        }
        autoCursor_ = first + count;
        lock.unlock();
        if (strip)
            scan(first, count);
        else
            spot(first);
        lock.lock();
    }
}

void Service::setAutoUser(int stripLength, int delayMs, int total) {
    std::lock_guard lock(mutex_);
    autoStrip_ = stripLength;
    autoDelayMs_ = delayMs;
    autoTotal_ = total;
    autoCursor_ = 0;
}

bool Service::sendRaw(const std::string& bytes) {
    return write(bytes);
}

void Service::dropConnection() {
    std::lock_guard lock(mutex_);
    if (client_ != platform::kInvalidSocket) platform::shutdownSocket(client_);
}

void Service::addFault(Fault fault) {
    std::lock_guard lock(mutex_);
    faults_.push_back(std::move(fault));
}

void Service::clearFaults() {
    std::lock_guard lock(mutex_);
    faults_.clear();
}

void Service::setAttached(bool attached) {
    std::lock_guard lock(mutex_);
    settings_.attached = attached;
}

void Service::setCalibration(std::string answer) {
    std::lock_guard lock(mutex_);
    settings_.calibration = std::move(answer);
}

void Service::setCalibrationInOneWrite(bool on) {
    std::lock_guard lock(mutex_);
    settings_.calibrationInOneWrite = on;
}

void Service::setFormat(bool decimalComma, bool crlfSeparators) {
    std::lock_guard lock(mutex_);
    settings_.decimalComma = decimalComma;
    settings_.crlfSeparators = crlfSeparators;
}

std::string Service::property(const std::string& name) const {
    std::lock_guard lock(mutex_);
    const auto it = settings_.properties.find(name);
    return it == settings_.properties.end() ? std::string() : it->second;
}

void Service::setProperty(const std::string& name, const std::string& value) {
    std::lock_guard lock(mutex_);
    settings_.properties[name] = value;
}

std::vector<std::string> Service::journal() const {
    std::lock_guard lock(mutex_);
    return journal_;
}

int Service::count(const std::string& type, const std::string& name) const {
    std::lock_guard lock(mutex_);
    int n = 0;
    for (const std::string& raw : journal_) {
        const proto::ParsedMessage m = proto::parseMessage(raw);
        n += m.type == type && m.name == name;
    }
    return n;
}

int Service::connections() const {
    std::lock_guard lock(mutex_);
    return connections_;
}

bool Service::waitFor(const std::function<bool(const std::vector<std::string>&)>& condition,
                      std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return condition(journal_); });
}

}  // namespace measure::emu::techkon
