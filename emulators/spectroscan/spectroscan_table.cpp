#include "spectroscan/spectroscan_table.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <tuple>

namespace measure::emu::spectroscan {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kPatchFill = 0.4;  // half of a patch's printed width, in pitches

std::string crlf(std::string text) {
    return text + "\r\n";
}

// A text field: one decimal number per character, padded with zeros to its
// fixed length.
std::string textField(const std::string& text, size_t length) {
    std::string out;
    for (size_t i = 0; i < length; ++i) {
        const unsigned char c = i < text.size() ? static_cast<unsigned char>(text[i]) : 0;
        out += ' ';
        out += std::to_string(static_cast<int>(c));
    }
    return out;
}

std::string real(double v, int digits) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, " %.*f", digits, v);
    return buffer;
}

bool withinTravel(long x, long y) {
    return x >= 0 && y >= 0 && x <= kTravelX && y <= kTravelY;
}

}  // namespace

std::pair<double, double> ChartLayout::centre(int row, int patch) const {
    const double a = angleDeg * kPi / 180.0;
    const double u = patch * pitchX;  // along the row
    const double v = row * pitchY;    // across the rows
    return {originX + u * std::cos(a) - v * std::sin(a), originY + u * std::sin(a) + v * std::cos(a)};
}

std::pair<double, double> ChartLayout::corner(int k) const {
    if (k <= 1) return centre(0, 0);
    if (k == 2) return centre(0, patches - 1);
    return centre(rows - 1, patches - 1);
}

int ChartLayout::patchAt(double x, double y) const {
    if (rows < 1 || patches < 1 || pitchX <= 0 || pitchY <= 0) return -1;
    const double a = angleDeg * kPi / 180.0;
    const double dx = x - originX, dy = y - originY;
    const double u = (dx * std::cos(a) + dy * std::sin(a)) / pitchX;
    const double v = (-dx * std::sin(a) + dy * std::cos(a)) / pitchY;
    const double j = std::round(u), i = std::round(v);
    if (std::fabs(u - j) > kPatchFill || std::fabs(v - i) > kPatchFill) return -1;
    if (i < 0 || j < 0 || i >= rows || j >= patches) return -1;
    return static_cast<int>(i) * patches + static_cast<int>(j);
}

Spectrum patchSpectrum(int index) {
    // Two overlapping absorption bands whose place and depth move with the
    // patch index, so neighbouring patches differ in every colour value.
    Spectrum s{};
    const double centre1 = 420.0 + 37.0 * (index % 9);
    const double centre2 = 560.0 + 23.0 * ((index * 5) % 7);
    const double depth1 = 0.35 + 0.06 * (index % 8);
    const double depth2 = 0.25 + 0.05 * ((index * 3) % 9);
    for (int b = 0; b < kBands; ++b) {
        const double nm = 380.0 + 10.0 * b;
        const double g1 = std::exp(-std::pow((nm - centre1) / 45.0, 2));
        const double g2 = std::exp(-std::pow((nm - centre2) / 35.0, 2));
        double r = 0.92 - depth1 * g1 - depth2 * g2 - 0.004 * (index % 11);
        if (r < 0.02) r = 0.02;
        if (r > 0.95) r = 0.95;
        s[static_cast<size_t>(b)] = r;
    }
    return s;
}

Spectrum paperSpectrum() {
    Spectrum s{};
    for (int b = 0; b < kBands; ++b) s[static_cast<size_t>(b)] = b < 4 ? 0.80 + 0.025 * b : 0.90;
    return s;
}

Spectrum whiteTileSpectrum() {
    Spectrum s{};
    s.fill(0.97);
    return s;
}

std::array<double, 4> headDensities(const Spectrum& s) {
    auto band = [&](int fromNm, int toNm) {
        double sum = 0;
        int n = 0;
        for (int nm = fromNm; nm <= toNm; nm += 10, ++n) sum += s[static_cast<size_t>((nm - 380) / 10)];
        const double mean = sum / n;
        return mean > 0 ? -std::log10(mean) : 9.999;
    };
    return {band(500, 620), band(590, 700), band(480, 600), band(400, 500)};
}

std::optional<std::vector<long>> parseCommand(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    if (line.size() < 2 || line[0] != ';' || line[1] != ' ') return std::nullopt;
    line.remove_prefix(2);
    std::vector<long> args;
    while (!line.empty()) {
        if (line.front() == ' ') {
            line.remove_prefix(1);
            continue;
        }
        long v = 0;
        const auto [end, ec] = std::from_chars(line.data(), line.data() + line.size(), v);
        if (ec != std::errc{} || (end != line.data() + line.size() && *end != ' ')) return std::nullopt;
        args.push_back(v);
        line.remove_prefix(static_cast<size_t>(end - line.data()));
    }
    if (args.empty()) return std::nullopt;
    return args;
}

Table::Table(ChartLayout chart, Identity identity) : chart_(chart), identity_(std::move(identity)) {}

void Table::pressKey() {
    if (state_.keyArmed) state_.keyPressed = true;
}

int Table::patchUnder(int x, int y) const {
    if (state_.atWhiteTile) return -1;
    const int patch = chart_.patchAt(x, y);
    if (patch < 0) return -1;
    return patch + std::max(0, state_.sheetsLaid - 1) * chart_.rows * chart_.patches;
}

Spectrum Table::spectrumAt(int x, int y) const {
    if (state_.atWhiteTile) return whiteTileSpectrum();
    const int patch = patchUnder(x, y);
    return patch >= 0 ? patchSpectrum(patch) : paperSpectrum();
}

std::string Table::tableAnswer(long sub, int error) const {
    return crlf(": 209 " + std::to_string(sub) + " " + std::to_string(error));
}

std::vector<std::string> Table::handle(std::string_view line) {
    const auto parsed = parseCommand(line);
    if (!parsed) return {crlf(": 255 1")};
    const std::vector<long>& a = *parsed;
    const auto arg = [&](size_t i) { return i < a.size() ? a[i] : 0L; };
    switch (a[0]) {
        case 0:  // detection: answer code, head type, table present, versions, error
            return {crlf(": 1 2 1 1 61 0")};
        case 181: {
            const int serial = identity_.headSerial;
            return {crlf(": 182" + textField(identity_.headName, 18) + " " +
                         std::to_string(identity_.deviceNumber) + textField(identity_.headArticle, 8) + " " +
                         std::to_string(serial & 0xFFFF) + " " + std::to_string((serial >> 16) & 0xFFFF) +
                         textField(identity_.headRelease, 12))};
        }
        case 77:
            state_.measurementType = static_cast<int>(arg(1));
            return {crlf(": 78 0")};
        case 22:
            if (arg(1) < 0 || arg(1) > 3) return {crlf(": 23 2")};
            state_.densityStandard = static_cast<int>(arg(1));
            return {crlf(": 23 0")};
        case 177:
            if (a.size() < 3 || arg(1) < 0 || arg(1) > 4 || arg(2) < 0 || arg(2) > 255)
                return {crlf(": 178 2")};
            state_.outputs[static_cast<size_t>(arg(1))] = static_cast<int>(arg(2));
            return {crlf(": 178 0")};
        case 32: {
            if (!state_.headDown) return {crlf(": 33 20")};
            std::vector<std::string> out{crlf(": 33 0")};
            if (auto data = measurementData(false)) out.push_back(crlf(": " + *data));
            return out;
        }
        case 34:
            if (!state_.atWhiteTile || !state_.headDown) return {crlf(": 35 0 21")};
            ++state_.whiteMeasurements;
            return {crlf(": 35 19 0")};
        case 208:
            return table(a);
        default:
            return {crlf(": " + std::to_string(a[0] + 1) + " 99")};
    }
}

std::vector<std::string> Table::table(const std::vector<long>& a) {
    const long sub = a.size() > 1 ? a[1] : -1;
    const auto arg = [&](size_t i) { return i < a.size() ? a[i] : 0L; };
    switch (sub) {
        case 0:  // move absolute: flag, x, y; the table lifts the head to travel
            if (!withinTravel(arg(3), arg(4))) return {tableAnswer(sub, kScanErrorTravel)};
            state_.x = static_cast<int>(arg(3));
            state_.y = static_cast<int>(arg(4));
            state_.headDown = false;
            state_.atWhiteTile = false;
            return {tableAnswer(sub, 0)};
        case 2:
            state_.x = state_.y = 0;
            state_.headDown = false;
            state_.atWhiteTile = false;
            return {tableAnswer(sub, 0)};
        case 3:
            state_.headDown = false;
            return {tableAnswer(sub, 0)};
        case 4:
            state_.headDown = true;
            return {tableAnswer(sub, 0)};
        case 6:
            state_.headDown = false;
            state_.atWhiteTile = true;
            return {tableAnswer(sub, 0)};
        case 7: {  // move and measure: one line, the table's answer then the head's data
            if (!withinTravel(arg(2), arg(3))) return {tableAnswer(sub, kScanErrorTravel)};
            state_.x = static_cast<int>(arg(2));
            state_.y = static_cast<int>(arg(3));
            state_.atWhiteTile = false;
            state_.headDown = true;
            auto data = measurementData(true);
            state_.headDown = false;
            std::string answer = ": 209 7 0";
            if (data) answer += " : " + *data;
            return {crlf(answer)};
        }
        case 10:  // reset: home, head up, sheet free, online
            state_.x = state_.y = 0;
            state_.headDown = false;
            state_.paperHeld = false;
            state_.digitizeMode = false;
            state_.atWhiteTile = false;
            ++state_.resets;
            return {tableAnswer(sub, 0)};
        case 16:
            state_.digitizeMode = false;
            return {tableAnswer(sub, 0)};
        case 18:
            state_.paperHeld = true;
            return {tableAnswer(sub, 0)};
        case 19:
            state_.paperHeld = false;
            return {tableAnswer(sub, 0)};
        case 20:
            state_.digitizeMode = true;
            state_.headDown = false;
            return {tableAnswer(sub, 0)};
        case 21:
            return {crlf(": 209 21 1 0 " + std::to_string(state_.digitizedX) + " " +
                         std::to_string(state_.digitizedY))};
        case 33:
            return {tableAnswer(sub, 0)};
        case 36: {  // key status: bit 0 set once pressed since arming
            if (state_.keyArmed) {
                ++state_.keyPolls;
                if (autoKeyPolls_ > 0 && state_.keyPolls >= autoKeyPolls_) state_.keyPressed = true;
            }
            int status = 0;
            if (state_.keyArmed && state_.keyPressed) {
                status = 1;
                if (state_.digitizeMode) takeDigitizedPoint();
                if (!state_.digitizeMode && !state_.paperHeld) ++state_.sheetsLaid;
                state_.keyArmed = false;
                state_.keyPressed = false;
            }
            return {crlf(": 209 36 " + std::to_string(status))};
        }
        case 37:
            state_.keyArmed = arg(2) != 0;
            state_.keyPressed = false;
            state_.keyPolls = 0;
            return {tableAnswer(sub, 0)};
        case 48:
            return {crlf(": 209 144" + textField(identity_.tableName, 18))};
        case 49:
            return {crlf(": 209 145 " + std::to_string(identity_.tableSerial & 0xFFFF) + " " +
                         std::to_string((identity_.tableSerial >> 16) & 0xFFFF))};
        case 50:
            return {crlf(": 209 146" + textField(identity_.tableArticle, 8))};
        case 51:
            return {crlf(": 209 147 " + std::to_string(identity_.productionDay) + " " +
                         std::to_string(identity_.productionMonth) + " " +
                         std::to_string(identity_.productionYear))};
        case 52:
            return {crlf(": 209 148" + textField(identity_.tableRelease, 12))};
        default:
            return {tableAnswer(sub, 99)};
    }
}

void Table::takeDigitizedPoint() {
    // The user slides the crosshair onto the mark and presses the key.
    int x = state_.x, y = state_.y;
    if (!digitizeQueue_.empty()) {
        std::tie(x, y) = digitizeQueue_.front();
        digitizeQueue_.pop_front();
    } else {
        double best = std::numeric_limits<double>::max();
        for (int k = 1; k <= 3; ++k) {
            const auto [cx, cy] = chart_.corner(k);
            const double d = std::hypot(cx - state_.x, cy - state_.y);
            if (d < best) {
                best = d;
                x = static_cast<int>(std::lround(cx));
                y = static_cast<int>(std::lround(cy));
            }
        }
    }
    state_.x = state_.digitizedX = x;
    state_.y = state_.digitizedY = y;
    ++state_.digitizedPoints;
}

std::optional<std::string> Table::measurementData(bool tableAnswer) {
    // The head answers on the first output channel that is switched on:
    // channel 1 the spectrum, channel 4 the densities.
    const Spectrum s = spectrumAt(state_.x, state_.y);
    const int patch = patchUnder(state_.x, state_.y);
    if (state_.outputs[1] != 0) {
        measurements_.push_back({state_.x, state_.y, patch, false});
        // A table measurement answers with code 190 and field 255, the head's
        // own measurement with 16 and 1.
        std::string data = tableAnswer ? "190 1 1" : "16 1 1";
        for (double v : s) data += real(v, 5);
        data += tableAnswer ? " 255 0" : " 1 0";
        return data;
    }
    if (state_.outputs[4] != 0) {
        measurements_.push_back({state_.x, state_.y, patch, true});
        const auto d = headDensities(s);
        std::string data = "190 4 " + std::to_string(state_.outputs[4]);
        data += real(d[0], 4) + " 0 0" + real(d[1], 4) + " 0 0" + real(d[2], 4) + " 0 0" + real(d[3], 4) +
                " 255 0";
        return data;
    }
    return std::nullopt;
}

}  // namespace measure::emu::spectroscan
