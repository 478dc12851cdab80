#include "color/chart_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>

namespace measure {
namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string_view skipSpace(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && isSpace(text[i])) ++i;
    return text.substr(i);
}

// The numbers of measurement files are mostly short decimals such as
// "-12.3456". With at most 15 digits the digits make an integer m that a
// double holds exactly, as it holds 10^k for k up to 22, so m / 10^k is one
// correctly rounded division: the same double the general conversion gives
// (Clinger's fast path). False for anything else, left to from_chars.
bool shortDecimal(std::string_view text, double& value) {
    static constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                              1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    size_t i = 0;
    const bool negative = text[0] == '-';
    if (negative) ++i;
    uint64_t mantissa = 0;
    int digits = 0;
    int decimals = 0;
    bool point = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            if (++digits > 15) return false;
            mantissa = mantissa * 10 + static_cast<uint64_t>(c - '0');
            if (point) ++decimals;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            return false;
        }
    }
    if (digits == 0) return false;
    const double magnitude = static_cast<double>(mantissa) / kPowersOfTen[decimals];
    value = negative ? -magnitude : magnitude;
    return true;
}

}  // namespace

std::string asciiLowerCase(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = asciiLower(c);
    return out;
}

std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

std::string_view unquote(std::string_view text) {
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') return text.substr(1, text.size() - 2);
    return text;
}

bool loadFile(const std::string& path, std::string& text) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) return false;
    text.clear();
    // One read of the whole file when its size is known and sensible (a
    // folder or a device can claim anything); pieces otherwise.
    constexpr long kOneReadLimit = 1L << 30;
    if (std::fseek(file.get(), 0, SEEK_END) == 0) {
        const long size = std::ftell(file.get());
        if (size > 0 && size < kOneReadLimit && std::fseek(file.get(), 0, SEEK_SET) == 0) {
            text.resize(static_cast<size_t>(size));
            text.resize(std::fread(text.data(), 1, text.size(), file.get()));
        } else {
            std::rewind(file.get());
        }
    }
    char buffer[1 << 16];
    for (;;) {
        const size_t n = std::fread(buffer, 1, sizeof buffer, file.get());
        text.append(buffer, n);
        if (n < sizeof buffer) break;
    }
    return std::ferror(file.get()) == 0;
}

void ChartTokens::split(std::string_view line) {
    text_.clear();
    start_.clear();
    bool quoted = false;
    bool inToken = false;
    size_t tokenStart = 0;
    for (char c : line) {
        if (c == '"') {
            quoted = !quoted;
            if (!inToken) {
                inToken = true;
                tokenStart = text_.size();
            }
            continue;
        }
        if (!quoted && isBlank(c)) {
            if (inToken) finish(tokenStart);
            inToken = false;
            continue;
        }
        if (!inToken) {
            inToken = true;
            tokenStart = text_.size();
        }
        text_.push_back(c);
    }
    if (inToken) finish(tokenStart);
}

void ChartTokens::finish(size_t tokenStart) {
    if (text_.size() == tokenStart) return;  // "" is no token
    start_.push_back(tokenStart);
    text_.push_back('\0');
}

std::string_view ChartTokens::operator[](size_t i) const {
    const size_t end = i + 1 < start_.size() ? start_[i + 1] - 1 : text_.size() - 1;
    return std::string_view(text_).substr(start_[i], end - start_[i]);
}

std::vector<std::string> ChartTokens::strings() const {
    std::vector<std::string> out;
    out.reserve(size());
    for (size_t i = 0; i < size(); ++i) out.emplace_back((*this)[i]);
    return out;
}

std::vector<std::string> splitTokens(std::string_view text) {
    ChartTokens tokens;
    tokens.split(text);
    return tokens.strings();
}

double parseDouble(std::string_view text) {
    text = skipSpace(text);
    if (!text.empty() && text[0] == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text[0] == '-') return 0.0;  // "+-1" is no number
    }
    double value = 0.0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec == std::errc()) return value;
    if (ec != std::errc::result_out_of_range) return 0.0;
    // Out of range: a negative exponent means the value underflowed.
    const std::string_view number(text.data(), static_cast<size_t>(end - text.data()));
    const bool negative = !number.empty() && number[0] == '-';
    const size_t e = number.find_first_of("eE");
    if (e != std::string_view::npos && e + 1 < number.size() && number[e + 1] == '-')
        return negative ? -0.0 : 0.0;
    return negative ? -HUGE_VAL : HUGE_VAL;
}

bool parseNumber(std::string_view text, double& value) {
    if (!text.empty() && text[0] == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text[0] == '-') return false;  // "+-1" is no number
    }
    if (text.empty() || !(text[0] == '-' || text[0] == '.' || (text[0] >= '0' && text[0] <= '9')))
        return false;
    if (shortDecimal(text, value)) return true;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end && std::isfinite(value);
}

int32_t parseInt(std::string_view text) {
    text = skipSpace(text);
    bool negative = false;
    size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int64_t value = 0;
    constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > kLimit) value = kLimit;
    }
    if (negative) value = -value;
    if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(value);
}

int32_t roundToInt(double value) {
    if (std::isnan(value)) return 0;
    const double r = std::round(value);
    if (r >= 2147483647.0) return std::numeric_limits<int32_t>::max();
    if (r <= -2147483648.0) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(r);
}

}  // namespace measure
