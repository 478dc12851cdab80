// libFuzzer target: what an Ethernet i1iSis answers on TCP: the response
// header, the job records and the measurement data, read the way the driver
// reads them. The first byte picks the values per patch (3 or 36) and the
// block; nothing is read past what arrived.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "drivers/xrite/isis2net/isis2net_protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace measure::isis2net;
    if (size < 1) return 0;
    const int perPatch = (data[0] & 1) != 0 ? kSpectralValues : kColourValues;
    const int block = (data[0] >> 1) % 3;
    ++data;
    --size;
    if (size >= kResponseHeaderSize) {
        ResponseHeader header;
        if (parseResponseHeader(data, header) &&
            (header.totalLength < kResponseHeaderSize || header.totalLength > kLongestResponse))
            std::abort();
    }
    for (const auto& job : parseJobRecords(data, size))
        if (job.id.size() > size) std::abort();
    MeasurementData values;
    if (parseMeasurementData(data, size, values) != DataError::None) return 0;
    const size_t patches = patchesInBlock(values, perPatch);
    std::vector<float> patch(static_cast<size_t>(perPatch));
    volatile float sum = 0;
    for (size_t p = 0; p < patches; ++p) {
        readPatch(values, block, p, perPatch, patch.data());
        sum = sum + patch[0];
    }
    return 0;
}
