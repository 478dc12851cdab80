// The SpectroScan's serial command set: the command lines the driver sends
// and the parsers of the instrument's answers. No I/O and no exceptions here,
// so every parser can be tested and fuzzed on its own; the driver turns the
// failure texts into its exceptions.
//
// Every command is an ASCII line "; <numbers>\r\n"; every answer is a line up
// to a line feed that begins with a colon. Answers are read either with
// scanf-style field scanning or with ScanInt, which skips everything that is
// not a digit; texts travel as one decimal number per character.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace measure::spectroscan {

inline constexpr int kBands = 36;  // 380 to 730 nm in 10 nm steps

// Fixed command lines.
namespace command {
inline constexpr const char* kDetect = "; 0\r\n";
inline constexpr const char* kInit = "; 208 10\r\n";
inline constexpr const char* kHandshaking = "; 208 33 0\r\n";
inline constexpr const char* kDeviceData = "; 181\r\n";
inline constexpr std::array<const char*, 5> kTableData = {"; 208 48\r\n", "; 208 49\r\n", "; 208 50\r\n",
                                                          "; 208 51\r\n", "; 208 52\r\n"};
inline constexpr const char* kMeasurementType = "; 77 155\r\n";
inline constexpr const char* kPerformMeasurement = "; 32\r\n";
inline constexpr const char* kWhiteMeasurement = "; 34 9 7\r\n";
inline constexpr const char* kHome = "; 208 2\r\n";
inline constexpr const char* kSensorUp = "; 208 3\r\n";
inline constexpr const char* kSensorDown = "; 208 4\r\n";
inline constexpr const char* kWhiteRef = "; 208 6 0\r\n";
inline constexpr const char* kOnline = "; 208 16\r\n";
inline constexpr const char* kHoldPaper = "; 208 18\r\n";
inline constexpr const char* kReleasePaper = "; 208 19\r\n";
inline constexpr const char* kDigitizeMode = "; 208 20\r\n";
inline constexpr const char* kLastDigitized = "; 208 21 1\r\n";
inline constexpr const char* kKeyStatus = "; 208 36\r\n";
inline constexpr const char* kEnableKey = "; 208 37 1\r\n";

// "; 22 <selector> 1 3 0": the density standard and colorimetric settings.
std::string colorimetricParam(int selector);
// "; 177 <channel> <parameter>": parameter 0 switches the channel off.
std::string measurementOutput(int channel, int parameter);
// "; 208 0 <flag> <x> <y>": flag 1 before digitising, 0 when measuring.
std::string moveAbsXY(int flag, int x, int y);
// "; 208 7 <x> <y>": move there, measure, answer with the data.
std::string moveAndMeasure(int x, int y);
}  // namespace command

// scanf-style field scanning with the C library's counting rules: the result
// is the number of fields assigned, or -1 when the text ended before the
// first field. Directives: a blank skips any white space, another character
// must match the next one, then token (%s), integer (%d) and real (%lf).
// Locale-independent; integers saturate instead of overflowing.
class FieldScanner {
public:
    explicit FieldScanner(std::string_view text) : rest_(text) {}
    FieldScanner& blank();
    FieldScanner& literal(char c);
    FieldScanner& token();
    FieldScanner& integer(int& out);
    FieldScanner& real(double& out);
    // Fields assigned so far, or -1 when the text ended before the first.
    int result() const { return failed_ && assigned_ == 0 && inputEnded_ ? -1 : assigned_; }

private:
    // Skips white space; false (an input failure) when the text ended.
    bool startField();
    std::string_view rest_;
    int assigned_ = 0;
    bool failed_ = false;
    bool inputEnded_ = false;
};

// ScanInt: skips every character that is not a decimal digit and reads the
// run of digits that follows as a non-negative number (saturating at the
// largest int). nullopt when no digit is left.
class IntScanner {
public:
    explicit IntScanner(std::string_view text) : rest_(text) {}
    std::optional<int> next();
    bool exhausted() const;
    // A text field of `length` characters sent as numbers; reading stops
    // early at the end of the answer and the text ends at its first zero.
    std::string text(size_t length);

private:
    std::string_view rest_;
};

// Short command answer "%s %d %d ": token, answer code, error. Success only
// when the error field was read and is 0.
bool shortAnswerOk(std::string_view answer);
// Table command answer "%s %d %d %d ": token, answer code, sub-code, error.
bool tableAnswerOk(std::string_view answer);
// The scan error type of a refused move: the third integer of ": %d %d %d",
// -1 when the answer has no third integer.
int scanErrorType(std::string_view answer);
// White measurement answer "%s %d %d": success only when the second integer
// is 19.
bool whiteAnswerOk(std::string_view answer);
// Key status "%s %d %d %d ": true when bit 0 of the third integer is set.
bool keyPressed(std::string_view answer);
// Last digitised position "%s %d %d %d %d %d %d ": X and Y are the last two
// integers; outputs keep their value for fields the answer lacks.
void digitizedPosition(std::string_view answer, int& x, int& y);

// Detection answer: after the first colon ": %d %d %d %d %d %d " must give
// six integers.
struct Detection {
    enum class Result { Found, MissingColon, WrongCount } result = Result::MissingColon;
    int count = 0;  // fields scanned, for "scanf result is %d"
};
Detection parseDetection(std::string_view answer);

// The measuring head's identity from "; 181": answer code 182, name (18
// characters), device number, article (8), serial low and high 16 bits,
// software release (12).
struct HeadIdentity {
    std::string name;
    int deviceNumber = 0;
    std::string article;
    int serialLow = 0, serialHigh = 0;
    std::string release;
};
// Empty on success, else the failure text ("response!=182", "ScanInt").
std::string parseHeadIdentity(std::string_view answer, HeadIdentity& out);

// The table's identity from the five queries "; 208 48" .. "; 208 52".
struct TableIdentity {
    std::string name;
    int serial = 0;
    std::string article;
    int day = 1, month = 1, year = 1900;
    std::string release;
};
// Parses the answer to query `index` (0 to 4) into `out`: 209, then 144 plus
// the index, then the query's fields. Empty on success, else the failure
// text ("response!=209", "response!=146", "ScanInt").
std::string parseTableIdentity(std::string_view answer, int index, TableIdentity& out);

// What the head's measurement output carries.
enum class Output { Spectral, Density };

// The scanned measurement: 36 reflectances from 380 nm, or four densities
// (components one to four: the three filter densities, then the visual one).
struct MeasurementData {
    std::array<double, kBands> spectrum{};
    std::array<double, 4> densities{};
};
// Scans the answer from its last colon. Empty on success, else the failure
// text: "missing colon", "sscanf 41!=%d", "Invalid fldAnswer",
// "sscanf fldFF=%d RemoteErrorSet=%d" or "sscanf %d %d %d".
std::string parseMeasurement(std::string_view answer, Output output, MeasurementData& out);

// Modes of the record: 0, 3 and 4 read the head's spectral output, 1, 5 and
// 6 its density output.
std::optional<Output> outputForMode(uint32_t mode);
// The output channel and parameter that carry a mode's data (1/1 spectral,
// 4/15 density).
struct OutputChannel {
    int channel = 0;
    int parameter = 0;
};
std::optional<OutputChannel> outputChannelForMode(uint32_t mode);
// The density standard selector of "; 22": 2 for modes 0 and 5, 1 for modes
// 1, 3 and 4, 3 for mode 6; nullopt for any other mode.
std::optional<int> densitySelectorForMode(uint32_t mode);

}  // namespace measure::spectroscan
