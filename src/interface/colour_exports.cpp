// The colour maths a host needs beside the spectral exports: CIELAB to and
// from XYZ for the instruments' white, and the colour differences a quality
// check reports.
#include "color/spectral.h"
#include "measure/measure.h"

MEASURE_API void XYZToLab(double X, double Y, double Z, double* L, double* a, double* b) {
    measure::XYZToLab(X, Y, Z, L, a, b);
}

MEASURE_API void LabToXYZ(double L, double a, double b, double* X, double* Y, double* Z) {
    measure::LabToXYZ(L, a, b, X, Y, Z);
}

MEASURE_API double DeltaE76(double L1, double a1, double b1, double L2, double a2, double b2) {
    return measure::DeltaE76(L1, a1, b1, L2, a2, b2);
}

MEASURE_API double DeltaE2000(double L1, double a1, double b1, double L2, double a2, double b2) {
    return measure::DeltaE2000(L1, a1, b1, L2, a2, b2);
}
