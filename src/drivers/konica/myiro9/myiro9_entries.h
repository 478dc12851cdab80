// The driver entries of clKONICA_MINOLTA_MYIRO9 (registry rows 38 "FD-9", 42
// "FD-9 Terminal", 44 "MYIRO-9 Terminal" and 56 "MYIRO-9"). Each takes the
// host's record and returns 0 or -1.
#pragma once

#include "core/driver_table.h"
#include "measure/measure.h"

namespace measure::konica {

int32_t OpenMYIRO9(MEASURESTRUCT* pMeasure);
int32_t CloseMYIRO9(MEASURESTRUCT* pMeasure);
// Modes 2 (Lab), 3 (XYZ) and 4 (spectra): the terminal's result of the chart
// named by pszParameterFile, or a chart the instrument reads itself.
int32_t StartMultiMeasureMYIRO9(MEASURESTRUCT* pMeasure);
int32_t StartSimpleMultiMeasureMYIRO9(MEASURESTRUCT* pMeasure);
int32_t StartInsertPaperMYIRO9(MEASURESTRUCT* pMeasure);
int32_t StopMultiMeasureMYIRO9(MEASURESTRUCT* pMeasure);

inline constexpr DriverTable kMyiro9Table{
    .open = OpenMYIRO9,
    .close = CloseMYIRO9,
    .startMultiMeasure = StartMultiMeasureMYIRO9,
    .stopMultiMeasure = StopMultiMeasureMYIRO9,
    .startSimpleMultiMeasure = StartSimpleMultiMeasureMYIRO9,
    .startInsertPaper = StartInsertPaperMYIRO9,
};

}  // namespace measure::konica
