// The driver entries of the i1iO table generations, written once for the
// driver class D (clIO_PRO, clIO_PRO3) and the entry names its rows log
// under. Each takes the host's record and returns 0 or -1.
#pragma once

#include "core/logger.h"
#include "core/record.h"
#include "drivers/xrite/i1_close_entry.h"
#include "framework/driver_entries.h"

namespace measure::i1io {

struct IoEntryNames {
    const char* open;
    const char* object;  // allocation failures log "!p" and this
    const char* close;
    const char* calibrateWhite;
    const char* startMulti;
    const char* startSimpleMulti;
    const char* registerCorners;
    const char* single;
    const char* stopMulti;
    const char* stopSingle;
    const char* mustCalibrate;
};

template <class D, const IoEntryNames& N>
struct IoEntries {
    static constexpr framework::ModeSet kChartModes{0, 1, 3, 4, 5, 6};
    static constexpr framework::ModeSet kSpotModes{0, 1, 3, 4, 5, 6, 19, 20};

    static int32_t Open(MEASURESTRUCT* pMeasure) {
        return framework::OpenEntry<D>(pMeasure, N.open, N.object);
    }

    static int32_t Close(MEASURESTRUCT* pMeasure) {
        // The foil lets the sheet go even while a calibration runs.
        return xrite::CloseI1Entry<D>(pMeasure, N.close, [](D& driver) { driver.ReleaseFoil(); });
    }

    static int32_t CalibrateWhite(MEASURESTRUCT* pMeasure) {
        return framework::StartEntry<D>(pMeasure, N.calibrateWhite, framework::ModeSet::any(),
                                        "_WhiteCalibration", &D::_WhiteCalibration);
    }
    static int32_t StartMulti(MEASURESTRUCT* pMeasure) {
        return framework::StartEntry<D>(pMeasure, N.startMulti, kChartModes, "MultiMeasurement",
                                        &D::MultiMeasurement);
    }
    static int32_t StartSimpleMulti(MEASURESTRUCT* pMeasure) {
        return framework::StartEntry<D>(pMeasure, N.startSimpleMulti, kChartModes, "MultiMeasurement",
                                        &D::SimpleMultiMeasurement);
    }
    static int32_t RegisterCorners(MEASURESTRUCT* pMeasure) {
        return framework::StartEntry<D>(pMeasure, N.registerCorners, framework::ModeSet::any(),
                                        "RegisterCorner", &D::RegisterCorners);
    }
    static int32_t Single(MEASURESTRUCT* pMeasure) {
        return framework::StartEntry<D>(pMeasure, N.single, kSpotModes, "SingleMeasurement",
                                        &D::SingleMeasurement);
    }
    static int32_t StopMulti(MEASURESTRUCT* pMeasure) {
        return framework::StopEntry(pMeasure, N.stopMulti, framework::StopKind::Multi);
    }
    static int32_t StopSingle(MEASURESTRUCT* pMeasure) {
        return framework::StopEntry(pMeasure, N.stopSingle, framework::StopKind::Single);
    }
    static int32_t MustCalibrate(MEASURESTRUCT* pMeasure) {
        return framework::MustCalibrateEntry(pMeasure, N.mustCalibrate);
    }
};

}  // namespace measure::i1io
