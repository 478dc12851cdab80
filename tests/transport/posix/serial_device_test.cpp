#include <gtest/gtest.h>

#include "platform/serial_port.h"
#include "support/environment.h"

namespace measure::platform {
namespace {

TEST(PosixSerialDevice, ComNamesWithoutAVariableAreTheClassicDevices) {
    test::ScopedEnvironment com3("MEASURE_COM3", nullptr);
    EXPECT_EQ(SerialDevice::devicePath("COM3"), "/dev/ttyS2");
    EXPECT_EQ(SerialDevice::devicePath("COM1x"), "COM1x");
}

}  // namespace
}  // namespace measure::platform
