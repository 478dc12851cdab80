#include "platform/system.h"

#include <windows.h>

namespace measure::platform {

uint32_t currentThreadId() {
    return static_cast<uint32_t>(::GetCurrentThreadId());
}

uint32_t currentProcessId() {
    return static_cast<uint32_t>(::GetCurrentProcessId());
}

uint32_t lastErrorCode() {
    return static_cast<uint32_t>(::GetLastError());
}

bool localTimeNow(std::tm& out) {
    const std::time_t now = std::time(nullptr);
    return ::localtime_s(&out, &now) == 0;
}

std::string ctimeNow() {
    const std::time_t now = std::time(nullptr);
    char buffer[64] = {};
    if (::ctime_s(buffer, sizeof buffer, &now) != 0) return "unknown time!";
    std::string text(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

}  // namespace measure::platform
