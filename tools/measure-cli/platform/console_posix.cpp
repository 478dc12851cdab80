#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "console.h"

namespace cli {
namespace {

extern "C" void onInterrupt(int) {
    if (noteInterrupt()) _exit(130);
}

}  // namespace

bool stdoutIsTerminal() {
    return ::isatty(STDOUT_FILENO) == 1;
}

bool setEnvironment(const std::string& name, const std::string& value) {
    return ::setenv(name.c_str(), value.c_str(), 1) == 0;
}

void installInterruptHandler() {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

std::string makeTemporaryFolder(const std::string& prefix) {
    std::error_code ec;
    std::string base = std::filesystem::temp_directory_path(ec).string();
    if (ec) base = "/tmp";
    std::string pattern = base + "/" + prefix + "XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (::mkdtemp(buffer.data()) == nullptr) return {};
    return buffer.data();
}

}  // namespace cli
