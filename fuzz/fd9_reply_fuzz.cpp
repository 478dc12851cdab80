// The FD-9 terminal's HTTP replies over arbitrary bytes: the "200 OK" check,
// the split of head and body, the "Date:" clock and the CGATS text of a
// download, which is then read as the driver reads its result file. None may
// crash or hang; a clock is a real date, the body and the result lie within
// the reply.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "color/measured_data.h"
#include "drivers/konica/myiro9/fd9_terminal_protocol.h"
#include "measure/measure.h"
#include "scratch_file.h"

using namespace measure::konica;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view reply(reinterpret_cast<const char*>(data), size);
    const int result = replyResult(reply);
    if (result != -2 && result != static_cast<int>(size)) std::abort();
    const std::string_view body = replyBody(reply);
    if (body.size() > size || (!body.empty() && body.data() + body.size() != reply.data() + size))
        std::abort();
    int64_t seconds = -1;
    if (parseDateHeader(reply, seconds) && (seconds < 0 || seconds > 253402300799LL)) std::abort();
    std::string_view cgats;
    if (extractCgats(reply, cgats)) {
        if (cgats.substr(0, 8) != "CGATS.17") std::abort();
        const std::string& path = measure::fuzz::writeScratchFile(
            "fd9-result", reinterpret_cast<const uint8_t*>(cgats.data()), cgats.size());
        for (uint32_t mode : {MEASURE_MODE_CIE_LAB, MEASURE_MODE_SPECTRAL}) {
            measure::color::MeasuredPatches patches;
            std::string why;
            if (measure::color::readMeasuredData(path, mode, 64, patches, why) &&
                (patches.count > 64 ||
                 patches.values.size() != static_cast<size_t>(patches.count) * patches.valuesPerPatch))
                std::abort();
        }
    }
    return 0;
}
