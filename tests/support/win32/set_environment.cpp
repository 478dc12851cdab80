#include <cstdlib>

#include "support/environment.h"

namespace measure::test {

// _putenv_s changes the C runtime's copy (getenv) and the process's own
// (GetEnvironmentVariable) together; an empty value removes the variable.
void setEnvironment(const char* name, const char* value) {
    ::_putenv_s(name, value != nullptr ? value : "");
}

}  // namespace measure::test
