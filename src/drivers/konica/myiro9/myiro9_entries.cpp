#include "drivers/konica/myiro9/myiro9_entries.h"

#include "drivers/konica/myiro9/myiro9_driver.h"
#include "framework/driver_entries.h"

namespace measure::konica {
namespace {

using framework::ModeSet;

constexpr ModeSet kChartModes{MEASURE_MODE_CIE_LAB, MEASURE_MODE_CIE_XYZ, MEASURE_MODE_SPECTRAL};

}  // namespace

int32_t OpenMYIRO9(MEASURESTRUCT* pMeasure) {
    return framework::OpenEntry<clKONICA_MINOLTA_MYIRO9>(pMeasure, "OpenOpenMYIRO9", "FD");
}

int32_t CloseMYIRO9(MEASURESTRUCT* pMeasure) {
    return framework::CloseEntry(pMeasure, "CloseCloseMYIRO9");
}

int32_t StartMultiMeasureMYIRO9(MEASURESTRUCT* pMeasure) {
    return framework::StartEntry(pMeasure, "StartMultiMeasureMYIRO9", kChartModes, "MultiMeasurement",
                                 &clKONICA_MINOLTA_MYIRO9::MultiMeasurement);
}

int32_t StartSimpleMultiMeasureMYIRO9(MEASURESTRUCT* pMeasure) {
    return framework::StartEntry(pMeasure, "StartSimpleMultiMeasureMYIRO9", kChartModes, "SimpleMeasurement",
                                 &clKONICA_MINOLTA_MYIRO9::SimpleMeasurement);
}

int32_t StartInsertPaperMYIRO9(MEASURESTRUCT* pMeasure) {
    return framework::StartEntry(pMeasure, "StartInsertPaperMYIRO9", ModeSet::any(), "StartInsertPaper",
                                 &clKONICA_MINOLTA_MYIRO9::StartInsertPaper);
}

int32_t StopMultiMeasureMYIRO9(MEASURESTRUCT* pMeasure) {
    return framework::StopEntry(pMeasure, "StopMultiMeasureMYIRO9", framework::StopKind::Multi);
}

}  // namespace measure::konica
