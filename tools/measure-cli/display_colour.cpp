#include "display_colour.h"

#include <cstdio>

namespace cli {

std::string DisplayColour::hex() const {
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", rgb[0], rgb[1], rgb[2]);
    return text;
}

}  // namespace cli
