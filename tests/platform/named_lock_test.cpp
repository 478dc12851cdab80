#include <gtest/gtest.h>

#include <string>

#include "platform/named_lock.h"
#include "platform/system.h"

namespace measure::platform {
namespace {

TEST(NamedLock, TheFirstCreatorHoldsTheNameForTheProcess) {
    const std::string name = "MeasureTestLock" + std::to_string(currentProcessId());
    EXPECT_FALSE(createNamedLock(name.c_str())) << "new name";
    EXPECT_TRUE(createNamedLock(name.c_str())) << "held since the first call";
    EXPECT_TRUE(createNamedLock(name.c_str()));
}

}  // namespace
}  // namespace measure::platform
