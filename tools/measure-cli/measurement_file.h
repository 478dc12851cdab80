// A CGATS measurement file as the commands that read one see it: opened with
// the library's reader, its fields found once, and the colour of each patch
// taken from whatever the file holds. Every problem is one line naming the
// file, the line of the file and what is wrong with it.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <measure/measure.h>

namespace cli {

struct CgatsCloser {
    void operator()(MEASURE_CGATS* file) const { MeasureCgatsClose(file); }
};

// Where a patch's colour comes from.
enum class ColourSource { Spectra, Xyz, Lab };

struct PatchColour {
    std::array<double, 3> xyz{};
    std::array<double, 3> lab{};
};

class MeasurementFile {
public:
    // Reads `path`; false with `problem` set when the reader refuses it.
    bool open(const std::string& path, std::string& problem);

    const std::string& path() const { return path_; }
    const MEASURE_CGATS* handle() const { return file_.get(); }
    int32_t patches() const { return patches_; }
    const std::vector<std::string>& fields() const { return fields_; }
    // Column of a field, or -1.
    int32_t column(const std::string& name) const;

    bool hasSpectra() const { return spectral_; }
    bool hasXyz() const { return xyz_[0] >= 0; }
    bool hasLab() const { return lab_[0] >= 0; }
    // Spectra first, then XYZ, then Lab; false when the file has none.
    bool bestSource(ColourSource& source) const;

    // The colour of a patch from `source`: both XYZ and Lab, the one the
    // file lacks computed from the other (Lab from the file when it has
    // Lab and `source` is Xyz). False with `problem` set for a cell that is
    // no number.
    bool colour(int32_t patch, ColourSource source, PatchColour& out, std::string& problem) const;
    // L*a*b* for comparisons: the file's Lab, else from spectra, else XYZ.
    bool lab(int32_t patch, std::array<double, 3>& out, std::string& problem) const;
    // Spectra at most this long (with 10 nm steps) are converted.
    static constexpr uint32_t kMaxBands = 144;
    // False with `problem` set when the spectra are not on a 10 nm grid or too long.
    bool spectraUsable(std::string& problem) const;
    // The patch's reflectance factors on the file's own grid (spectralHeader()).
    bool spectrum(int32_t patch, double* values, std::string& problem) const;
    const uint32_t* spectralHeader() const { return header_; }

    // SAMPLE_ID text, else the patch number from 1; and SAMPLE_NAME or "".
    std::string sampleId(int32_t patch) const;
    std::string sampleName(int32_t patch) const;
    bool hasSampleId() const { return sampleId_ >= 0; }

    // "<file>: line <n>: <what>" for a patch's row.
    std::string where(int32_t patch, const std::string& what) const;
    // "<file>: <what>" for the file as a whole.
    std::string about(const std::string& what) const;

private:
    bool number(int32_t patch, int32_t column, double& value, std::string& problem) const;
    bool triple(int32_t patch, const std::array<int32_t, 3>& columns, std::array<double, 3>& out,
                std::string& problem) const;

    std::string path_;
    std::unique_ptr<MEASURE_CGATS, CgatsCloser> file_;
    int32_t patches_ = 0;
    std::vector<std::string> fields_;
    std::array<int32_t, 3> xyz_{-1, -1, -1};
    std::array<int32_t, 3> lab_{-1, -1, -1};
    int32_t sampleId_ = -1;
    int32_t sampleName_ = -1;
    bool spectral_ = false;
    uint32_t header_[3] = {0, 0, 0};
};

}  // namespace cli
