// The Ethernet i1iSis's wire without sockets: requests, the discovery query
// and answers, job records and measurement data.
#include <gtest/gtest.h>

#include <cstring>

#include "drivers/xrite/isis2net/isis2net_protocol.h"
#include "xrite/isis2net/isis2net_emulator.h"

namespace measure::isis2net {
namespace {

TEST(Isis2NetProtocol, RequestCarriesLengthNumberMarkerCommandAndItems) {
    const std::vector<uint8_t> payload = PayloadWriter().text("EX").u8(7).u64(0x0102030405060708ull).bytes();
    const std::vector<uint8_t> request = buildRequest(0xBEEF, kCommandJobs, payload);
    const std::vector<uint8_t> expected = {27, 0, 0, 0, 0xEF, 0xBE, 128, 0, 0x00, 0x01, 0, 0,  // header
                                           2,  0, 0, 0, 'E',  'X',                             // text
                                           7,                                                  // u8
                                           8,  7, 6, 5, 4,    3,    2,   1};                   // u64
    EXPECT_EQ(request, expected);
}

TEST(Isis2NetProtocol, DiscoveryQueryIsTheFortyBytePtrQuestion) {
    const std::vector<uint8_t> query = buildDiscoveryQuery();
    ASSERT_EQ(query.size(), 40u);
    EXPECT_EQ(std::vector<uint8_t>(query.begin(), query.begin() + 12),
              (std::vector<uint8_t>{0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(std::string(query.begin() + 12, query.begin() + 36),
              std::string("\x0b_i1iSis2NET\x04_tcp\x05local\0", 24));
    EXPECT_EQ(std::vector<uint8_t>(query.begin() + 36, query.end()), (std::vector<uint8_t>{0, 12, 0, 1}));
}

// A DNS response: a question, a compressed PTR answer, TXT and A records.
std::vector<uint8_t> answerWithCompression(uint8_t flags) {
    std::vector<uint8_t> m = {0, 0, flags, 0, 0, 1, 0, 1, 0, 0, 0, 2};
    const std::vector<uint8_t> name = {5, 'i', 's', 'i', 's', 'x', 5, 'l', 'o', 'c', 'a', 'l', 0};
    m.insert(m.end(), name.begin(), name.end());  // question at 12
    m.insert(m.end(), {0, 12, 0, 1});
    m.insert(m.end(), {0xC0, 12, 0, 12, 0, 1, 0, 0, 0, 120, 0, 4});  // PTR: "f" and a pointer
    m.insert(m.end(), {1, 'f', 0xC0, 12});
    m.insert(m.end(), {0xC0, 12, 0, 16, 0, 1, 0, 0, 0, 120, 0, 8});  // TXT
    m.insert(m.end(), {3, 'a', '=', '1', 3, 'b', '=', '2'});
    m.insert(m.end(), {0xC0, 12, 0, 1, 0, 1, 0, 0, 0, 120, 0, 4, 10, 1, 2, 33});  // A
    return m;
}

TEST(Isis2NetProtocol, DiscoveryAnswerGivesTheAddressAndTheOtherRecordsTexts) {
    const std::vector<uint8_t> m = answerWithCompression(0x84);
    DiscoveredReader reader;
    ASSERT_TRUE(parseDiscoveryAnswer(m.data(), m.size(), reader));
    EXPECT_EQ(reader.address, "10.1.2.33");
    EXPECT_EQ(reader.texts, (std::vector<std::string>{"f.isisx.local", "a=1,b=2"}));
    // A query (flags 0), an answer cut short, a pointer loop: no reader.
    const std::vector<uint8_t> query = answerWithCompression(0);
    EXPECT_FALSE(parseDiscoveryAnswer(query.data(), query.size(), reader));
    for (size_t cut = 0; cut < m.size(); ++cut)
        EXPECT_FALSE(parseDiscoveryAnswer(m.data(), cut, reader)) << cut;
    std::vector<uint8_t> loop = m;
    loop[12] = 0xC0;
    loop[13] = 12;
    EXPECT_FALSE(parseDiscoveryAnswer(loop.data(), loop.size(), reader));
}

TEST(Isis2NetProtocol, ResponseHeaderLengthsOutsideTheHeaderAnd16MiBAreRefused) {
    uint8_t header[16] = {};
    ResponseHeader parsed;
    header[0] = 16;
    header[12] = 9;
    ASSERT_TRUE(parseResponseHeader(header, parsed));
    EXPECT_EQ(parsed.status, 9u);
    header[0] = 15;
    EXPECT_FALSE(parseResponseHeader(header, parsed));
    const uint32_t big = kLongestResponse + 1;
    std::memcpy(header, &big, 4);
    EXPECT_FALSE(parseResponseHeader(header, parsed));
}

TEST(Isis2NetProtocol, JobRecordsAreReadWhile38BytesRemain) {
    PayloadWriter w;
    w.text("0608CHART0000100000027").u64(39).u32(0);
    w.text("0608CHART0000100000028").u64(40).u32(3);
    w.u8(1).u8(2);  // trailing bytes of no record
    const auto records = parseJobRecords(w.bytes().data(), w.bytes().size());
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].id, "0608CHART0000100000027");
    EXPECT_EQ(records[1].counter, 40u);
    EXPECT_EQ(records[1].status, 3u);
}

TEST(Isis2NetProtocol, MeasurementDataTakesRowsAndColumnsFromTheJobIdAndSplitsThirds) {
    PayloadWriter w;
    w.text("0A0FCHART00001");
    for (int i = 0; i < 3 * 150 * 3; ++i) w.f32(static_cast<float>(i));
    MeasurementData data;
    ASSERT_EQ(parseMeasurementData(w.bytes().data(), w.bytes().size(), data), DataError::None);
    EXPECT_EQ(data.rows, 10);
    EXPECT_EQ(data.columns, 15);
    EXPECT_EQ(patchesInBlock(data, 3), 150u);
    float v[3];
    readPatch(data, 2, 1, 3, v);  // M2 block, second patch
    EXPECT_EQ(v[0], 903.0f);
    EXPECT_EQ(v[2], 905.0f);

    PayloadWriter shortValues;
    shortValues.text("0A0F");
    for (int i = 0; i < 8; ++i) shortValues.u8(0);
    EXPECT_EQ(parseMeasurementData(shortValues.bytes().data(), shortValues.bytes().size(), data),
              DataError::NotEnoughData);
    PayloadWriter badId;
    badId.text("ZZ");
    EXPECT_EQ(parseMeasurementData(badId.bytes().data(), badId.bytes().size(), data), DataError::JobIdSize);
    // A length running past the payload.
    const std::vector<uint8_t> cut = {40, 0, 0, 0, '0', 'A'};
    EXPECT_EQ(parseMeasurementData(cut.data(), cut.size(), data), DataError::JobIdSize);
}

}  // namespace
}  // namespace measure::isis2net
