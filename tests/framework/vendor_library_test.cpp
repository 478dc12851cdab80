#include "framework/vendor_library.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "framework/driver.h"
#include "framework/test_driver.h"
#include "support/test_environment.h"

namespace measure::framework {
namespace {

using test::LogCapture;
using test::ScopedEnvironment;

MEASURE_DRIVER_ERROR(exVENDOR_LIB);

// The built fixture (libFrameworkTestVendor.so, FrameworkTestVendor.dll) and
// its folder.
const std::string kFixtureFile = MEASURE_FRAMEWORK_VENDOR_FILE;
const std::string kFixtureDir = kFixtureFile.substr(0, kFixtureFile.find_last_of('/'));

std::string loadState() {
    const char* state = std::getenv("MEASURE_TEST_VENDOR_LOADED");
    return state != nullptr ? state : "never";
}

// The fixture library bound by name and by ordinal.
class clVENDOR_LIB : public VendorLibrary<exVENDOR_LIB> {
public:
    explicit clVENDOR_LIB(const char* extraEntry = nullptr)
        : VendorLibrary("clVENDOR_LIB", "Vendor\\FrameworkTestVendor.dll") {
        bind(VendorAdd, "VendorAdd");
        bind(VendorName, "VendorName");
        bind(Seven, 7u);
        if (extraEntry != nullptr) bind(Extra, extraEntry);
        bound();
    }
    int (*VendorAdd)(int, int) = nullptr;
    const char* (*VendorName)() = nullptr;
    int (*Seven)() = nullptr;
    int (*Extra)() = nullptr;
};

class clMISSING_LIB : public VendorLibrary<exVENDOR_LIB> {
public:
    clMISSING_LIB() : VendorLibrary("clMISSING_LIB", "NoSuchVendorSdk.dll") { bound(); }
};

class VendorLibraryTest : public ::testing::Test {
protected:
    ScopedEnvironment sdkPath{"MEASURE_SDK_PATH", kFixtureDir.c_str()};
};

TEST_F(VendorLibraryTest, BindsEntriesByNameAndOrdinal) {
    LogCapture log;
    {
        clVENDOR_LIB lib;
        EXPECT_EQ(loadState(), "1");
        EXPECT_EQ(lib.VendorAdd(2, 3), 5);
        EXPECT_STREQ(lib.VendorName(), "Framework Test Vendor");
        EXPECT_EQ(lib.Seven(), 7);
    }
    EXPECT_EQ(loadState(), "0");
    EXPECT_TRUE(log.has("clVENDOR_LIB::clVENDOR_LIB", "start"));
    EXPECT_TRUE(log.has("clVENDOR_LIB::clVENDOR_LIB", "end ok"));
    EXPECT_TRUE(log.has("clEYE_ONE_LIB_PRO::~clEYE_ONE_LIB_PRO", "start"));
    EXPECT_TRUE(log.has("clEYE_ONE_LIB_PRO::~clEYE_ONE_LIB_PRO", "end"));
}

TEST_F(VendorLibraryTest, AMissingLibraryFailsWithLoading) {
    LogCapture log;
    try {
        clMISSING_LIB lib;
        FAIL() << "a missing library was bound";
    } catch (const exVENDOR_LIB& e) {
        EXPECT_STREQ(e.what(), "loading");
    }
    // ERROR_MOD_NOT_FOUND, as the Windows loader reports it.
    EXPECT_TRUE(log.has("clMISSING_LIB::clMISSING_LIB", "LoadLibrary LastError=126"));
    EXPECT_FALSE(log.has("clMISSING_LIB::clMISSING_LIB", "end ok"));
}

TEST_F(VendorLibraryTest, AMissingEntryOrOrdinalIsNamedAndFreesTheLibraryAgain) {
    class clORDINAL_LIB : public VendorLibrary<exVENDOR_LIB> {
    public:
        clORDINAL_LIB() : VendorLibrary("clORDINAL_LIB", "FrameworkTestVendor.dll") { bind(Nine, 9u); }
        int (*Nine)() = nullptr;
    };
    LogCapture log;
    try {
        clVENDOR_LIB lib("VendorCalibrate");
        FAIL() << "a library without VendorCalibrate was bound";
    } catch (const exVENDOR_LIB& e) {
        EXPECT_STREQ(e.what(), "VendorCalibrate");
    }
    EXPECT_EQ(loadState(), "0");
    // ERROR_PROC_NOT_FOUND.
    EXPECT_TRUE(log.has("clEYE_ONE_LIB_PRO::GetAddress", "LastError=127, proc=VendorCalibrate"));
    EXPECT_FALSE(log.has("clVENDOR_LIB::clVENDOR_LIB", "end ok"));

    EXPECT_THROW(clORDINAL_LIB(), exVENDOR_LIB);
    EXPECT_TRUE(log.has("clEYE_ONE_LIB_PRO::GetAddress", "LastError=127, proc=#9"));
    EXPECT_EQ(loadState(), "0");
}

TEST_F(VendorLibraryTest, ModuleWrapperLoadsByPathAndResolvesAtEachUse) {
    VendorModule module(kFixtureFile);
    auto add = module.resolve<int(int, int)>("VendorAdd");
    ASSERT_NE(add, nullptr);
    EXPECT_EQ(add(40, 2), 42);
    EXPECT_EQ(module.resolve("VendorCalibrate"), nullptr);
    try {
        VendorModule missing("C:\\Vendor\\NoSuchVendorSdk.dll");
        FAIL() << "a missing module was loaded";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Failed to load C:\\Vendor\\NoSuchVendorSdk.dll");
    }
}

// A driver whose library is missing fails its Open with -1.
class clSDK_DRIVER final : public Driver {
public:
    explicit clSDK_DRIVER(MEASURESTRUCT* record) : Driver(record, "clSDK_DRIVER", 10000) {}
    ~clSDK_DRIVER() override { Disconnect(); }

private:
    void ThreadConstructor() override {
        try {
            library_ = std::make_unique<clMISSING_LIB>();
            connected = true;
        } catch (const exVENDOR_LIB& e) {
            LogF(0, "clSDK_DRIVER::ThreadConstructor", "catch(%s)", e.what());
        }
    }
    std::unique_ptr<clMISSING_LIB> library_;
};

using VendorDriver = test_driver::TestDriverFixture;

TEST_F(VendorDriver, ADriverWithoutItsLibraryFailsOpen) {
    LogCapture log;
    EXPECT_EQ(OpenEntry<clSDK_DRIVER>(m(), "OpenSdkDriver", "SdkDriver"), -1);
    EXPECT_EQ(storedDriver(m()), nullptr);
    EXPECT_TRUE(log.has("clSDK_DRIVER::ThreadConstructor", "catch(loading)"));
    EXPECT_TRUE(log.has("OpenSdkDriver", "catch ..."));
}

}  // namespace
}  // namespace measure::framework
