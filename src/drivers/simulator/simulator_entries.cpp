#include "drivers/simulator/simulator_entries.h"

#include "drivers/simulator/simulator_device.h"
#include "framework/driver_entries.h"

namespace measure::simulator {
namespace {

using framework::ModeSet;

constexpr ModeSet kMultiModes{0, 1, 2, 3, 4, 5, 6};
constexpr ModeSet kSingleModes{0, 1, 2, 3, 4, 5, 6, 19, 20, 23, 24, 25};

// The host gets back the instrument it asked for; a record opened as 999
// without a configuration keeps its ID.
void restoreRequestedId(MEASURESTRUCT* pMeasure) {
    const uint16_t id = readParameters(pMeasure).SimulatedID;
    if (id != 0) pMeasure->instrument = id;
}

}  // namespace

int32_t OpenSimulatorDevice(MEASURESTRUCT* pMeasure) {
    const char* name = "OpenSimulatorDevice";
    if (pMeasure == nullptr) return -1;
    int32_t result = framework::OpenEntry<clSIMULATOR_DEVICE>(pMeasure, name, "SimulatorDevice");
    if (result == 0) {
        try {
            result = framework::driverIn<clSIMULATOR_DEVICE>(pMeasure)->PrepareSimulation();
        } catch (...) {
            Log(0, name, "catch ...");
            result = -1;
        }
        // A refused open leaves nothing running: the export frees the block
        // without a close.
        if (result != 0) framework::entry::destroyStored(pMeasure);
    }
    if (result != 0) restoreRequestedId(pMeasure);
    return result;
}

int32_t CloseSimulatorDevice(MEASURESTRUCT* pMeasure) {
    if (pMeasure == nullptr || GetResultBlock(pMeasure) == nullptr) return -1;
    restoreRequestedId(pMeasure);
    // The tables go with the object, after its threads have ended.
    return framework::CloseEntry(pMeasure, "CloseSimulatorDevice");
}

int32_t CalibrateWhiteSimulatorDevice(MEASURESTRUCT* pMeasure) {
    return framework::StartEntry(pMeasure, "CalibrateWhiteSimulatorDevice", ModeSet::any(),
                                 "_WhiteCalibration", &clSIMULATOR_DEVICE::_WhiteCalibration);
}

int32_t CalibrateBlackSimulatorDevice(MEASURESTRUCT* pMeasure) {
    return pMeasure == nullptr ? -1 : 0;
}

int32_t StartMultiMeasureSimulatorDeviceo(MEASURESTRUCT* pMeasure) {
    return framework::StartEntry(pMeasure, "StartMultiMeasureSimulatorDeviceo", kMultiModes,
                                 "MultiMeasurement", &clSIMULATOR_DEVICE::MultiMeasurement);
}

int32_t StopMultiMeasureSimulatorDeviceo(MEASURESTRUCT* pMeasure) {
    return framework::StopEntry(pMeasure, "StopMultiMeasureSimulatorDeviceo", framework::StopKind::Multi);
}

int32_t SingleMeasureSimulatorDevice(MEASURESTRUCT* pMeasure) {
    return framework::StartEntry(pMeasure, "SingleMeasureSimulatorDevice", kSingleModes, "SingleMeasurement",
                                 &clSIMULATOR_DEVICE::SingleMeasurement);
}

int32_t StopSingleMeasureSimulatorDevice(MEASURESTRUCT* pMeasure) {
    return framework::StopEntry(pMeasure, "StopSingleMeasureSimulatorDevice", framework::StopKind::Single);
}

int32_t MustCalibrateSimulatorDevice(MEASURESTRUCT* pMeasure) {
    return framework::MustCalibrateEntry(pMeasure, "MustCalibrateSimulatorDevice");
}

int32_t StartRegisterCornersSimulatorDevice(MEASURESTRUCT* pMeasure) {
    return framework::StartEntry(pMeasure, "StartRegisterCornersSimulatorDevice", ModeSet::any(),
                                 "RegisterCorner", &clSIMULATOR_DEVICE::RegisterCorner);
}

int32_t StartSimpleMultiMeasureSimulatorDevice(MEASURESTRUCT* pMeasure) {
    return framework::StartEntry(pMeasure, "StartSimpleMultiMeasureSimulatorDevice", kMultiModes,
                                 "MultiMeasurement", &clSIMULATOR_DEVICE::MultiMeasurement);
}

int32_t StartInsertPaperSimulatorDevice(MEASURESTRUCT* pMeasure) {
    return framework::StartEntry(pMeasure, "StartInsertPaperSimulatorDevice", ModeSet::any(),
                                 "StartInsertPaper", &clSIMULATOR_DEVICE::StartInsertPaper);
}

}  // namespace measure::simulator
