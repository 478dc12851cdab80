// The SpectroScan wire protocol without threads: the scan rules of the
// answer parsers (checked against what the emulated instrument sends) and
// the fixed layouts. Commands on the wire and the corner arithmetic are
// checked end to end by the driver's tests.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "drivers/spectroscan/spectroscan_layout.h"
#include "drivers/spectroscan/spectroscan_protocol.h"
#include "spectroscan/spectroscan_table.h"
#include "support/test_environment.h"

namespace {

using namespace measure::spectroscan;
namespace emu = measure::emu::spectroscan;

TEST(SpectroScanProtocol, FieldScanningCountsLikeTheCLibrary) {
    int a = 0, b = 0;
    EXPECT_EQ(FieldScanner("").literal(':').blank().integer(a).result(), -1);
    EXPECT_EQ(FieldScanner(":").literal(':').blank().integer(a).result(), -1);
    EXPECT_EQ(FieldScanner("x 1").literal(':').blank().integer(a).result(), 0);
    EXPECT_EQ(FieldScanner(": 7 x").literal(':').blank().integer(a).blank().integer(b).result(), 1);
    EXPECT_EQ(a, 7);
    // Integers saturate instead of overflowing; signs are read.
    EXPECT_EQ(FieldScanner(" -99999999999999").integer(a).result(), 1);
    EXPECT_EQ(a, -2147483647);
    double r = 0;
    EXPECT_EQ(FieldScanner("+0.25e1").real(r).result(), 1);
    EXPECT_DOUBLE_EQ(r, 2.5);
    EXPECT_EQ(FieldScanner(".").real(r).result(), 0);
}

TEST(SpectroScanProtocol, ShortAndTableAnswersNeedTheirErrorFieldAndZero) {
    EXPECT_TRUE(shortAnswerOk(": 78 0\r\n"));
    EXPECT_FALSE(shortAnswerOk(": 78\r\n"));  // error field absent
    EXPECT_FALSE(shortAnswerOk(": 78 3\r\n"));
    EXPECT_FALSE(shortAnswerOk(""));
    EXPECT_TRUE(tableAnswerOk(": 209 18 0\r\n"));
    EXPECT_FALSE(tableAnswerOk(": 209 18\r\n"));
    EXPECT_FALSE(tableAnswerOk(": 209 0 2\r\n"));
    EXPECT_EQ(scanErrorType(": 209 0 2\r\n"), 2);
    EXPECT_EQ(scanErrorType(": 209 0\r\n"), -1);
    EXPECT_TRUE(whiteAnswerOk(": 35 19 0\r\n"));
    EXPECT_FALSE(whiteAnswerOk(": 35 0 21\r\n"));
    EXPECT_TRUE(keyPressed(": 209 36 3\r\n"));
    EXPECT_FALSE(keyPressed(": 209 36 2\r\n"));
    int x = -1, y = -1;
    digitizedPosition(": 209 21 1 0 1234 567\r\n", x, y);
    EXPECT_EQ(x, 1234);
    EXPECT_EQ(y, 567);
}

TEST(SpectroScanProtocol, DetectionWantsAColonAndSixIntegersAfterIt) {
    EXPECT_EQ(parseDetection("OK 1 2 3 4 5 6\r\n").result, Detection::Result::MissingColon);
    const Detection five = parseDetection("noise : 1 2 3 4 5\r\n");
    EXPECT_EQ(five.result, Detection::Result::WrongCount);
    EXPECT_EQ(five.count, 5);
    emu::Table table;
    EXPECT_EQ(parseDetection(table.handle("; 0\r\n")[0]).result, Detection::Result::Found);
}

TEST(SpectroScanProtocol, IdentityTextsReadAsOneNumberPerCharacter) {
    emu::Table table;
    HeadIdentity head;
    EXPECT_EQ(parseHeadIdentity(table.handle(command::kDeviceData)[0], head), "");
    EXPECT_EQ(head.name, "Spectrolino");
    EXPECT_EQ(head.article, "36.59.00");
    EXPECT_EQ(head.serialLow + head.serialHigh * 65536, 123456);
    EXPECT_EQ(head.release, "V 1.61 9.98");

    TableIdentity t;
    for (int k = 0; k < 5; ++k)
        EXPECT_EQ(parseTableIdentity(table.handle(command::kTableData[k])[0], k, t), "");
    EXPECT_EQ(t.name, "SpectroScan");
    EXPECT_EQ(t.serial, 204711);
    EXPECT_EQ(t.year, 1999);
    EXPECT_EQ(t.release, "V 1.41");

    EXPECT_EQ(parseHeadIdentity(": 183 1 2\r\n", head), "response!=182");
    EXPECT_EQ(parseTableIdentity(": 209 145 1 2\r\n", 2, t), "response!=146");
    EXPECT_EQ(parseTableIdentity(": 208 146\r\n", 2, t), "response!=209");
    EXPECT_EQ(parseHeadIdentity(":", head), "ScanInt");
    EXPECT_EQ(parseTableIdentity(": 209 147 3 4\r\n", 3, t), "ScanInt");
    // A text cut short ends with the answer.
    EXPECT_EQ(parseTableIdentity(": 209 144 65 66\r\n", 0, t), "");
    EXPECT_EQ(t.name, "AB");
}

TEST(SpectroScanProtocol, SpectralAnswersAreCheckedForCountAnswerFieldAndFlags) {
    emu::Table table;
    table.handle("; 177 1 1\r\n");
    const std::string answer = table.handle("; 208 7 850 450\r\n")[0];
    MeasurementData data;
    ASSERT_EQ(parseMeasurement(answer, Output::Spectral, data), "");
    const auto expected = emu::patchSpectrum(0);
    for (int b = 0; b < kBands; ++b) EXPECT_NEAR(data.spectrum[b], expected[b], 1e-5);

    std::string spectrum;
    for (int b = 0; b < kBands; ++b) spectrum += " 0.5";
    const auto answerWith = [&](const std::string& head, const std::string& tail) {
        return ": 209 7 0 : " + head + spectrum + " " + tail + "\r\n";
    };
    EXPECT_EQ(parseMeasurement(answerWith("16 1 1", "1 0"), Output::Spectral, data), "");
    EXPECT_EQ(parseMeasurement(answerWith("190 1 1", "1 0"), Output::Spectral, data),
              "sscanf fldFF=1 RemoteErrorSet=0");
    EXPECT_EQ(parseMeasurement(answerWith("16 1 1", "255 0"), Output::Spectral, data),
              "sscanf fldFF=255 RemoteErrorSet=0");
    EXPECT_EQ(parseMeasurement(answerWith("190 1 1", "255 4"), Output::Spectral, data),
              "sscanf fldFF=255 RemoteErrorSet=4");
    EXPECT_EQ(parseMeasurement(answerWith("17 1 1", "1 0"), Output::Spectral, data), "Invalid fldAnswer");
    EXPECT_EQ(parseMeasurement(answerWith("16 1 1", "1"), Output::Spectral, data), "sscanf 41!=40");
    EXPECT_EQ(parseMeasurement(": 209 7 3\r\n", Output::Spectral, data), "sscanf 41!=3");
    EXPECT_EQ(parseMeasurement("209 7 0\r\n", Output::Spectral, data), "missing colon");
}

TEST(SpectroScanProtocol, DensityAnswersPutTheVisualDensityFourth) {
    MeasurementData data;
    ASSERT_EQ(parseMeasurement(": 190 4 15 0.10 0 0 1.20 0 0 1.30 0 0 1.40 255 0\r\n", Output::Density, data),
              "");
    EXPECT_DOUBLE_EQ(data.densities[0], 1.20);
    EXPECT_DOUBLE_EQ(data.densities[1], 1.30);
    EXPECT_DOUBLE_EQ(data.densities[2], 1.40);
    EXPECT_DOUBLE_EQ(data.densities[3], 0.10);
    EXPECT_EQ(parseMeasurement(": 190 4 15 0.1 0 0 1.2 0 0 1.3 0 0 1.4 1 0\r\n", Output::Density, data),
              "sscanf 15 1 0");
    EXPECT_EQ(parseMeasurement(": 190 4 15 0.1 0 0 1.2\r\n", Output::Density, data), "sscanf 7 0 0");
}

TEST(SpectroScanProtocol, ModesChooseOutputChannelAndDensityStandard) {
    for (uint32_t mode : {0u, 3u, 4u}) {
        EXPECT_EQ(outputForMode(mode), Output::Spectral);
        EXPECT_EQ(outputChannelForMode(mode)->channel, 1);
        EXPECT_EQ(outputChannelForMode(mode)->parameter, 1);
    }
    for (uint32_t mode : {1u, 5u, 6u}) {
        EXPECT_EQ(outputForMode(mode), Output::Density);
        EXPECT_EQ(outputChannelForMode(mode)->channel, 4);
        EXPECT_EQ(outputChannelForMode(mode)->parameter, 15);
    }
    EXPECT_FALSE(outputForMode(2));
    EXPECT_FALSE(outputForMode(20));
    const int selectors[] = {2, 1, -1, 1, 1, 2, 3};
    for (uint32_t mode = 0; mode < 7; ++mode)
        EXPECT_EQ(densitySelectorForMode(mode).value_or(-1), selectors[mode]) << mode;
}

TEST(SpectroScanLayout, FixedLayoutsAndRounding) {
    EXPECT_FALSE(fixedLayout(100));
    const auto c15 = fixedLayout(15);
    ASSERT_TRUE(c15);
    EXPECT_EQ(c15->rows, 1);
    EXPECT_EQ(c15->patches, 15);
    EXPECT_EQ(c15->xStep, 70);
    EXPECT_EQ(c15->yStep, 140);
    EXPECT_EQ(c15->calibrationInterval, 1000);
    const auto c330 = fixedLayout(330);
    EXPECT_EQ(c330->rows, 15);
    EXPECT_EQ(c330->patches, 22);
    EXPECT_EQ(c330->calibrationInterval, 4);
    EXPECT_EQ(fixedLayout(52)->calibrationInterval, 1000);
    EXPECT_EQ(roundPosition(2.5), 3);
    EXPECT_EQ(roundPosition(2.49), 2);
    EXPECT_EQ(roundPosition(-1.2), 0);  // add 0.5, truncate
    EXPECT_EQ(roundPosition(1e300), 2147483647);
    EXPECT_EQ(roundPosition(std::nan("")), -2147483647 - 1);
}

// The fuzz target's seeds stay what their names say, so the fuzzer starts
// from every kind of answer the instrument gives.
TEST(SpectroScanCorpus, EverySeedParsesAsTheAnswerItStandsFor) {
    const std::string dir = std::string(MEASURE_TEST_SOURCE_DIR) + "/fuzz/corpus/spectroscan_answer/";
    const auto seed = [&](const char* name) { return measure::test::readFile(dir + name); };
    EXPECT_TRUE(shortAnswerOk(seed("short_answer")));
    EXPECT_EQ(scanErrorType(seed("table_scan_error")), 2);
    EXPECT_EQ(parseDetection(seed("detection")).result, Detection::Result::Found);
    HeadIdentity head;
    EXPECT_EQ(parseHeadIdentity(seed("head_identity"), head), "");
    EXPECT_EQ(head.name, "Spectrolino");
    EXPECT_EQ(head.serialLow + 65536 * head.serialHigh, 123456);
    TableIdentity table;
    EXPECT_EQ(parseTableIdentity(seed("table_production_date"), 3, table), "");
    EXPECT_EQ(table.year, 1999);
    MeasurementData data;
    EXPECT_EQ(parseMeasurement(seed("density_data"), Output::Density, data), "");
    EXPECT_EQ(parseMeasurement(seed("spectral_data"), Output::Spectral, data), "");
    EXPECT_EQ(parseMeasurement(seed("spectral_cut_short"), Output::Spectral, data), "sscanf 41!=5");
    EXPECT_EQ(parseMeasurement(seed("no_colon"), Output::Spectral, data), "missing colon");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator{}),
              9);
}

}  // namespace
