// Every reading of the Ricoh adjuster's replies and of its chart definition
// over arbitrary bytes: none may crash, hang, or hand out an identifier that
// could change a request path.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "drivers/ricoh/ricoh_protocol.h"

using namespace measure::ricoh;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string reply(reinterpret_cast<const char*>(data), size);

    (void)parseDeviceStatus(reply);
    std::string text, why;
    (void)parseJobStatus(reply, text, why);
    if (extractJobId(reply, text, why)) {
        if (text.empty() || text.size() > kMaxJobIdLength) std::abort();
        for (char c : text)
            if (c == '/' || c == '?' || c == '#' || c == '.' || c == '%' || c == '"') std::abort();
    }
    ChartDefinition chart;
    if (parseChartDefinition(reply, chart, why)) {
        if (chart.sheets < 1 || chart.sheets > kMaxSheets || chart.patches < 1 ||
            chart.patches > kMaxChartPatches)
            std::abort();
        if (pollLimit(chart.sheets) < kExtraPolls) std::abort();
    }
    return 0;
}
