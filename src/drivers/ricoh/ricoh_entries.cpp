#include "drivers/ricoh/ricoh_entries.h"

#include "drivers/ricoh/ricoh_driver.h"
#include "framework/driver_entries.h"

namespace measure::ricoh {
namespace {

constexpr framework::ModeSet kModes{MEASURE_MODE_CIE_LAB, MEASURE_MODE_CIE_XYZ, MEASURE_MODE_SPECTRAL};

}  // namespace

// The adjuster's refusal reads "not valid " with a trailing blank, as the
// hosts' log readers of this instrument match it.
int32_t OpenRicohMonet(MEASURESTRUCT* pMeasure) {
    return framework::OpenEntry<clRICOH_MONET>(pMeasure, "OpenRicohMonet", "RicohMonet", "not valid ");
}

int32_t CloseRicohMonet(MEASURESTRUCT* pMeasure) {
    return framework::CloseEntry(pMeasure, "CloseRicohMonet");
}

int32_t StartMultiMeasureRicohMonet(MEASURESTRUCT* pMeasure) {
    return framework::StartEntry(pMeasure, "StartMultiMeasureRicohMonet", kModes, "MultiMeasurement",
                                 &clRICOH_MONET::MultiMeasurement);
}

// The adjuster measures whole charts only: the simple form runs the same job.
int32_t StartSimpleMultiMeasureRicohMonet(MEASURESTRUCT* pMeasure) {
    return framework::StartEntry(pMeasure, "StartSimpleMultiMeasureRicohMonet", kModes, "MultiMeasurement",
                                 &clRICOH_MONET::MultiMeasurement);
}

int32_t StopMultiMeasureRicohMonet(MEASURESTRUCT* pMeasure) {
    return framework::StopEntry(pMeasure, "StopMultiMeasureRicohMonet", framework::StopKind::Multi);
}

}  // namespace measure::ricoh
