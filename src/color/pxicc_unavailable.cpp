// The ICC engine in a build without Little CMS: no profile opens, so no
// conversion is ever made and reference charts get no display colours.
#include "color/pxicc.h"

namespace measure {

PXICC_Profile* PXICC_getInstance(const char*) {
    return nullptr;
}

PXICC_Profile* PXICC_getInstanceFromPredefined(int) {
    return nullptr;
}

void PXICC_releaseInstance(PXICC_Profile*) {}

PXICC_Conversion* PXICC_getColorSpaceConversionInstance3(PXICC_Profile*, PXICC_Profile*, int) {
    return nullptr;
}

int PXICC_getNumSrcComponents(const PXICC_Conversion*) {
    return 0;
}

int PXICC_getNumDstComponents(const PXICC_Conversion*) {
    return 0;
}

int PXICC_convert(PXICC_Conversion*, const uint8_t*, uint8_t*) {
    return -1;
}

void PXICC_releaseColorSpaceConversionInstance(PXICC_Conversion*) {}

}  // namespace measure
