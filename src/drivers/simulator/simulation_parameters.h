// The simulation parameters that the override writes into bytes 16 to 39 of
// a MEASURE2STRUCT (the old record's density area), and the values of the
// simulation configuration file they come from.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "measure/measure.h"

namespace measure::simulator {

// Every field is 16 bits; offsets are from the start of the record.
struct SimulationParameters {
    uint16_t ButtonTimeDelay_ms;           // 16, kept for the host only
    uint16_t CalibrationTimeDelay_ms;      // 18
    uint16_t MeasurementTimeDelay_ms;      // 20, before each pass
    uint16_t PositioningTimeDelay_ms;      // 22, per corner
    uint16_t InsertPaperTimeDelay_ms;      // 24
    uint16_t SpotMeasurementTimeDelay_ms;  // 26, 0 means 2000
    uint16_t DeviceBatteryLevel;           // 28
    uint16_t Reserved30;                   // 30
    uint16_t SimulatedID;                  // 32, the model imitated
    uint16_t MeasurementDataDelivery;      // 34, chart readers deliver a whole chart
    uint16_t DefaultConnectedDeviceID;     // 36
    uint16_t NumberOfDiscoveredDevices;    // 38
};

inline constexpr size_t kParametersOffset = 16;
static_assert(offsetof(MEASURESTRUCT, SimulationArea) == kParametersOffset);
static_assert(kParametersOffset + offsetof(SimulationParameters, ButtonTimeDelay_ms) == 16);
static_assert(kParametersOffset + offsetof(SimulationParameters, CalibrationTimeDelay_ms) == 18);
static_assert(kParametersOffset + offsetof(SimulationParameters, MeasurementTimeDelay_ms) == 20);
static_assert(kParametersOffset + offsetof(SimulationParameters, PositioningTimeDelay_ms) == 22);
static_assert(kParametersOffset + offsetof(SimulationParameters, InsertPaperTimeDelay_ms) == 24);
static_assert(kParametersOffset + offsetof(SimulationParameters, SpotMeasurementTimeDelay_ms) == 26);
static_assert(kParametersOffset + offsetof(SimulationParameters, DeviceBatteryLevel) == 28);
static_assert(kParametersOffset + offsetof(SimulationParameters, SimulatedID) == 32);
static_assert(kParametersOffset + offsetof(SimulationParameters, MeasurementDataDelivery) == 34);
static_assert(kParametersOffset + offsetof(SimulationParameters, DefaultConnectedDeviceID) == 36);
static_assert(kParametersOffset + offsetof(SimulationParameters, NumberOfDiscoveredDevices) == 38);
static_assert(sizeof(SimulationParameters) == 24);

// The record keeps the parameters as bytes; they are copied in and out.
inline SimulationParameters readParameters(const MEASURESTRUCT* record) {
    SimulationParameters p;
    std::memcpy(&p, record->SimulationArea, sizeof p);
    return p;
}

inline void writeParameters(MEASURESTRUCT* record, const SimulationParameters& p) {
    std::memcpy(record->SimulationArea, &p, sizeof p);
}

}  // namespace measure::simulator
