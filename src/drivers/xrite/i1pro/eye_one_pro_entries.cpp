#include "drivers/xrite/i1pro/eye_one_pro_entries.h"

#include "drivers/xrite/i1pro/eye_one_entries.h"
#include "drivers/xrite/i1pro/eye_one_pro.h"

namespace measure::i1pro {
namespace {

constexpr EyeOneEntryNames kNames{
    .open = "OpenEyeOne",
    .object = "EyeOnePro",
    .close = "CloseEyeOne",
    .calibrateWhite = "CalibrateWhiteEyeOne",
    .startMulti = "StartMultiMeasureEyeOne",
    .startSimpleMulti = "StartSimpleMultiMeasureEyeOne",
    .stopMulti = "StopMultiMeasureEyeOne",
    .single = "SingleMeasureEyeOne",
    .stopSingle = "StopSingleMeasureEyeOne",
    .mustCalibrate = "MustCalibrateEyeOne",
};
using Entries = EyeOneEntries<clEYE_ONE_PRO, kNames>;

}  // namespace

int32_t OpenEyeOne(MEASURESTRUCT* pMeasure) {
    return Entries::Open(pMeasure);
}
int32_t CloseEyeOne(MEASURESTRUCT* pMeasure) {
    return Entries::Close(pMeasure);
}
int32_t CalibrateWhiteEyeOne(MEASURESTRUCT* pMeasure) {
    return Entries::CalibrateWhite(pMeasure);
}
int32_t StartMultiMeasureEyeOne(MEASURESTRUCT* pMeasure) {
    return Entries::StartMulti(pMeasure);
}
int32_t StartSimpleMultiMeasureEyeOne(MEASURESTRUCT* pMeasure) {
    return Entries::StartSimpleMulti(pMeasure);
}
int32_t StopMultiMeasureEyeOne(MEASURESTRUCT* pMeasure) {
    return Entries::StopMulti(pMeasure);
}
int32_t SingleMeasureEyeOne(MEASURESTRUCT* pMeasure) {
    return Entries::Single(pMeasure);
}
int32_t StopSingleMeasureEyeOne(MEASURESTRUCT* pMeasure) {
    return Entries::StopSingle(pMeasure);
}
int32_t MustCalibrateEyeOne(MEASURESTRUCT* pMeasure) {
    return Entries::MustCalibrate(pMeasure);
}

}  // namespace measure::i1pro
