// The TECHKON service's messages without a connection: building and reading
// messages, frames that hold several, value lists, property codes and events.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "color/spectral.h"
#include "drivers/techkon/techkon_protocol.h"
#include "support/test_environment.h"

namespace measure::techkon {
namespace {

TEST(TechkonMessage, IsBuiltLineByLineAndLeavesOutAnEmptyDataLine) {
    EXPECT_EQ(buildMessage("SetProperty", "Illuminant", "D50"),
              "BEGIN_MESSAGE\r\nTYPE: SetProperty\r\nNAME: Illuminant\r\nBEGIN_DATA\r\nD50\r\nEND_DATA\r\n"
              "END_MESSAGE\r\n");
    EXPECT_EQ(buildMessage("Disconnect", "", ""),
              "BEGIN_MESSAGE\r\nTYPE: Disconnect\r\nNAME: \r\nBEGIN_DATA\r\nEND_DATA\r\nEND_MESSAGE\r\n");
}

TEST(TechkonMessage, ReadsTypeNameAndDataAndNeedsBothTypeAndName) {
    const ParsedMessage m = parseMessage(buildMessage("GetValues", "ScanSampleLab", "1\t2\t3"));
    EXPECT_EQ(m.type, "GetValues");
    EXPECT_EQ(m.name, "ScanSampleLab");
    EXPECT_EQ(m.data, "1\t2\t3");
    EXPECT_TRUE(m.valid());

    const ParsedMessage empty = parseMessage(buildMessage("SetProperty", "Observer", ""));
    EXPECT_EQ(empty.data, "");
    EXPECT_TRUE(empty.valid());

    EXPECT_FALSE(parseMessage("BEGIN_MESSAGE\r\nBEGIN_DATA\r\n1\r\nEND_DATA\r\nEND_MESSAGE\r\n").valid());
    EXPECT_FALSE(parseMessage(buildMessage("Init", "", "TRUE")).valid());
    EXPECT_FALSE(parseMessage("BEGIN_MESSAGE\r\nTYPE: Init\r\nNAME: Init").valid());
}

TEST(TechkonMessage, AFrameIsCutAtEachBeginAndStraysAheadAreDropped) {
    const std::string first = buildMessage("SendMessage", "StartCalibration", "");
    const std::string second = buildMessage("SendMessage", "CalibrationPaper", "");
    const std::string frame = "noise" + first + second;
    const std::vector<std::string_view> pieces = splitMessages(frame);
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_EQ(pieces[0], first);
    EXPECT_EQ(pieces[1], second);
    EXPECT_TRUE(splitMessages("no message at all").empty());
}

TEST(TechkonValueList, ReadsTabsLineEndsAndDecimalCommas) {
    EXPECT_EQ(readValueList("1,5\t-2,25\r\n3\r\n"), (std::vector<double>{1.5, -2.25, 3.0}));
    EXPECT_EQ(readValueList(" 96.5 \t0.125"), (std::vector<double>{96.5, 0.125}));
    EXPECT_EQ(readValueList(""), std::vector<double>{});
}

TEST(TechkonValueList, IsRefusedWholeForANonNumberOrTooManyValues) {
    EXPECT_FALSE(readValueList("1\t2\tx\t4"));
    EXPECT_FALSE(readValueList("1.5.2"));
    EXPECT_FALSE(readValueList("1e999"));
    EXPECT_FALSE(readValueList("nan"));
    EXPECT_FALSE(readValueList("1\t2\t3\t4", 3));
    EXPECT_EQ(readValueList("1\t2\t3", 3)->size(), 3u);
}

TEST(TechkonProperties, TextsAndCodesFollowTheServiceTables) {
    EXPECT_STREQ(propertyText(Property::MeasurementMode, code::kModeScan), "Scan");
    EXPECT_STREQ(propertyText(Property::MeasurementMode, 99), "Remission");
    EXPECT_STREQ(propertyText(Property::Illuminant, 9), "D50");
    EXPECT_STREQ(propertyText(Property::PolarizationFilter, 7), "OFF");
    EXPECT_EQ(propertyCode(Property::MeasurementMode, "lab"), code::kModeLab);
    EXPECT_EQ(propertyCode(Property::MeasurementMode, "Remission"), 41);
    EXPECT_EQ(propertyCode(Property::MeasurementCondition, "m3"), 3);
    EXPECT_EQ(propertyCode(Property::Illuminant, "D65"), 3);
    EXPECT_EQ(propertyCode(Property::Illuminant, "F11"), 7);
    EXPECT_EQ(propertyCode(Property::DeviceType, "SPECTRODENS_ADVANCED"), 1);
    EXPECT_EQ(propertyCode(Property::WhiteReference, ""), 3);
    EXPECT_EQ(propertyNamed("POLARIZATIONFILTER"), Property::PolarizationFilter);
    EXPECT_FALSE(propertyNamed("SERIALNUMBER"));
}

TEST(TechkonEvents, NamesAndDataGiveTheCallbackCodes) {
    EXPECT_EQ(eventCode("ConnectionState", "TRUE"), event::kConnected);
    EXPECT_EQ(eventCode("CONNECTIONSTATE", "FALSE"), event::kDisconnected);
    EXPECT_EQ(eventCode("ConnectionState", "true"), event::kNone);
    EXPECT_EQ(eventCode("Measurement", "scansample"), event::kScanSample);
    EXPECT_EQ(eventCode("Measurement", "Sample"), event::kSpotSample);
    EXPECT_EQ(eventCode("LampError", ""), event::kLampError);
    EXPECT_EQ(eventCode("CalibrationAbsolute", ""), event::kCalibrationAbsolute);
    EXPECT_EQ(eventCode("ScanMeasurement", ""), event::kNone);
    EXPECT_EQ(eventCode("DeviceButtonPressed", ""), event::kNone);
}

TEST(ThirtyOneBands, FillTheGridFrom400To700AndLeaveTheEndsZero) {
    double bands[kBands400To700];
    for (int i = 0; i < kBands400To700; ++i) bands[i] = 0.01 * (i + 1);
    const Spectrum36 grid = placeBands400To700(bands);
    for (int i = 0; i < kGridBands; ++i) {
        const double want = i >= 2 && i <= 32 ? 0.01 * (i - 1) : 0.0;
        EXPECT_DOUBLE_EQ(grid[static_cast<size_t>(i)], want) << "band " << i;
    }
}

// The fuzz target starts from every message the service emulator sends; the
// seeds stay what their names say.
TEST(TechkonCorpus, EverySeedIsAMessageTheServiceSends) {
    const std::filesystem::path dir =
        std::filesystem::path(MEASURE_TEST_SOURCE_DIR) / "fuzz/corpus/techkon_message";
    const std::map<std::string, size_t> valueCounts = {{"spot_lab", 3},
                                                       {"spot_xyz", 3},
                                                       {"spot_remission", 31},
                                                       {"scan_lab", 15},
                                                       {"scan_xyz", 15},
                                                       {"scan_remission", 155},
                                                       {"scan_lab_comma_crlf", 15},
                                                       {"scan_remission_comma_crlf", 155},
                                                       {"scan_xyz_comma", 15}};
    int seeds = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        ++seeds;
        const std::string name = entry.path().filename().string();
        const std::string seed = measure::test::readFile(entry.path().string());
        const std::vector<std::string_view> messages = splitMessages(seed);
        ASSERT_FALSE(messages.empty()) << name;
        if (name == "endless_first") {
            // A frame that never ends, then the reply.
            ASSERT_EQ(messages.size(), 2u);
            EXPECT_EQ(messages[0].find("END_"), std::string_view::npos);
            EXPECT_EQ(parseMessage(messages[0]).data, "");
            EXPECT_EQ(parseMessage(messages[1]).data, "O10");
            continue;
        }
        if (name == "invalid_first") {
            ASSERT_EQ(messages.size(), 2u);
            EXPECT_FALSE(parseMessage(messages[0]).valid());
            EXPECT_TRUE(parseMessage(messages[1]).valid());
            continue;
        }
        for (std::string_view message : messages) EXPECT_TRUE(parseMessage(message).valid()) << name;
        if (const auto it = valueCounts.find(name); it != valueCounts.end()) {
            EXPECT_EQ(readValueList(parseMessage(messages[0]).data)->size(), it->second) << name;
        }
    }
    EXPECT_EQ(seeds, 34);
}

}  // namespace
}  // namespace measure::techkon
