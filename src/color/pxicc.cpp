#include "color/pxicc.h"

#include <lcms2.h>

namespace measure {

struct PXICC_Profile {
    cmsHPROFILE handle;
};

struct PXICC_Conversion {
    cmsHTRANSFORM transform;
    int sourceComponents;
    int targetComponents;
};

namespace {

// Colours are converted one at a time, a few hundred per chart: building an
// optimised device link (a precalculated 4D table) would cost more than it
// saves.
constexpr cmsUInt32Number kFlags = cmsFLAGS_NOOPTIMIZE;

// The 8-bit pixel format of a profile's device (or PCS) side.
bool formatOf(cmsColorSpaceSignature space, cmsUInt32Number& format, int& components) {
    switch (space) {
        case cmsSigGrayData:
            format = TYPE_GRAY_8;
            components = 1;
            return true;
        case cmsSigRgbData:
            format = TYPE_RGB_8;
            components = 3;
            return true;
        case cmsSigCmykData:
            format = TYPE_CMYK_8;
            components = 4;
            return true;
        case cmsSigLabData:
            format = TYPE_Lab_8;
            components = 3;
            return true;
        default:
            return false;
    }
}

}  // namespace

PXICC_Profile* PXICC_getInstance(const char* path) {
    if (path == nullptr) return nullptr;
    cmsHPROFILE handle = cmsOpenProfileFromFile(path, "r");
    return handle != nullptr ? new PXICC_Profile{handle} : nullptr;
}

PXICC_Profile* PXICC_getInstanceFromPredefined(int id) {
    if (id != kPxiccPredefinedSRGB) return nullptr;
    cmsHPROFILE handle = cmsCreate_sRGBProfile();
    return handle != nullptr ? new PXICC_Profile{handle} : nullptr;
}

void PXICC_releaseInstance(PXICC_Profile* profile) {
    if (profile == nullptr) return;
    cmsCloseProfile(profile->handle);
    delete profile;
}

PXICC_Conversion* PXICC_getColorSpaceConversionInstance3(PXICC_Profile* source, PXICC_Profile* target,
                                                         int intent) {
    if (source == nullptr || target == nullptr || intent < 0 || intent > 3) return nullptr;
    cmsUInt32Number inFormat = 0, outFormat = 0;
    int inComponents = 0, outComponents = 0;
    if (!formatOf(cmsGetColorSpace(source->handle), inFormat, inComponents)) return nullptr;
    if (!formatOf(cmsGetColorSpace(target->handle), outFormat, outComponents)) return nullptr;
    cmsHTRANSFORM transform = cmsCreateTransform(source->handle, inFormat, target->handle, outFormat,
                                                 static_cast<cmsUInt32Number>(intent), kFlags);
    if (transform == nullptr) return nullptr;
    return new PXICC_Conversion{transform, inComponents, outComponents};
}

int PXICC_getNumSrcComponents(const PXICC_Conversion* conversion) {
    return conversion != nullptr ? conversion->sourceComponents : 0;
}

int PXICC_getNumDstComponents(const PXICC_Conversion* conversion) {
    return conversion != nullptr ? conversion->targetComponents : 0;
}

int PXICC_convert(PXICC_Conversion* conversion, const uint8_t* in, uint8_t* out) {
    if (conversion == nullptr || in == nullptr || out == nullptr) return -1;
    cmsDoTransform(conversion->transform, in, out, 1);
    return 0;
}

void PXICC_releaseColorSpaceConversionInstance(PXICC_Conversion* conversion) {
    if (conversion == nullptr) return;
    cmsDeleteTransform(conversion->transform);
    delete conversion;
}

}  // namespace measure
