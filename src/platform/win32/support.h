// The Windows backend's own helpers shared by its files.
#pragma once

#include <windows.h>

#include <string>

namespace measure::platform::win32 {

// The module that holds this code: measure.dll, or the program when the
// library's objects are linked straight into it (the tests). Its resources
// are the built-in sounds.
HMODULE moduleHandle();

// The system's text for an error code, without the trailing line break.
std::string errorText(DWORD code);

// Starts Winsock 2 once for the process; false when it cannot be had.
bool winsockReady();

}  // namespace measure::platform::win32
