// The simulation configuration in a build without an XML reader (tinyxml2
// is not available for every target): every configuration is refused, so
// that an existing file never silently opens a real instrument in the
// simulator's place or the simulator with settings nobody chose.
#include "drivers/simulator/simulation_config.h"

namespace measure::simulator {

ConfigResult readSimulationConfig(const std::string&, MEASURE2STRUCT*, std::string& problem) {
    problem = "XML files cannot be read in this build (built without tinyxml2)";
    return ConfigResult::Unreadable;
}

}  // namespace measure::simulator
