// The SpectroScan's driver entries (registry row ID 5, driver clGRETAG).
#pragma once

#include "core/driver_table.h"
#include "measure/measure.h"

namespace measure::spectroscan {

int32_t OpenSpectroScan(MEASURESTRUCT* pMeasure);
int32_t CloseSpectroScan(MEASURESTRUCT* pMeasure);
int32_t SetupSpectroScan(MEASURESTRUCT* pMeasure);
int32_t StartMultiMeasureSpectroScan(MEASURESTRUCT* pMeasure);
int32_t StopMultiMeasureSpectroScan(MEASURESTRUCT* pMeasure);
int32_t StartRegisterCornersSpectroScan(MEASURESTRUCT* pMeasure);
int32_t StartSimpleMultiMeasureSpectroScan(MEASURESTRUCT* pMeasure);

constexpr DriverTable entryTable() {
    DriverTable t;
    t.open = &OpenSpectroScan;
    t.close = &CloseSpectroScan;
    t.setup = &SetupSpectroScan;
    t.startMultiMeasure = &StartMultiMeasureSpectroScan;
    t.stopMultiMeasure = &StopMultiMeasureSpectroScan;
    t.startRegisterCorners = &StartRegisterCornersSpectroScan;
    t.startSimpleMultiMeasure = &StartSimpleMultiMeasureSpectroScan;
    return t;
}

}  // namespace measure::spectroscan
