// The driver entries of the hand-held i1 generations, written once for the
// driver class D (clEYE_ONE_PRO, clEYE_ONE_PRO3) and the entry names its
// rows log under. Each takes the host's record and returns 0 or -1.
#pragma once

#include "core/logger.h"
#include "core/record.h"
#include "drivers/xrite/i1_close_entry.h"
#include "framework/driver_entries.h"

namespace measure::i1pro {

struct EyeOneEntryNames {
    const char* open;
    const char* object;  // "EyeOnePro": allocation failures log "!p" and this
    const char* close;
    const char* calibrateWhite;
    const char* startMulti;
    const char* startSimpleMulti;
    const char* stopMulti;
    const char* single;
    const char* stopSingle;
    const char* mustCalibrate;
};

template <class D, const EyeOneEntryNames& N>
struct EyeOneEntries {
    static constexpr framework::ModeSet kStripModes{0, 1, 2, 3, 4, 5, 6};
    static constexpr framework::ModeSet kSpotModes{0, 1, 2, 3, 4, 5, 6, 18, 19, 20, 23, 24, 25};

    static int32_t startStrip(MEASURESTRUCT* pMeasure, const char* name, bool simple) {
        return framework::StartEntry<D>(pMeasure, name, kStripModes, "MultiMeasurement", &D::MultiMeasurement,
                                        [simple](D& driver) {
                                            // A generation without known charts needs the host's plan.
                                            if constexpr (requires { driver.RequireHostPlan(); })
                                                driver.RequireHostPlan();
                                            driver.simpleMode = simple;
                                        });
    }

    static int32_t Open(MEASURESTRUCT* pMeasure) {
        return framework::OpenEntry<D>(pMeasure, N.open, N.object);
    }

    static int32_t Close(MEASURESTRUCT* pMeasure) {
        return xrite::CloseI1Entry<D>(pMeasure, N.close, [](D&) {});
    }

    static int32_t CalibrateWhite(MEASURESTRUCT* pMeasure) {
        return framework::StartEntry<D>(pMeasure, N.calibrateWhite, framework::ModeSet::any(),
                                        "_WhiteCalibration", &D::_WhiteCalibration);
    }
    static int32_t StartMulti(MEASURESTRUCT* pMeasure) { return startStrip(pMeasure, N.startMulti, false); }
    static int32_t StartSimpleMulti(MEASURESTRUCT* pMeasure) {
        return startStrip(pMeasure, N.startSimpleMulti, true);
    }
    static int32_t StopMulti(MEASURESTRUCT* pMeasure) {
        return framework::StopEntry(pMeasure, N.stopMulti, framework::StopKind::Multi);
    }
    static int32_t Single(MEASURESTRUCT* pMeasure) {
        return framework::StartEntry<D>(pMeasure, N.single, kSpotModes, "SingleMeasurement",
                                        &D::SingleMeasurement);
    }
    static int32_t StopSingle(MEASURESTRUCT* pMeasure) {
        return framework::StopEntry(pMeasure, N.stopSingle, framework::StopKind::Single);
    }
    static int32_t MustCalibrate(MEASURESTRUCT* pMeasure) {
        return framework::MustCalibrateEntry(pMeasure, N.mustCalibrate);
    }

    static constexpr DriverTable table() {
        return DriverTable{
            .open = Open,
            .close = Close,
            .calibrateWhite = CalibrateWhite,
            .startMultiMeasure = StartMulti,
            .stopMultiMeasure = StopMulti,
            .singleMeasure = Single,
            .stopSingleMeasure = StopSingle,
            .mustCalibrate = MustCalibrate,
            .startSimpleMultiMeasure = StartSimpleMulti,
        };
    }
};

}  // namespace measure::i1pro
