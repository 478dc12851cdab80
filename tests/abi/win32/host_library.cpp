#include <windows.h>

#include "abi/host_library.h"

namespace measure::abi {

HostLibrary::HostLibrary(const char* path) : handle_(::LoadLibraryA(path)) {
    if (handle_ == nullptr) error_ = "LoadLibraryA failed, error " + std::to_string(::GetLastError());
}

HostLibrary::~HostLibrary() {
    if (handle_ != nullptr) ::FreeLibrary(static_cast<HMODULE>(handle_));
}

void* HostLibrary::symbol(const char* name) const {
    return handle_ != nullptr ? reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(handle_), name))
                              : nullptr;
}

std::vector<const char*> systemOnlyExports() {
    return {};
}

std::vector<const char*> exportsOfOtherSystems() {
    return {"MeasureCreateMessageWindow", "MeasureGetMessage", "MeasureDestroyMessageWindow"};
}

}  // namespace measure::abi
