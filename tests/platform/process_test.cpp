// Child programs as the tests start them: every argument arrives as it was
// given (blanks, quotes and backslashes included, which Windows passes as
// one command line that the child splits again) and the extra environment
// reaches the child. The child is this test program itself, whose
// GoogleTest prints the filter it was given and runs no test for it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/paths.h"
#include "platform/process.h"
#include "support/test_environment.h"

namespace measure::platform {
namespace {

// The filter the child reports, up to its line end.
std::string reportedFilter(const std::string& output) {
    const std::string label = "Google Test filter = ";
    const size_t start = output.find(label);
    if (start == std::string::npos) return "<none>";
    const size_t end = output.find_first_of("\r\n", start);
    return output.substr(start + label.size(), end - start - label.size());
}

TEST(ChildProcess, ArgumentsAndEnvironmentArriveUnchanged) {
    test::TempDir work;
    // The program as this process was started, possibly relative to the
    // folder the child leaves for its own.
    const std::string self = std::filesystem::absolute(moduleFile()).string();
    for (const std::string& filter :
         {std::string("No.Such"), std::string(R"(No "such" test\ at\\ all\)"), std::string("two  blanks")}) {
        const ProcessResult run =
            runProcess({self, "--gtest_filter=" + filter}, {}, work.path(), work.path(), 60000);
        EXPECT_EQ(run.exitCode, 0) << run.errors;
        EXPECT_EQ(reportedFilter(run.output), filter) << run.output;
    }
    const ProcessResult run =
        runProcess({self}, {{"GTEST_FILTER", "From.The.Environment"}}, work.path(), work.path(), 60000);
    EXPECT_EQ(reportedFilter(run.output), "From.The.Environment") << run.output;
}

}  // namespace
}  // namespace measure::platform
