#include <windows.h>

#include <cstdlib>

#include "support/environment.h"

namespace measure::test {

const char* const kTemporaryFolderVariable = "TMP";

// _putenv_s changes the C runtime's copy (getenv) and the process's own
// (GetEnvironmentVariable) together; an empty value removes the variable.
void setEnvironment(const char* name, const char* value) {
    ::_putenv_s(name, value != nullptr ? value : "");
}

// Wine's ntdll exports its version; Windows' does not.
bool runningUnderWine() {
    HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace measure::test
