// Reading CGATS chart measurement files.
#include "color/cgats_chart_reader.h"

#include <gtest/gtest.h>

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "color/chart_text.h"
#include "support/test_environment.h"

namespace measure {
namespace {

// Reads `text` and returns 0 or the thrown error value.
int readCode(CgatsChartReader& reader, const std::string& text) {
    try {
        return reader.ReadFromMemory(text, "chart.txt");
    } catch (eColorCtrlErrors e) {
        return e;
    }
}

int readCode(const std::string& text) {
    CgatsChartReader reader;
    return readCode(reader, text);
}

const char* const kLabChart =
    "CGATS.17\n"
    "ORIGINATOR \"Measure Test\"\n"
    "TARGET_ID \"MyChart\"\n"
    "NUMBER_OF_FIELDS 4\n"
    "BEGIN_DATA_FORMAT\n"
    "SAMPLE_NAME LAB_L LAB_A LAB_B\n"
    "END_DATA_FORMAT\n"
    "NUMBER_OF_SETS 3\n"
    "BEGIN_DATA\n"
    "A1 95.5 -0.5 2.25\n"
    "A2 50 60 -40\n"
    "A3 104 -130 130\n"
    "END_DATA\n";

std::string replaceAll(const std::string& text, const std::string& from, const std::string& to) {
    std::string out;
    size_t done = 0;
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, done)) {
        out.append(text, done, at - done).append(to);
        done = at + from.size();
    }
    return out.append(text, done, std::string::npos);
}

std::string spectralChart(const std::string& prefix, bool descending, double value) {
    std::string fields = "SAMPLE_ID";
    for (int i = 0; i < 36; ++i) {
        const int nm = descending ? 730 - 10 * i : 380 + 10 * i;
        fields += ' ';
        fields += prefix;
        fields += std::to_string(nm);
    }
    std::string row1 = "1", row2 = "2";
    for (int i = 0; i < 36; ++i) {
        const int nm = descending ? 730 - 10 * i : 380 + 10 * i;
        row1 += ' ';
        row1 += std::to_string(value * (nm - 370) / 360.0);
        row2 += " -";  // negative noise reads as its magnitude
        row2 += std::to_string(value * 0.5);
    }
    std::string text = "NUMBER_OF_SETS 2\nBEGIN_DATA_FORMAT\n";
    for (const std::string* part : {&fields, &row1, &row2}) {
        text += *part;
        text += part == &fields ? "\nEND_DATA_FORMAT\nBEGIN_DATA\n" : "\n";
    }
    return text + "END_DATA\n";
}

TEST(CgatsChartReader, ReadsLabPatchesWithClampingAndItsErrorCodes) {
    CgatsChartReader reader;
    ASSERT_EQ(readCode(reader, kLabChart), 0);
    EXPECT_EQ(reader.GetPatchCount(), 3);
    EXPECT_EQ(reader.HasData(kCgatsLab), 1);
    EXPECT_EQ(reader.HasData(kCgatsXYZ), 0);
    EXPECT_DOUBLE_EQ(reader.GetLab(0, 0), 95.5);
    EXPECT_DOUBLE_EQ(reader.GetLab(0, 1), -0.5);
    EXPECT_DOUBLE_EQ(reader.GetLab(0, 2), 2.25);
    EXPECT_DOUBLE_EQ(reader.GetLab(2, 0), 100.0);
    EXPECT_DOUBLE_EQ(reader.GetLab(2, 1), -128.0);
    EXPECT_DOUBLE_EQ(reader.GetLab(2, 2), 127.0);
    EXPECT_DOUBLE_EQ(reader.GetLab(3, 0), -1.0);
    EXPECT_DOUBLE_EQ(reader.GetLab(-1, 0), -1.0);
    EXPECT_DOUBLE_EQ(reader.GetLab(0, 3), -2.0);
    EXPECT_DOUBLE_EQ(reader.GetXYZ(0, 0), -255.0);
    EXPECT_DOUBLE_EQ(reader.GetXYZ(0, -1), -2.0);
    EXPECT_EQ(reader.TargetId(), "MyChart");
    EXPECT_STREQ(reader.Cell(1, reader.SampleNameColumn()), "A2");
}

TEST(CgatsChartReader, KeywordsAndFieldsAreCaseInsensitiveButQuotedTextKeepsItsCase) {
    const std::string lower =
        "target_id \"MyChart\"\n"
        "begin_data_format\n"
        "sample_name lab_l lab_a lab_b\n"
        "end_data_format\n"
        "number_of_sets 2\n"
        "begin_data\n"
        "\"a1 Paper\" 95.5 -0.5 2.25\n"
        "a2 50 60 -40\n"
        "end_data\n";
    CgatsChartReader reader;
    ASSERT_EQ(readCode(reader, lower), 0);
    EXPECT_EQ(reader.GetPatchCount(), 2);
    EXPECT_EQ(reader.HasData(kCgatsLab), 1);
    EXPECT_EQ(reader.TargetId(), "MyChart");
    EXPECT_STREQ(reader.Cell(0, 0), "a1 Paper");
    EXPECT_STREQ(reader.Cell(1, 0), "A2");
    EXPECT_DOUBLE_EQ(reader.GetLab(1, 1), 60.0);
    EXPECT_EQ(reader.FieldColumn("LAB_B"), 3);
}

TEST(CgatsChartReader, DecimalCommasAndEveryLineEndReadTheSame) {
    const std::string lf = replaceAll(kLabChart, "95.5", "95,5");
    for (const std::string& text :
         {lf, replaceAll(lf, "\n", "\r\n"), replaceAll(lf, "\n", "\r"), replaceAll(lf, "\n", "\n\n\r\n")}) {
        CgatsChartReader reader;
        ASSERT_EQ(readCode(reader, text), 0);
        EXPECT_EQ(reader.GetPatchCount(), 3);
        EXPECT_DOUBLE_EQ(reader.GetLab(0, 0), 95.5);
        EXPECT_DOUBLE_EQ(reader.GetLab(1, 2), -40.0);
        EXPECT_DOUBLE_EQ(reader.GetLab(2, 0), 100.0);
    }
}

TEST(CgatsChartReader, SpectralFieldsGiveLayoutScaleAndAscendingOrder) {
    struct Case {
        std::string prefix;
        bool descending;
        double fileScale;  // how values are written
        double expectedScale;
    };
    for (const Case& c : {Case{"SPECTRAL_NM_", false, 100.0, 100.0}, Case{"SPECTRAL_", false, 1.0, 1.0},
                          Case{"SPECTRAL_NM_", true, 100.0, 100.0}, Case{"nm", true, 1.0, 1.0},
                          Case{"SPECTRAL_NM", false, 1.0, 1.0}}) {
        SCOPED_TRACE(c.prefix + (c.descending ? " descending" : ""));
        CgatsChartReader reader;
        ASSERT_EQ(readCode(reader, spectralChart(c.prefix, c.descending, c.fileScale)), 0);
        EXPECT_EQ(reader.HasData(kCgatsSpectral), 1);
        EXPECT_EQ(reader.SpectralScale(), c.expectedScale);
        int start = 0, step = 0, count = 0;
        reader.GetSpectralLayout(start, step, count);
        EXPECT_EQ(start, 380);
        EXPECT_EQ(step, 10);
        EXPECT_EQ(count, 36);
        std::vector<double> s(36);
        reader.GetSpectrum(0, s.data());
        for (int i = 0; i < 36; ++i) EXPECT_NEAR(s[i], (10.0 + 10 * i) / 360.0, 1e-6) << i;
        reader.GetSpectrum(1, s.data());
        for (double v : s) EXPECT_NEAR(v, 0.5, 1e-6);
    }
}

TEST(CgatsChartReader, OneSpectralFieldHasStepTenButIsNotASpectrum) {
    CgatsChartReader reader;
    ASSERT_EQ(readCode(reader,
                       "NUMBER_OF_SETS 1\nBEGIN_DATA_FORMAT\nSAMPLE_ID SPECTRAL_NM_550\nEND_DATA_FORMAT\n"
                       "BEGIN_DATA\n1 42\nEND_DATA\n"),
              0);
    int start = 0, step = 0, count = 0;
    reader.GetSpectralLayout(start, step, count);
    EXPECT_EQ(start, 550);
    EXPECT_EQ(step, 10);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(reader.HasData(kCgatsSpectral), 0);
    double v = 0;
    reader.GetSpectrum(0, &v);
    EXPECT_DOUBLE_EQ(v, 0.42);
}

TEST(CgatsChartReader, ChannelFieldsFillTheirNumberedSlots) {
    CgatsChartReader reader;
    ASSERT_EQ(
        readCode(reader,
                 "NUMBER_OF_SETS 1\nBEGIN_DATA_FORMAT\n"
                 "CMYK_C CMYK_M CMYK_Y CMYK_K 8CLR_3 CLR_12 5CLR_1 PC6_2 PC6_14 D_RED D_GREEN D_BLUE D_VIS "
                 "RGB_R RGB_G RGB_B XYZ_X XYZ_Y XYZ_Z DRGB\n"
                 "END_DATA_FORMAT\nBEGIN_DATA\n"
                 "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 #FF8000\n  \t \nEND_DATA\n"),
        0);
    EXPECT_EQ(reader.ChannelColumn(3), 4);
    EXPECT_EQ(reader.ChannelColumn(12), 5);
    EXPECT_EQ(reader.ChannelColumn(1), 6);
    EXPECT_EQ(reader.ChannelColumn(2), 1);
    EXPECT_EQ(reader.ProcessChannelColumn(2), 7);
    EXPECT_EQ(reader.ProcessChannelColumn(14), 8);
    EXPECT_EQ(reader.CmykColumn(3), 3);
    EXPECT_EQ(reader.RgbDensityColumn(), 19);
    for (int type : {kCgatsXYZ, kCgatsRGB, kCgatsCMYK, kCgatsDensities})
        EXPECT_EQ(reader.HasData(type), 1) << type;
    EXPECT_EQ(reader.HasData(kCgatsLab), 0);
    EXPECT_EQ(reader.HasData(7), 0);
    EXPECT_DOUBLE_EQ(reader.GetXYZ(0, 2), 19.0);
}

TEST(CgatsChartReader, SixAndSevenColourChartsAreToldApart) {
    const std::string six =
        "NUMBER_OF_SETS 1\nBEGIN_DATA_FORMAT\n6CLR_1 6CLR_2 6CLR_3 6CLR_4 6CLR_5 6CLR_6\n"
        "END_DATA_FORMAT\nBEGIN_DATA\n1 2 3 4 5 6\nEND_DATA\n";
    CgatsChartReader reader;
    ASSERT_EQ(readCode(reader, six), 0);
    EXPECT_EQ(reader.HasData(kCgatsSixColor), 1);
    EXPECT_EQ(reader.HasData(kCgatsSevenColor), 0);
    ASSERT_EQ(readCode(reader,
                       "NUMBER_OF_SETS 1\nBEGIN_DATA_FORMAT\nCMYK_C CMYK_M CMYK_Y CMYK_K RED GREEN BLUE\n"
                       "END_DATA_FORMAT\nBEGIN_DATA\n1 2 3 4 5 6 7\nEND_DATA\n"),
              0);
    EXPECT_EQ(reader.HasData(kCgatsSixColor), 0);
    EXPECT_EQ(reader.HasData(kCgatsSevenColor), 1);
    EXPECT_EQ(reader.ChannelColumn(5), 4);
    EXPECT_EQ(reader.ChannelColumn(7), 6);
}

TEST(CgatsChartReader, EveryMalformedFileHasItsOwnErrorValue) {
    const std::string format = "BEGIN_DATA_FORMAT\nSAMPLE_ID LAB_L LAB_A LAB_B\nEND_DATA_FORMAT\n";
    const std::string rows = "1 50 0 0\n2 60 1 1\n3 70 2 2\n";
    struct Case {
        const char* what;
        std::string text;
        int code;
    };
    const Case cases[] = {
        {"well formed", "NUMBER_OF_SETS 3\n" + format + "BEGIN_DATA\n" + rows + "END_DATA\n", 0},
        {"zero sets", "NUMBER_OF_SETS 0\n" + format + "BEGIN_DATA\n" + rows + "END_DATA\n",
         kCgatsNoNumberOfSets},
        {"negative sets", "NUMBER_OF_SETS -3\n" + format + "BEGIN_DATA\nEND_DATA\n", kCgatsNoNumberOfSets},
        {"no sets line", format + "BEGIN_DATA\n" + rows + "END_DATA\n", kCgatsNoNumberOfSets},
        {"empty format", "NUMBER_OF_SETS 3\nBEGIN_DATA_FORMAT\nEND_DATA_FORMAT\nBEGIN_DATA\n",
         kCgatsBadDataFormat},
        {"format at the end", "NUMBER_OF_SETS 3\nBEGIN_DATA_FORMAT\n", kCgatsBadDataFormat},
        {"no format", "NUMBER_OF_SETS 3\nBEGIN_DATA\n" + rows + "END_DATA\n", kCgatsBadDataFormat},
        {"no BEGIN_DATA", "NUMBER_OF_SETS 3\n" + format, kCgatsNoBeginData},
        {"unclosed block", "BEGIN_TARGET_FORMAT\nNUMBER_OF_SETS 3\n" + format + "BEGIN_DATA\n",
         kCgatsNoBeginData},
        {"ends in table", "NUMBER_OF_SETS 3\n" + format + "BEGIN_DATA\n1 50 0 0\n2 60 1 1\n",
         kCgatsEndsInData},
        {"no END_DATA", "NUMBER_OF_SETS 3\n" + format + "BEGIN_DATA\n" + rows, kCgatsEndsInData},
        {"early END_DATA", "NUMBER_OF_SETS 3\n" + format + "BEGIN_DATA\n1 50 0 0\n2 60 1 1\nEND_DATA\n",
         kCgatsEarlyEndData},
        {"value missing",
         "NUMBER_OF_SETS 3\n" + format + "BEGIN_DATA\n1 50 0 0\n2 60 1\n3 70 2 2\nEND_DATA\n",
         kCgatsRowValueCount},
        {"value too many",
         "NUMBER_OF_SETS 3\n" + format + "BEGIN_DATA\n1 50 0 0 9\n2 60 1 1\n3 70 2 2\nEND_DATA\n",
         kCgatsRowValueCount},
        {"row too many", "NUMBER_OF_SETS 3\n" + format + "BEGIN_DATA\n" + rows + "4 80 3 3\nEND_DATA\n",
         kCgatsNoEndData},
    };
    for (const Case& c : cases) EXPECT_EQ(readCode(c.text), c.code) << c.what;

    CgatsChartReader reader;
    ASSERT_EQ(readCode(reader, cases[0].text), 0);
    double s[36];
    int start, step, count;
    EXPECT_THROW(reader.GetSpectralLayout(start, step, count), eColorCtrlErrors);
    try {
        reader.GetSpectrum(0, s);
        ADD_FAILURE();
    } catch (eColorCtrlErrors e) {
        EXPECT_EQ(e, kCgatsNoSpectralData);
    }
    ASSERT_EQ(readCode(reader, spectralChart("SPECTRAL_NM_", false, 100)), 0);
    for (int patch : {-1, 2}) {
        try {
            reader.GetSpectrum(patch, s);
            ADD_FAILURE();
        } catch (eColorCtrlErrors e) {
            EXPECT_EQ(e, kCgatsPatchOutOfRange);
        }
    }
    try {
        reader.Read("/nonexistent/chart.txt");
        ADD_FAILURE();
    } catch (eColorCtrlErrors e) {
        EXPECT_EQ(e, kCgatsCannotOpen);
    }
}

TEST(CgatsChartReader, AnAbsurdPatchCountFailsAtTheEndOfTheFileWithoutAllocatingForIt) {
    const std::string text =
        "NUMBER_OF_SETS 2147483647\nBEGIN_DATA_FORMAT\nSAMPLE_ID LAB_L LAB_A LAB_B\nEND_DATA_FORMAT\n"
        "BEGIN_DATA\n1 50 0 0\n";
    const auto begin = std::chrono::steady_clock::now();
    CgatsChartReader reader;
    EXPECT_EQ(readCode(reader, text), kCgatsEndsInData);
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(5));
    // What was read before the error stays readable; nothing beyond it.
    EXPECT_EQ(reader.RowCount(), 1);
    EXPECT_DOUBLE_EQ(reader.GetLab(0, 0), 50.0);
    EXPECT_DOUBLE_EQ(reader.GetLab(1, 0), -1.0);
    EXPECT_EQ(readCode(reader, "NUMBER_OF_SETS 99999999999999999999\n"), kCgatsNoBeginData);
    EXPECT_EQ(reader.GetPatchCount(), 2147483647);
}

TEST(CgatsChartReader, ErrorsAreLoggedWithTheFileAndLine) {
    test::LogCapture capture;
    EXPECT_EQ(readCode("NUMBER_OF_SETS 2\r\nBEGIN_DATA_FORMAT\r\nA B\r\nEND_DATA_FORMAT\r\nBEGIN_DATA\r\n"
                       "1 2\r\n\r\n3\r\nEND_DATA\r\n"),
              kCgatsRowValueCount);
    const std::string log = capture.text();
    EXPECT_NE(log.find("CgatsChartReader::Read: chart.txt: line 8: row has 1 values for 2 fields (-2364)"),
              std::string::npos)
        << log;
}

TEST(CgatsChartReader, HeaderValuesAreKept) {
    const std::string text =
        "PROOFJOB \"Job 12 \"\n"
        "KEYWORD \"SPOT_1 'Pantone 185 C'\"\n"
        "SPOT_ID \"7 'Reflex Blue'\"\n"
        "SPOT_ID 8 'No quote'\n"
        "DEVICEN_CMYK_CLR_5 \"0 60.4 100 0 LIGHT#20grey\"\n"
        "DEVICEN_CMYK_CLR_6 10 20 30 40 Orange\n"
        "DEVICEN_CMYK_CLR_17 1 2 3 4 Ignored\n"
        "PROCESSCOLOR_ID \"PC 2 Magenta\"\n"
        "PROCESSCOLOR_ID PC 3 Yellow\n"
        "TARGET \"Chart A\" 2\n"
        "LAYOUT_ID L7\n"
        "VANTUPRN_OUTPUTCOLORMODE cmyk\n"
        "NUMBER_OF_COLS 12\n"
        "MEASURE_ORIENTATION\n"
        "BEGIN_REPORTING_FORMAT\nNUMBER_OF_STRIPS 99\nEND_REPORTING_FORMAT\n"
        "BEGIN_SPOTCOLOR_FORMAT\nSPOT_ID NAME\n"
        "SEND_PATCHCOLOR_DATA_TO_DEVICE \"0\"\n"
        "NUMBER_OF_SETS 1\nBEGIN_DATA_FORMAT\nLAB_L LAB_A LAB_B\nEND_DATA_FORMAT\nBEGIN_DATA\n1 2 "
        "3\nEND_DATA\n";
    CgatsChartReader reader;
    ASSERT_EQ(readCode(reader, text), 0);
    EXPECT_TRUE(reader.IsProofJob());
    EXPECT_EQ(reader.ProofJobText(), "Job 12 ");
    ASSERT_EQ(reader.SpotKeys().size(), 2u);
    EXPECT_EQ(reader.SpotKeys()[0], "SPOT_1");
    EXPECT_EQ(reader.SpotNames()[0], "Pantone 185 C");
    EXPECT_EQ(reader.SpotKeys()[1], "SPOT_7");
    EXPECT_EQ(reader.SpotNames()[1], "Reflex Blue");
    const auto& e = reader.ColorEntries();
    EXPECT_EQ(e[4].cmyk, (std::array<int32_t, 4>{0, 60, 100, 0}));
    EXPECT_EQ(e[4].name, "Light#20Grey");
    EXPECT_EQ(e[5].cmyk, (std::array<int32_t, 4>{10, 20, 30, 40}));
    EXPECT_EQ(e[5].name, "Orange");
    EXPECT_EQ(e[1].name, "Magenta");
    EXPECT_EQ(e[2].name, "YELLOW");
    EXPECT_EQ(e[0].cmyk[0], -1);
    EXPECT_EQ(reader.Target(), " \"Chart A\" 2");
    EXPECT_EQ(reader.LayoutId(), "L7");
    EXPECT_EQ(reader.OutputColorMode(), "CMYK");
    EXPECT_EQ(reader.IntegerKeyword(kNumberOfCols), 12);
    EXPECT_EQ(reader.IntegerKeyword(kNumberOfStrips), -1);
    EXPECT_EQ(reader.IntegerKeyword(kMeasureOrientation), 0);
    EXPECT_EQ(reader.IntegerKeyword(kDevice), -1);
    EXPECT_EQ(reader.SpotColorFormat(), (std::vector<std::string>{"SPOT_ID", "NAME"}));
    std::string value;
    ASSERT_TRUE(reader.KeywordValue("SEND_PATCHCOLOR_DATA_TO_DEVICE", value));
    EXPECT_EQ(value, "0");
    ASSERT_TRUE(reader.KeywordValue("DEVICEN_CMYK_CLR_6", value));
    EXPECT_EQ(value, "10 20 30 40 ORANGE");
    EXPECT_FALSE(reader.KeywordValue("NUMBER_OF_STRIPS", value));

    // Reading again starts from scratch.
    ASSERT_EQ(readCode(reader, kLabChart), 0);
    EXPECT_FALSE(reader.IsProofJob());
    EXPECT_TRUE(reader.SpotKeys().empty());
    EXPECT_EQ(reader.IntegerKeyword(kNumberOfCols), -1);
    EXPECT_EQ(reader.ColorEntries()[4].cmyk[0], -1);
}

}  // namespace
}  // namespace measure

namespace measure {
namespace {

TEST(CgatsChartReader, CellsThatAreNoNumberAndTheLinesOfRowsAreFound) {
    CgatsChartReader reader;
    ASSERT_EQ(
        readCode(reader,
                 "CGATS.17\nBEGIN_DATA_FORMAT\nSAMPLE_ID SPECTRAL_NM_400 SPECTRAL_NM_410\nEND_DATA_FORMAT\n"
                 "NUMBER_OF_SETS 3\nBEGIN_DATA\n\nA1 40,5 +12.5e-1\n\n\nA2 abc 7\nA3 -1 12x\nEND_DATA\n"),
        0);
    EXPECT_EQ(reader.PatchLine(0), 8);
    EXPECT_EQ(reader.PatchLine(1), 11);
    EXPECT_EQ(reader.PatchLine(2), 12);
    EXPECT_EQ(reader.PatchLine(3), 0);
    double value = 0.0;
    ASSERT_TRUE(reader.CellNumber(0, 1, value));
    EXPECT_EQ(value, 40.5);
    ASSERT_TRUE(reader.CellNumber(0, 2, value));
    EXPECT_EQ(value, 1.25);
    EXPECT_FALSE(reader.CellNumber(1, 1, value));
    EXPECT_FALSE(reader.CellNumber(2, 2, value));
    EXPECT_FALSE(reader.CellNumber(0, 0, value));  // "A1"
    EXPECT_FALSE(reader.CellNumber(0, 3, value));

    double spectrum[2];
    EXPECT_EQ(reader.GetSpectrumChecked(0, spectrum), -1);
    EXPECT_EQ(spectrum[0], 0.405);
    EXPECT_EQ(spectrum[1], 0.0125);
    EXPECT_EQ(reader.GetSpectrumChecked(1, spectrum), 1);
    EXPECT_EQ(spectrum[0], 0.0);
    EXPECT_EQ(spectrum[1], 0.07);
    EXPECT_EQ(reader.GetSpectrumChecked(2, spectrum), 2);
}

TEST(ParseNumber, AcceptsOnlyWholeFiniteDecimals) {
    double value = 0.0;
    for (const auto& [text, expected] : std::vector<std::pair<std::string, double>>{
             {"0", 0.0}, {"-2.5", -2.5}, {"+3", 3.0}, {".5", 0.5}, {"1E3", 1000.0}, {"7.", 7.0}}) {
        ASSERT_TRUE(parseNumber(text, value)) << text;
        EXPECT_EQ(value, expected) << text;
    }
    for (const char* text :
         {"", "-", "+-1", "1.5.2", "12x", "INF", "-INF", "NAN", "1E999", " 1", "0X10", ".", "-."})
        EXPECT_FALSE(parseNumber(text, value)) << text;
}

TEST(ParseNumber, ShortDecimalsGiveExactlyTheDoubleOfTheGeneralConversion) {
    // Short decimals take a quicker way; they must land on the same double,
    // halfway cases and 15-digit mantissas included, and longer texts too.
    std::vector<std::string> texts = {"0.1",
                                      "0.3",
                                      "-0.0",
                                      "99.9999",
                                      "12.3456",
                                      "1.0000001",
                                      "0.30000000000000004",
                                      "123456789012345",
                                      "1234567890123456",
                                      "9007199254740993",
                                      "0.000000000000001",
                                      "1E-7",
                                      "96.4",
                                      "82.49"};
    for (uint64_t seed = 1, n = 0; n < 20000; ++n) {
        seed = seed * 6364136223846793005u + 1442695040888963407u;
        const int decimals = static_cast<int>((seed >> 60) % 8);
        const uint64_t mantissa = (seed >> 12) % 1000000000000000u;
        uint64_t scale = 1;
        for (int d = 0; d < decimals; ++d) scale *= 10;
        char text[48];
        if (decimals == 0)
            std::snprintf(text, sizeof text, "%s%llu", (seed & 1) != 0 ? "-" : "",
                          static_cast<unsigned long long>(mantissa));
        else
            std::snprintf(text, sizeof text, "%s%llu.%0*llu", (seed & 1) != 0 ? "-" : "",
                          static_cast<unsigned long long>(mantissa / scale), decimals,
                          static_cast<unsigned long long>(mantissa % scale));
        texts.emplace_back(text);
    }
    for (const std::string& text : texts) {
        double expected = 0.0;
        std::from_chars(text.data(), text.data() + text.size(), expected);
        double value = 1.0;
        ASSERT_TRUE(parseNumber(text, value)) << text;
        ASSERT_EQ(value, expected) << text;
        ASSERT_EQ(std::signbit(value), std::signbit(expected)) << text;
    }
}

}  // namespace
}  // namespace measure
