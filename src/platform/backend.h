// What each backend (posix/, win32/) provides to the portable half of the
// platform layer. Not for callers outside src/platform/.
#pragma once

#include <string>

namespace measure::platform::backend {

// The system's own error box, shown when no test hook is installed.
void showSystemErrorBox(const std::string& text, const std::string& caption);

// The machine-wide application data folder of this system, without a
// trailing separator.
std::string systemCommonAppDataFolder();

}  // namespace measure::platform::backend
