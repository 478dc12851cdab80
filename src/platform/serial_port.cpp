// What the serial backends share: port names and failure bookkeeping.
#include "platform/serial_port.h"

#include <cstdlib>

namespace measure::platform {

std::string SerialDevice::devicePath(const char* name) {
    if (name == nullptr) return {};
    const std::string text(name);
    if (text.size() == 4 && text.compare(0, 3, "COM") == 0 && text[3] >= '1' && text[3] <= '4') {
        const std::string variable = "MEASURE_" + text;
        const char* value = std::getenv(variable.c_str());
        if (value != nullptr && *value != '\0') return value;
        return systemPortPath(text[3] - '0');
    }
    return text;
}

bool SerialDevice::fail(uint32_t error) {
    lastError_ = error;
    return false;
}

bool SerialDevice::transferAllowed(const void* buffer, uint32_t count) {
    if (handle_ == kClosed) return fail(kErrorClosed);
    if (count != 0 && buffer == nullptr) return fail(kErrorNoBuffer);
    return true;
}

int32_t SerialDevice::read(void* buffer, uint32_t count) {
    if (!transferAllowed(buffer, count)) return -1;
    return count == 0 ? 0 : receive(buffer, count);
}

int32_t SerialDevice::write(const void* buffer, uint32_t count) {
    if (!transferAllowed(buffer, count)) return -1;
    return count == 0 ? 0 : send(buffer, count);
}

}  // namespace measure::platform
