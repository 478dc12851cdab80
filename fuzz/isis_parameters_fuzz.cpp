// libFuzzer target: the chart layout parameter file of the simulated chart
// readers. The first byte picks the simulated instrument (34 reads the
// Spectropad's two keys, any other the eleven i1iSis keys); the rest is the
// file. Every outcome is one of the reader's codes, never a crash.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "drivers/simulator/isis_parameters.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace measure::simulator;
    if (size == 0) return 0;
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    const int result = ISIS_SetParametersFromText(text, data[0]);
    if (result != kParametersRead && result != kParameterKeyMissing) std::abort();
    for (const char* key : {"NumberOfRows", "PatchSizeX", "MarkerPatchDistance", "Patches_X", "Patches_Y"}) {
        volatile int value = isisParameter(key);
        (void)value;
    }
    clearIsisParameters();
    return 0;
}
