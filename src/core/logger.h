// The process-wide logger. Every export, driver entry, driver thread and
// transport logs through it with a level (0 errors, 1 entry and result of
// exports and entries, 2-3 detail, 5 bulk values) and the calling function's
// name ("clSIMULATOR_DEVICE::MultiMeasure", "StartMultiMeasure").
//
// The library never switches logging on by itself; LogfileCreate with a path,
// or MEASURE_LOG / MEASURE_LOG_LEVEL at load, does. While off, every call
// returns at its first test.
//
// Line: "<ctime>: <ms since clock base> : <thread id> : <function>: <text>\n".
#pragma once

#include <cstdint>
#include <string>

#include "platform/format_check.h"

namespace measure {

void Log(int level, const char* function, const char* text);
void LogF(int level, const char* function, const char* format, ...) MEASURE_PRINTF(3, 4);
// Logs `text`, then `data` escaped (see LogEscapeDump) without another line
// in between.
void LogDump(int level, const char* function, const char* text, const char* data);
// Logs the local date and time, or "unknown time!".
void LogTime(int level, const char* function);
bool LogEnabled(int level);
void LogRestartClock();
void LogClose();

// Switches logging on: lines of `level` and below go to `path`, appended to
// or replacing the file. An empty path switches it off.
void LogEnable(int level, bool append, const std::string& path);

// The dump form of `data` up to its first zero byte: a tab, then printable
// bytes and tabs as they are, line feed and carriage return as \n and \r
// (followed by a newline and a tab when more bytes follow), every other byte
// as \xHH; a newline at the end. Empty data gives an empty text.
std::string LogEscapeDump(const char* data);

}  // namespace measure
