// Run-time loading of vendor libraries (LoadLibraryA / GetProcAddress on
// Windows, dlopen on POSIX, where a Windows name "Vendor\\X.dll" is looked up
// as libX.so). Both look first in each folder of $MEASURE_SDK_PATH (separated
// by ':' on POSIX, ';' on Windows), then in the library's own folder, then on
// the system's search path.
#pragma once

#include <string>

namespace measure::platform {

using LibraryHandle = void*;

// Null on failure; lastLibraryError() then says why.
LibraryHandle loadLibrary(const std::string& name);
void freeLibrary(LibraryHandle handle);
// By exported name; null when missing.
void* findSymbol(LibraryHandle handle, const char* name);
// By ordinal: GetProcAddress(MAKEINTRESOURCE(n)), or the symbol "ordinal_<n>".
void* findOrdinal(LibraryHandle handle, unsigned ordinal);
// The OS error of the last failed load or lookup on this thread.
int lastLibraryError();
std::string lastLibraryErrorText();

// The file name this system uses for a Windows library name.
std::string platformLibraryName(const std::string& windowsName);

}  // namespace measure::platform
