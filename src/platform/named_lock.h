// A process-lifetime named lock, the "already loaded" marker of the library.
#pragma once

namespace measure::platform {

// Creates the named lock if nobody holds it yet and keeps it for the life of
// the process. Returns true when it existed already (this process or another).
bool createNamedLock(const char* name);

}  // namespace measure::platform
