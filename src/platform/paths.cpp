#include "platform/paths.h"

#include <cstdlib>

#include "platform/backend.h"

namespace measure::platform {
namespace {

// '/' separates on every system; Windows also takes its own '\\'.
bool isSeparator(char c) {
    return c == '/' || c == pathSeparator();
}

std::string withoutTrailingSeparators(std::string path) {
    while (path.size() > 1 && isSeparator(path.back())) path.pop_back();
    return path;
}

}  // namespace

std::string commonAppDataFolder() {
    // The override lets tests and demos point the library at a folder of
    // their own without touching the machine's shared one.
    const char* value = std::getenv("MEASURE_COMMON_APPDATA");
    if (value != nullptr && *value != '\0') return withoutTrailingSeparators(value);
    return withoutTrailingSeparators(backend::systemCommonAppDataFolder());
}

std::string moduleFolder() {
    const std::string file = moduleFile();
    size_t slash = std::string::npos;
    for (size_t i = 0; i < file.size(); ++i)
        if (isSeparator(file[i])) slash = i;
    if (slash == std::string::npos) return ".";
    return slash == 0 ? file.substr(0, 1) : file.substr(0, slash);
}

std::string joinPath(const std::string& folder, const std::string& relative) {
    const char separator = pathSeparator();
    std::string tail;
    for (char c : relative) tail += (c == '\\' || c == '/') ? separator : c;
    const size_t start = tail.find_first_not_of(separator);
    tail = start == std::string::npos ? std::string() : tail.substr(start);
    const std::string head = withoutTrailingSeparators(folder);
    if (head.empty()) return tail;
    if (tail.empty()) return head;
    // Only a root folder keeps its separator.
    return isSeparator(head.back()) ? head + tail : head + separator + tail;
}

}  // namespace measure::platform
