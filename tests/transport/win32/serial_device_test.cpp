#include <gtest/gtest.h>

#include "platform/serial_port.h"
#include "support/environment.h"

namespace measure::platform {
namespace {

TEST(Win32SerialDevice, ComNamesWithoutAVariableStayComNames) {
    test::ScopedEnvironment com3("MEASURE_COM3", nullptr);
    EXPECT_EQ(SerialDevice::devicePath("COM3"), "COM3");
    EXPECT_EQ(SerialDevice::devicePath("\\\\.\\COM12"), "\\\\.\\COM12");
}

TEST(Win32SerialDevice, APortNobodyHasIsNotFound) {
    SerialDevice device;
    EXPECT_FALSE(device.open("COM249"));
    EXPECT_EQ(device.lastError(), kSerialErrorFileNotFound);
    EXPECT_FALSE(device.isOpen());
}

}  // namespace
}  // namespace measure::platform
