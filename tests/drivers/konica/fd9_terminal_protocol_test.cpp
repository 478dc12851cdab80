// The FD-9 terminal's wire readings: the discovery reply, the request texts,
// the reply checks with the "Date:" clock and the body, and the choice of a
// chart's result among the listed ones.
#include "drivers/konica/myiro9/fd9_terminal_protocol.h"

#include <gtest/gtest.h>

namespace measure::konica {
namespace {

TEST(Fd9TerminalProtocol, DiscoveryReplyNamesTheTextBetweenTheFirstTwoCommas) {
    std::string address;
    ASSERT_TRUE(parseDiscoveryReply("FD9TA,192.168.10.7,FD-9 Terminal,1.0", address));
    EXPECT_EQ(address, "192.168.10.7");
    ASSERT_TRUE(parseDiscoveryReply("x,terminal-3.local,", address));
    EXPECT_EQ(address, "terminal-3.local");

    address = "kept";
    for (const char* bad : {"FD9TA 192.168.10.7", "FD9TA,192.168.10.7", "FD9TA,,x", "a,192.168.0.1 ,b",
                            "a,host/evil,b", "a,192.168.0.1\r\n,b", ""})
        EXPECT_FALSE(parseDiscoveryReply(bad, address)) << bad;
    EXPECT_FALSE(parseDiscoveryReply("a," + std::string(254, 'h') + ",b", address));
    EXPECT_TRUE(parseDiscoveryReply("a," + std::string(253, 'h') + ",b", address));
    EXPECT_EQ(address.size(), 253u);
}

TEST(Fd9TerminalProtocol, RequestsAreTheTerminalsExactTexts) {
    EXPECT_EQ(versionRequest(), "GET /Version/index/ HTTP1.1\r\n\r\n");
    EXPECT_EQ(listRequest("ABCDE12345"),
              "GET /MeasureResultFile/index?vendorID=1001&uniqueData=ABCDE12345 HTTP1.1\r\n\r\n");
    EXPECT_EQ(downloadRequest("77-a"),
              "GET /MeasureResultFile/download?measureResultId=77-a HTTP1.1\r\n\r\n");
}

TEST(Fd9TerminalProtocol, ReplyResultIsTheLengthOnlyWith200Ok) {
    EXPECT_EQ(replyResult("HTTP/1.1 200 OK\r\n\r\nabc"), 22);
    EXPECT_EQ(replyResult("HTTP/1.1 404 Not Found\r\n\r\n"), -2);
    EXPECT_EQ(replyResult(""), -2);
    EXPECT_EQ(replyBody("HTTP/1.1 200 OK\r\nDate: x\r\n\r\n[1]"), "[1]");
    EXPECT_EQ(replyBody("HTTP/1.1 200 OK\nDate: x\n\n[2]"), "[2]");
    EXPECT_EQ(replyBody("HTTP/1.1 200 OK\r\nno end"), "");
}

TEST(Fd9TerminalProtocol, DateHeaderGivesTheTerminalsClock) {
    int64_t seconds = 0;
    ASSERT_TRUE(parseDateHeader("HTTP/1.1 200 OK\r\nDate: Sun, 06 Dec 2026 05:00:00 GMT\r\n\r\n{}", seconds));
    EXPECT_EQ(seconds, 1796533200);
    ASSERT_TRUE(parseDateHeader("HTTP/1.1 200 OK\r\nServer: a\r\nDate: Thu, 29 Feb 2024 23:59:59 UTC\r\n\r\n",
                                seconds));
    EXPECT_EQ(seconds, 1709251199);
    ASSERT_TRUE(parseDateHeader("HTTP/1.1 200 OK\r\nDate: Thu, 01 Jan 1970 00:00:00 GMT\r\n\r\n", seconds));
    EXPECT_EQ(seconds, 0);

    for (const char* bad : {
             "HTTP/1.1 200 OK\r\n\r\n",
             "HTTP/1.1 200 OK\r\nDate: Sunday, 06-Dec-26 05:00:00\r\n\r\n",
             "HTTP/1.1 200 OK\r\nDate: Sun, 31 Feb 2026 05:00:00 GMT\r\n\r\n",
             "HTTP/1.1 200 OK\r\nDate: Sun, 06 Dec 2026 25:00:00 GMT\r\n\r\n",
             "HTTP/1.1 200 OK\r\nDate: Sun, 06 Dex 2026 05:00:00 GMT\r\n\r\n",
             "HTTP/1.1 200 OK\r\nDate: Sun, 06 Dec 2026 05:00:00\r\n\r\n",
             "HTTP/1.1 200 OK\r\nDate: Sun, 06 Dec 2026 05:00:00 GMT+1\r\n\r\n",
             // A "Date:" in the body is not the header.
             "HTTP/1.1 200 OK\r\n\r\nDate: Sun, 06 Dec 2026 05:00:00 GMT\r\n",
             "HTTP/1.1 200 OK\r\nX-Date: Sun, 06 Dec 2026 05:00:00 GMT\r\n\r\n",
         })
        EXPECT_FALSE(parseDateHeader(bad, seconds)) << bad;
}

std::string listOf(const std::string& entries) {
    std::string out = "[";
    out += entries;
    out += ']';
    return out;
}

std::string entry(const char* dateTime, const char* id, const char* unique) {
    return std::string("{\"dateTime\": \"") + dateTime + "\", \"jobName\": \"j\", \"measureResultId\": \"" +
           id + "\", \"uniqueData\": \"" + unique + "\"}";
}

TEST(Fd9TerminalProtocol, TheNewestResultOfTheChartIsChosen) {
    std::string id, why;
    const std::string list = "[" + entry("2026-12-06 04:10:00", "old", "ABCDE12345") + "," +
                             entry("2026-12-06 04:30:00", "other", "ZZZZZ12345") + "," +
                             entry("2026-12-06 04:20:00", "new", "ABCDE12345") + "," +
                             entry("2026-12-06 04:15:00", "mid", "ABCDE12345") + "]";
    ASSERT_TRUE(chooseResult(list, "ABCDE12345", id, why)) << why;
    EXPECT_EQ(id, "new");

    // Entries lacking a member or with an unreadable time are passed over.
    const std::string partial =
        "[{\"dateTime\": \"2026-12-07 00:00:00\", \"measureResultId\": \"nojob\", "
        "\"uniqueData\": \"ABCDE12345\"}," +
        entry("2026-13-01 00:00:00", "badtime", "ABCDE12345") + "," +
        entry("2026-12-01 00:00:00", "good", "ABCDE12345") + ",7]";
    ASSERT_TRUE(chooseResult(partial, "ABCDE12345", id, why)) << why;
    EXPECT_EQ(id, "good");
}

TEST(Fd9TerminalProtocol, ListsWithoutAUsableResultAreRefused) {
    std::string id = "kept", why;
    EXPECT_FALSE(chooseResult("[]", "ABCDE12345", id, why));
    EXPECT_EQ(why, "no result for the chart");
    EXPECT_FALSE(chooseResult("{\"a\": 1}", "ABCDE12345", id, why));
    EXPECT_EQ(why, "result list is not a JSON list");
    EXPECT_FALSE(chooseResult("[{\"dateTime\": ", "ABCDE12345", id, why));
    EXPECT_FALSE(chooseResult(std::string(10000, '[') + std::string(10000, ']'), "ABCDE12345", id, why));
    EXPECT_FALSE(chooseResult(listOf(entry("2026-12-06 04:10:00", "x", "ABCDE1234")), "ABCDE12345", id, why));
    // Identifiers that would change the download request's line.
    for (const char* bad : {"a b", "a\\r\\nHost: x", "a&b=c", "", "a#b"}) {
        EXPECT_FALSE(
            chooseResult(listOf(entry("2026-12-06 04:10:00", bad, "ABCDE12345")), "ABCDE12345", id, why))
            << bad;
    }
    const std::string longId(129, 'r');
    EXPECT_FALSE(chooseResult(listOf(entry("2026-12-06 04:10:00", longId.c_str(), "ABCDE12345")),
                              "ABCDE12345", id, why));
    EXPECT_EQ(id, "kept");
}

TEST(Fd9TerminalProtocol, CgatsTextRunsFromItsMarkToTheEnd) {
    std::string_view text;
    ASSERT_TRUE(extractCgats("HTTP/1.1 200 OK\r\n\r\nCGATS.17\nNUMBER_OF_SETS 1\n", text));
    EXPECT_EQ(text, "CGATS.17\nNUMBER_OF_SETS 1\n");
    EXPECT_FALSE(extractCgats("HTTP/1.1 200 OK\r\n\r\nCGATS.5\n", text));
}

TEST(Fd9TerminalProtocol, DeviceListTextJoinsSerialTypeAndAddress) {
    const Fd9DeviceText devices[] = {{"12345678", 0, "192.168.0.9"}, {"87654321", 1, ""}};
    EXPECT_EQ(deviceListText(devices, 2), "2;12345678;0;192.168.0.9;87654321;1;");
    EXPECT_EQ(deviceListText(devices, 0), "0;");
}

}  // namespace
}  // namespace measure::konica
