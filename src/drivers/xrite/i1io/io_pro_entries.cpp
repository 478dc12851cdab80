#include "drivers/xrite/i1io/io_pro_entries.h"

#include "drivers/xrite/i1io/io_entries.h"
#include "drivers/xrite/i1io/io_pro.h"

namespace measure::i1io {
namespace {

constexpr IoEntryNames kNames{
    .open = "OpenIOPro",
    .object = "IOPro",
    .close = "CloseIOPro",
    .calibrateWhite = "CalibrateWhiteIOPro",
    .startMulti = "StartMultiMeasureIOPro",
    .startSimpleMulti = "StartSimpleMultiMeasureIOPro",
    .registerCorners = "StartRegisterCornersIOPro",
    .single = "SingleMeasureIOPro",
    .stopMulti = "StopMultiMeasureIOPro",
    .stopSingle = "StopSingleMeasureIOPro",
    .mustCalibrate = "MustCalibrateIOPro",
};
using Entries = IoEntries<clIO_PRO, kNames>;

}  // namespace

int32_t OpenIOPro(MEASURESTRUCT* pMeasure) {
    return Entries::Open(pMeasure);
}
int32_t CloseIOPro(MEASURESTRUCT* pMeasure) {
    return Entries::Close(pMeasure);
}
int32_t CalibrateWhiteIOPro(MEASURESTRUCT* pMeasure) {
    return Entries::CalibrateWhite(pMeasure);
}
int32_t StartMultiMeasureIOPro(MEASURESTRUCT* pMeasure) {
    return Entries::StartMulti(pMeasure);
}
int32_t StartSimpleMultiMeasureIOPro(MEASURESTRUCT* pMeasure) {
    return Entries::StartSimpleMulti(pMeasure);
}
int32_t StartRegisterCornersIOPro(MEASURESTRUCT* pMeasure) {
    return Entries::RegisterCorners(pMeasure);
}
int32_t SingleMeasureIOPro(MEASURESTRUCT* pMeasure) {
    return Entries::Single(pMeasure);
}
int32_t StopMultiMeasureIOPro(MEASURESTRUCT* pMeasure) {
    return Entries::StopMulti(pMeasure);
}
int32_t StopSingleMeasureIOPro(MEASURESTRUCT* pMeasure) {
    return Entries::StopSingle(pMeasure);
}
int32_t MustCalibrateIOPro(MEASURESTRUCT* pMeasure) {
    return Entries::MustCalibrate(pMeasure);
}

}  // namespace measure::i1io
