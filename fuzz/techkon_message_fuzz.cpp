// A frame from the TECHKON measurement service over arbitrary bytes: cut into
// messages, each read for TYPE, NAME and DATA, its data read as a value list,
// and the whole frame handed to the protocol client as its notification
// thread would. Nothing may crash, read outside the frame, or grow without
// bound.
#include <cstddef>
#include <cstdint>
#include <string>

#include "drivers/techkon/techkon_client.h"
#include "drivers/techkon/techkon_protocol.h"

using namespace measure::techkon;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string frame(reinterpret_cast<const char*>(data), size);
    // A client that never connects: what it stores stays in its tables.
    static clTechcon client;
    for (std::string_view message : splitMessages(frame)) {
        const ParsedMessage m = parseMessage(message);
        if (const auto values = readValueList(m.data)) (void)values->size();
        (void)readValueList(m.data, 31);
        for (int p = 0; p < kPropertyCount; ++p) (void)propertyCode(static_cast<Property>(p), m.data);
        (void)propertyNamed(upperCase(m.name));
        (void)eventCode(m.name, m.data);
        client.handleMessage(message);
    }
    return 0;
}
