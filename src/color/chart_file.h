// The chart reader/writer: one interface to chart files for the drivers and
// the reference colour builder, whatever the file's format. Charts are CGATS
// / IT8 texts (CgatsChartReader does the parsing); the reader answers header
// keywords, the device values of each patch (RGB, CMYK or named colorant
// channels) and measured Lab, XYZ and spectra.
//
// One object belongs to one thread at a time. No call throws.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "color/cgats_chart_reader.h"

namespace measure {

class CChartFileBase {
public:
    static constexpr int kMaxChannels = CgatsChartReader::kChannels;

    // Reads the whole file; false (logged under "CChartFileBase::Read") when
    // it cannot be read.
    bool Read(const std::string& path);

    // The value of a header keyword ("NUMBER_OF_SETS", "DEVICEN_CMYK_CLR_5",
    // "PROCESSCOLOR_ID_2" ...), without surrounding quotes; false when the
    // file has no such keyword.
    bool GetKeyword(std::string_view keyword, std::string& value) const;
    // Patches in the table (0 before a successful Read).
    int GetPatchCount() const;

    // Device values. RGB are 0 to 255, CMYK and channels percent.
    bool HasRGBData() const;
    bool GetRGB(int patch, double rgb[3]) const;
    // Four CMYK fields and no further colorant channel.
    bool HasCMYKData() const;
    bool GetCMYK(int patch, double cmyk[4]) const;
    // Numbered colorant channels ("8CLR_1" ..., "PC6_1" ..., or CMYK plus
    // RED/ORANGE/GREEN/BLUE), channel 1 onward without a gap.
    bool HasNColorData() const;
    int GetNColorChannelCount() const;
    // The field name of each channel. `standard` is true when the names only
    // number the channels ("6CLR_1", "PC6_3"), so that the channels are the
    // standard inks Cyan, Magenta, Yellow, Black, Red, Green, Blue, Orange.
    bool GetNColorFieldNames(std::vector<std::string>& names, bool& standard) const;
    bool GetNColor(int patch, std::vector<double>& values) const;

    // Measured values.
    bool HasLabData() const;
    bool GetLab(int patch, double lab[3]) const;
    bool HasXYZData() const;
    bool GetXYZ(int patch, double xyz[3]) const;
    // At least two spectral fields.
    bool HasSpectralData() const;
    // The spectrum on the library's grid (380 to 730 nm, 10 nm, 36 values,
    // reflectance factors); bands the file does not cover are 0. False when
    // the file's spectral fields are not 10 nm apart.
    bool GetSpectrum36(int patch, double spectrum[36]) const;

    const CgatsChartReader& cgats() const { return reader_; }

private:
    bool validPatch(int patch) const;

    CgatsChartReader reader_;
    bool read_ = false;
    std::vector<int> channels_;  // columns of the colorant channels
};

class CChartFileFactory {
public:
    // A reader for the chart at `path` (a CGATS text). The file is read by
    // Read on the returned object.
    static std::unique_ptr<CChartFileBase> GetReaderWriter(const std::string& path);
};

}  // namespace measure
