#include "platform/environment.h"

#include <cstdlib>

namespace measure::platform {

// Both systems read the C runtime's copy of the environment, the one the
// backends' setEnvironmentVariable changes.
std::optional<std::string> environmentVariable(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    if (value == nullptr) return std::nullopt;
    return std::string(value);
}

}  // namespace measure::platform
