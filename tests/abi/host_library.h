// The built library loaded the way a host loads it (dlopen / LoadLibraryA).
#pragma once

#include <string>
#include <vector>

namespace measure::abi {

class HostLibrary {
public:
    explicit HostLibrary(const char* path);
    ~HostLibrary();
    HostLibrary(const HostLibrary&) = delete;
    HostLibrary& operator=(const HostLibrary&) = delete;

    bool loaded() const { return handle_ != nullptr; }
    // Why the load failed.
    const std::string& error() const { return error_; }
    void* symbol(const char* name) const;
    template <class Fn>
    Fn get(const char* name) const {
        return reinterpret_cast<Fn>(symbol(name));
    }

private:
    void* handle_ = nullptr;
    std::string error_;
};

// Exports that only this system's build has, and those it must not have.
std::vector<const char*> systemOnlyExports();
std::vector<const char*> exportsOfOtherSystems();

}  // namespace measure::abi
