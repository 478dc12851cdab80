#include "drivers/techkon/spectro_dens_entries.h"

#include "drivers/techkon/spectro_dens.h"
#include "framework/driver_entries.h"

namespace measure::techkon {
namespace {

using framework::ModeSet;

constexpr ModeSet kStripModes{MEASURE_MODE_CIE_LAB, MEASURE_MODE_CIE_XYZ, MEASURE_MODE_SPECTRAL};

int32_t startStrip(MEASURESTRUCT* pMeasure, const char* name) {
    return framework::StartEntry(pMeasure, name, kStripModes, "MultiMeasurement",
                                 &clSPECTRO_DENS::MultiMeasurement);
}

}  // namespace

int32_t OpenSpectroDens(MEASURESTRUCT* pMeasure) {
    return framework::OpenEntry<clSPECTRO_DENS>(pMeasure, "OpenSpectroDens", "SpectroDens");
}

int32_t CloseSpectroDens(MEASURESTRUCT* pMeasure) {
    return framework::CloseEntry(pMeasure, "CloseSpectroDens");
}

int32_t CalibrateWhiteSpectroDens(MEASURESTRUCT* pMeasure) {
    return framework::StartEntry(pMeasure, "CalibrateWhiteSpectroDens", ModeSet::any(), "_WhiteCalibration",
                                 &clSPECTRO_DENS::_WhiteCalibration);
}

int32_t StartMultiMeasureSpectroDens(MEASURESTRUCT* pMeasure) {
    return startStrip(pMeasure, "StartMultiMeasureSpectroDens");
}

int32_t StartSimpleMultiMeasureSpectroDens(MEASURESTRUCT* pMeasure) {
    return startStrip(pMeasure, "StartSimpleMultiMeasureSpectroDens");
}

int32_t StopMultiMeasureSpectroDens(MEASURESTRUCT* pMeasure) {
    return framework::StopEntry(pMeasure, "StopMultiMeasureSpectroDens", framework::StopKind::Multi);
}

int32_t SingleMeasureSpectroDens(MEASURESTRUCT* pMeasure) {
    return framework::StartEntry(pMeasure, "SingleMeasureSpectroDens", ModeSet::any(), "SingleMeasurement",
                                 &clSPECTRO_DENS::SingleMeasurement);
}

int32_t StopSingleMeasureSpectroDens(MEASURESTRUCT* pMeasure) {
    return framework::StopEntry(pMeasure, "StopSingleMeasureSpectroDens", framework::StopKind::Single);
}

int32_t MustCalibrateSpectroDens(MEASURESTRUCT* pMeasure) {
    return framework::MustCalibrateEntry(pMeasure, "MustCalibrateSpectroDens");
}

}  // namespace measure::techkon
