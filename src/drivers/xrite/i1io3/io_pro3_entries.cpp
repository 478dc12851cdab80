#include "drivers/xrite/i1io3/io_pro3_entries.h"

#include "drivers/xrite/i1io/io_entries.h"
#include "drivers/xrite/i1io3/io_pro3.h"

namespace measure::i1io3 {

using i1io::IoEntries;
using i1io::IoEntryNames;

namespace {

constexpr IoEntryNames kNames{
    .open = "OpenIOPro3",
    .object = "IOPro3",
    .close = "CloseIOPro3",
    .calibrateWhite = "CalibrateWhiteIOPro",
    .startMulti = "StartMultiMeasureIOPro",
    .startSimpleMulti = "StartSimpleMultiMeasureIOPro3",
    .registerCorners = "StartRegisterCornersIOPro3",
    .single = "SingleMeasureIOPro3",
    .stopMulti = "StopMultiMeasureIOPro3",
    .stopSingle = "StopSingleMeasureIOPro3",
    .mustCalibrate = "MustCalibrateIOPro3",
};
using Entries = IoEntries<clIO_PRO3, kNames>;

}  // namespace

int32_t OpenIOPro3(MEASURESTRUCT* pMeasure) {
    return Entries::Open(pMeasure);
}
int32_t CloseIOPro3(MEASURESTRUCT* pMeasure) {
    return Entries::Close(pMeasure);
}
int32_t CalibrateWhiteIOPro(MEASURESTRUCT* pMeasure) {
    return Entries::CalibrateWhite(pMeasure);
}
int32_t StartMultiMeasureIOPro(MEASURESTRUCT* pMeasure) {
    return Entries::StartMulti(pMeasure);
}
int32_t StartSimpleMultiMeasureIOPro3(MEASURESTRUCT* pMeasure) {
    return Entries::StartSimpleMulti(pMeasure);
}
int32_t StartRegisterCornersIOPro3(MEASURESTRUCT* pMeasure) {
    return Entries::RegisterCorners(pMeasure);
}
int32_t SingleMeasureIOPro3(MEASURESTRUCT* pMeasure) {
    return Entries::Single(pMeasure);
}
int32_t StopMultiMeasureIOPro3(MEASURESTRUCT* pMeasure) {
    return Entries::StopMulti(pMeasure);
}
int32_t StopSingleMeasureIOPro3(MEASURESTRUCT* pMeasure) {
    return Entries::StopSingle(pMeasure);
}
int32_t MustCalibrateIOPro3(MEASURESTRUCT* pMeasure) {
    return Entries::MustCalibrate(pMeasure);
}

}  // namespace measure::i1io3
