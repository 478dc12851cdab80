#include "spectroscan/spectroscan_emulator.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
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
    if (!pty_.open()) return false;
    if (pipe2(wake_, O_CLOEXEC) != 0) {
        pty_.close();
        return false;
    }
    {
        std::lock_guard lock(mutex_);
        stopping_ = false;
    }
    thread_ = std::thread([this] { run(); });
    return true;
}

void Emulator::stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    if (thread_.joinable()) {
        const char wake = 1;
        [[maybe_unused]] const ssize_t n = ::write(wake_[1], &wake, 1);
        thread_.join();
    }
    for (int& fd : wake_) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
    pty_.close();
}

std::string Emulator::path() const {
    return pty_.slavePath();
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
    struct pollfd p {
        wake_[0], POLLIN, 0
    };
    return poll(&p, 1, ms) == 0;
}

bool Emulator::sendAll(const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(pty_.fd(), text.data() + done, text.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && errno == EAGAIN) {
            // Nobody reads the port: wait a little, give up rather than hang.
            struct pollfd p[2] = {{pty_.fd(), POLLOUT, 0}, {wake_[0], POLLIN, 0}};
            if (poll(p, 2, 1000) <= 0 || p[1].revents != 0) return false;
        } else if (!(n < 0 && errno == EINTR)) {
            return false;
        }
    }
    return true;
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
    for (const auto& l : lines) {
        if (monitor_) monitor_("< " + stripLineEnd(l));
        if (!sendAll(l)) return;
    }
}

void Emulator::run() {
    std::string received;
    for (;;) {
        struct pollfd p[2] = {{pty_.fd(), POLLIN, 0}, {wake_[0], POLLIN, 0}};
        const int r = poll(p, 2, -1);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0 || p[1].revents != 0) return;
        if ((p[0].revents & POLLIN) == 0) {
            if (!pause(5)) return;  // hung up: wait for the next opener
            continue;
        }
        char buffer[512];
        const ssize_t n = ::read(pty_.fd(), buffer, sizeof buffer);
        if (n <= 0) continue;
        received.append(buffer, static_cast<size_t>(n));
        // The opener has set its line speed before it wrote the command.
        const int baud = pty_.slaveBaud();
        for (auto lf = received.find('\n'); lf != std::string::npos; lf = received.find('\n')) {
            const std::string line = received.substr(0, lf + 1);
            received.erase(0, lf + 1);
            answer(line, baud);
        }
        if (received.size() > 4096) received.clear();  // noise without line ends
    }
}

}  // namespace measure::emu::spectroscan
