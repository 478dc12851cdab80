#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "console.h"

namespace cli {
namespace {

std::atomic<bool> gInterrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the flag is set from a signal handler");

extern "C" void onInterrupt(int) {
    if (gInterrupted.exchange(true)) _exit(130);
}

}  // namespace

bool stdoutIsTerminal() {
    return ::isatty(STDOUT_FILENO) == 1;
}

bool setEnvironment(const std::string& name, const std::string& value) {
    return ::setenv(name.c_str(), value.c_str(), 1) == 0;
}

bool environmentHas(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    return value != nullptr && *value != '\0';
}

void installInterruptHandler() {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

bool interrupted() {
    return gInterrupted.load();
}

void clearInterrupt() {
    gInterrupted.store(false);
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

void removeFolder(const std::string& path) {
    std::error_code ignored;
    if (!path.empty()) std::filesystem::remove_all(path, ignored);
}

}  // namespace cli
