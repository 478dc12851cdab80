// Small facts about the process and the machine that only the operating
// system knows.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace measure::platform {

uint32_t currentThreadId();
uint32_t currentProcessId();

// The last OS error code of the calling thread (GetLastError / errno).
uint32_t lastErrorCode();

// Local broken-down time; false when the local time cannot be had.
bool localTimeNow(std::tm& out);

// The C library's ctime text of now, without its trailing newline.
std::string ctimeNow();

}  // namespace measure::platform
