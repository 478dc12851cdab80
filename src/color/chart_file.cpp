#include "color/chart_file.h"

#include "color/chart_text.h"
#include "color/spectral.h"
#include "core/logger.h"

namespace measure {
namespace {

bool allDigits(std::string_view text) {
    if (text.empty()) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

// "6CLR_1", "CLR_12", "PC6_3": a name that only numbers its channel.
bool numbersOnlyItsChannel(std::string_view name) {
    const size_t clr = name.find("CLR_");
    if (clr != std::string_view::npos)
        return (clr == 0 || allDigits(name.substr(0, clr))) && allDigits(name.substr(clr + 4));
    if (!startsWith(name, "PC")) return false;
    const size_t underscore = name.find('_');
    return underscore != std::string_view::npos && allDigits(name.substr(2, underscore - 2)) &&
           allDigits(name.substr(underscore + 1));
}

}  // namespace

bool CChartFileBase::Read(const std::string& path) {
    read_ = false;
    channels_.clear();
    try {
        reader_.Read(path);
    } catch (eColorCtrlErrors e) {
        LogF(0, "CChartFileBase::Read", "%s: error %d", path.c_str(), static_cast<int>(e));
        return false;
    }
    read_ = true;
    // Numbered channels from 1 on; the process-colour set when there are none.
    for (auto column : {&CgatsChartReader::ChannelColumn, &CgatsChartReader::ProcessChannelColumn}) {
        for (int n = 1; n <= kMaxChannels && (reader_.*column)(n) >= 0; ++n)
            channels_.push_back((reader_.*column)(n));
        if (!channels_.empty()) break;
    }
    return true;
}

bool CChartFileBase::GetKeyword(std::string_view keyword, std::string& value) const {
    std::string upper(keyword);
    for (char& c : upper) c = asciiUpper(c);
    return read_ && reader_.KeywordValue(upper, value);
}

int CChartFileBase::GetPatchCount() const {
    return read_ ? reader_.GetPatchCount() : 0;
}

bool CChartFileBase::validPatch(int patch) const {
    return read_ && patch >= 0 && patch < reader_.RowCount();
}

bool CChartFileBase::HasRGBData() const {
    return read_ && reader_.HasData(kCgatsRGB) == 1;
}

bool CChartFileBase::GetRGB(int patch, double rgb[3]) const {
    if (!HasRGBData() || !validPatch(patch)) return false;
    for (int c = 0; c < 3; ++c) rgb[c] = reader_.CellValue(patch, reader_.RgbColumn(c));
    return true;
}

bool CChartFileBase::HasCMYKData() const {
    return read_ && reader_.HasData(kCgatsCMYK) == 1 && reader_.ChannelColumn(5) < 0;
}

bool CChartFileBase::GetCMYK(int patch, double cmyk[4]) const {
    if (reader_.HasData(kCgatsCMYK) != 1 || !validPatch(patch)) return false;
    for (int c = 0; c < 4; ++c) cmyk[c] = reader_.CellValue(patch, reader_.CmykColumn(c));
    return true;
}

bool CChartFileBase::HasNColorData() const {
    return read_ && !channels_.empty();
}

int CChartFileBase::GetNColorChannelCount() const {
    return static_cast<int>(channels_.size());
}

bool CChartFileBase::GetNColorFieldNames(std::vector<std::string>& names, bool& standard) const {
    names.clear();
    if (!HasNColorData()) return false;
    standard = true;
    for (int column : channels_) {
        names.push_back(reader_.FieldNames()[static_cast<size_t>(column)]);
        standard = standard && numbersOnlyItsChannel(names.back());
    }
    return true;
}

bool CChartFileBase::GetNColor(int patch, std::vector<double>& values) const {
    values.clear();
    if (!HasNColorData() || !validPatch(patch)) return false;
    for (int column : channels_) values.push_back(reader_.CellValue(patch, column));
    return true;
}

bool CChartFileBase::HasLabData() const {
    return read_ && reader_.HasData(kCgatsLab) == 1;
}

bool CChartFileBase::GetLab(int patch, double lab[3]) const {
    if (!HasLabData() || !validPatch(patch)) return false;
    for (int c = 0; c < 3; ++c) lab[c] = reader_.GetLab(patch, c);
    return true;
}

bool CChartFileBase::HasXYZData() const {
    return read_ && reader_.HasData(kCgatsXYZ) == 1;
}

bool CChartFileBase::GetXYZ(int patch, double xyz[3]) const {
    if (!HasXYZData() || !validPatch(patch)) return false;
    for (int c = 0; c < 3; ++c) xyz[c] = reader_.GetXYZ(patch, c);
    return true;
}

bool CChartFileBase::HasSpectralData() const {
    return read_ && reader_.HasData(kCgatsSpectral) == 1;
}

bool CChartFileBase::GetSpectrum36(int patch, double spectrum[36]) const {
    if (!HasSpectralData() || !validPatch(patch)) return false;
    int start = 0, step = 0, count = 0;
    reader_.GetSpectralLayout(start, step, count);
    if (step != static_cast<int>(kGridStepNm) || start < 0) return false;
    const auto& fields = reader_.SpectralFields();
    for (size_t i = 0; i < fields.size(); ++i)  // evenly spaced, or the bands would slip
        if (fields[i].nm != start + step * static_cast<int>(i)) return false;
    std::vector<double> values(static_cast<size_t>(count));
    reader_.GetSpectrum(patch, values.data());
    const uint32_t header[3] = {static_cast<uint32_t>(start), kGridStepNm, static_cast<uint32_t>(count)};
    const Spectrum36 grid = resampleToGrid(header, values.data());
    for (size_t b = 0; b < grid.size(); ++b) spectrum[b] = grid[b];
    return true;
}

std::unique_ptr<CChartFileBase> CChartFileFactory::GetReaderWriter(const std::string&) {
    return std::make_unique<CChartFileBase>();
}

}  // namespace measure
