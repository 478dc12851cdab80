#include "platform/named_lock.h"

#include <windows.h>

namespace measure::platform {

// A named mutex: the handle of the first creator stays open, so the name stays
// taken until the process ends.
bool createNamedLock(const char* name) {
    HANDLE mutex = ::CreateMutexA(nullptr, FALSE, name);
    if (mutex == nullptr) return ::GetLastError() == ERROR_ACCESS_DENIED;  // held by another user
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        ::CloseHandle(mutex);
        return true;
    }
    return false;
}

}  // namespace measure::platform
