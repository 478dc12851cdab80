#include "platform/paths.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <cstdlib>

namespace measure::platform {
namespace {

std::string envOr(const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    std::string text = (value != nullptr && *value != '\0') ? value : fallback;
    while (text.size() > 1 && text.back() == '/') text.pop_back();
    return text;
}

}  // namespace

std::string commonAppDataFolder() {
    return envOr("MEASURE_COMMON_APPDATA", "/var/lib");
}

std::string tempFolder() {
    return envOr("TMPDIR", "/tmp");
}

std::string moduleFile() {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&moduleFile), &info) == 0 || info.dli_fname == nullptr) return {};
    return info.dli_fname;
}

std::string moduleFolder() {
    const std::string file = moduleFile();
    const auto slash = file.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : file.substr(0, slash);
}

std::string joinPath(const std::string& folder, const std::string& relative) {
    std::string tail = relative;
    for (char& c : tail)
        if (c == '\\') c = '/';
    size_t start = tail.find_first_not_of('/');
    tail = start == std::string::npos ? std::string() : tail.substr(start);
    std::string head = folder;
    while (head.size() > 1 && head.back() == '/') head.pop_back();
    if (head.empty()) return tail;
    if (tail.empty()) return head;
    return head == "/" ? head + tail : head + "/" + tail;
}

bool fileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace measure::platform
