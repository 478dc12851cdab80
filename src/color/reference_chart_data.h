// Reference chart data: the device values of each patch of a chart, read
// from the chart's IT8 companion file, and their display colours. The
// Spectropad shows the colour each patch should have on its own screen while
// the user measures a row.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace measure {

// One patch: up to 8 values. RGB kinds fill the first three (0 to 255), CMYK
// the first four (percent), n-colour charts one per channel (percent).
struct RefPatch {
    double v[8];
};
static_assert(sizeof(RefPatch) == 64, "a patch slot is 64 bytes");

// Colour kinds.
enum RefDataKind : int {
    kRefDataNone = 0,
    kRefDataRGB = 1,      // also dRGB data once read
    kRefDataCMYK = 4,     // 2 to 9: number of n-colour channels
    kRefDataHexRGB = 100  // dRGB fields while reading
};

// CMYK (percent) of the extra inks, channel 5 onward, from the chart's
// DEVICEN_CMYK_CLR_5, _6 ... lines. A first value of kUnknownInk (the
// initial value) means the chart did not describe that ink.
struct DeviceNInkTable {
    static constexpr int kInks = 12;
    static constexpr int32_t kUnknownInk = 255;
    std::array<std::array<int32_t, 4>, kInks> cmyk;
    DeviceNInkTable() { reset(); }
    void reset() {
        for (auto& ink : cmyk) ink.fill(kUnknownInk);
    }
};

// Reads the chart's companion file (`chartPath` with its last three
// characters replaced by "it8") into `slots` (patchCount entries; the Barbieri
// driver allocates patches + 2, zeroed), and sets the colour kind, the
// send-patch-colours flag (1 unless SEND_PATCHCOLOR_DATA_TO_DEVICE starts
// with "0") and the extra inks. Returns 0 when exactly patchCount patches
// were read, else -1. A null path logs "getCMYKRefData Error Opening target
// file NULL".
int getCMYKRefData(const char* chartPath, RefPatch* slots, int patchCount, int* kind, int* sendFlag,
                   DeviceNInkTable* inks);
// The same over the file's text.
int parseCMYKRefData(std::string_view text, RefPatch* slots, int patchCount, int& kind, int& sendFlag,
                     DeviceNInkTable& inks);

// "<folder of this library>/Resources/InputCMYK.icc".
std::string inputProfilePath();

// Display colours (R, G, B, 0 to 255, three doubles per patch in `rgb`) for
// CMYK and n-colour patches (`channels` values per patch, 2 to 9): the
// process inks go through the CMYK profile at `profilePath` into sRGB, and
// each extra ink is converted from its DeviceN CMYK, scaled by its amount,
// and laid over the result. 0 on success, -1 when a profile or the
// conversion cannot be opened or an argument is missing.
int ConvertRefDataToDisplayRGB(const char* profilePath, const RefPatch* slots, int channels, double* rgb,
                               int patchCount, const DeviceNInkTable& inks);

}  // namespace measure
