// Folders the library reads or writes. Relative paths in the library's own
// terms use backslashes ("\\Vantu\\AutomatedTesting\\..."); joinPath turns
// them into this system's separators.
#pragma once

#include <string>

namespace measure::platform {

// SHGetFolderPath(CSIDL_COMMON_APPDATA), or $MEASURE_COMMON_APPDATA / /var/lib.
std::string commonAppDataFolder();
// GetTempPath, or $TMPDIR / /tmp. Without a trailing separator.
std::string tempFolder();
// The full path of the library's own file (measure.dll / libmeasure.so.1).
std::string moduleFile();
// The folder of moduleFile().
std::string moduleFolder();

// folder + relative, with '\\' and '/' in `relative` turned into this
// system's separator and exactly one separator between the two.
std::string joinPath(const std::string& folder, const std::string& relative);

bool fileExists(const std::string& path);

}  // namespace measure::platform
