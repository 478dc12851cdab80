// The simulation override of Open2Instrument: when a simulation configuration
// file exists, a host's request for a listed instrument is served by the
// simulated instrument instead.
#pragma once

#include <string>

#include "measure/measure.h"

namespace measure {

enum class OverrideOutcome { NotApplied, Applied, Failed };

// Reads the configuration at `configPath` (which exists) into the record and
// switches it to the simulated instrument.
OverrideOutcome applySimulationOverride(MEASURE2STRUCT* record, const std::string& configPath);

// Drops what an earlier override kept for the open simulated instrument.
void dropSimulationState();

}  // namespace measure
