// Load and unload of the library, and the host's logging switch.
#include <cstdlib>
#include <string>

#include "core/logger.h"
#include "core/record.h"
#include "platform/module.h"
#include "platform/named_lock.h"

namespace measure {

void onProcessAttach() {
    resetRecordState();
    // A user can switch logging on for any host without its help.
    if (const char* path = std::getenv("MEASURE_LOG"); path != nullptr && *path != '\0') {
        const char* levelText = std::getenv("MEASURE_LOG_LEVEL");
        const int level = levelText != nullptr ? std::atoi(levelText) : 1;
        LogEnable(level, true, path);
    }
    LogRestartClock();
    Log(1, "DllMain", "DLL_PROCESS_ATTACH _DEBUG Compiled");
    LogTime(1, "DllMain");
}

void onProcessDetach() {
    Log(1, "DllMain", "DLL_PROCESS_DETACH");
    LogClose();
}

void onThreadAttach() {
    Log(1, "DllMain", "DLL_THREAD_ATTACH");
}
void onThreadDetach() {
    Log(1, "DllMain", "DLL_THREAD_DETACH");
}

}  // namespace measure

// LogfileCreate takes the "already loaded" marker and restarts the log clock.
// With a non-empty path it also switches logging on at `level`: the one way a
// host can ask the library for a log file.
MEASURE_API void LogfileCreate(uint32_t level, uint8_t append, const char* path) {
    try {
        const bool alreadyLoaded = measure::platform::createNamedLock("OrvaneMeasureDllLoadedAgainMutex");
        (void)alreadyLoaded;
        if (path != nullptr && *path != '\0') measure::LogEnable(static_cast<int>(level), append != 0, path);
        measure::LogRestartClock();
    } catch (...) {
    }
}
