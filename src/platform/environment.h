// The process environment, for the settings the library reads from it
// (MEASURE_COMMON_APPDATA, TMPDIR, ...) when a test or a host changes them.
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace measure::platform {

std::optional<std::string> environmentVariable(const std::string& name);
// Sets (or with nullopt removes) a variable of this process.
bool setEnvironmentVariable(const std::string& name, const std::optional<std::string>& value);

// Sets a variable for the life of the object, then restores what was there.
class ScopedEnvironment {
public:
    ScopedEnvironment(std::string name, const std::optional<std::string>& value)
        : name_(std::move(name)), previous_(environmentVariable(name_)) {
        setEnvironmentVariable(name_, value);
    }
    ~ScopedEnvironment() { setEnvironmentVariable(name_, previous_); }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    std::string name_;
    std::optional<std::string> previous_;
};

}  // namespace measure::platform
