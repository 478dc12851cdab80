#include <cstdlib>

#include "support/environment.h"

namespace measure::test {

const char* const kTemporaryFolderVariable = "TMPDIR";

void setEnvironment(const char* name, const char* value) {
    if (value != nullptr)
        ::setenv(name, value, 1);
    else
        ::unsetenv(name);
}

bool runningUnderWine() {
    return false;
}

}  // namespace measure::test
