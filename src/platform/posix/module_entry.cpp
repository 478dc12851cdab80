// The shared object's constructor and destructor stand in for DllMain's
// process attach and detach.
#include "platform/module.h"

namespace {

__attribute__((constructor)) void measureProcessAttach() {
    measure::onProcessAttach();
}
__attribute__((destructor)) void measureProcessDetach() {
    measure::onProcessDetach();
}

}  // namespace
