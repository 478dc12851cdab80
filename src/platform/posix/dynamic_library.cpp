#include "platform/dynamic_library.h"

#include <dlfcn.h>
#include <unistd.h>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <sstream>

#include "platform/paths.h"

namespace measure::platform {
namespace {

thread_local int tlsLastError = 0;
thread_local std::string tlsLastErrorText;

void remember(int code) {
    tlsLastError = code;
    const char* text = ::dlerror();
    tlsLastErrorText = text != nullptr ? text : "";
}

LibraryHandle openPath(const std::string& path) {
    ::dlerror();
    return ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}

}  // namespace

std::string platformLibraryName(const std::string& windowsName) {
    std::string base = windowsName;
    const auto slash = base.find_last_of("\\/");
    if (slash != std::string::npos) base = base.substr(slash + 1);
    const auto dot = base.rfind('.');
    if (dot != std::string::npos && dot + 4 == base.size()) {
        std::string ext = base.substr(dot + 1);
        for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (ext == "dll") base = base.substr(0, dot);
    }
    if (base.rfind("lib", 0) != 0) base = "lib" + base;
    if (base.size() < 3 || base.compare(base.size() - 3, 3, ".so") != 0) base += ".so";
    return base;
}

LibraryHandle loadLibrary(const std::string& name) {
    const std::string file = platformLibraryName(name);
    if (const char* sdkPath = std::getenv("MEASURE_SDK_PATH"); sdkPath != nullptr) {
        std::stringstream folders(sdkPath);
        std::string folder;
        while (std::getline(folders, folder, ':')) {
            if (folder.empty()) continue;
            const std::string candidate = joinPath(folder, file);
            if (::access(candidate.c_str(), F_OK) == 0) {
                if (LibraryHandle handle = openPath(candidate)) return handle;
                remember(ENOEXEC);
                return nullptr;
            }
        }
    }
    const std::string beside = joinPath(moduleFolder(), file);
    if (::access(beside.c_str(), F_OK) == 0) {
        if (LibraryHandle handle = openPath(beside)) return handle;
    }
    if (LibraryHandle handle = openPath(file)) return handle;
    // ERROR_MOD_NOT_FOUND is what the Windows loader reports for this case.
    remember(126);
    return nullptr;
}

void freeLibrary(LibraryHandle handle) {
    if (handle != nullptr) ::dlclose(handle);
}

void* findSymbol(LibraryHandle handle, const char* name) {
    if (handle == nullptr || name == nullptr) return nullptr;
    ::dlerror();
    void* symbol = ::dlsym(handle, name);
    // ERROR_PROC_NOT_FOUND, as GetProcAddress reports it.
    if (symbol == nullptr) remember(127);
    return symbol;
}

void* findOrdinal(LibraryHandle handle, unsigned ordinal) {
    const std::string name = "ordinal_" + std::to_string(ordinal);
    return findSymbol(handle, name.c_str());
}

int lastLibraryError() {
    return tlsLastError;
}

std::string lastLibraryErrorText() {
    return tlsLastErrorText;
}

}  // namespace measure::platform
