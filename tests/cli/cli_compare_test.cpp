// measure-cli compare: a measured chart against its reference, paired by
// SAMPLE_ID or by position, with the statistics, the worst patches, the
// per-patch table and the tolerance exit status a print check relies on.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "cli/cli_runner.h"
#include "color/spectral.h"

namespace measure::test {
namespace {

using Lab = std::array<double, 3>;

// A 24-patch colour checker (D50 Lab), rows A to D of six.
const Lab kChecker[24] = {
    {37.99, 13.56, 14.06},  {65.71, 18.13, 17.81},   {49.93, -4.88, -21.93}, {43.14, -13.10, 21.91},
    {55.11, 8.84, -25.40},  {70.72, -33.40, -0.20},  {62.66, 36.07, 57.10},  {40.02, 10.41, -45.96},
    {51.12, 48.24, 16.25},  {30.33, 22.98, -21.59},  {72.53, -23.71, 57.26}, {71.94, 19.36, 67.86},
    {28.78, 14.18, -50.30}, {55.26, -38.34, 31.37},  {42.10, 53.38, 28.19},  {81.73, 4.04, 79.82},
    {51.94, 49.99, -14.57}, {51.04, -28.63, -28.64}, {96.54, -0.43, 1.19},   {81.26, -0.64, -0.34},
    {66.77, -0.73, -0.50},  {50.87, -0.15, -0.27},   {35.66, -0.42, -1.23},  {20.46, -0.08, -0.97}};

std::string idOf(int p) {
    return std::string(1, static_cast<char>('A' + p / 6)).append(std::to_string(p % 6 + 1));
}

// The measured colour of patch p: small drifts everywhere, and C1 (patch 12)
// printed far too yellow.
Lab measuredLab(int p) {
    Lab lab = kChecker[p];
    lab[0] += 0.1 * (p % 5);
    lab[1] += 0.05 * p;
    lab[2] -= 0.03 * p;
    if (p == 12) lab[2] += 6.0;
    return lab;
}

double deltaE2000(int p) {
    const Lab m = measuredLab(p);
    const Lab& r = kChecker[p];
    return DeltaE2000(r[0], r[1], r[2], m[0], m[1], m[2]);
}

std::string referenceFile() {
    std::ostringstream text;
    text.precision(17);
    text << "CGATS.17\nBEGIN_DATA_FORMAT\nSAMPLE_ID LAB_L LAB_A LAB_B\nEND_DATA_FORMAT\nNUMBER_OF_SETS "
            "24\nBEGIN_DATA\n";
    for (int p = 0; p < 24; ++p)
        text << idOf(p) << ' ' << kChecker[p][0] << ' ' << kChecker[p][1] << ' ' << kChecker[p][2] << '\n';
    text << "END_DATA\n";
    return text.str();
}

// The measurement as an instrument writes XYZ, patches in reverse order.
std::string measuredFile(const std::string& idPrefix = "") {
    std::ostringstream text;
    text.precision(17);
    text << "CGATS.17\nBEGIN_DATA_FORMAT\nSAMPLE_ID XYZ_X XYZ_Y XYZ_Z\nEND_DATA_FORMAT\nNUMBER_OF_SETS "
            "24\nBEGIN_DATA\n";
    for (int p = 23; p >= 0; --p) {
        const Lab lab = measuredLab(p);
        double xyz[3];
        LabToXYZ(lab[0], lab[1], lab[2], &xyz[0], &xyz[1], &xyz[2]);
        text << idPrefix << idOf(p) << ' ' << xyz[0] << ' ' << xyz[1] << ' ' << xyz[2] << '\n';
    }
    text << "END_DATA\n";
    return text.str();
}

std::string line(const char* label, double a, double b) {
    char text[80];
    std::snprintf(text, sizeof text, "%-15s%9.2f %9.2f", label, a, b);
    return text;
}

class CliCompare : public ::testing::Test {
protected:
    void SetUp() override {
        std::ofstream(cli_.file("reference.txt")) << referenceFile();
        std::ofstream(cli_.file("measured.txt")) << measuredFile();
    }
    CliRunner cli_;
};

TEST_F(CliCompare, ChartsPairedByIdGiveTheStatisticsAndTheWorstPatchFirst) {
    const CliRun run = cli_.run({"compare", "reference.txt", "measured.txt", "-o", "table.txt"});
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_EQ(run.errors, "");
    EXPECT_NE(run.output.find("24 patches compared, paired by SAMPLE_ID"), std::string::npos) << run.output;

    std::vector<double> e2000, e76;
    for (int p = 0; p < 24; ++p) {
        const Lab m = measuredLab(p);
        e2000.push_back(deltaE2000(p));
        e76.push_back(DeltaE76(kChecker[p][0], kChecker[p][1], kChecker[p][2], m[0], m[1], m[2]));
    }
    auto average = [](const std::vector<double>& v) {
        double sum = 0;
        for (double x : v) sum += x;
        return sum / 24.0;
    };
    // Sorted, the median lies between ranks 11 and 12, the 95th percentile
    // 85 % of the way from rank 21 to 22.
    auto sorted = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v;
    };
    const auto s2000 = sorted(e2000), s76 = sorted(e76);
    EXPECT_NE(run.output.find(line("average", average(e2000), average(e76))), std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find(line("median", (s2000[11] + s2000[12]) / 2, (s76[11] + s76[12]) / 2)),
              std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find(line("95th percentile", s2000[21] + 0.85 * (s2000[22] - s2000[21]),
                                   s76[21] + 0.85 * (s76[22] - s76[21]))),
              std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find(line("maximum", s2000[23], s76[23])), std::string::npos) << run.output;
    // C1 is the worst; the next four follow in falling order.
    const size_t worst = run.output.find("largest differences:\n  C1 ");
    ASSERT_NE(worst, std::string::npos) << run.output;
    std::vector<int> order(24);
    for (int p = 0; p < 24; ++p) order[p] = p;
    std::sort(order.begin(), order.end(), [](int a, int b) { return deltaE2000(a) > deltaE2000(b); });
    size_t at = worst;
    for (int k = 1; k < 5; ++k) {
        const size_t next = run.output.find(std::string("\n  ").append(idOf(order[k])).append(" "), at);
        ASSERT_NE(next, std::string::npos) << k << run.output;
        at = next;
    }

    const CgatsChartReader table = readBack(cli_.file("table.txt"));
    ASSERT_EQ(table.GetPatchCount(), 24);
    // The table follows the measured file: C1 is row 23 - 12.
    EXPECT_EQ(std::string(table.Cell(11, table.FieldColumn("SAMPLE_ID"))), "C1");
    EXPECT_NEAR(table.CellValue(11, table.FieldColumn("DE_2000")), deltaE2000(12), 1e-12);
    EXPECT_EQ(table.CellValue(11, table.FieldColumn("REF_LAB_B")), kChecker[12][2]);
    EXPECT_NEAR(table.CellValue(11, table.FieldColumn("LAB_B")), measuredLab(12)[2], 1e-9);
}

TEST_F(CliCompare, ToleranceOnThe95thPercentileSetsTheExitStatus) {
    CliRun run = cli_.run({"compare", "reference.txt", "measured.txt", "--tolerance", "5"});
    EXPECT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_NE(run.output.find("PASS: 95th percentile dE2000"), std::string::npos) << run.output;
    run = cli_.run({"compare", "reference.txt", "measured.txt", "--tolerance", "0.5", "-o", "table.txt"});
    EXPECT_EQ(run.exitCode, 2) << run.errors;
    EXPECT_NE(run.output.find("FAIL: 95th percentile dE2000"), std::string::npos) << run.output;
    EXPECT_TRUE(std::filesystem::exists(cli_.file("table.txt")));
}

TEST_F(CliCompare, DifferentIdsArePairedByPositionWithAWarning) {
    // Same order as the reference, other names: position pairs them right.
    std::ostringstream text;
    text << "CGATS.17\nBEGIN_DATA_FORMAT\nSAMPLE_ID LAB_L LAB_A LAB_B\nEND_DATA_FORMAT\nNUMBER_OF_SETS "
            "20\nBEGIN_DATA\n";
    for (int p = 0; p < 20; ++p) {
        const Lab lab = measuredLab(p);
        text << "patch" << p << ' ' << lab[0] << ' ' << lab[1] << ' ' << lab[2] << '\n';
    }
    text << "END_DATA\n";
    std::ofstream(cli_.file("renamed.txt")) << text.str();
    const CliRun run = cli_.run({"compare", "reference.txt", "renamed.txt"});
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_NE(run.output.find("20 patches compared, paired by position"), std::string::npos) << run.output;
    EXPECT_NE(run.errors.find("warning: renamed.txt: 20 SAMPLE_IDs (first PATCH0) are not in reference.txt"),
              std::string::npos)
        << run.errors;
    EXPECT_NE(run.errors.find("warning: the files have 24 and 20 patches; the first 20 are compared"),
              std::string::npos)
        << run.errors;
    EXPECT_NE(run.output.find("largest differences:\n  PATCH12 "), std::string::npos) << run.output;
}

}  // namespace
}  // namespace measure::test
