// The simulation configuration file: which instrument IDs the simulated
// instrument stands in for, and its delays, battery, serial number, options
// and discovery result. Read with tinyxml2 into the host's record.
#pragma once

#include <string>

#include "measure/measure.h"

namespace measure::simulator {

enum class ConfigResult {
    Applied,       // the record's instrument is listed; its values are in the record
    NotListed,     // the configuration has no instrument with the record's ID
    Unreadable,    // the file cannot be read or parsed, or has no root element
    OtherDefault,  // DefaultConnectedDeviceID names another instrument
};

// Reads the configuration at `path` into the record: the delays, battery,
// DefaultConnectedDeviceID and DeviceSN always; the listed instrument's
// ID, MeasurementDataDelivery, option bits and NumberOfDiscoveredDevices
// when the record's instrument is among them. Never throws.
ConfigResult readSimulationConfig(const std::string& path, MEASURE2STRUCT* record, std::string& problem);

}  // namespace measure::simulator
