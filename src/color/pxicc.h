// The ICC engine: opens ICC profiles and converts 8-bit device colours
// between them (Little CMS underneath). Used by the display colour
// conversion of reference chart data, which turns CMYK into screen RGB.
//
// Handles are owned by the caller and released with the matching release
// call; a conversion must be released before the profiles it was made from.
// A conversion is used by one thread at a time.
#pragma once

#include <cstdint>

namespace measure {

struct PXICC_Profile;
struct PXICC_Conversion;

// The predefined display space: sRGB (IEC 61966-2-1).
inline constexpr int kPxiccPredefinedSRGB = 1104;

// Rendering intents.
enum PxiccIntent : int { kPxiccPerceptual = 0, kPxiccRelativeColorimetric = 1, kPxiccSaturation = 2 };

// A profile from an ICC file; null when it cannot be opened or parsed.
PXICC_Profile* PXICC_getInstance(const char* path);
// A built-in profile by number (kPxiccPredefinedSRGB); null for others.
PXICC_Profile* PXICC_getInstanceFromPredefined(int id);
void PXICC_releaseInstance(PXICC_Profile* profile);

// A conversion from `source` to `target` with `intent`; the device colours
// are 8-bit, one byte per component. Null when the profiles cannot be
// linked (or their colour spaces are not gray, RGB, CMYK or Lab).
PXICC_Conversion* PXICC_getColorSpaceConversionInstance3(PXICC_Profile* source, PXICC_Profile* target,
                                                         int intent);
int PXICC_getNumSrcComponents(const PXICC_Conversion* conversion);
int PXICC_getNumDstComponents(const PXICC_Conversion* conversion);
// Converts one colour: `in` holds getNumSrcComponents bytes, `out` receives
// getNumDstComponents bytes. 0 on success, -1 for a null argument.
int PXICC_convert(PXICC_Conversion* conversion, const uint8_t* in, uint8_t* out);
void PXICC_releaseColorSpaceConversionInstance(PXICC_Conversion* conversion);

}  // namespace measure
