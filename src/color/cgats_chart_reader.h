// CgatsChartReader: reads a chart measurement file in the CGATS / IT8 text
// form (keyword lines, a data format naming the fields, a data table with one
// row per patch) into memory and answers per-patch queries for XYZ, Lab and
// reflectance spectra. The chart readers that export their results as CGATS
// text hand them to the library through it.
//
// Text is read the same way everywhere: a comma is a decimal point, keywords
// and field names are case-insensitive (upper-cased outside double quotes),
// CR, LF and CR LF all end a line and blank lines vanish. Values are kept as
// text and converted on access; the memory used stays proportional to the
// file, whatever NUMBER_OF_SETS claims.
//
// Read throws an eColorCtrlErrors value on a malformed file, after logging
// "<file>: line <n>: <what>" under "CgatsChartReader::Read". A row with a
// value missing or too many, a table cut short or longer than announced are
// all errors: the reader never hands out shifted columns.
//
// One object belongs to one thread at a time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace measure {

// Failures of the reader, thrown as values.
enum eColorCtrlErrors : int32_t {
    kCgatsCannotOpen = -2370,       // the file cannot be opened
    kCgatsNoNumberOfSets = -2369,   // NUMBER_OF_SETS missing, 0 or negative
    kCgatsBadDataFormat = -2368,    // field list missing or empty
    kCgatsNoBeginData = -2367,      // the file ends without BEGIN_DATA
    kCgatsEndsInData = -2366,       // the file ends inside the data table
    kCgatsEarlyEndData = -2365,     // END_DATA before NUMBER_OF_SETS rows
    kCgatsRowValueCount = -2364,    // a row without exactly one value per field
    kCgatsPatchOutOfRange = -2363,  // spectrum asked for a patch outside the table
    kCgatsNoSpectralData = -2360,   // spectral layout asked of a file without spectral fields
    kCgatsNoEndData = -2359,        // the row after the last patch is not END_DATA
};

// Numbers of the presence query HasData.
enum CgatsDataType : int {
    kCgatsXYZ = 0,
    kCgatsLab = 1,
    kCgatsRGB = 2,
    kCgatsCMYK = 3,
    kCgatsSixColor = 4,
    kCgatsSevenColor = 5,
    kCgatsSpectral = 6,
    kCgatsDensities = 101,
};

// Integer header keywords, in the order of cgatsIntegerKeywords().
enum CgatsIntegerKeyword : int {
    kNumberOfSets,
    kNumberOfCols,
    kNumberOfStrips,
    kBorderPatches,
    kPatchesPerPage,
    kDevice,
    kVerticalMeas,
    kPatchSizeX,
    kPatchSizeY,
    kGapSize,
    kMeasureOrientation,
    kUvCutMode,
    kZebraRulerMode,
    kLowres,
    kIsisXlFormat,
    kApertureSize,
    kRandomizedPatches,
    kPrinterId,
    kUseRandomizedReferenceFile,
    kChartWMaxMm,
    kChartHMaxMm,
    kPatchWUm,
    kGapWUm,
    kImpositionSize,
    kTilStepSize,
    kInitialTil,
    kMinimumTil,
    kBleedingMark,
    kHexagonSizeRatio,
    kRowGapHeight,
    kFix2FloatingAccuracy,
    kIntegerKeywordCount
};

// The keyword texts ("NUMBER_OF_SETS", ...), indexed by CgatsIntegerKeyword.
const std::array<std::string_view, kIntegerKeywordCount>& cgatsIntegerKeywords();

// A DeviceN / process colour entry (DEVICEN_CMYK_CLR_n, PROCESSCOLOR_ID).
struct CgatsColorEntry {
    std::array<int32_t, 4> cmyk{-1, -1, -1, -1};
    std::string name;
};

struct CgatsSpectralField {
    std::string name;
    int column;
    int nm;
};

class CgatsChartReader {
public:
    static constexpr int kChannels = 16;

    CgatsChartReader();

    // Parses the whole file. Returns 0 or throws eColorCtrlErrors. Reading
    // again starts from a clean state; after a failure the reader keeps what
    // it had read up to the error.
    int Read(const std::string& path);
    // The same for a text already in memory; `name` is what the log says.
    int ReadFromMemory(std::string_view text, const std::string& name = "<memory>");

    // The line at which the last Read failed (0 after a success or when the
    // file could not be opened), for messages that point the user at it.
    int ErrorLine() const { return errorLine_; }

    // NUMBER_OF_SETS (-1 when the file had none).
    int GetPatchCount() const { return integer_[kNumberOfSets]; }
    // 1 when the file holds the quantity numbered `type` (CgatsDataType), else 0.
    int HasData(int type) const;
    // X, Y, Z (component 0-2) of a patch; -1.0 for a patch outside the table,
    // -2.0 for another component, -255.0 when the file has no such column.
    double GetXYZ(int patch, int component) const;
    // L*, a*, b* with the same codes; L* clamped to 0..100, a*, b* to -128..127.
    double GetLab(int patch, int component) const;
    // First wavelength, step (10 with a single spectral field) and number of
    // spectral fields. Throws kCgatsNoSpectralData when there is none.
    void GetSpectralLayout(int& start, int& step, int& count) const;
    // Writes one value per spectral field, ascending wavelength, as a
    // reflectance factor (absolute value, divided by the spectral scale).
    // `out` must hold the count of GetSpectralLayout.
    void GetSpectrum(int patch, double* out) const;
    // The same, and -1 when every spectral cell of the patch is a number,
    // else the column of the first that is not (it counts as 0 in `out`).
    int GetSpectrumChecked(int patch, double* out) const;

    // Header values.
    int32_t IntegerKeyword(CgatsIntegerKeyword keyword) const { return integer_[keyword]; }
    // The text after the keyword of a header line (trimmed, one pair of
    // surrounding double quotes removed; upper case outside quotes). The last
    // line with that keyword wins. False when the header has no such line.
    bool KeywordValue(std::string_view keyword, std::string& value) const;
    const std::string& TargetId() const { return targetId_; }
    const std::string& Target() const { return target_; }
    const std::string& LayoutId() const { return layoutId_; }
    const std::string& OutputColorMode() const { return outputColorMode_; }
    bool IsProofJob() const { return proofJob_; }
    const std::string& ProofJobText() const { return proofJobText_; }
    const std::vector<std::string>& SpotKeys() const { return spotKeys_; }
    const std::vector<std::string>& SpotNames() const { return spotNames_; }
    const std::vector<std::string>& SpotColorFormat() const { return spotFormat_; }
    // Entry n (1..16) is ColorEntries()[n - 1].
    const std::array<CgatsColorEntry, kChannels>& ColorEntries() const { return colorEntries_; }

    // The data format.
    const std::vector<std::string>& FieldNames() const { return fields_; }
    // Column of a field name (upper case), or -1.
    int FieldColumn(std::string_view name) const;
    const std::vector<CgatsSpectralField>& SpectralFields() const { return spectral_; }
    // Column of the spectral field at `nm`, or -1.
    int SpectralColumn(int nm) const;
    double SpectralScale() const { return spectralScale_; }

    // Columns of the known quantities, -1 when absent. Channels count from 1.
    int CmykColumn(int i) const { return at(cmyk_, i); }
    int RgbColumn(int i) const { return at(rgb_, i); }
    int XyzColumn(int i) const { return at(xyz_, i); }
    int LabColumn(int i) const { return at(lab_, i); }
    int DensityColumn(int i) const { return at(density_, i); }
    int ChannelColumn(int n) const { return n >= 1 && n <= kChannels ? channel_[n - 1] : -1; }
    int ProcessChannelColumn(int n) const { return n >= 1 && n <= kChannels ? process_[n - 1] : -1; }
    int RgbDensityColumn() const { return rgbDensity_; }
    int SampleNameColumn() const { return sampleName_; }

    // Rows actually held (NUMBER_OF_SETS after a successful read).
    int RowCount() const;
    // The text of a cell, or null outside the table.
    const char* Cell(int patch, int column) const;
    // atof of the cell; 0 outside the table.
    double CellValue(int patch, int column) const;
    // The cell when it is one whole decimal number (parseNumber); false for
    // any other text and outside the table.
    bool CellNumber(int patch, int column, double& value) const;
    // The line of the file holding the patch's row; 0 outside the table.
    int PatchLine(int patch) const;

private:
    class Parser;

    template <size_t N>
    static int at(const std::array<int, N>& columns, int i) {
        return i >= 0 && static_cast<size_t>(i) < N ? columns[static_cast<size_t>(i)] : -1;
    }
    void reset();
    void resetDataFormat();
    void setDataFormat(std::vector<std::string> fields);
    void classifyField(const std::string& name, int column);
    void classifySpectral(const std::string& name, int column);

    std::array<int32_t, kIntegerKeywordCount> integer_{};
    std::map<std::string, std::string, std::less<>> keywords_;
    std::string targetId_, target_, layoutId_, outputColorMode_;
    bool proofJob_ = false;
    std::string proofJobText_;
    std::vector<std::string> spotKeys_, spotNames_, spotFormat_;
    std::array<CgatsColorEntry, kChannels> colorEntries_{};

    std::vector<std::string> fields_;
    std::map<std::string, int, std::less<>> fieldColumns_;
    std::vector<CgatsSpectralField> spectral_;
    std::map<int, int> spectralColumns_;
    double spectralScale_ = 1.0;

    std::array<int, 4> cmyk_{};
    std::array<int, 3> rgb_{}, xyz_{}, lab_{};
    std::array<int, 4> density_{};
    std::array<int, kChannels> channel_{}, process_{};
    int rgbDensity_ = -1;
    int sampleName_ = 0;
    int errorLine_ = 0;

    // The table: every cell's text, zero-terminated, one after another (in
    // the buffer the file was read into, after what is left of its header);
    // cellStart_ has one entry per cell, row by row.
    std::string cellText_;
    std::vector<size_t> cellStart_;
    std::vector<int> rowLine_;
};

}  // namespace measure
