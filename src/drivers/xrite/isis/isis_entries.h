// The driver entries of clISIS (registry row 26, the X-Rite i1iSis). Each
// takes the host's record and returns 0 or -1.
#pragma once

#include "core/driver_table.h"
#include "measure/measure.h"

namespace measure::isis {

// pszParameterFile names the chart layout parameter file; "Preopen Get SN"
// only fills the serial number (and answers -1), "Preopen file name" opens
// without a layout.
int32_t OpenISIS(MEASURESTRUCT* pMeasure);
int32_t CloseISIS(MEASURESTRUCT* pMeasure);
// Modes 0, 1, 3, 4, 5 and 6 are taken; only 3 (XYZ) and 4 (spectra) deliver.
int32_t StartMultiMeasureISIS(MEASURESTRUCT* pMeasure);
int32_t StartSimpleMultiMeasureISIS(MEASURESTRUCT* pMeasure);
int32_t StartInsertPaperIsis(MEASURESTRUCT* pMeasure);
int32_t StopMultiMeasureISIS(MEASURESTRUCT* pMeasure);

inline constexpr DriverTable kIsisTable{
    .open = OpenISIS,
    .close = CloseISIS,
    .startMultiMeasure = StartMultiMeasureISIS,
    .stopMultiMeasure = StopMultiMeasureISIS,
    .startSimpleMultiMeasure = StartSimpleMultiMeasureISIS,
    .startInsertPaper = StartInsertPaperIsis,
};

}  // namespace measure::isis
