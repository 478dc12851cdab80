// libFuzzer target: any simulation configuration file is applied, refused as
// unlisted or unreadable, never a crash. The first byte picks the instrument
// ID the host asked for; the rest is the file.
#include <cstddef>
#include <cstdint>
#include <string>

#include "drivers/simulator/simulation_config.h"
#include "scratch_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::string& path =
        measure::fuzz::writeScratchFile("simulation-config-fuzz.xml", data + 1, size - 1);
    MEASURE2STRUCT record{};
    record.cb = MEASURE2_RECORD_SIZE;
    record.instrument = data[0];
    std::string problem;
    measure::simulator::readSimulationConfig(path, &record, problem);
    return 0;
}
