// libFuzzer target: datagrams arriving at the Ethernet i1iSis discovery, as
// DNS responses of any shape (compressed names, pointer loops, records cut
// short). A reader is only found with a dotted IPv4 address.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "drivers/xrite/isis2net/isis2net_protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace measure::isis2net;
    DiscoveredReader reader;
    if (!parseDiscoveryAnswer(data, size, reader)) return 0;
    if (reader.address.size() < 7 || reader.address.size() > 15) std::abort();
    for (const auto& text : reader.texts)
        if (text.size() > size) std::abort();
    return 0;
}
