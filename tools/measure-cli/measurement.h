// A whole measurement as a host runs it, shared by "measure", "calibrate"
// and "demo": open, insert and register the chart when the instrument needs
// it, calibrate when it asks, measure, close; then the CGATS file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "commands.h"
#include "display.h"
#include "instrument_session.h"

namespace cli {

struct MeasureJob {
    const InstrumentDescriptor* row = nullptr;
    ModeChoice mode{};
    uint32_t condition = MEASURE_CONDITION_M0;
    int32_t patches = 0;
    int32_t perLine = 0;   // 0: the whole chart in one pass
    int32_t perChart = 0;  // patches per chart sheet; 0: the whole chart on one
    bool single = false;
    bool sound = true;
    std::string chart;  // handed to the instrument as its parameter file (a path or a chart ID)
    // A network instrument: IPv4 in network order (0: none) and TCP port (0: none).
    uint32_t address = 0;
    uint32_t port = 0;
    // "USER:PASSWORD" for instruments that take credentials after the chart.
    std::string credentials;
};

// Runs the job; returns an exit status and, on success, the patches (three
// values or 36 bands each, as the instrument delivered them).
int runMeasurement(const char* command, const MeasureJob& job, Display& display, std::vector<Patch>& patches);

// Writes the CGATS.17 measurement file of a finished job.
bool writeMeasurementFile(const std::string& path, const MeasureJob& job, const std::vector<Patch>& patches,
                          std::string& problem);

const char* conditionName(uint32_t condition);

}  // namespace cli
