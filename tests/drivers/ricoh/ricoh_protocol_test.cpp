// The Ricoh adjuster's protocol readings on their own: job bodies, the
// identifier, status replies, the chart definition and the poll limit.
#include <gtest/gtest.h>

#include "drivers/ricoh/ricoh_protocol.h"
#include "measure/measure.h"

namespace {

using namespace measure::ricoh;

// The bodies of the conditions and modes a host sets are checked end to end
// (the adjuster's journal); an unknown condition is measured as M0.
TEST(RicohProtocol, UnknownConditionsAreMeasuredAsM0) {
    EXPECT_EQ(jobBody(7, MEASURE_MODE_CIE_XYZ),
              R"({"lightingCondition": "M0","colorSpace": "XYZ","outputFormat": "IT8"})");
}

TEST(RicohProtocol, ParameterTextSplitsAtTheQuestionMark) {
    const ParameterText both = splitParameterText("C:/charts/a.xml?user:pa?ss");
    EXPECT_EQ(both.chartPath, "C:/charts/a.xml");
    EXPECT_EQ(both.authorization, "Basic user:pa?ss");
    const ParameterText none = splitParameterText("C:/charts/a.xml");
    EXPECT_EQ(none.chartPath, "");
    EXPECT_EQ(none.authorization, "");
    EXPECT_EQ(dottedAddress(0x0100007Fu), "127.0.0.1");  // network order on a little-endian machine
}

// The adjuster's own forms ("jobid", one character, a late or unterminated
// key, path characters) are met end to end; these are the rest.
TEST(RicohProtocol, IdentifiersAreTheTextBetweenTheQuotes) {
    std::string id, why;
    ASSERT_TRUE(extractJobId(R"({"jobId": "7Fa-9_x"})", id, why));
    EXPECT_EQ(id, "7Fa-9_x");
    EXPECT_FALSE(extractJobId(R"({"jobId": ""})", id, why));
    EXPECT_EQ(why, "jobId is empty or too long");
    EXPECT_FALSE(extractJobId("{\"jobId\": \"" + std::string(129, 'a') + "\"}", id, why));
    EXPECT_EQ(why, "jobId is empty or too long");
    EXPECT_FALSE(extractJobId(R"({"jobId":"tight"})", id, why));
    EXPECT_EQ(why, "jobId is not followed by a text");
    EXPECT_FALSE(extractJobId(R"({"jobId": 12})", id, why));
    EXPECT_EQ(why, "jobId is not followed by a text");
    for (const char* bad : {"a b", "a%2F"}) {
        EXPECT_FALSE(extractJobId(std::string(R"({"jobId": ")") + bad + "\"}", id, why)) << bad;
        EXPECT_EQ(id, "") << bad;
    }
}

TEST(RicohProtocol, StatusRepliesAreReadFromTheText) {
    DeviceStatus s = parseDeviceStatus(R"({"status": "READY", "serialId": "RACA-1"})");
    EXPECT_EQ(s.state, DeviceState::Ready);
    EXPECT_EQ(s.serialId, "RACA-1");
    s = parseDeviceStatus(R"({"status": "READY", "serialId": 12})");
    EXPECT_EQ(s.state, DeviceState::Ready);
    EXPECT_EQ(s.serialId, "");
    EXPECT_EQ(parseDeviceStatus(R"({"status": "SCANNING"})").state, DeviceState::Scanning);
    EXPECT_EQ(parseDeviceStatus(R"({"status": "OFFLINE"})").state, DeviceState::Unknown);

    // Malformed job replies are met end to end; a nesting too deep for any
    // reader is refused, not followed.
    std::string status, why;
    EXPECT_FALSE(parseJobStatus(std::string(100000, '['), status, why));
    EXPECT_EQ(why, "reply is not JSON");
}

TEST(RicohProtocol, ChartDefinitionsGiveTheirCountsAndThePollLimit) {
    ChartDefinition c;
    std::string why;
    ASSERT_TRUE(parseChartDefinition(R"(<D><Chart SheetCount="3" ChartPatchCount="1617"/></D>)", c, why));
    EXPECT_EQ(c.sheets, 3);
    EXPECT_EQ(c.patches, 1617);
    EXPECT_EQ(pollLimit(c.sheets), 70);
    EXPECT_EQ(pollLimit(kMaxSheets), kMaxSheets * 20 + 10);
    for (const char* bad :
         {R"(<D><Chart SheetCount="0" ChartPatchCount="5"/></D>)",
          R"(<D><Chart SheetCount="3 " ChartPatchCount="5"/></D>)",
          R"(<D><Chart SheetCount="10001" ChartPatchCount="5"/></D>)",
          R"(<D><Chart SheetCount="+3" ChartPatchCount="5"/></D>)", R"(<Chart SheetCount="3"/>)"}) {
        EXPECT_FALSE(parseChartDefinition(bad, c, why)) << bad;
        EXPECT_EQ(c.sheets, 3) << bad;  // left as it was
    }
}

}  // namespace
