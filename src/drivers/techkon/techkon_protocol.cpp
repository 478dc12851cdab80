#include "drivers/techkon/techkon_protocol.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

namespace measure::techkon {
namespace {

constexpr std::string_view kBegin = "BEGIN_MESSAGE";
constexpr std::string_view kCrLf = "\r\n";

// The text between `open` and the next `close` after it; empty when either
// is missing.
std::string_view between(std::string_view text, std::string_view open, std::string_view close) {
    const size_t start = text.find(open);
    if (start == std::string_view::npos) return {};
    const size_t from = start + open.size();
    const size_t end = text.find(close, from);
    if (end == std::string_view::npos) return {};
    return text.substr(from, end - from);
}

struct CodeText {
    int code;
    const char* text;
};

struct PropertyTable {
    const char* name;
    std::array<CodeText, 4> codes;
    int count;
    int notKnown;
    const char* fallback;  // the text sent for a code without one
};

constexpr std::array<PropertyTable, kPropertyCount> kTables = {{
    {"MeasurementMode", {{{10, "Lab"}, {12, "Remission"}, {16, "XYZ"}, {27, "Scan"}}}, 4, 41, "Remission"},
    {"MeasurementCondition", {{{0, "M0"}, {1, "M1"}, {2, "M2"}, {3, "M3"}}}, 4, 4, "M0"},
    {"Illuminant", {{{0, "A"}, {1, "C"}, {2, "D50"}, {3, "D65"}}}, 4, 7, "D50"},
    {"Observer", {{{0, "O2"}, {1, "O10"}, {}, {}}}, 2, 2, "O2"},
    {"WhiteReference", {{{0, "AUTO"}, {1, "PAPER"}, {2, "ABSOLUTE"}, {}}}, 3, 3, "AUTO"},
    {"PolarizationFilter", {{{0, "AUTO"}, {1, "OFF"}, {2, "ON"}, {}}}, 3, 3, "OFF"},
    {"DeviceType",
     {{{0, "SPECTRODENS_BASIC"}, {1, "SPECTRODENS_ADVANCED"}, {2, "SPECTRODENS_PREMIUM"}, {}}},
     3,
     3,
     ""},
}};

const PropertyTable& table(Property property) {
    return kTables[static_cast<size_t>(property)];
}

bool isSeparator(char c) {
    return c == '\t' || c == '\r' || c == '\n';
}

std::string_view trimBlanks(std::string_view token) {
    while (!token.empty() && token.front() == ' ') token.remove_prefix(1);
    while (!token.empty() && token.back() == ' ') token.remove_suffix(1);
    return token;
}

}  // namespace

std::string buildMessage(std::string_view type, std::string_view name, std::string_view data) {
    std::string m;
    m.reserve(80 + type.size() + name.size() + data.size());
    m.append("BEGIN_MESSAGE\r\nTYPE: ").append(type).append("\r\nNAME: ").append(name);
    m.append("\r\nBEGIN_DATA\r\n");
    if (!data.empty()) m.append(data).append(kCrLf);
    m.append("END_DATA\r\nEND_MESSAGE\r\n");
    return m;
}

ParsedMessage parseMessage(std::string_view message) {
    ParsedMessage m;
    m.type = between(message, "TYPE: ", "\r\nNAME:");
    m.name = between(message, "NAME: ", "\r\nBEGIN_DATA");
    // Without a data line "BEGIN_DATA\r\n" runs straight into "END_DATA".
    const size_t open = message.find("BEGIN_DATA\r\n");
    if (open != std::string_view::npos) {
        const size_t from = open + std::string_view("BEGIN_DATA\r\n").size();
        const size_t end = message.find("\r\nEND_DATA", from);
        if (end != std::string_view::npos) m.data = message.substr(from, end - from);
    }
    return m;
}

std::vector<std::string_view> splitMessages(std::string_view frame) {
    std::vector<std::string_view> pieces;
    size_t at = frame.find(kBegin);
    while (at != std::string_view::npos) {
        const size_t next = frame.find(kBegin, at + kBegin.size());
        pieces.push_back(
            frame.substr(at, next == std::string_view::npos ? std::string_view::npos : next - at));
        at = next;
    }
    return pieces;
}

std::string upperCase(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

std::optional<std::vector<double>> readValueList(std::string_view data, size_t maxValues) {
    std::vector<double> values;
    std::string token;
    size_t at = 0;
    while (at < data.size()) {
        if (isSeparator(data[at])) {
            ++at;
            continue;
        }
        size_t end = at;
        while (end < data.size() && !isSeparator(data[end])) ++end;
        const std::string_view raw = trimBlanks(data.substr(at, end - at));
        at = end;
        if (raw.empty()) continue;
        if (values.size() >= maxValues) return std::nullopt;
        // The service writes the user's locale: "12,5" is 12.5.
        token.assign(raw);
        std::replace(token.begin(), token.end(), ',', '.');
        double value = 0;
        const char* first = token.data();
        const char* last = first + token.size();
        if (*first == '+') ++first;
        const auto [ptr, ec] = std::from_chars(first, last, value);
        if (ec != std::errc() || ptr != last || !std::isfinite(value)) return std::nullopt;
        values.push_back(value);
    }
    return values;
}

const char* propertyName(Property property) {
    return table(property).name;
}

std::optional<Property> propertyNamed(std::string_view upperName) {
    for (int i = 0; i < kPropertyCount; ++i)
        if (upperCase(kTables[static_cast<size_t>(i)].name) == upperName) return static_cast<Property>(i);
    return std::nullopt;
}

const char* propertyText(Property property, int code) {
    const PropertyTable& t = table(property);
    for (int i = 0; i < t.count; ++i)
        if (t.codes[static_cast<size_t>(i)].code == code) return t.codes[static_cast<size_t>(i)].text;
    return t.fallback;
}

int notKnownCode(Property property) {
    return table(property).notKnown;
}

int propertyCode(Property property, std::string_view text) {
    const std::string upper = upperCase(text);
    const PropertyTable& t = table(property);
    for (int i = 0; i < t.count; ++i) {
        const CodeText& c = t.codes[static_cast<size_t>(i)];
        // The service's measurement mode reply is only ever read back as
        // Lab, XYZ or Scan; "Remission" stays not known.
        if (property == Property::MeasurementMode && c.code == code::kModeRemission) continue;
        if (upperCase(c.text) == upper) return c.code;
    }
    return t.notKnown;
}

int eventCode(std::string_view name, std::string_view data) {
    const std::string n = upperCase(name);
    if (n == "CONNECTIONSTATE") {
        if (data == "TRUE") return event::kConnected;
        if (data == "FALSE") return event::kDisconnected;
        return event::kNone;
    }
    if (n == "LAMPERROR") return event::kLampError;
    if (n == "CALIBRATIONPAPER") return event::kCalibrationPaper;
    if (n == "CALIBRATIONABSOLUTE") return event::kCalibrationAbsolute;
    if (n == "MEASUREMENT") {
        const std::string d = upperCase(data);
        if (d == "SAMPLE") return event::kSpotSample;
        if (d == "SCANSAMPLE") return event::kScanSample;
    }
    // SPOTMEASUREMENT, SCANMEASUREMENT and DEVICEBUTTONPRESSED come with
    // every sample; the MEASUREMENT event that follows is what counts.
    return event::kNone;
}

}  // namespace measure::techkon
