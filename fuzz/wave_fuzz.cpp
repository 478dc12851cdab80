// libFuzzer target: any byte sequence given to the WAVE reader either is
// refused or yields samples that lie wholly inside the input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "framework/wave.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> file(data, size);
    measure::framework::WaveSound wave;
    if (!measure::framework::parseWave(file, wave)) return 0;
    if (wave.samples.data() < data || wave.samples.data() + wave.samples.size() > data + size) std::abort();
    volatile uint32_t length = wave.lengthMs();
    volatile uint8_t sum = 0;
    for (uint8_t b : wave.samples) sum = static_cast<uint8_t>(sum + b);
    (void)length;
    return 0;
}
