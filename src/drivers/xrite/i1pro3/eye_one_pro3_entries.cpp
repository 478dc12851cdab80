#include "drivers/xrite/i1pro3/eye_one_pro3_entries.h"

#include "drivers/xrite/i1pro/eye_one_entries.h"
#include "drivers/xrite/i1pro3/eye_one_pro3.h"

namespace measure::i1pro3 {

using i1pro::EyeOneEntries;
using i1pro::EyeOneEntryNames;

namespace {

constexpr EyeOneEntryNames kNames{
    .open = "OpenEyeOnePro3",
    .object = "EyeOnePro3",
    .close = "CloseEyeOnePro3",
    .calibrateWhite = "CalibrateWhiteEyeOnePro3",
    .startMulti = "StartMultiMeasureEyeOnePro3",
    .startSimpleMulti = "StartSimpleMultiMeasureEyeOnePro3",
    .stopMulti = "StopMultiMeasureEyeOnePro3",
    .single = "SingleMeasureEyeOnePro3",
    .stopSingle = "StopSingleMeasureEyeOnePro3",
    .mustCalibrate = "MustCalibrateEyeOnePro3",
};
using Entries = EyeOneEntries<clEYE_ONE_PRO3, kNames>;

}  // namespace

int32_t OpenEyeOnePro3(MEASURESTRUCT* pMeasure) {
    return Entries::Open(pMeasure);
}
int32_t CloseEyeOnePro3(MEASURESTRUCT* pMeasure) {
    return Entries::Close(pMeasure);
}
int32_t CalibrateWhiteEyeOnePro3(MEASURESTRUCT* pMeasure) {
    return Entries::CalibrateWhite(pMeasure);
}
int32_t StartMultiMeasureEyeOnePro3(MEASURESTRUCT* pMeasure) {
    return Entries::StartMulti(pMeasure);
}
int32_t StartSimpleMultiMeasureEyeOnePro3(MEASURESTRUCT* pMeasure) {
    return Entries::StartSimpleMulti(pMeasure);
}
int32_t StopMultiMeasureEyeOnePro3(MEASURESTRUCT* pMeasure) {
    return Entries::StopMulti(pMeasure);
}
int32_t SingleMeasureEyeOnePro3(MEASURESTRUCT* pMeasure) {
    return Entries::Single(pMeasure);
}
int32_t StopSingleMeasureEyeOnePro3(MEASURESTRUCT* pMeasure) {
    return Entries::StopSingle(pMeasure);
}
int32_t MustCalibrateEyeOnePro3(MEASURESTRUCT* pMeasure) {
    return Entries::MustCalibrate(pMeasure);
}

}  // namespace measure::i1pro3
