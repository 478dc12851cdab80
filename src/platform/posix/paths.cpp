#include "platform/paths.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <cstdlib>

#include "platform/backend.h"

namespace measure::platform {

namespace backend {
std::string systemCommonAppDataFolder() {
    return "/var/lib";
}
}  // namespace backend

char pathSeparator() {
    return '/';
}

std::string tempFolder() {
    const char* value = std::getenv("TMPDIR");
    std::string text = (value != nullptr && *value != '\0') ? value : "/tmp";
    while (text.size() > 1 && text.back() == '/') text.pop_back();
    return text;
}

std::string moduleFile() {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&moduleFile), &info) == 0 || info.dli_fname == nullptr) return {};
    return info.dli_fname;
}

bool fileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace measure::platform
