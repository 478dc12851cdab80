// The parts of ChildProcess that every system shares: the captured output
// files and the run-to-the-end helper.
#include "platform/process.h"

#include <fstream>
#include <sstream>

namespace measure::platform {
namespace {

std::string readWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

bool ChildProcess::ended() const {
    return ended_;
}

int ChildProcess::exitCode() const {
    return exitCode_;
}

std::string ChildProcess::output() const {
    return readWhole(outPath_);
}

std::string ChildProcess::errors() const {
    return readWhole(errPath_);
}

ProcessResult runProcess(const std::vector<std::string>& argv,
                         const std::vector<std::pair<std::string, std::string>>& environment,
                         const std::string& workingFolder, const std::string& captureFolder,
                         uint32_t timeoutMs) {
    ProcessResult result;
    ChildProcess child;
    if (!child.start(argv, environment, workingFolder, captureFolder)) return result;
    if (!child.wait(timeoutMs)) child.kill();
    result.exitCode = child.exitCode();
    result.output = child.output();
    result.errors = child.errors();
    return result;
}

}  // namespace measure::platform
