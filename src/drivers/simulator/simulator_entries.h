// The registry entries of the simulated instrument (row 999). The names are
// also their log names, the trailing "o" of the two multi-patch entries
// included.
#pragma once

#include "core/driver_table.h"
#include "measure/measure.h"

namespace measure::simulator {

int32_t OpenSimulatorDevice(MEASURESTRUCT* pMeasure);
int32_t CloseSimulatorDevice(MEASURESTRUCT* pMeasure);
int32_t CalibrateWhiteSimulatorDevice(MEASURESTRUCT* pMeasure);
int32_t CalibrateBlackSimulatorDevice(MEASURESTRUCT* pMeasure);
int32_t StartMultiMeasureSimulatorDeviceo(MEASURESTRUCT* pMeasure);
int32_t StopMultiMeasureSimulatorDeviceo(MEASURESTRUCT* pMeasure);
int32_t SingleMeasureSimulatorDevice(MEASURESTRUCT* pMeasure);
int32_t StopSingleMeasureSimulatorDevice(MEASURESTRUCT* pMeasure);
int32_t MustCalibrateSimulatorDevice(MEASURESTRUCT* pMeasure);
int32_t StartRegisterCornersSimulatorDevice(MEASURESTRUCT* pMeasure);
int32_t StartSimpleMultiMeasureSimulatorDevice(MEASURESTRUCT* pMeasure);
int32_t StartInsertPaperSimulatorDevice(MEASURESTRUCT* pMeasure);

inline constexpr DriverTable kSimulatorDeviceTable{
    .open = &OpenSimulatorDevice,
    .close = &CloseSimulatorDevice,
    .calibrateWhite = &CalibrateWhiteSimulatorDevice,
    .calibrateBlack = &CalibrateBlackSimulatorDevice,
    .startMultiMeasure = &StartMultiMeasureSimulatorDeviceo,
    .stopMultiMeasure = &StopMultiMeasureSimulatorDeviceo,
    .singleMeasure = &SingleMeasureSimulatorDevice,
    .stopSingleMeasure = &StopSingleMeasureSimulatorDevice,
    .mustCalibrate = &MustCalibrateSimulatorDevice,
    .startRegisterCorners = &StartRegisterCornersSimulatorDevice,
    .startSimpleMultiMeasure = &StartSimpleMultiMeasureSimulatorDevice,
    .startInsertPaper = &StartInsertPaperSimulatorDevice,
};

}  // namespace measure::simulator
