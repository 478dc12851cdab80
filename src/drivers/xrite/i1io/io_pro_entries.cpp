#include "drivers/xrite/i1io/io_pro_entries.h"

#include "core/logger.h"
#include "core/record.h"
#include "drivers/xrite/i1io/io_pro.h"
#include "framework/driver_entries.h"

namespace measure::i1io {
namespace {

using framework::ModeSet;

constexpr ModeSet kChartModes{0, 1, 3, 4, 5, 6};
constexpr ModeSet kSpotModes{0, 1, 3, 4, 5, 6, 19, 20};

}  // namespace

int32_t OpenIOPro(MEASURESTRUCT* pMeasure) {
    return framework::OpenEntry<clIO_PRO>(pMeasure, "OpenIOPro", "IOPro");
}

int32_t CloseIOPro(MEASURESTRUCT* pMeasure) {
    if (pMeasure == nullptr) return -1;
    Log(1, "CloseIOPro", nullptr);
    if (GetResultBlock(pMeasure) == nullptr) return -1;
    clIO_PRO* driver = framework::driverIn<clIO_PRO>(pMeasure);
    if (driver == nullptr) return 0;
    try {
        driver->ReleaseFoil();
        // A scan calibration always runs to its end: the driver stays open.
        if (driver->busy.load()) return 0;
        driver->requestStop();
        framework::entry::destroyStored(pMeasure);
    } catch (...) {
        Log(0, "CloseIOPro", "catch ...");
    }
    return 0;
}

int32_t CalibrateWhiteIOPro(MEASURESTRUCT* pMeasure) {
    return framework::StartEntry(pMeasure, "CalibrateWhiteIOPro", ModeSet::any(), "_WhiteCalibration",
                                 &clIO_PRO::_WhiteCalibration);
}

int32_t StartMultiMeasureIOPro(MEASURESTRUCT* pMeasure) {
    return framework::StartEntry(pMeasure, "StartMultiMeasureIOPro", kChartModes, "MultiMeasurement",
                                 &clIO_PRO::MultiMeasurement);
}

int32_t StartSimpleMultiMeasureIOPro(MEASURESTRUCT* pMeasure) {
    return framework::StartEntry(pMeasure, "StartSimpleMultiMeasureIOPro", kChartModes, "MultiMeasurement",
                                 &clIO_PRO::SimpleMultiMeasurement);
}

int32_t StartRegisterCornersIOPro(MEASURESTRUCT* pMeasure) {
    return framework::StartEntry(pMeasure, "StartRegisterCornersIOPro", ModeSet::any(), "RegisterCorner",
                                 &clIO_PRO::RegisterCorners);
}

int32_t SingleMeasureIOPro(MEASURESTRUCT* pMeasure) {
    return framework::StartEntry(pMeasure, "SingleMeasureIOPro", kSpotModes, "SingleMeasurement",
                                 &clIO_PRO::SingleMeasurement);
}

int32_t StopMultiMeasureIOPro(MEASURESTRUCT* pMeasure) {
    return framework::StopEntry(pMeasure, "StopMultiMeasureIOPro", framework::StopKind::Multi);
}

int32_t StopSingleMeasureIOPro(MEASURESTRUCT* pMeasure) {
    return framework::StopEntry(pMeasure, "StopSingleMeasureIOPro", framework::StopKind::Single);
}

int32_t MustCalibrateIOPro(MEASURESTRUCT* pMeasure) {
    return framework::MustCalibrateEntry(pMeasure, "MustCalibrateIOPro");
}

}  // namespace measure::i1io
