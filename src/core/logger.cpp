#include "core/logger.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <exception>
#include <mutex>

#include "platform/clock.h"
#include "platform/error_box.h"
#include "platform/system.h"

namespace measure {
namespace {

struct LoggerState {
    std::atomic<bool> enabled{false};
    std::atomic<int> threshold{0};
    std::atomic<bool> suppress{false};
    std::atomic<uint32_t> clockBase{0};
    std::mutex mutex;  // guards everything below and serialises writes
    std::string path;
    bool append = false;
    bool openTried = false;
    std::FILE* file = nullptr;
};

LoggerState& state() {
    static LoggerState* instance = new LoggerState;  // alive until the last thread logs
    return *instance;
}

// Under the lock: opens the file on the first line written.
bool ensureOpen(LoggerState& s) {
    if (s.file != nullptr) return true;
    if (s.openTried) return false;
    s.openTried = true;
    if (s.append) s.file = std::fopen(s.path.c_str(), "a");
    if (s.file == nullptr) s.file = std::fopen(s.path.c_str(), "w");
    if (s.file == nullptr) {
        char text[1200];
        std::snprintf(text, sizeof text, "File: \"%s\"\nGetLastError: %u", s.path.c_str(),
                      platform::lastErrorCode());
        platform::showErrorBox(text, "LogFile.TryOpen");
        return false;
    }
    return true;
}

void writeLine(LoggerState& s, uint32_t elapsed, uint32_t thread, const char* function, const char* text) {
    if (!ensureOpen(s)) return;
    const std::string now = platform::ctimeNow();
    std::fprintf(s.file, "%s: %u : %u : %s", now.c_str(), elapsed, thread,
                 function != nullptr ? function : "");
    if (text != nullptr && *text != '\0')
        std::fprintf(s.file, ": %s\n", text);
    else
        std::fputc('\n', s.file);
}

void disableAfterFailure() {
    state().enabled.store(false, std::memory_order_relaxed);
}

}  // namespace

bool LogEnabled(int level) {
    LoggerState& s = state();
    return s.enabled.load(std::memory_order_relaxed) &&
           level <= s.threshold.load(std::memory_order_relaxed) &&
           !s.suppress.load(std::memory_order_relaxed);
}

void Log(int level, const char* function, const char* text) {
    if (!LogEnabled(level)) return;
    try {
        LoggerState& s = state();
        const uint32_t elapsed = platform::tickCountMs() - s.clockBase.load(std::memory_order_relaxed);
        const uint32_t thread = platform::currentThreadId();
        std::lock_guard lock(s.mutex);
        writeLine(s, elapsed, thread, function, text);
        if (s.file != nullptr) std::fflush(s.file);
    } catch (...) {
        disableAfterFailure();
    }
}

void LogF(int level, const char* function, const char* format, ...) {
    if (!LogEnabled(level) || format == nullptr) return;
    char text[1024];
    va_list args;
    va_start(args, format);
    const int written = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    Log(level, function, written < 0 ? format : text);
}

std::string LogEscapeDump(const char* data) {
    std::string out;
    if (data == nullptr || *data == '\0') return out;
    out += '\t';
    bool afterLineEnd = false;
    for (const char* p = data; *p != '\0'; ++p) {
        const auto byte = static_cast<unsigned char>(*p);
        if (afterLineEnd) {
            out += "\n\t";
            afterLineEnd = false;
        }
        if (byte == '\n') {
            out += "\\n";
            afterLineEnd = true;
        } else if (byte == '\r') {
            out += "\\r";
            afterLineEnd = true;
        } else if ((byte >= 32 && byte != 127) || byte == '\t') {
            out += static_cast<char>(byte);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", byte);
            out += hex;
        }
    }
    out += '\n';
    return out;
}

void LogDump(int level, const char* function, const char* text, const char* data) {
    if (!LogEnabled(level)) return;
    try {
        LoggerState& s = state();
        const uint32_t elapsed = platform::tickCountMs() - s.clockBase.load(std::memory_order_relaxed);
        const uint32_t thread = platform::currentThreadId();
        const std::string dump = LogEscapeDump(data);
        std::lock_guard lock(s.mutex);  // held across line and dump
        writeLine(s, elapsed, thread, function, text);
        if (s.file != nullptr) {
            std::fputs(dump.c_str(), s.file);
            std::fflush(s.file);
        }
    } catch (...) {
        disableAfterFailure();
    }
}

void LogTime(int level, const char* function) {
    if (!LogEnabled(level)) return;
    std::tm now{};
    if (!platform::localTimeNow(now)) {
        Log(level, function, "unknown time!");
        return;
    }
    LogF(level, function, "%02d/%02d/%02d %02d:%02d:%02d", now.tm_year + 1900, now.tm_mon + 1, now.tm_mday,
         now.tm_hour, now.tm_min, now.tm_sec);
}

void LogRestartClock() {
    LoggerState& s = state();
    if (!s.enabled.load(std::memory_order_relaxed)) return;
    std::lock_guard lock(s.mutex);
    s.clockBase.store(platform::tickCountMs(), std::memory_order_relaxed);
}

void LogClose() {
    LoggerState& s = state();
    s.enabled.store(false, std::memory_order_relaxed);
    std::lock_guard lock(s.mutex);
    if (s.file != nullptr) std::fclose(s.file);
    s.file = nullptr;
    s.openTried = false;
}

void LogEnable(int level, bool append, const std::string& path) {
    LogClose();
    if (path.empty()) return;
    LoggerState& s = state();
    {
        std::lock_guard lock(s.mutex);
        s.path = path.substr(0, 1024);
        s.append = append;
        s.threshold.store(level, std::memory_order_relaxed);
    }
    s.enabled.store(true, std::memory_order_relaxed);
    LogRestartClock();
}

}  // namespace measure
