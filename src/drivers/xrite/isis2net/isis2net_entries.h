// The driver entries of clISIS2NET (registry row 37, the Ethernet i1iSis).
// Each takes the host's record and returns 0 or -1.
#pragma once

#include "core/driver_table.h"
#include "measure/measure.h"

namespace measure::isis2net {

// pszParameterFile holds the chart ID (10 characters) whose job is fetched.
int32_t OpenISIS2NET(MEASURESTRUCT* pMeasure);
int32_t CloseISIS2NET(MEASURESTRUCT* pMeasure);
// Modes 2 (Lab), 3 (XYZ) and 4 (spectra).
int32_t StartMultiMeasureISIS2NET(MEASURESTRUCT* pMeasure);
int32_t StopMultiMeasureISIS2NET(MEASURESTRUCT* pMeasure);

inline constexpr DriverTable kIsis2NetTable{
    .open = OpenISIS2NET,
    .close = CloseISIS2NET,
    .startMultiMeasure = StartMultiMeasureISIS2NET,
    .stopMultiMeasure = StopMultiMeasureISIS2NET,
};

}  // namespace measure::isis2net
