// Screen colours of measured L*a*b* for the report: sRGB through Little CMS
// (the white of the library's Lab, D50, adapted to the sRGB white by the
// relative colorimetric intent). A colour that sRGB cannot show is marked
// and shown clipped to the nearest displayable value.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace cli {

struct DisplayColour {
    std::array<uint8_t, 3> rgb{};
    bool outOfGamut = false;
    // "#rrggbb"
    std::string hex() const;
};

class SrgbConverter {
public:
    SrgbConverter();
    ~SrgbConverter();
    SrgbConverter(const SrgbConverter&) = delete;
    SrgbConverter& operator=(const SrgbConverter&) = delete;

    // False in a build without Little CMS: every colour is then mid grey
    // and marked as not shown.
    bool available() const { return transform_ != nullptr; }
    DisplayColour fromLab(const std::array<double, 3>& lab) const;

private:
    void* transform_ = nullptr;
};

}  // namespace cli
