// The seed corpora of the colour fuzz targets, read on every test run (under
// the sanitizers too): each CGATS file reads or fails with one of the
// reader's error values and leaves a reader that is safe to query; each IT8
// companion file stays inside its patch slots.
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "color/cgats_chart_reader.h"
#include "color/chart_text.h"
#include "color/reference_chart_data.h"
#include "support/test_environment.h"

namespace measure {
namespace {

TEST(CgatsCorpus, EverySeedReadsOrFailsCleanly) {
    const std::filesystem::path corpus = std::filesystem::path(MEASURE_TEST_SOURCE_DIR) / "fuzz/corpus/cgats";
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
        SCOPED_TRACE(entry.path().string());
        ++files;
        CgatsChartReader reader;
        int code = 0;
        try {
            code = reader.Read(entry.path().string());
        } catch (eColorCtrlErrors e) {
            code = e;
        }
        EXPECT_TRUE(code == 0 || (code >= kCgatsCannotOpen && code <= kCgatsNoEndData)) << code;
        if (code == 0) {
            EXPECT_EQ(reader.RowCount(), reader.GetPatchCount());
        }
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
    EXPECT_GE(files, 5);
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
