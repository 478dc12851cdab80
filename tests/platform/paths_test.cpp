// Folder lookups and the joining of the library's backslash paths.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/paths.h"
#include "support/test_environment.h"

namespace measure::platform {
namespace {

std::string native(std::string path) {
    for (char& c : path)
        if (c == '|') c = pathSeparator();
    return path;
}

TEST(Paths, JoinPathUsesThisSystemsSeparatorExactlyOnce) {
    EXPECT_EQ(joinPath("base", "\\Vantu\\AutomatedTesting\\x.xml"),
              native("base|Vantu|AutomatedTesting|x.xml"));
    EXPECT_EQ(joinPath("base/", "Resources\\a.xml"), native("base|Resources|a.xml"));
    EXPECT_EQ(joinPath(native("base||"), "//a/b"), native("base|a|b"));
    EXPECT_EQ(joinPath("", "\\a"), "a");
    EXPECT_EQ(joinPath("base", ""), "base");
    EXPECT_EQ(joinPath("/", "a"), native("/a")) << "a root keeps its one separator";
}

TEST(Paths, CommonAppDataFollowsTheOverrideWithoutTrailingSeparators) {
    {
        test::ScopedEnvironment folder("MEASURE_COMMON_APPDATA", "shared/data//");
        EXPECT_EQ(commonAppDataFolder(), "shared/data");
    }
    test::ScopedEnvironment none("MEASURE_COMMON_APPDATA", nullptr);
    const std::string system = commonAppDataFolder();
    ASSERT_FALSE(system.empty());
    EXPECT_NE(system.back(), pathSeparator());
    EXPECT_TRUE(std::filesystem::is_directory(system)) << system;
}

TEST(Paths, TempFolderExistsAndHasNoTrailingSeparator) {
    const std::string temp = tempFolder();
    ASSERT_FALSE(temp.empty());
    EXPECT_NE(temp.back(), pathSeparator());
    EXPECT_TRUE(std::filesystem::is_directory(temp)) << temp;
}

TEST(Paths, TheModuleIsAFileInsideItsFolder) {
    const std::string file = moduleFile();
    ASSERT_FALSE(file.empty());
    EXPECT_TRUE(fileExists(file)) << file;
    const std::string folder = moduleFolder();
    EXPECT_EQ(file.compare(0, folder.size(), folder), 0) << file << " in " << folder;
    EXPECT_TRUE(std::filesystem::is_directory(folder)) << folder;
}

TEST(Paths, FileExistsOnlyForRegularFiles) {
    test::TempDir dir;
    EXPECT_FALSE(fileExists(dir.path())) << "a folder is no file";
    EXPECT_FALSE(fileExists(dir.file("missing.xml")));
    std::ofstream(dir.file("present.xml")) << "x";
    EXPECT_TRUE(fileExists(dir.file("present.xml")));
}

}  // namespace
}  // namespace measure::platform
