// Text helpers shared by the chart file readers: tokens, trimming, ASCII
// case, whole-file loading, and numbers read the way the C library's
// atoi/atof read them in the "C" locale (leading white space, an optional
// sign, the longest number that fits, 0 when there is none), independent of
// the host's locale and without undefined behaviour on overflow.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace measure {

inline bool isBlank(char c) {
    return c == ' ' || c == '\t';
}
inline char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}
inline char asciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
}
inline bool contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}
inline bool startsWith(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}
std::string asciiLowerCase(std::string_view text);
// Without leading and trailing spaces and tabs.
std::string_view trimBlanks(std::string_view text);
// Without one pair of surrounding double quotes, when both are there.
std::string_view unquote(std::string_view text);

// Reads a whole file; false when it cannot be opened or read.
bool loadFile(const std::string& path, std::string& text);

// The tokens of a chart line: runs of spaces and tabs outside double quotes
// separate them, a quoted run belongs to its token without its quotes, and
// empty tokens are dropped. The tokens are kept one after another in one
// buffer, each followed by a zero byte, so a table row can be stored at once.
class ChartTokens {
public:
    void split(std::string_view line);
    size_t size() const { return start_.size(); }
    bool empty() const { return start_.empty(); }
    std::string_view operator[](size_t i) const;
    const std::string& text() const { return text_; }
    const std::vector<size_t>& starts() const { return start_; }
    std::vector<std::string> strings() const;

private:
    void finish(size_t tokenStart);
    std::string text_;
    std::vector<size_t> start_;
};

// The tokens of a text as strings.
std::vector<std::string> splitTokens(std::string_view text);

// atof: a full stop is the decimal separator; overflow gives +-HUGE_VAL,
// underflow 0.
double parseDouble(std::string_view text);
// A whole text that is one finite decimal number (an optional sign, digits
// with an optional full stop, an optional exponent): true with `value` set;
// false for anything else, an empty text included.
bool parseNumber(std::string_view text, double& value);
// atoi/atol: saturates at the limits of int32 instead of overflowing.
int32_t parseInt(std::string_view text);
// The nearest integer, halves away from zero, saturated to int32; NaN is 0.
int32_t roundToInt(double value);

}  // namespace measure
