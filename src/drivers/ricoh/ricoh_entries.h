// The Ricoh Auto Color Adjuster's driver entries (registry row ID 61,
// driver clRICOH_MONET).
#pragma once

#include "core/driver_table.h"
#include "measure/measure.h"

namespace measure::ricoh {

int32_t OpenRicohMonet(MEASURESTRUCT* pMeasure);
int32_t CloseRicohMonet(MEASURESTRUCT* pMeasure);
int32_t StartMultiMeasureRicohMonet(MEASURESTRUCT* pMeasure);
int32_t StartSimpleMultiMeasureRicohMonet(MEASURESTRUCT* pMeasure);
int32_t StopMultiMeasureRicohMonet(MEASURESTRUCT* pMeasure);

constexpr DriverTable entryTable() {
    DriverTable t;
    t.open = &OpenRicohMonet;
    t.close = &CloseRicohMonet;
    t.startMultiMeasure = &StartMultiMeasureRicohMonet;
    t.startSimpleMultiMeasure = &StartSimpleMultiMeasureRicohMonet;
    t.stopMultiMeasure = &StopMultiMeasureRicohMonet;
    return t;
}

}  // namespace measure::ricoh
