// Test access to the i1 SDK stand-in: MEASURE_SDK_PATH pointing at its build
// folder, the SDK libraries bound by name as a driver binds them, and the
// virtual instrument reset to its baseline.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <initializer_list>
#include <string>

#include "drivers/xrite/i1_sdk.h"
#include "i1_emulator.h"
#include "platform/dynamic_library.h"
#include "support/environment.h"

namespace measure::test {

// Every call of one SDK library, bound by its prefixed name.
struct I1Calls {
#define MEASURE_TEST_I1_POINTER(name) xrite::i1fn::name* name = nullptr;
    MEASURE_I1_CALLS(MEASURE_TEST_I1_POINTER)
#undef MEASURE_TEST_I1_POINTER

    platform::LibraryHandle library = nullptr;

    bool bind(const char* dllName, const std::string& prefix) {
        library = platform::loadLibrary(dllName);
        if (library == nullptr) return false;
        bool complete = true;
#define MEASURE_TEST_I1_BIND(name)                                                                        \
    name = reinterpret_cast<xrite::i1fn::name*>(platform::findSymbol(library, (prefix + #name).c_str())); \
    complete = complete && name != nullptr;
        MEASURE_I1_CALLS(MEASURE_TEST_I1_BIND)
#undef MEASURE_TEST_I1_BIND
        return complete;
    }
    ~I1Calls() {
        platform::freeLibrary(library);
    }
};

// Points the library loader at the stand-in and resets the instrument.
inline void useI1StandIn() {
    setEnvironment("MEASURE_SDK_PATH", MEASURE_I1_EMULATOR_DIR);
    emu_i1_reset();
}

inline std::string i1Journal() {
    std::string text(emu_i1_journal(nullptr, 0) + 1, '\0');
    emu_i1_journal(text.data(), text.size());
    text.resize(text.size() - 1);
    return text;
}

inline std::string i1Option(const char* key) {
    char buffer[256] = {};
    emu_i1_option(key, buffer, sizeof buffer);
    return buffer;
}

// The journal holds `steps` (line texts) in this order.
inline void expectJournalOrder(std::initializer_list<const char*> steps) {
    const std::string journal = i1Journal();
    size_t at = 0;
    for (const char* step : steps) {
        at = journal.find(step, at);
        ASSERT_NE(at, std::string::npos) << step << " in\n" << journal;
    }
}

// Opens the instrument through the i1Pro3 library without the table
// extensions, as a hand-held i1Pro3 is left open.
inline xrite::I1_DeviceHandle openThroughI1Pro3Library(I1Calls& pro3) {
    EXPECT_TRUE(pro3.bind("i1Pro364.dll", "I1PRO3_"));
    xrite::I1_DeviceHandle* devices = nullptr;
    uint32_t count = 0;
    EXPECT_EQ(pro3.GetDevices(&devices, &count), 0u);
    if (count != 1) {
        ADD_FAILURE() << count << " instruments";
        return nullptr;
    }
    EXPECT_EQ(pro3.OpenDevice(devices[0]), 0u);
    return devices[0];
}

// A test against the stand-in, which starts and ends at its baseline.
class I1StandInTest : public ::testing::Test {
protected:
    void SetUp() override { useI1StandIn(); }
    void TearDown() override { emu_i1_reset(); }
};

}  // namespace measure::test
