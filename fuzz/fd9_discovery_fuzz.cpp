// The FD-9 terminal's discovery reply over arbitrary bytes: it may not crash,
// and an address it finds is one a resolver can take (no spaces, no line
// ends, not overlong).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "drivers/konica/myiro9/fd9_terminal_protocol.h"

using namespace measure::konica;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string reply(reinterpret_cast<const char*>(data), size);
    std::string address;
    if (parseDiscoveryReply(reply, address)) {
        if (address.empty() || address.size() > kMaxAddressLength) std::abort();
        for (char c : address)
            if (c == ' ' || c == ',' || c == '\r' || c == '\n' || c == '\0' || c == '/') std::abort();
    }
    return 0;
}
