// measure-cli report: one self-contained HTML page whose parts a test can
// count: a swatch per patch in its sRGB colour (out-of-gamut ones marked),
// reflectance curves as SVG that parses as XML, the values in a table, and
// split swatches with their CIEDE2000 class against a reference.
#include <gtest/gtest.h>
#include <tinyxml2.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/cli_runner.h"
#include "color/spectral.h"

namespace measure::test {
namespace {

size_t count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++n;
    return n;
}

// Grey L* 50, white, a blue no screen shows, a dark red.
const char* kLabChart =
    "CGATS.17\nBEGIN_DATA_FORMAT\nSAMPLE_ID SAMPLE_NAME LAB_L LAB_A LAB_B\nEND_DATA_FORMAT\nNUMBER_OF_SETS "
    "4\n"
    "BEGIN_DATA\nG50 \"mid <grey>\" 50 0 0\nW white 100 0 0\nB1 blue 50 100 -100\nR1 red 37.99 13.56 "
    "14.06\nEND_DATA\n";

class CliReport : public ::testing::Test {
protected:
    CliRunner cli_;
};

TEST_F(CliReport, SpectralFileGivesSwatchesCurvesAndValues) {
    std::ofstream(cli_.file("spectra.txt")) << spectralFile(5);
    const CliRun run = cli_.run({"report", "spectra.txt", "-o", "report.html"});
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    const std::string html = readFile(cli_.file("report.html"));
    EXPECT_EQ(html.rfind("<!DOCTYPE html>", 0), 0u);
    EXPECT_EQ(count(html, "class=\"swatch"), 5u);
    // Self-contained: nothing is loaded from elsewhere.
    EXPECT_EQ(count(html, "src="), 0u);
    EXPECT_EQ(count(html, "http"), 1u);  // the SVG namespace
    EXPECT_EQ(count(html, "<link"), 0u);

    const size_t begin = html.find("<svg");
    const size_t end = html.find("</svg>");
    ASSERT_NE(begin, std::string::npos);
    ASSERT_NE(end, std::string::npos);
    tinyxml2::XMLDocument svg;
    ASSERT_EQ(svg.Parse(html.substr(begin, end + 6 - begin).c_str()), tinyxml2::XML_SUCCESS)
        << svg.ErrorStr();
    int curves = 0;
    for (const tinyxml2::XMLElement* e = svg.RootElement()->FirstChildElement("polyline"); e != nullptr;
         e = e->NextSiblingElement("polyline")) {
        ++curves;
        EXPECT_EQ(std::string(e->Attribute("id")), std::string("c-").append(std::to_string(curves)));
        EXPECT_EQ(count(e->Attribute("points"), ","), 36u);
        EXPECT_EQ(std::string(e->FirstChildElement("title")->GetText()),
                  std::string("P").append(std::to_string(curves)));
    }
    EXPECT_EQ(curves, 5);

    // The table holds each patch's Lab as the library computes it.
    CgatsChartReader source;
    source.ReadFromMemory(spectralFile(5));
    const uint32_t grid[3] = {380, 10, 36};
    for (int p = 0; p < 5; ++p) {
        double spectrum[36], xyz[3], lab[3];
        source.GetSpectrum(p, spectrum);
        SpectrumToXYZ(xyz, grid, spectrum);
        XYZToLab(xyz[0], xyz[1], xyz[2], &lab[0], &lab[1], &lab[2]);
        char cells[160];
        std::snprintf(cells, sizeof cells, "<td>%.2f</td><td>%.2f</td><td>%.2f</td>", lab[0], lab[1], lab[2]);
        EXPECT_NE(html.find(std::string("<tr data-patch=\"")
                                .append(std::to_string(p + 1))
                                .append("\"><td>")
                                .append(std::to_string(p + 1))
                                .append("</td><td>P")
                                .append(std::to_string(p + 1))
                                .append("</td>")),
                  std::string::npos)
            << p;
        EXPECT_NE(html.find(cells), std::string::npos) << p << " " << cells;
    }
}

TEST_F(CliReport, SwatchesAreSrgbAndOutOfGamutColoursAreMarked) {
    std::ofstream(cli_.file("lab.txt")) << kLabChart;
    const CliRun run = cli_.run({"report", "lab.txt"});
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    const std::string html = readFile(cli_.file("lab.txt.html"));
    EXPECT_EQ(count(html, "class=\"swatch"), 4u);
    EXPECT_EQ(count(html, "<svg"), 0u);  // no spectra, no curves
    EXPECT_NE(
        html.find("id=\"p-1\" href=\"#c-1\" data-patch=\"1\" title=\"G50 mid &lt;grey&gt;: L* 50.00 a* 0.00 "
                  "b* 0.00\" style=\"background:#777777\""),
        std::string::npos);
    EXPECT_NE(html.find("class=\"swatch\" id=\"p-2\""), std::string::npos);
    EXPECT_NE(html.find("style=\"background:#ffffff\""), std::string::npos);
    EXPECT_NE(html.find("class=\"swatch oog\" id=\"p-3\""), std::string::npos);
    EXPECT_EQ(count(html, "swatch oog"), 1u);
    EXPECT_NE(html.find("<td>37.99</td><td>13.56</td><td>14.06</td>"), std::string::npos);
    EXPECT_NE(html.find("1 outside sRGB"), std::string::npos);
}

TEST_F(CliReport, AReferenceSplitsEverySwatchAndClassesItsDifference) {
    std::ofstream(cli_.file("lab.txt")) << kLabChart;
    // The grey measured 0.5 lighter (dE2000 0.5), the white far off, the
    // blue and red exactly.
    std::ofstream(cli_.file("measured.txt"))
        << "CGATS.17\nBEGIN_DATA_FORMAT\nSAMPLE_ID LAB_L LAB_A LAB_B\nEND_DATA_FORMAT\nNUMBER_OF_SETS 4\n"
           "BEGIN_DATA\nR1 37.99 13.56 14.06\nG50 50.5 0 0\nW 90 0 10\nB1 50 100 -100\nEND_DATA\n";
    const CliRun run = cli_.run({"report", "measured.txt", "--reference", "lab.txt", "-o", "vs.html"});
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    const std::string html = readFile(cli_.file("vs.html"));
    EXPECT_EQ(count(html, "class=\"swatch"), 4u);
    EXPECT_EQ(count(html, "<span class=\"ref\""), 4u);
    EXPECT_EQ(count(html, "<span class=\"meas\""), 4u);
    EXPECT_NE(html.find("class=\"swatch split de-good\" id=\"p-1\""), std::string::npos);
    EXPECT_NE(html.find("class=\"swatch split de-good\" id=\"p-2\""), std::string::npos);
    EXPECT_NE(html.find("class=\"swatch split de-bad\" id=\"p-3\""), std::string::npos);
    EXPECT_NE(html.find("class=\"swatch oog split de-good\" id=\"p-4\""), std::string::npos);
    char grey[64];
    std::snprintf(grey, sizeof grey, "<td>%.2f</td>", DeltaE2000(50, 0, 0, 50.5, 0, 0));
    EXPECT_NE(html.find(grey), std::string::npos) << grey;
    EXPECT_NE(html.find("4 patches paired by SAMPLE_ID"), std::string::npos);
}

}  // namespace
}  // namespace measure::test
