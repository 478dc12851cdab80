// The seed corpora of the colour fuzz targets, read on every test run (under
// the sanitizers too): each CGATS file reads or fails with one of the
// reader's error values and leaves a reader that is safe to query; each IT8
// companion file stays inside its patch slots.
#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <vector>

#include "color/cgats_chart_reader.h"
#include "color/chart_text.h"
#include "color/reference_chart_data.h"
#include "support/test_environment.h"

namespace measure {
namespace {

TEST(CgatsCorpus, EverySeedReadsOrFailsWithItsOwnCode) {
    struct Seed {
        const char* file;
        int code;
        int rows;
    };
    const Seed seeds[] = {
        {"header_keywords.txt", 0, 2},
        {"huge_count.txt", kCgatsEndsInData, 0},
        {"lab.txt", 0, 3},
        {"short_row.txt", kCgatsRowValueCount, 0},
        {"spectral_cr_descending.txt", 0, 1},
        {"spectral_lab.txt", 0, 4},
        {"xyz_crlf_commas.txt", 0, 2},
    };
    const std::filesystem::path corpus = std::filesystem::path(MEASURE_TEST_SOURCE_DIR) / "fuzz/corpus/cgats";
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(files, static_cast<int>(std::size(seeds))) << "a seed without its expected code";
    for (const Seed& seed : seeds) {
        SCOPED_TRACE(seed.file);
        CgatsChartReader reader;
        int code = 0;
        try {
            code = reader.Read((corpus / seed.file).string());
        } catch (eColorCtrlErrors e) {
            code = e;
        }
        EXPECT_EQ(code, seed.code);
        if (code == 0) {
            EXPECT_EQ(reader.RowCount(), seed.rows);
            EXPECT_EQ(reader.GetPatchCount(), seed.rows);
        }
        // A reader that failed is still safe to query, one past the end too.
        for (int patch = 0; patch <= reader.RowCount(); ++patch) {
            (void)reader.GetLab(patch, 0);
            (void)reader.GetXYZ(patch, 2);
            std::vector<double> s(reader.SpectralFields().size());
            try {
                reader.GetSpectrum(patch, s.data());
            } catch (eColorCtrlErrors) {
            }
        }
    }
}

TEST(RefChartDataCorpus, EverySeedStaysInsideItsSlots) {
    const std::filesystem::path corpus =
        std::filesystem::path(MEASURE_TEST_SOURCE_DIR) / "fuzz/corpus/ref_chart_data";
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
        SCOPED_TRACE(entry.path().string());
        ++files;
        std::string text;
        ASSERT_TRUE(loadFile(entry.path().string(), text));
        ASSERT_FALSE(text.empty());
        const int patches = static_cast<unsigned char>(text[0]) % 8;  // as the fuzz target reads it
        std::vector<RefPatch> slots(static_cast<size_t>(patches) + 1);
        int kind = 0, send = 0;
        DeviceNInkTable inks;
        EXPECT_EQ(parseCMYKRefData(std::string_view(text).substr(1), slots.data(), patches, kind, send, inks),
                  0);
    }
    EXPECT_GE(files, 4);
}

}  // namespace
}  // namespace measure
