// Stand-in for builds without Little CMS: no screen colours.
#include "display_colour.h"

namespace cli {

SrgbConverter::SrgbConverter() = default;
SrgbConverter::~SrgbConverter() = default;

DisplayColour SrgbConverter::fromLab(const std::array<double, 3>&) const {
    DisplayColour colour;
    colour.rgb = {128, 128, 128};
    colour.outOfGamut = true;
    return colour;
}

}  // namespace cli
