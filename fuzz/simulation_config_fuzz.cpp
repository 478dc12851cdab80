// libFuzzer target: any simulation configuration file is applied, refused as
// unlisted or unreadable, never a crash; the ISIS layout parameter text of a
// chart-reader simulation is read the same way. The first byte picks the
// instrument ID the host asked for; the rest is the file.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "drivers/simulator/isis_parameters.h"
#include "drivers/simulator/simulation_config.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    static const std::string path =
        (std::filesystem::temp_directory_path() / "measure-simulation-config-fuzz.xml").string();
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;

    MEASURE2STRUCT record{};
    record.cb = MEASURE2_RECORD_SIZE;
    record.instrument = data[0];
    std::string problem;
    measure::simulator::readSimulationConfig(path, &record, problem);

    measure::simulator::ISIS_SetParametersFromText(text, data[0]);
    volatile int rows = measure::simulator::isisParameter("NumberOfRows");
    (void)rows;
    measure::simulator::clearIsisParameters();
    return 0;
}
