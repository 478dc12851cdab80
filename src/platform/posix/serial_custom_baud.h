// Rates outside the classic Bxxx table (28800 Bd, 50..115200 in any step) are
// set through the kernel's termios2 interface, which cannot share a
// translation unit with <termios.h>.
#pragma once

#include <cstdint>

namespace measure::platform::detail {

// Sets input and output speed of the open terminal `fd` to `baud`; false with
// errno set when the device refuses.
bool setCustomBaud(int fd, uint32_t baud);

// The output speed of the open terminal `fd` in baud; 0 when unknown.
uint32_t currentBaud(int fd);

}  // namespace measure::platform::detail
