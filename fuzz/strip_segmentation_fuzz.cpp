// libFuzzer target: the i1Pro's raw scan samples as the SDK hands them over
// (floats of any value, NaN and infinities included) searched for a strip's
// patches. The first byte is the expected patch count (255: the largest
// int), the second picks the form: even bytes give tristimulus samples of
// three raw floats each, odd bytes spectra of 36 bands, one byte per band
// (0 to 1.275). A strip, when found, has exactly the expected patches.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "drivers/xrite/i1pro/strip_segmentation.h"

using namespace measure::i1pro;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const int expected = data[0] == 255 ? std::numeric_limits<int>::max() : data[0] - 1;
    const bool spectral = (data[1] & 1) != 0;
    data += 2;
    size -= 2;
    Segmentation result;
    if (spectral) {
        std::vector<Spectrum36> samples(size / 36);
        for (size_t s = 0; s < samples.size(); ++s)
            for (size_t band = 0; band < 36; ++band) samples[s][band] = data[s * 36 + band] / 200.0;
        result = segmentSpectra(samples, expected);
    } else {
        std::vector<Tristimulus> samples(size / 12);
        for (size_t s = 0; s < samples.size(); ++s)
            for (size_t c = 0; c < 3; ++c) {
                float value;
                std::memcpy(&value, data + s * 12 + c * 4, sizeof value);
                samples[s][c] = value;
            }
        result = segmentTristimulus(samples, expected);
    }
    if (result.found && result.patches.size() != static_cast<size_t>(expected)) std::abort();
    if (result.count != 0 && result.count != expected) std::abort();
    return 0;
}
