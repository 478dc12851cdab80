#include "console.h"

#include <atomic>
#include <cstdlib>
#include <filesystem>

namespace cli {
namespace {

std::atomic<bool> gInterrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the flag is set from a signal handler");

}  // namespace

bool noteInterrupt() {
    return gInterrupted.exchange(true);
}

bool interrupted() {
    return gInterrupted.load();
}

void clearInterrupt() {
    gInterrupted.store(false);
}

bool environmentHas(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    return value != nullptr && *value != '\0';
}

void removeFolder(const std::string& path) {
    std::error_code ignored;
    if (!path.empty()) std::filesystem::remove_all(path, ignored);
}

}  // namespace cli
