#include "drivers/spectroscan/spectroscan_protocol.h"

#include <charconv>
#include <climits>
#include <cstdio>
#include <initializer_list>

namespace measure::spectroscan {
namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Appends decimal digits to a non-negative value, saturating at INT_MAX.
int accumulate(int value, char digit) {
    const int d = digit - '0';
    return value > (INT_MAX - d) / 10 ? INT_MAX : value * 10 + d;
}

std::string format(const char* fmt, int a, int b = 0, int c = 0) {
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, fmt, a, b, c);
    return buffer;
}

}  // namespace

namespace command {
std::string colorimetricParam(int selector) {
    return "; 22 " + std::to_string(selector) + " 1 3 0\r\n";
}
std::string measurementOutput(int channel, int parameter) {
    return "; 177 " + std::to_string(channel) + " " + std::to_string(parameter) + "\r\n";
}
std::string moveAbsXY(int flag, int x, int y) {
    return "; 208 0 " + std::to_string(flag) + " " + std::to_string(x) + " " + std::to_string(y) + "\r\n";
}
std::string moveAndMeasure(int x, int y) {
    return "; 208 7 " + std::to_string(x) + " " + std::to_string(y) + "\r\n";
}
}  // namespace command

bool FieldScanner::startField() {
    while (!rest_.empty() && isSpace(rest_.front())) rest_.remove_prefix(1);
    if (rest_.empty()) {
        failed_ = inputEnded_ = true;
        return false;
    }
    return true;
}

FieldScanner& FieldScanner::blank() {
    while (!failed_ && !rest_.empty() && isSpace(rest_.front())) rest_.remove_prefix(1);
    return *this;
}

FieldScanner& FieldScanner::literal(char c) {
    if (failed_) return *this;
    if (rest_.empty()) {
        failed_ = inputEnded_ = true;
    } else if (rest_.front() == c) {
        rest_.remove_prefix(1);
    } else {
        failed_ = true;
    }
    return *this;
}

FieldScanner& FieldScanner::token() {
    if (failed_ || !startField()) return *this;
    while (!rest_.empty() && !isSpace(rest_.front())) rest_.remove_prefix(1);
    ++assigned_;
    return *this;
}

FieldScanner& FieldScanner::integer(int& out) {
    if (failed_ || !startField()) return *this;
    size_t i = 0;
    bool negative = false;
    if (rest_[0] == '+' || rest_[0] == '-') {
        negative = rest_[0] == '-';
        ++i;
    }
    if (i >= rest_.size() || !isDigit(rest_[i])) {
        failed_ = true;
        return *this;
    }
    int value = 0;
    for (; i < rest_.size() && isDigit(rest_[i]); ++i) value = accumulate(value, rest_[i]);
    rest_.remove_prefix(i);
    out = negative ? -value : value;
    ++assigned_;
    return *this;
}

FieldScanner& FieldScanner::real(double& out) {
    if (failed_ || !startField()) return *this;
    size_t sign = rest_[0] == '+' && rest_.size() > 1 && rest_[1] != '-' ? 1 : 0;
    double value = 0;
    const char* begin = rest_.data() + sign;
    const auto [end, ec] = std::from_chars(begin, rest_.data() + rest_.size(), value);
    if (ec == std::errc::invalid_argument || end == begin) {
        failed_ = true;
        return *this;
    }
    // A number out of range still counts as a field; it reads as 0.
    if (ec == std::errc::result_out_of_range) value = 0;
    rest_.remove_prefix(static_cast<size_t>(end - rest_.data()));
    out = value;
    ++assigned_;
    return *this;
}

std::optional<int> IntScanner::next() {
    while (!rest_.empty() && !isDigit(rest_.front())) rest_.remove_prefix(1);
    if (rest_.empty()) return std::nullopt;
    int value = 0;
    while (!rest_.empty() && isDigit(rest_.front())) {
        value = accumulate(value, rest_.front());
        rest_.remove_prefix(1);
    }
    return value;
}

bool IntScanner::exhausted() const {
    for (char c : rest_)
        if (isDigit(c)) return false;
    return true;
}

std::string IntScanner::text(size_t length) {
    std::string out;
    for (size_t i = 0; i < length; ++i) {
        const auto c = next();
        if (!c) break;
        out.push_back(static_cast<char>(static_cast<unsigned char>(*c & 0xFF)));
    }
    const auto zero = out.find('\0');
    if (zero != std::string::npos) out.erase(zero);
    return out;
}

bool shortAnswerOk(std::string_view answer) {
    int code = 0, error = -1;
    FieldScanner f(answer);
    f.token().blank().integer(code).blank().integer(error);
    return f.result() == 3 && error == 0;
}

bool tableAnswerOk(std::string_view answer) {
    int code = 0, sub = 0, error = -1;
    FieldScanner f(answer);
    f.token().blank().integer(code).blank().integer(sub).blank().integer(error);
    return f.result() == 4 && error == 0;
}

int scanErrorType(std::string_view answer) {
    int code = 0, sub = 0, type = -1;
    FieldScanner f(answer);
    f.literal(':').blank().integer(code).blank().integer(sub).blank().integer(type);
    return f.result() == 3 ? type : -1;
}

bool whiteAnswerOk(std::string_view answer) {
    int first = 0, second = 0;
    FieldScanner f(answer);
    f.token().blank().integer(first).blank().integer(second);
    return f.result() == 3 && second == 19;
}

bool keyPressed(std::string_view answer) {
    int code = 0, sub = 0, status = 0;
    FieldScanner f(answer);
    f.token().blank().integer(code).blank().integer(sub).blank().integer(status);
    return f.result() == 4 && (status & 1) != 0;
}

void digitizedPosition(std::string_view answer, int& x, int& y) {
    int skipped[4] = {};
    FieldScanner f(answer);
    f.token();
    for (int& v : skipped) f.blank().integer(v);
    f.blank().integer(x).blank().integer(y);
}

Detection parseDetection(std::string_view answer) {
    Detection d;
    const auto colon = answer.find(':');
    if (colon == std::string_view::npos) return d;
    int v[6] = {};
    FieldScanner f(answer.substr(colon));
    f.literal(':');
    for (int& x : v) f.blank().integer(x);
    d.count = f.result();
    d.result = d.count == 6 ? Detection::Result::Found : Detection::Result::WrongCount;
    return d;
}

namespace {

// ScanInt into each of `outs` in order; false when the answer runs out first.
bool scanInts(IntScanner& s, std::initializer_list<int*> outs) {
    for (int* out : outs) {
        const auto v = s.next();
        if (!v) return false;
        *out = *v;
    }
    return true;
}

// Checks the leading answer code (and sub-code, when one is expected): empty
// when they match, else the failure text.
std::string expectCodes(IntScanner& s, int code, int sub) {
    int got = 0;
    if (!scanInts(s, {&got})) return "ScanInt";
    if (got != code) return "response!=" + std::to_string(code);
    if (sub < 0) return {};
    if (!scanInts(s, {&got})) return "ScanInt";
    if (got != sub) return "response!=" + std::to_string(sub);
    return {};
}

}  // namespace

std::string parseHeadIdentity(std::string_view answer, HeadIdentity& out) {
    IntScanner s(answer);
    if (auto failure = expectCodes(s, 182, -1); !failure.empty()) return failure;
    out.name = s.text(18);
    if (!scanInts(s, {&out.deviceNumber})) return "ScanInt";
    out.article = s.text(8);
    if (!scanInts(s, {&out.serialLow, &out.serialHigh})) return "ScanInt";
    out.release = s.text(12);
    return {};
}

std::string parseTableIdentity(std::string_view answer, int index, TableIdentity& out) {
    IntScanner s(answer);
    if (auto failure = expectCodes(s, 209, 144 + index); !failure.empty()) return failure;
    switch (index) {
        case 0:
            out.name = s.text(18);
            return {};
        case 1: {
            int low = 0, high = 0;
            if (!scanInts(s, {&low, &high})) return "ScanInt";
            // The serial number is 32 bits wide; wrap as the instrument would.
            out.serial = static_cast<int>(static_cast<uint32_t>(low) + static_cast<uint32_t>(high) * 65536u);
            return {};
        }
        case 2:
            out.article = s.text(8);
            return {};
        case 3:
            return scanInts(s, {&out.day, &out.month, &out.year}) ? "" : "ScanInt";
        default:
            out.release = s.text(12);
            return {};
    }
}

std::string parseMeasurement(std::string_view answer, Output output, MeasurementData& out) {
    const auto colon = answer.rfind(':');
    if (colon == std::string_view::npos) return "missing colon";
    FieldScanner f(answer.substr(colon));
    int fldAnswer = 0, a = 0, b = 0, fldFF = 0, remoteErrorSet = 0;
    f.literal(':').blank().integer(fldAnswer).blank().integer(a).blank().integer(b);
    if (output == Output::Spectral) {
        MeasurementData data;
        for (double& v : data.spectrum) f.blank().real(v);
        f.blank().integer(fldFF).blank().integer(remoteErrorSet);
        const int n = f.result();
        if (n != 41) return "sscanf 41!=" + std::to_string(n);
        if (fldAnswer != 16 && fldAnswer != 190) return "Invalid fldAnswer";
        const int expectedFF = fldAnswer == 16 ? 1 : 255;
        if (fldFF != expectedFF || remoteErrorSet != 0)
            return format("sscanf fldFF=%d RemoteErrorSet=%d", fldFF, remoteErrorSet);
        out.spectrum = data.spectrum;
        return {};
    }
    // Density output: four groups of a density and two integers; the first
    // group is the visual density, the last group's integers are fldFF and
    // RemoteErrorSet.
    double d[4] = {};
    int g[6] = {};
    f.blank().real(d[0]).blank().integer(g[0]).blank().integer(g[1]);
    f.blank().real(d[1]).blank().integer(g[2]).blank().integer(g[3]);
    f.blank().real(d[2]).blank().integer(g[4]).blank().integer(g[5]);
    f.blank().real(d[3]).blank().integer(fldFF).blank().integer(remoteErrorSet);
    const int n = f.result();
    if (n != 15 || fldFF != 255 || remoteErrorSet != 0)
        return format("sscanf %d %d %d", n, fldFF, remoteErrorSet);
    out.densities = {d[1], d[2], d[3], d[0]};
    return {};
}

std::optional<Output> outputForMode(uint32_t mode) {
    switch (mode) {
        case 0:
        case 3:
        case 4:
            return Output::Spectral;
        case 1:
        case 5:
        case 6:
            return Output::Density;
        default:
            return std::nullopt;
    }
}

std::optional<OutputChannel> outputChannelForMode(uint32_t mode) {
    const auto output = outputForMode(mode);
    if (!output) return std::nullopt;
    return *output == Output::Spectral ? OutputChannel{1, 1} : OutputChannel{4, 15};
}

std::optional<int> densitySelectorForMode(uint32_t mode) {
    switch (mode) {
        case 0:
        case 5:
            return 2;
        case 1:
        case 3:
        case 4:
            return 1;
        case 6:
            return 3;
        default:
            return std::nullopt;
    }
}

}  // namespace measure::spectroscan
