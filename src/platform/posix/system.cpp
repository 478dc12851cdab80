#include "platform/system.h"

#include <sys/syscall.h>
#include <unistd.h>
#include <cerrno>

namespace measure::platform {

uint32_t currentThreadId() {
    return static_cast<uint32_t>(::syscall(SYS_gettid));
}

uint32_t currentProcessId() {
    return static_cast<uint32_t>(::getpid());
}

uint32_t lastErrorCode() {
    return static_cast<uint32_t>(errno);
}

bool localTimeNow(std::tm& out) {
    const std::time_t now = std::time(nullptr);
    return ::localtime_r(&now, &out) != nullptr;
}

std::string ctimeNow() {
    const std::time_t now = std::time(nullptr);
    char buffer[64] = {};
    if (::ctime_r(&now, buffer) == nullptr) return "unknown time!";
    std::string text(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

}  // namespace measure::platform
