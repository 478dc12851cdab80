// The SpectroScan X-Y table with its Spectrolino measuring head, as a state
// machine without any I/O: it takes one command line at a time and gives the
// answer lines the instrument would send. A chart is laid out on the table, so
// what a measurement answers depends on where the head stands.
//
// Coordinates are table units of 0.1 mm. Commands are the instrument's ASCII
// lines ("; 208 7 850 450"); answers begin with a colon and carry numbers
// separated by blanks, texts as one decimal number per character.
#pragma once

#include <array>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace measure::emu::spectroscan {

inline constexpr int kBands = 36;  // 380 to 730 nm in 10 nm steps
using Spectrum = std::array<double, kBands>;

// Travel of the head in 0.1 mm; a move beyond it answers scan error 3.
inline constexpr int kTravelX = 3200;
inline constexpr int kTravelY = 2300;

// Scan error types the table reports in the error field of a move.
inline constexpr int kScanErrorHead = 2;    // head in the way; cleared by up, down, up
inline constexpr int kScanErrorTravel = 3;  // target beyond the travel

// The chart on the table: rows of patches, rotated about the first patch.
struct ChartLayout {
    int rows = 4;
    int patches = 6;         // patches per row
    double originX = 850.0;  // centre of the first patch (row 0, patch 0)
    double originY = 450.0;
    double pitchX = 100.0;  // from patch to patch along a row
    double pitchY = 100.0;  // from row to row
    double angleDeg = 0.0;  // the sheet's rotation, counter-clockwise

    // Exact centre of patch `patch` of row `row`.
    std::pair<double, double> centre(int row, int patch) const;
    // Corner 1 is the first patch, 2 the last patch of the first row, 3 the
    // last patch of the last row: the points a user digitises.
    std::pair<double, double> corner(int k) const;
    // The patch (row * patches + patch) whose printed area holds (x, y), or -1
    // for bare paper. A patch covers 80 % of its pitch in both directions.
    int patchAt(double x, double y) const;
};

// Reflectance of chart patch `index` (distinct, smooth, 0.02 to 0.95).
Spectrum patchSpectrum(int index);
// The sheet between the patches and the white reference tile.
Spectrum paperSpectrum();
Spectrum whiteTileSpectrum();
// What the head's density output reports: visual density first, then the
// densities behind the red, green and blue filters.
std::array<double, 4> headDensities(const Spectrum& s);

// Identity texts and numbers of head and table.
struct Identity {
    std::string headName = "Spectrolino";
    int deviceNumber = 1;
    std::string headArticle = "36.59.00";
    int headSerial = 123456;
    std::string headRelease = "V 1.61 9.98";
    std::string tableName = "SpectroScan";
    int tableSerial = 204711;
    std::string tableArticle = "36.76.00";
    int productionDay = 12, productionMonth = 5, productionYear = 1999;
    std::string tableRelease = "V 1.41";
};

// Everything the table and head remember between commands.
struct TableState {
    int x = 0, y = 0;  // head position
    bool headDown = false;
    bool paperHeld = false;
    bool digitizeMode = false;
    bool atWhiteTile = false;
    bool keyArmed = false;
    bool keyPressed = false;
    int keyPolls = 0;              // polls since the key was armed
    std::array<int, 5> outputs{};  // parameter per output channel, 0 = off
    int densityStandard = -1;      // from the colorimetric parameters
    int measurementType = -1;
    int digitizedX = 0, digitizedY = 0;
    int digitizedPoints = 0;
    int whiteMeasurements = 0;
    int resets = 0;
    // Sheets the user laid on the table: a key press while the sheet is free
    // (and the crosshair not in use) means the next sheet is in place.
    int sheetsLaid = 0;
};

// One measurement the head took.
struct Measurement {
    int x = 0, y = 0;
    int patch = -1;  // patch index counted over all sheets, -1 paper or white tile
    bool density = false;
};

class Table {
public:
    explicit Table(ChartLayout chart = {}, Identity identity = {});

    // Handles one command line (with or without its "\r\n"); gives the
    // answer lines, each ending in "\r\n". An empty list means no answer.
    std::vector<std::string> handle(std::string_view line);

    // The key: a press is seen by the next key poll once the key is armed.
    void pressKey();
    // Presses the key by itself on the given poll after arming (0: never).
    void setAutoKey(int polls) { autoKeyPolls_ = polls; }
    // Points the user digitises, in order; without any, the user aims at the
    // chart corner nearest to where the head was sent.
    void queueDigitizedPoint(int x, int y) { digitizeQueue_.emplace_back(x, y); }

    const TableState& state() const { return state_; }
    const std::vector<Measurement>& measurements() const { return measurements_; }
    const ChartLayout& chart() const { return chart_; }
    // The spectrum the head sees at (x, y) with the current sheet.
    Spectrum spectrumAt(int x, int y) const;
    // The patch index under (x, y) counted over all sheets laid so far, or -1.
    int patchUnder(int x, int y) const;

private:
    std::vector<std::string> table(const std::vector<long>& args);
    std::optional<std::string> measurementData(bool tableAnswer);
    std::string tableAnswer(long sub, int error) const;
    void takeDigitizedPoint();

    ChartLayout chart_;
    Identity identity_;
    TableState state_;
    std::vector<Measurement> measurements_;
    std::deque<std::pair<int, int>> digitizeQueue_;
    int autoKeyPolls_ = 0;
};

// Splits "; 208 7 850 450" into its numbers; nullopt when the line is not a
// command (no leading "; " or a token that is not a number).
std::optional<std::vector<long>> parseCommand(std::string_view line);

}  // namespace measure::emu::spectroscan
