// The test host of the i1iSis row: the shared host on row 26, the SDK
// stand-in on the library path with its reader reset, and layout files.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <string>

#include "isis_emulator.h"
#include "support/environment.h"
#include "support/instrument_host.h"
#include "support/test_environment.h"

namespace measure::test {

inline constexpr uint32_t kIsisRow = 26;

inline void useIsisStandIn() {
    setEnvironment("MEASURE_SDK_PATH", MEASURE_ISIS_EMULATOR_DIR);
    emu_isis_reset();
}

// The layout file of the stand-in's default sheet, as the build copies it.
inline std::string defaultIsisLayout() {
    return std::string(MEASURE_ISIS_EMULATOR_DIR) + "/isis_default_layout.txt";
}

inline std::string writeFile(const TempDir& dir, const std::string& name, const std::string& text) {
    const std::string path = dir.file(name);
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

class IsisHost : public InstrumentHost {
public:
    IsisHost(uint32_t mode, int32_t patches, const std::string& layoutFile)
        : InstrumentHost(kIsisRow, mode, patches, nullptr), file_(layoutFile) {
        rec.pszParameterFile = file_.data();
    }

private:
    std::string file_;
};

inline std::array<double, 36> isisSpectrum(int sheet, int row, int column, int condition) {
    float s[36];
    emu_isis_patch_spectrum(sheet, row, column, condition, s);
    std::array<double, 36> out{};
    for (int i = 0; i < 36; ++i) out[i] = s[i];
    return out;
}

inline std::string isisOption(const char* key) {
    char buffer[256] = {};
    emu_isis_option(key, buffer, sizeof buffer);
    return buffer;
}

}  // namespace measure::test
