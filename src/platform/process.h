// A child program with its output captured, for driving the reference host
// and the emulator programs from tests: started with extra environment,
// waited for with a bound, interrupted like Ctrl-C, killed when it hangs.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace measure::platform {

class ChildProcess {
public:
    ChildProcess();
    ~ChildProcess();  // kills a child that still runs
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts argv[0] (a path) with the environment of this process plus
    // `environment` (a value replaces an inherited one). Standard output and
    // error go to files in `captureFolder`. False when it cannot start.
    bool start(const std::vector<std::string>& argv,
               const std::vector<std::pair<std::string, std::string>>& environment,
               const std::string& workingFolder, const std::string& captureFolder);

    // Waits up to `ms` real milliseconds; true when the child has ended.
    bool wait(uint32_t ms);
    // Asks the child to stop as Ctrl-C would.
    void interrupt();
    void kill();

    bool ended() const;
    // The exit status, or 128 + signal number when a signal ended it.
    int exitCode() const;
    std::string output() const;
    std::string errors() const;

private:
    struct State;  // the system's handle on the child
    std::unique_ptr<State> state_;
    bool ended_ = false;
    int exitCode_ = -1;
    std::string outPath_;
    std::string errPath_;
};

// Runs a program to its end (killed after `timeoutMs`); the exit code is -1
// when it could not start or had to be killed.
struct ProcessResult {
    int exitCode = -1;
    std::string output;
    std::string errors;
};
ProcessResult runProcess(const std::vector<std::string>& argv,
                         const std::vector<std::pair<std::string, std::string>>& environment,
                         const std::string& workingFolder, const std::string& captureFolder,
                         uint32_t timeoutMs);

}  // namespace measure::platform
