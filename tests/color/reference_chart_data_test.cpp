// Reference chart data: patch device values from a chart's IT8 companion
// file, and where the display colour conversion looks for its CMYK profile.
#include "color/reference_chart_data.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/paths.h"
#include "support/test_environment.h"

namespace measure {
namespace {

struct Parsed {
    int result;
    int kind;
    int send;
    DeviceNInkTable inks;
    std::vector<RefPatch> slots;
};

Parsed parse(const std::string& text, int patches) {
    Parsed p{};
    p.slots.assign(static_cast<size_t>(patches) + 2, RefPatch{});
    p.result = parseCMYKRefData(text, p.slots.data(), patches, p.kind, p.send, p.inks);
    return p;
}

std::string it8(const std::string& header, const std::string& fields, const std::vector<std::string>& rows) {
    std::string text = header + "NUMBER_OF_SETS " + std::to_string(rows.size()) + "\rBEGIN_DATA_FORMAT\r" +
                       fields + "\rEND_DATA_FORMAT\rBEGIN_DATA\r";
    for (const auto& row : rows) text += row + "\r";
    return text + "END_DATA\r";
}

TEST(RefChartData, TheFieldListDecidesKindAndFirstColumn) {
    Parsed p = parse(it8("", "SAMPLE_ID 8CLR_1 8CLR_2 8CLR_3 8CLR_4 8CLR_5 8CLR_6 8CLR_7 8CLR_8",
                         {"A1 1 2 3 4 5 6 7 8 tail", "A2 10 20 30 40 50 60 70 80"}),
                     2);
    ASSERT_EQ(p.result, 0);
    EXPECT_EQ(p.kind, 8);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(p.slots[1].v[i], 10.0 * (i + 1));

    p = parse(it8("", "SAMPLE_ID SAMPLE_NAME dRGB", {"1 A1 #FF8000", "2 A2 #0a0B0c"}), 2);
    ASSERT_EQ(p.result, 0);
    EXPECT_EQ(p.kind, kRefDataRGB);
    EXPECT_EQ(p.slots[0].v[0], 255.0);
    EXPECT_EQ(p.slots[0].v[1], 128.0);
    EXPECT_EQ(p.slots[0].v[2], 0.0);
    EXPECT_EQ(p.slots[1].v[2], 12.0);

    p = parse(it8("", "SAMPLE_ID CMYK_C CMYK_M CMYK_Y CMYK_K", {"1 10 20,5 30 40"}), 1);
    ASSERT_EQ(p.result, 0);
    EXPECT_EQ(p.kind, kRefDataCMYK);
    EXPECT_EQ(p.slots[0].v[3], 40.0);

    p = parse(it8("", "SAMPLE_ID RGB_R RGB_G RGB_B", {"1 255 128 0"}), 1);
    ASSERT_EQ(p.result, 0);
    EXPECT_EQ(p.kind, kRefDataRGB);
    EXPECT_EQ(p.slots[0].v[1], 128.0);

    p = parse(it8("", "SAMPLE_ID PC6_1 PC6_2 PC6_3 PC6_4 PC6_5 PC6_6", {"1 1 2 3 4 5 6"}), 1);
    ASSERT_EQ(p.result, 0);
    EXPECT_EQ(p.kind, 6);
    EXPECT_EQ(p.slots[0].v[5], 6.0);
    EXPECT_EQ(p.slots[0].v[6], 0.0);

    // Nine process channels fill the eight values of the slot and no more.
    p = parse(it8("", "PC9_1 PC9_2 PC9_3 PC9_4 PC9_5 PC9_6 PC9_7 PC9_8 PC9_9",
                  {"1 2 3 4 5 6 7 8 9", "1 1 1 1 1 1 1 1 1"}),
              2);
    ASSERT_EQ(p.result, 0);
    EXPECT_EQ(p.slots[0].v[7], 8.0);
    EXPECT_EQ(p.slots[1].v[0], 1.0);
}

TEST(RefChartData, ShortOrMalformedTablesAreRefused) {
    const std::string fields = "SAMPLE_ID CMYK_C CMYK_M CMYK_Y CMYK_K";
    EXPECT_EQ(parse(it8("", fields, {"1 0 0 0 0", "2 0 0 0 0"}), 3).result, -1);  // one patch fewer
    EXPECT_EQ(parse(it8("", fields, {"1 0 0 0 0", "2 0 0 0"}), 2).result, -1);    // a value missing
    EXPECT_EQ(parse(it8("", "SAMPLE_ID dRGB", {"1 #FF80"}), 1).result, -1);
    EXPECT_EQ(parse(it8("", "SAMPLE_ID LAB_L LAB_A LAB_B", {"1 50 0 0"}), 1).result, -1);  // no device values
    EXPECT_EQ(parse(it8("", "9CLR_1 9CLR_2", {"1 2"}), 1).result, -1);
    EXPECT_EQ(parse("NUMBER_OF_SETS 1\r", 1).result, -1);
    // More rows than expected: the expected ones are read.
    EXPECT_EQ(parse(it8("", fields, {"1 0 0 0 0", "2 0 0 0 0"}), 1).result, 0);
}

TEST(RefChartData, InksAndTheSendFlagComeFromTheHeader) {
    const std::string header =
        "DEVICEN_CMYK_CLR_1 \"100 0 0 0\"\n"
        "DEVICEN_CMYK_CLR_5 \"0 60.4 100 0 Orange\"\n"
        "DEVICEN_CMYK_CLR_6 10 20 30 40\n"
        "DEVICEN_CMYK_CLR_8 1 1 1 1\n"
        "KEYWORD \"SEND_PATCHCOLOR_DATA_TO_DEVICE\"\n"
        "SEND_PATCHCOLOR_DATA_TO_DEVICE \"0\"\n";
    Parsed p = parse(it8(header, "SAMPLE_ID CMYK_C CMYK_M CMYK_Y CMYK_K", {"1 0 0 0 0"}), 1);
    ASSERT_EQ(p.result, 0);
    EXPECT_EQ(p.send, 0);
    EXPECT_EQ(p.inks.cmyk[0], (std::array<int32_t, 4>{0, 60, 100, 0}));
    EXPECT_EQ(p.inks.cmyk[1], (std::array<int32_t, 4>{10, 20, 30, 40}));
    EXPECT_EQ(p.inks.cmyk[2][0], DeviceNInkTable::kUnknownInk);  // 7 is missing, so 8 is not taken
    EXPECT_EQ(
        parse(it8("SEND_PATCHCOLOR_DATA_TO_DEVICE 1\n", "CMYK_C CMYK_M CMYK_Y CMYK_K", {"0 0 0 0"}), 1).send,
        1);
    EXPECT_EQ(
        parse(it8("KEYWORD SEND_PATCHCOLOR_DATA_TO_DEVICE 0\n", "CMYK_C CMYK_M CMYK_Y CMYK_K", {"0 0 0 0"}),
              1)
            .send,
        0);
    EXPECT_EQ(parse(it8("", "CMYK_C CMYK_M CMYK_Y CMYK_K", {"0 0 0 0"}), 1).send, 1);
}

TEST(RefChartData, ReadsTheIt8FileBesideTheChart) {
    test::TempDir dir;
    std::ofstream(dir.file("chart.it8"), std::ios::binary)
        << it8("", "SAMPLE_ID CMYK_C CMYK_M CMYK_Y CMYK_K", {"1 0 0 0 100\r\n", "2 100 0 0 0"});
    std::vector<RefPatch> slots(4);
    int kind = 0, send = 0;
    DeviceNInkTable inks;
    EXPECT_EQ(getCMYKRefData(dir.file("chart.txt").c_str(), slots.data(), 2, &kind, &send, &inks), 0);
    EXPECT_EQ(kind, kRefDataCMYK);
    EXPECT_EQ(send, 1);
    EXPECT_EQ(slots[0].v[3], 100.0);
    EXPECT_EQ(slots[1].v[0], 100.0);
    EXPECT_EQ(getCMYKRefData(dir.file("other.txt").c_str(), slots.data(), 2, &kind, &send, &inks), -1);

    test::LogCapture log;
    EXPECT_EQ(getCMYKRefData(nullptr, slots.data(), 2, &kind, &send, &inks), -1);
    EXPECT_TRUE(log.contains("getCMYKRefData: getCMYKRefData Error Opening target file NULL")) << log.text();
}

TEST(DisplayColours, TheProfileIsLookedForBesideTheLibrary) {
    const std::filesystem::path path = inputProfilePath();
    EXPECT_EQ(path.filename(), "InputCMYK.icc");
    EXPECT_EQ(path.parent_path().filename(), "Resources");
    EXPECT_EQ(path.parent_path().parent_path(), std::filesystem::path(platform::moduleFolder())) << path;
}

}  // namespace
}  // namespace measure
