#include "platform/environment.h"

#include <stdlib.h>

namespace measure::platform {

// The C runtime's copy of the environment is the one the library reads
// (getenv); _putenv_s changes it and the process environment together, so
// that child processes and GetTempPath see the change too.
std::optional<std::string> environmentVariable(const std::string& name) {
    const char* value = ::getenv(name.c_str());
    if (value == nullptr) return std::nullopt;
    return std::string(value);
}

// An empty value removes a variable on Windows: a variable set to "" does
// not exist there.
bool setEnvironmentVariable(const std::string& name, const std::optional<std::string>& value) {
    return ::_putenv_s(name.c_str(), value ? value->c_str() : "") == 0;
}

}  // namespace measure::platform
