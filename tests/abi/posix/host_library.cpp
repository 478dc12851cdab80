#include <dlfcn.h>

#include "abi/host_library.h"

namespace measure::abi {

HostLibrary::HostLibrary(const char* path) : handle_(::dlopen(path, RTLD_NOW | RTLD_LOCAL)) {
    if (handle_ == nullptr) error_ = ::dlerror();
}

HostLibrary::~HostLibrary() {
    if (handle_ != nullptr) ::dlclose(handle_);
}

void* HostLibrary::symbol(const char* name) const {
    return handle_ != nullptr ? ::dlsym(handle_, name) : nullptr;
}

std::vector<const char*> systemOnlyExports() {
    return {"MeasureCreateMessageWindow", "MeasureGetMessage", "MeasureDestroyMessageWindow"};
}

std::vector<const char*> exportsOfOtherSystems() {
    return {};
}

}  // namespace measure::abi
