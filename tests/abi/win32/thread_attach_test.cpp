// Windows tells a loaded DLL about every thread the process starts and ends;
// the library logs both notifications.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "abi/host_library.h"

namespace measure::abi {
namespace {

TEST(Win32ModuleEntry, ThreadStartAndEndAreLogged) {
    HostLibrary library(MEASURE_LIBRARY_PATH);
    ASSERT_TRUE(library.loaded()) << library.error();
    auto logfileCreate = library.get<void (*)(uint32_t, uint8_t, const char*)>("LogfileCreate");
    ASSERT_NE(logfileCreate, nullptr);
    const auto log = std::filesystem::temp_directory_path() / "measure-abi-thread-attach.log";
    logfileCreate(1, 0, log.string().c_str());
    std::thread([] {}).join();
    // Logging stays on in this process; a threshold below every level quiets it.
    logfileCreate(0xFFFFFFFFu, 0, log.string().c_str());
    std::ifstream in(log);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find(" : DllMain: DLL_THREAD_ATTACH\n"), std::string::npos) << text.str();
    EXPECT_NE(text.str().find(" : DllMain: DLL_THREAD_DETACH\n"), std::string::npos) << text.str();
}

}  // namespace
}  // namespace measure::abi
