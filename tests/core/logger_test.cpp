// The log file a user reads when something went wrong.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <thread>
#include <vector>

#include "core/logger.h"
#include "measure/measure.h"
#include "platform/named_lock.h"
#include "support/test_environment.h"

namespace measure {
namespace {

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

TEST(Logger, LinesCarryTimeElapsedThreadFunctionAndText) {
    test::LogCapture log;
    Log(1, "clSIMULATOR_DEVICE::MultiMeasure", "passes=3");
    Log(1, "StartMultiMeasure", "");
    Log(1, "StartMultiMeasure", nullptr);
    LogF(2, "SpecifiedPassesPatches", "passes=%d, patches=%d", 5, 24);
    const auto got = lines(log.text());
    ASSERT_EQ(got.size(), 4u);
    const std::regex line(
        R"(^\w{3} \w{3} [ \d]\d \d\d:\d\d:\d\d \d{4}: \d+ : \d+ : clSIMULATOR_DEVICE::MultiMeasure: passes=3$)");
    EXPECT_TRUE(std::regex_match(got[0], line)) << got[0];
    EXPECT_TRUE(std::regex_search(got[1], std::regex(R"( : \d+ : StartMultiMeasure$)"))) << got[1];
    EXPECT_TRUE(std::regex_search(got[2], std::regex(R"( : StartMultiMeasure$)"))) << got[2];
    EXPECT_TRUE(std::regex_search(got[3], std::regex(R"(SpecifiedPassesPatches: passes=5, patches=24$)")));
}

TEST(Logger, LevelsAboveTheThresholdAreNotWritten) {
    test::TempDir dir;
    LogEnable(2, false, dir.file("log"));
    EXPECT_TRUE(LogEnabled(2));
    EXPECT_FALSE(LogEnabled(3));
    Log(3, "detail", "hidden");
    Log(0, "error", "shown");
    LogClose();
    const std::string text = test::readTextFile(dir.file("log"));
    EXPECT_EQ(text.find("hidden"), std::string::npos);
    EXPECT_NE(text.find("error: shown"), std::string::npos);
}

TEST(Logger, DumpEscapesControlBytesAndBreaksAfterLineEnds) {
    EXPECT_EQ(LogEscapeDump("A\nB\x07"), "\tA\\n\n\tB\\x07\n");
    EXPECT_EQ(LogEscapeDump("x\r\n"), "\tx\\r\n\t\\n\n");
    EXPECT_EQ(LogEscapeDump("tab\there\x7F\xC3"), "\ttab\there\\x7F\xC3\n")
        << "bytes above 127 pass as they are";
    EXPECT_EQ(LogEscapeDump(""), "");
    EXPECT_EQ(LogEscapeDump(nullptr), "");

    test::LogCapture log;
    LogDump(1, "clGRETAG::Command", "answer", "A\nB\x07");
    const std::string text = log.text();
    EXPECT_NE(text.find("clGRETAG::Command: answer\n\tA\\n\n\tB\\x07\n"), std::string::npos) << text;
}

TEST(Logger, DisabledLoggerTouchesNoFileAndLogfileCreateStillTakesTheLock) {
    test::TempDir dir;
    LogClose();
    Log(0, "nobody", "listens");
    LogDump(0, "nobody", "dump", "data");
    LogTime(0, "nobody");
    EXPECT_FALSE(LogEnabled(0));
    LogfileCreate(5, 0, nullptr);
    EXPECT_FALSE(LogEnabled(0)) << "no path: logging stays off";
    // The name is now held by this process.
    EXPECT_TRUE(platform::createNamedLock("OrvaneMeasureDllLoadedAgainMutex"));
}

TEST(Logger, LogfileCreateWithAPathSwitchesLoggingOnAndAppends) {
    test::TempDir dir;
    const std::string path = dir.file("host.log");
    LogfileCreate(1, 0, path.c_str());
    Log(1, "first", "run");
    LogClose();
    LogfileCreate(1, 1, path.c_str());
    Log(1, "second", "run");
    Log(2, "too", "detailed");
    LogClose();
    const auto got = lines(test::readTextFile(path));
    ASSERT_EQ(got.size(), 2u);
    EXPECT_NE(got[0].find("first: run"), std::string::npos);
    EXPECT_NE(got[1].find("second: run"), std::string::npos);
}

TEST(Logger, AnUnwritablePathShowsTheBoxOnceAndWritesNothing) {
    test::ErrorBoxCapture boxes;
    LogEnable(5, false, "/nonexistent-folder/x/measure.log");
    Log(0, "a", "b");
    Log(0, "c", "d");
    LogClose();
    ASSERT_EQ(boxes.texts().size(), 1u);
    EXPECT_EQ(boxes.captions()[0], "LogFile.TryOpen");
    EXPECT_EQ(boxes.texts()[0].rfind("File: \"/nonexistent-folder/x/measure.log\"\nGetLastError: ", 0), 0u);
}

TEST(Logger, ConcurrentWritersNeverInterleaveALine) {
    test::LogCapture log;
    constexpr int kThreads = 4, kEach = 500;
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t)
        writers.emplace_back([t] {
            const std::string text(200, char('a' + t));
            for (int i = 0; i < kEach; ++i) {
                if (i % 50 == 0)
                    LogDump(1, "writer", text.c_str(), "multi\nline");
                else
                    Log(1, "writer", text.c_str());
            }
        });
    for (auto& w : writers) w.join();
    const auto got = lines(log.text());
    int body = 0;
    for (const std::string& line : got) {
        if (line.rfind("\t", 0) == 0) continue;  // dump lines
        const auto colon = line.rfind("writer: ");
        ASSERT_NE(colon, std::string::npos) << line;
        const std::string text = line.substr(colon + 8);
        ASSERT_EQ(text.size(), 200u) << line;
        EXPECT_EQ(text.find_first_not_of(text[0]), std::string::npos) << line;
        ++body;
    }
    EXPECT_EQ(body, kThreads * kEach);
}

}  // namespace
}  // namespace measure
