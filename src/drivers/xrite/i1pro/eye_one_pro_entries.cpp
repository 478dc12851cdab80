#include "drivers/xrite/i1pro/eye_one_pro_entries.h"

#include "core/logger.h"
#include "core/record.h"
#include "drivers/xrite/i1pro/eye_one_pro.h"
#include "framework/driver_entries.h"

namespace measure::i1pro {
namespace {

using framework::ModeSet;

constexpr ModeSet kStripModes{0, 1, 2, 3, 4, 5, 6};
constexpr ModeSet kSpotModes{0, 1, 2, 3, 4, 5, 6, 18, 19, 20, 23, 24, 25};

int32_t startStrip(MEASURESTRUCT* pMeasure, const char* name, bool simple) {
    return framework::StartEntry(pMeasure, name, kStripModes, "MultiMeasurement",
                                 &clEYE_ONE_PRO::MultiMeasurement,
                                 [simple](clEYE_ONE_PRO& driver) { driver.simpleMode = simple; });
}

}  // namespace

int32_t OpenEyeOne(MEASURESTRUCT* pMeasure) {
    return framework::OpenEntry<clEYE_ONE_PRO>(pMeasure, "OpenEyeOne", "EyeOnePro");
}

int32_t CloseEyeOne(MEASURESTRUCT* pMeasure) {
    if (pMeasure == nullptr) return -1;
    Log(1, "CloseEyeOne", nullptr);
    if (GetResultBlock(pMeasure) == nullptr) return -1;
    clEYE_ONE_PRO* driver = framework::driverIn<clEYE_ONE_PRO>(pMeasure);
    if (driver == nullptr) return 0;
    // An SDK calibration always runs to its end: the driver stays open.
    if (driver->busy.load()) return 0;
    try {
        driver->RequestStop();
        framework::entry::destroyStored(pMeasure);
    } catch (...) {
        Log(0, "CloseEyeOne", "catch ...");
    }
    return 0;
}

int32_t CalibrateWhiteEyeOne(MEASURESTRUCT* pMeasure) {
    return framework::StartEntry(pMeasure, "CalibrateWhiteEyeOne", ModeSet::any(), "_WhiteCalibration",
                                 &clEYE_ONE_PRO::_WhiteCalibration);
}

int32_t StartMultiMeasureEyeOne(MEASURESTRUCT* pMeasure) {
    return startStrip(pMeasure, "StartMultiMeasureEyeOne", false);
}

int32_t StartSimpleMultiMeasureEyeOne(MEASURESTRUCT* pMeasure) {
    return startStrip(pMeasure, "StartSimpleMultiMeasureEyeOne", true);
}

int32_t StopMultiMeasureEyeOne(MEASURESTRUCT* pMeasure) {
    return framework::StopEntry(pMeasure, "StopMultiMeasureEyeOne", framework::StopKind::Multi);
}

int32_t SingleMeasureEyeOne(MEASURESTRUCT* pMeasure) {
    return framework::StartEntry(pMeasure, "SingleMeasureEyeOne", kSpotModes, "SingleMeasurement",
                                 &clEYE_ONE_PRO::SingleMeasurement);
}

int32_t StopSingleMeasureEyeOne(MEASURESTRUCT* pMeasure) {
    return framework::StopEntry(pMeasure, "StopSingleMeasureEyeOne", framework::StopKind::Single);
}

int32_t MustCalibrateEyeOne(MEASURESTRUCT* pMeasure) {
    return framework::MustCalibrateEntry(pMeasure, "MustCalibrateEyeOne");
}

}  // namespace measure::i1pro
