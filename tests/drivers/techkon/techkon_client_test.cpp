// What the TECHKON protocol client keeps from the service's value replies,
// handed to it as its notification thread would, without a connection.
#include <gtest/gtest.h>

#include <string>

#include "drivers/techkon/techkon_client.h"
#include "drivers/techkon/techkon_protocol.h"

namespace measure::techkon {
namespace {

std::string values(const char* name, const std::string& list) {
    return buildMessage("GetValues", name, list);
}

std::string repeated(const std::string& value, size_t count) {
    std::string list;
    for (size_t i = 0; i < count; ++i) list += (i == 0 ? "" : "\t") + value;
    return list;
}

TEST(TechkonClientValues, WholeSamplesAreKeptInAnyCaseWithDecimalCommas) {
    clTechcon client;
    client.handleMessage(buildMessage("getvalues", "scansamplelab", "95,5\t0,25\t-1\r\n50\t60\t-70"));
    EXPECT_EQ(client.labValues(), (std::vector<Triple>{{95.5, 0.25, -1}, {50, 60, -70}}));
    client.handleMessage(values("SampleXYZ", "41.2\t42.5\t30"));
    EXPECT_EQ(client.xyzValues(), (std::vector<Triple>{{41.2, 42.5, 30}}));
    client.handleMessage(values("ScanSampleRemission", repeated("0.5", 62)));
    ASSERT_EQ(client.remissionValues().size(), 2u);
    EXPECT_DOUBLE_EQ(client.remissionValues()[1][30], 0.5);
}

TEST(TechkonClientValues, PartSamplesNonNumbersAndHugeListsAreRefusedWhole) {
    clTechcon client;
    client.handleMessage(values("ScanSampleLab", "1\t2\t3"));
    for (const std::string& bad :
         {std::string("1\t2\t3\t4"), std::string("1\t2\tn/a"), repeated("1", kMaxValues + 3)})
        client.handleMessage(values("ScanSampleLab", bad));
    EXPECT_EQ(client.labValues(), (std::vector<Triple>{{1, 2, 3}}));
    client.handleMessage(values("SampleRemission", repeated("0.5", 30)));
    EXPECT_TRUE(client.remissionValues().empty());
}

}  // namespace
}  // namespace measure::techkon
