#include "interface/simulation_override.h"

namespace measure {

// The simulated instrument is not built into this library yet, so no
// configuration can switch a request to it.
OverrideOutcome applySimulationOverride(MEASURE2STRUCT*, const std::string&) {
    return OverrideOutcome::NotApplied;
}

void dropSimulationState() {}

}  // namespace measure
