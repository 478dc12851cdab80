#include "spectroscan/spectroscan_emulator.h"

#include <sstream>

namespace measure::emu::spectroscan {
namespace {

std::string stripLineEnd(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

std::vector<std::string> words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> out;
    for (std::string w; in >> w;) out.push_back(w);
    return out;
}

std::string join(const std::vector<std::string>& parts) {
    std::string out;
    for (const auto& p : parts) out += (out.empty() ? "" : " ") + p;
    return out;
}

// Removes the last blank-separated word of an answer line, keeping CR LF.
void dropLastWord(std::string& line) {
    std::string body = stripLineEnd(line);
    while (!body.empty() && body.back() == ' ') body.pop_back();
    const auto blank = body.find_last_of(' ');
    body.erase(blank == std::string::npos ? 0 : blank);
    line = body + "\r\n";
}

}  // namespace

bool commandMatches(const std::string& pattern, const std::string& line) {
    const auto want = words(pattern);
    auto have = words(stripLineEnd(line));
    if (!have.empty() && have.front() == ";") have.erase(have.begin());
    if (want.size() > have.size()) return false;
    for (size_t i = 0; i < want.size(); ++i)
        if (want[i] != have[i]) return false;
    return true;
}

void applyFault(const Fault& fault, std::vector<std::string>& lines) {
    if (lines.empty() && fault.kind != Fault::Kind::Replace) return;
    switch (fault.kind) {
        case Fault::Kind::DropErrorField:
            dropLastWord(lines.front());
            break;
        case Fault::Kind::DropLastField:
            dropLastWord(lines.back());
            break;
        case Fault::Kind::NoColon:
            for (auto& l : lines) std::erase(l, ':');
            break;
        case Fault::Kind::Fields: {
            std::string& l = lines.back();
            const auto colon = l.find_last_of(':');
            if (colon == std::string::npos) break;
            auto data = words(stripLineEnd(l.substr(colon + 1)));
            if (data.size() < 3) break;
            data.front() = std::to_string(fault.value);
            data[data.size() - 2] = std::to_string(fault.value2);
            data.back() = std::to_string(fault.value3);
            l = l.substr(0, colon + 1) + " " + join(data) + "\r\n";
            break;
        }
        case Fault::Kind::Replace:
            lines = {fault.text + "\r\n"};
            break;
        default:
            break;
    }
}

Emulator::Emulator(ChartLayout chart, Identity identity)
    : chart_(chart), table_(chart, std::move(identity)) {}

Emulator::~Emulator() {
    stop();
}

bool Emulator::start() {
    if (thread_.joinable()) return true;
    auto pty = std::make_unique<platform::PseudoTerminal>();
    if (!pty->isOpen()) return false;
    pty_ = std::move(pty);
    stopping_ = false;
    thread_ = std::thread([this] { run(); });
    return true;
}

void Emulator::stop() {
    stopping_ = true;
    if (thread_.joinable()) thread_.join();
    if (pty_) pty_->close();
}

std::string Emulator::path() const {
    return pty_ ? pty_->slavePath() : std::string();
}

void Emulator::setAnswerBaud(int baud) {
    std::lock_guard lock(mutex_);
    answerBaud_ = baud;
}

void Emulator::addFault(Fault fault) {
    std::lock_guard lock(mutex_);
    faults_.push_back(std::move(fault));
}

void Emulator::clearFaults() {
    std::lock_guard lock(mutex_);
    faults_.clear();
}

void Emulator::pressKey() {
    std::lock_guard lock(mutex_);
    table_.pressKey();
}

void Emulator::setAutoKey(int polls) {
    std::lock_guard lock(mutex_);
    table_.setAutoKey(polls);
}

void Emulator::queueDigitizedPoint(int x, int y) {
    std::lock_guard lock(mutex_);
    table_.queueDigitizedPoint(x, y);
}

std::vector<ReceivedCommand> Emulator::commands() const {
    std::lock_guard lock(mutex_);
    return commands_;
}

std::vector<std::string> Emulator::commandsStartingWith(const std::string& prefix) const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> out;
    for (const auto& c : commands_)
        if (c.text.rfind(prefix, 0) == 0) out.push_back(c.text);
    return out;
}

TableState Emulator::state() const {
    std::lock_guard lock(mutex_);
    return table_.state();
}

std::vector<Measurement> Emulator::measurements() const {
    std::lock_guard lock(mutex_);
    return table_.measurements();
}

bool Emulator::waitFor(
    const std::function<bool(const TableState&, const std::vector<Measurement>&)>& condition,
    std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return condition(table_.state(), table_.measurements()); });
}

bool Emulator::pause(int ms) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!stopping_) {
        const auto left = until - std::chrono::steady_clock::now();
        if (left <= std::chrono::nanoseconds::zero()) return true;
        std::this_thread::sleep_for(std::min<std::chrono::nanoseconds>(left, std::chrono::milliseconds(5)));
    }
    return false;
}

void Emulator::answer(const std::string& line, int baud) {
    std::vector<std::string> lines;
    Fault fault;
    bool faulty = false;
    {
        std::lock_guard lock(mutex_);
        commands_.push_back({stripLineEnd(line), baud, false});
        if (answerBaud_ != 0 && baud != answerBaud_) {
            changed_.notify_all();
            if (monitor_) monitor_("> " + stripLineEnd(line) + " @" + std::to_string(baud) + " (noise)");
            return;
        }
        for (auto& f : faults_) {
            if (f.times == 0 || !commandMatches(f.command, line)) continue;
            if (f.skip > 0) {
                --f.skip;
                continue;
            }
            if (!faulty) {
                fault = f;
                faulty = true;
                if (f.times > 0) --f.times;
            }
        }
        if (faulty && fault.kind == Fault::Kind::NoAnswer) {
            changed_.notify_all();
            return;
        }
        if (faulty && fault.kind == Fault::Kind::ScanError) {
            const auto args = parseCommand(line);
            const long sub = args && args->size() > 1 ? (*args)[1] : 0;
            lines = {": 209 " + std::to_string(sub) + " " + std::to_string(fault.value) + "\r\n"};
        } else {
            lines = table_.handle(line);
        }
        if (faulty) applyFault(fault, lines);
        commands_.back().answered = !lines.empty();
    }
    changed_.notify_all();
    if (monitor_) monitor_("> " + stripLineEnd(line) + " @" + std::to_string(baud));
    if (faulty && fault.kind == Fault::Kind::LateAnswer && !pause(fault.value)) return;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (faulty && fault.kind == Fault::Kind::LateData && i + 1 == lines.size() && !pause(fault.value))
            return;
        if (monitor_) monitor_("< " + stripLineEnd(lines[i]));
        if (!pty_->write(lines[i])) return;
    }
}

void Emulator::run() {
    std::string received;
    while (!stopping_) {
        char buffer[512];
        const int n = pty_->read(buffer, sizeof buffer, std::chrono::milliseconds(20));
        if (n <= 0) continue;
        received.append(buffer, static_cast<size_t>(n));
        // The opener has set its line speed before it wrote the command.
        const int baud = static_cast<int>(pty_->slaveBaud());
        for (auto lf = received.find('\n'); lf != std::string::npos; lf = received.find('\n')) {
            const std::string line = received.substr(0, lf + 1);
            received.erase(0, lf + 1);
            answer(line, baud);
        }
        if (received.size() > 4096) received.clear();  // noise without line ends
    }
}

}  // namespace measure::emu::spectroscan
