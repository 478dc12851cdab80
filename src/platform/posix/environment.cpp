#include "platform/environment.h"

#include <stdlib.h>

namespace measure::platform {

bool setEnvironmentVariable(const std::string& name, const std::optional<std::string>& value) {
    if (!value) return ::unsetenv(name.c_str()) == 0;
    return ::setenv(name.c_str(), value->c_str(), 1) == 0;
}

}  // namespace measure::platform
