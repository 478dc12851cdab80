#include <lcms2.h>

#include <algorithm>
#include <cmath>

#include "display_colour.h"

namespace cli {
namespace {

// Components this far outside 0..1 are rounding, not a colour sRGB lacks.
constexpr double kGamutSlack = 0.001;

}  // namespace

SrgbConverter::SrgbConverter() {
    cmsHPROFILE lab = cmsCreateLab4Profile(nullptr);  // D50
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    // Floating point keeps the values outside 0..1 that mark a colour sRGB
    // cannot show.
    if (lab != nullptr && srgb != nullptr)
        transform_ = cmsCreateTransform(lab, TYPE_Lab_DBL, srgb, TYPE_RGB_DBL, INTENT_RELATIVE_COLORIMETRIC,
                                        cmsFLAGS_NOCACHE);
    if (lab != nullptr) cmsCloseProfile(lab);
    if (srgb != nullptr) cmsCloseProfile(srgb);
}

SrgbConverter::~SrgbConverter() {
    if (transform_ != nullptr) cmsDeleteTransform(static_cast<cmsHTRANSFORM>(transform_));
}

DisplayColour SrgbConverter::fromLab(const std::array<double, 3>& lab) const {
    DisplayColour colour;
    if (transform_ == nullptr) {
        colour.rgb = {128, 128, 128};
        colour.outOfGamut = true;
        return colour;
    }
    double rgb[3] = {0, 0, 0};
    cmsDoTransform(static_cast<cmsHTRANSFORM>(transform_), lab.data(), rgb, 1);
    for (size_t i = 0; i < 3; ++i) {
        if (!std::isfinite(rgb[i]) || rgb[i] < -kGamutSlack || rgb[i] > 1.0 + kGamutSlack)
            colour.outOfGamut = true;
        const double clipped = std::isfinite(rgb[i]) ? std::clamp(rgb[i], 0.0, 1.0) : 0.0;
        colour.rgb[i] = static_cast<uint8_t>(std::lround(clipped * 255.0));
    }
    return colour;
}

}  // namespace cli
