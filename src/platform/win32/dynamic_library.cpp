#include "platform/dynamic_library.h"

#include <windows.h>

#include <cstdlib>
#include <sstream>

#include "platform/paths.h"
#include "platform/win32/support.h"

namespace measure::platform {
namespace {

thread_local int tlsLastError = 0;
thread_local std::string tlsLastErrorText;

void remember(DWORD code) {
    tlsLastError = static_cast<int>(code);
    tlsLastErrorText = win32::errorText(code);
}

LibraryHandle openPath(const std::string& path) {
    HMODULE module = ::LoadLibraryA(path.c_str());
    if (module == nullptr) remember(::GetLastError());
    return module;
}

}  // namespace

std::string platformLibraryName(const std::string& windowsName) {
    const auto slash = windowsName.find_last_of("\\/");
    return slash == std::string::npos ? windowsName : windowsName.substr(slash + 1);
}

// $MEASURE_SDK_PATH (';'-separated folders) lets tests and demos put
// stand-in libraries first; then the library's own folder, then the system's
// search order for the name as given.
LibraryHandle loadLibrary(const std::string& name) {
    const std::string file = platformLibraryName(name);
    if (const char* sdkPath = std::getenv("MEASURE_SDK_PATH"); sdkPath != nullptr) {
        std::stringstream folders(sdkPath);
        std::string folder;
        while (std::getline(folders, folder, ';')) {
            if (folder.empty()) continue;
            const std::string candidate = joinPath(folder, file);
            if (fileExists(candidate)) return openPath(candidate);
        }
    }
    const std::string beside = joinPath(moduleFolder(), name);
    if (fileExists(beside)) {
        if (LibraryHandle handle = openPath(beside)) return handle;
    }
    return openPath(name);
}

void freeLibrary(LibraryHandle handle) {
    if (handle != nullptr) ::FreeLibrary(static_cast<HMODULE>(handle));
}

void* findSymbol(LibraryHandle handle, const char* name) {
    if (handle == nullptr || name == nullptr) return nullptr;
    auto symbol = reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(handle), name));
    if (symbol == nullptr) remember(::GetLastError());
    return symbol;
}

void* findOrdinal(LibraryHandle handle, unsigned ordinal) {
    // An ordinal is the low word of the name pointer; anything wider would be
    // read as a name.
    if (handle == nullptr || ordinal == 0 || ordinal > 0xFFFF) {
        remember(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    auto symbol = reinterpret_cast<void*>(
        ::GetProcAddress(static_cast<HMODULE>(handle), MAKEINTRESOURCEA(static_cast<WORD>(ordinal))));
    if (symbol == nullptr) remember(::GetLastError());
    return symbol;
}

int lastLibraryError() {
    return tlsLastError;
}

std::string lastLibraryErrorText() {
    return tlsLastErrorText;
}

}  // namespace measure::platform
