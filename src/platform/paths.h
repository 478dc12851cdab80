// Folders the library reads or writes. Relative paths in the library's own
// terms use backslashes ("\\Vantu\\AutomatedTesting\\..."); joinPath turns
// them into this system's separators.
#pragma once

#include <string>

namespace measure::platform {

// $MEASURE_COMMON_APPDATA when set; else SHGetFolderPath(CSIDL_COMMON_APPDATA)
// on Windows, /var/lib on POSIX. Without a trailing separator.
std::string commonAppDataFolder();
// GetTempPath on Windows, $TMPDIR or /tmp on POSIX. Without a trailing
// separator.
std::string tempFolder();
// The full path of the library's own file (measure.dll / libmeasure.so.1).
std::string moduleFile();
// The folder of moduleFile().
std::string moduleFolder();

// folder + relative, with '\\' and '/' in `relative` turned into this
// system's separator and exactly one separator between the two.
std::string joinPath(const std::string& folder, const std::string& relative);

// True for an existing regular file (not a folder).
bool fileExists(const std::string& path);

// '\\' on Windows, '/' on POSIX.
char pathSeparator();

}  // namespace measure::platform
