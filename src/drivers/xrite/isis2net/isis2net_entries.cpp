#include "drivers/xrite/isis2net/isis2net_entries.h"

#include "drivers/xrite/isis2net/isis2net.h"
#include "framework/driver_entries.h"

namespace measure::isis2net {

int32_t OpenISIS2NET(MEASURESTRUCT* pMeasure) {
    return framework::OpenEntry<clISIS2NET>(pMeasure, "OpenISIS2NET", "ISIS2NET");
}

int32_t CloseISIS2NET(MEASURESTRUCT* pMeasure) {
    return framework::CloseEntry(pMeasure, "CloseISIS2NET");
}

int32_t StartMultiMeasureISIS2NET(MEASURESTRUCT* pMeasure) {
    return framework::StartEntry(pMeasure, "StartMultiMeasureISIS2NET",
                                 {MEASURE_MODE_CIE_LAB, MEASURE_MODE_CIE_XYZ, MEASURE_MODE_SPECTRAL},
                                 "MultiMeasurement", &clISIS2NET::MultiMeasurement);
}

int32_t StopMultiMeasureISIS2NET(MEASURESTRUCT* pMeasure) {
    return framework::StopEntry(pMeasure, "StopMultiMeasureISIS2NET", framework::StopKind::Multi);
}

}  // namespace measure::isis2net
