// The CGATS fuzz target's seed corpus, read on every test run: each file reads
// or fails with one of the reader's error values, and a failed read leaves a
// reader that is still safe to query.
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "color/cgats_chart_reader.h"
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

}  // namespace
}  // namespace measure
