// Vendor libraries are found the way drivers name them ("Vendor\\X.dll"),
// through the stand-in folder first, and resolved by name and by ordinal.
#include <gtest/gtest.h>

#include "platform/dynamic_library.h"
#include "support/test_environment.h"

namespace measure::platform {
namespace {

TEST(DynamicLibrary, AVendorNameMapsToThisSystemsFileName) {
    EXPECT_EQ(platformLibraryName("Vendor\\FixtureVendor.dll"), MEASURE_FIXTURE_VENDOR_FILE);
    EXPECT_EQ(platformLibraryName("FixtureVendor.dll"), MEASURE_FIXTURE_VENDOR_FILE);
}

TEST(DynamicLibrary, LoadsFromTheStandInFolderAndResolvesByNameAndOrdinal) {
    test::ScopedEnvironment sdk("MEASURE_SDK_PATH", MEASURE_FIXTURE_VENDOR_DIR);
    LibraryHandle library = loadLibrary("Vendor\\FixtureVendor.dll");
    ASSERT_NE(library, nullptr) << lastLibraryErrorText();

    auto answer = reinterpret_cast<int (*)()>(findSymbol(library, "fixtureAnswer"));
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(), 42);
    auto twice = reinterpret_cast<int (*)(int)>(findOrdinal(library, 7));
    ASSERT_NE(twice, nullptr);
    EXPECT_EQ(twice(21), 42);

    EXPECT_EQ(findSymbol(library, "noSuchEntry"), nullptr);
    EXPECT_EQ(lastLibraryError(), 127) << "ERROR_PROC_NOT_FOUND";
    EXPECT_EQ(findOrdinal(library, 8), nullptr);
    EXPECT_EQ(findOrdinal(library, 0x10007), nullptr) << "an ordinal is 16 bits";
    EXPECT_EQ(findSymbol(nullptr, "fixtureAnswer"), nullptr);
    freeLibrary(library);
    freeLibrary(nullptr);
}

TEST(DynamicLibrary, AMissingLibraryFailsWithModuleNotFound) {
    test::ScopedEnvironment sdk("MEASURE_SDK_PATH", MEASURE_FIXTURE_VENDOR_DIR);
    EXPECT_EQ(loadLibrary("Vendor\\NoSuchVendorLibrary.dll"), nullptr);
    EXPECT_EQ(lastLibraryError(), 126) << "ERROR_MOD_NOT_FOUND";
    EXPECT_FALSE(lastLibraryErrorText().empty());
}

}  // namespace
}  // namespace measure::platform
