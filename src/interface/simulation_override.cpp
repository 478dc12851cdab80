#include "interface/simulation_override.h"

#include "core/logger.h"
#include "drivers/simulator/simulation_config.h"

namespace measure {
namespace {

constexpr uint32_t kSimulatorId = 999;
constexpr const char* kLogName = "SimulationOverride";

}  // namespace

// A configuration that exists but cannot be read is refused rather than
// guessed at: the host asked for a real instrument, and opening a simulator
// with unknown settings in its place would hide the broken file.
OverrideOutcome applySimulationOverride(MEASURE2STRUCT* record, const std::string& configPath) {
    std::string problem;
    const auto result = simulator::readSimulationConfig(configPath, record, problem);
    if (result != simulator::ConfigResult::Applied) {
        LogF(0, kLogName, "%s: %s", configPath.c_str(), problem.c_str());
        return OverrideOutcome::Failed;
    }
    if (GetInstrumentByID(record->instrument) == nullptr) {
        LogF(0, kLogName, "no registry row for instrument %u", record->instrument);
        return OverrideOutcome::Failed;
    }
    LogF(1, kLogName, "instrument %u simulated (%s)", record->instrument, configPath.c_str());
    // The simulated ID stays in the simulation parameters; the simulator's
    // close writes it back.
    record->instrument = kSimulatorId;
    return OverrideOutcome::Applied;
}

// The registry lookups never consult a private copy of the simulator's row,
// so none is kept: the simulated instrument always answers with its own
// entries. Nothing is left to drop.
void dropSimulationState() {}

}  // namespace measure
