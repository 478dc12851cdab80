// Hosts and Windows' file properties read measure.dll's version from its
// version record: it must carry the project's version.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace measure::abi {
namespace {

TEST(Win32VersionRecord, CarriesTheProjectVersion) {
    const DWORD size = ::GetFileVersionInfoSizeA(MEASURE_LIBRARY_PATH, nullptr);
    ASSERT_GT(size, 0u);
    std::vector<char> record(size);
    ASSERT_TRUE(::GetFileVersionInfoA(MEASURE_LIBRARY_PATH, 0, size, record.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueA(record.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
    const std::string numbers = std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
                                std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
                                std::to_string(HIWORD(fixed->dwFileVersionLS));
    EXPECT_EQ(numbers, MEASURE_PROJECT_VERSION);
    EXPECT_EQ(LOWORD(fixed->dwFileVersionLS), 0);

    char* text = nullptr;
    ASSERT_TRUE(::VerQueryValueA(record.data(), "\\StringFileInfo\\040904B0\\ProductVersion",
                                 reinterpret_cast<void**>(&text), &length));
    EXPECT_EQ(std::string(text), MEASURE_PROJECT_VERSION);
    ASSERT_TRUE(::VerQueryValueA(record.data(), "\\StringFileInfo\\040904B0\\OriginalFilename",
                                 reinterpret_cast<void**>(&text), &length));
    EXPECT_EQ(std::string(text), "Measure.dll");
}

}  // namespace
}  // namespace measure::abi
