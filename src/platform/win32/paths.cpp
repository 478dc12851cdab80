#include "platform/paths.h"

#include <windows.h>
// After windows.h, which it builds on.
#include <shlobj.h>

#include "platform/backend.h"
#include "platform/win32/support.h"

namespace measure::platform {

namespace backend {
std::string systemCommonAppDataFolder() {
    char path[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path)))
        return {};
    return path;
}
}  // namespace backend

char pathSeparator() {
    return '\\';
}

std::string tempFolder() {
    char path[MAX_PATH + 1] = {};
    const DWORD length = ::GetTempPathA(sizeof path, path);
    if (length == 0 || length > MAX_PATH) return ".";
    std::string text(path, length);
    while (text.size() > 1 && (text.back() == '\\' || text.back() == '/')) text.pop_back();
    return text;
}

std::string moduleFile() {
    char path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameA(win32::moduleHandle(), path, sizeof path);
    if (length == 0 || length >= sizeof path) return {};
    return std::string(path, length);
}

bool fileExists(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace measure::platform
