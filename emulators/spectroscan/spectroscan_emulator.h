// The SpectroScan on a pseudo-terminal: a thread that reads command lines
// from the pty master, lets the Table answer them, and writes the answers
// back, with scripted faults in between. Tests run it in-process; the
// `spectroscan-emulator` program wraps it for hands-on use.
//
// Every member is safe to call from any thread while the emulator runs.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/pseudo_terminal.h"
#include "spectroscan/spectroscan_table.h"

namespace measure::emu::spectroscan {

// A scripted misbehaviour, applied to the commands that begin with the
// numbers of `command` ("208 7" matches "; 208 7 850 450"; "" matches all).
struct Fault {
    enum class Kind {
        NoAnswer,        // swallow the command: not executed, nothing sent
        LateAnswer,      // execute, send the answer after `value` real ms
        LateData,        // execute, send the last answer line (the data) `value` real ms late
        ScanError,       // refuse a table command with scan error type `value`
        DropErrorField,  // leave the last number off the answer
        NoColon,         // answer without any colon
        DropLastField,   // leave the last number off the last answer line
        Fields,   // set fldAnswer, fldFF and RemoteErrorSet of measurement data to value, value2, value3
        Replace,  // send `text` (plus CR LF) instead of the answer
    };
    std::string command;
    Kind kind = Kind::NoAnswer;
    int value = 0;
    int value2 = 0;
    int value3 = 0;
    std::string text;
    int skip = 0;   // let this many matching commands pass unharmed first
    int times = 1;  // how many matching commands to harm; -1 for all

    static Fault noAnswer(std::string command) { return make(std::move(command), Kind::NoAnswer); }
    static Fault lateAnswer(std::string command, int ms) {
        return make(std::move(command), Kind::LateAnswer, ms);
    }
    static Fault lateData(std::string command, int ms) {
        return make(std::move(command), Kind::LateData, ms);
    }
    static Fault scanError(std::string command, int type) {
        return make(std::move(command), Kind::ScanError, type);
    }
    static Fault dropErrorField(std::string command) {
        return make(std::move(command), Kind::DropErrorField);
    }
    static Fault noColon(std::string command) { return make(std::move(command), Kind::NoColon); }
    static Fault dropLastField(std::string command) { return make(std::move(command), Kind::DropLastField); }
    static Fault fields(std::string command, int fldAnswer, int fldFF, int remoteErrorSet) {
        Fault f = make(std::move(command), Kind::Fields, fldAnswer);
        f.value2 = fldFF;
        f.value3 = remoteErrorSet;
        return f;
    }
    static Fault replace(std::string command, std::string text) {
        Fault f = make(std::move(command), Kind::Replace);
        f.text = std::move(text);
        return f;
    }
    // Lets `n` matching commands pass first.
    Fault& skipping(int n) {
        skip = n;
        return *this;
    }
    // Harms `n` matching commands (-1: every one).
    Fault& repeated(int n) {
        times = n;
        return *this;
    }

private:
    static Fault make(std::string command, Kind kind, int value = 0) {
        Fault f;
        f.command = std::move(command);
        f.kind = kind;
        f.value = value;
        return f;
    }
};

// One command line as it arrived, with the line speed it arrived at.
struct ReceivedCommand {
    std::string text;  // without CR LF
    int baud = 0;
    bool answered = false;
};

class Emulator {
public:
    explicit Emulator(ChartLayout chart = {}, Identity identity = {});
    ~Emulator();
    Emulator(const Emulator&) = delete;
    Emulator& operator=(const Emulator&) = delete;

    // Opens the pseudo-terminal and starts answering; false when no
    // pseudo-terminal could be had.
    bool start();
    void stop();
    // The device path to open as the serial port (the pty slave).
    std::string path() const;
    // Receives every command ("> ...") and answer line ("< ...") as it
    // passes; set it before start().
    void setMonitor(std::function<void(const std::string&)> monitor) { monitor_ = std::move(monitor); }

    // Only commands that arrive at this line speed are understood; at any
    // other the instrument sees noise and stays silent. 0 answers at all.
    void setAnswerBaud(int baud);
    void addFault(Fault fault);
    void clearFaults();
    void pressKey();
    void setAutoKey(int polls);
    void queueDigitizedPoint(int x, int y);

    std::vector<ReceivedCommand> commands() const;
    // The received commands' texts that begin with `prefix` ("; 208 7").
    std::vector<std::string> commandsStartingWith(const std::string& prefix) const;
    TableState state() const;
    std::vector<Measurement> measurements() const;
    const ChartLayout& chart() const { return chart_; }

    // Waits up to `timeout` real time for `condition` (evaluated under the
    // emulator's lock after every command); true when it held.
    bool waitFor(const std::function<bool(const TableState&, const std::vector<Measurement>&)>& condition,
                 std::chrono::milliseconds timeout) const;

private:
    void run();
    void answer(const std::string& line, int baud);
    // Waits `ms` real milliseconds; false when the emulator stops meanwhile.
    bool pause(int ms);

    const ChartLayout chart_;
    std::unique_ptr<platform::PseudoTerminal> pty_;
    std::thread thread_;
    std::atomic<bool> stopping_{false};

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    Table table_;
    std::vector<Fault> faults_;
    std::vector<ReceivedCommand> commands_;
    int answerBaud_ = 0;
    std::function<void(const std::string&)> monitor_;
};

// Applies one answer-changing fault to the answer lines of a command.
void applyFault(const Fault& fault, std::vector<std::string>& lines);
// True when `line` ("; 208 7 850 450\r\n") is one of the commands `pattern`
// ("208 7") names.
bool commandMatches(const std::string& pattern, const std::string& line);

}  // namespace measure::emu::spectroscan
