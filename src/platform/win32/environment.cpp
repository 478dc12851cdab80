#include "platform/environment.h"

#include <stdlib.h>

namespace measure::platform {

// _putenv_s changes the C runtime's copy of the environment (getenv) and the
// process's own together, so that child processes and GetTempPath see the
// change too. An empty value removes a variable: Windows has no variable set
// to "".
bool setEnvironmentVariable(const std::string& name, const std::optional<std::string>& value) {
    return ::_putenv_s(name.c_str(), value ? value->c_str() : "") == 0;
}

}  // namespace measure::platform
