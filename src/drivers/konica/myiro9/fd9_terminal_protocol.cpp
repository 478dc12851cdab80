#include "drivers/konica/myiro9/fd9_terminal_protocol.h"

#include <json/json.h>

#include <array>
#include <cstdint>
#include <memory>
#include <stdexcept>

namespace measure::konica {
namespace {

bool addressCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '-' || c == '_';
}

bool resultIdCharacter(char c) {
    return c > ' ' && c < 127 && c != '&' && c != '#' && c != '?' && c != '%';
}

// Days from 1970-01-01 to a civil date (proleptic Gregorian), after Howard
// Hinnant's days_from_civil.
int64_t daysFromCivil(int64_t y, int m, int d) {
    y -= m <= 2 ? 1 : 0;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

bool leapYear(int64_t y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

// A civil date and time in seconds since 1970, false unless it exists.
bool civilSeconds(int64_t year, int month, int day, int hour, int minute, int second, int64_t& out) {
    static constexpr std::array<int, 12> kDays{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1970 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
    const int last = kDays[static_cast<size_t>(month - 1)] + (month == 2 && leapYear(year) ? 1 : 0);
    if (day > last || hour > 23 || minute > 59 || second > 60) return false;
    out = daysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
    return true;
}

// Reads a fixed text from `in` at `pos`.
class Cursor {
public:
    explicit Cursor(std::string_view in) : in_(in) {}
    bool literal(std::string_view text) {
        if (in_.substr(pos_, text.size()) != text) return false;
        pos_ += text.size();
        return true;
    }
    // 1 to `maxDigits` decimal digits.
    bool number(int maxDigits, int64_t& value) {
        value = 0;
        int n = 0;
        while (pos_ < in_.size() && n < maxDigits && in_[pos_] >= '0' && in_[pos_] <= '9') {
            value = value * 10 + (in_[pos_++] - '0');
            ++n;
        }
        return n > 0;
    }
    void spaces() {
        while (pos_ < in_.size() && in_[pos_] == ' ') ++pos_;
    }
    // One of `names` (three letters each, case blind): its index.
    template <size_t N>
    bool name(const std::array<const char*, N>& names, int& index) {
        if (in_.size() - pos_ < 3) return false;
        for (size_t i = 0; i < N; ++i) {
            bool same = true;
            for (size_t k = 0; k < 3; ++k) {
                const char a = static_cast<char>(in_[pos_ + k] | 0x20);
                if (a != (names[i][k] | 0x20)) same = false;
            }
            if (same) {
                index = static_cast<int>(i);
                pos_ += 3;
                return true;
            }
        }
        return false;
    }
    bool atEnd() const { return pos_ == in_.size(); }
    std::string_view rest() const { return in_.substr(pos_); }

private:
    std::string_view in_;
    size_t pos_ = 0;
};

constexpr std::array<const char*, 7> kWeekdays{"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr std::array<const char*, 12> kMonths{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

bool clockTime(Cursor& c, int64_t& h, int64_t& m, int64_t& s) {
    return c.number(2, h) && c.literal(":") && c.number(2, m) && c.literal(":") && c.number(2, s);
}

bool textMember(const Json::Value& entry, const char* name, std::string& out) {
    const Json::Value& v = entry[name];
    if (!v.isString()) return false;
    out = v.asString();
    return true;
}

}  // namespace

bool parseDiscoveryReply(std::string_view reply, std::string& address) {
    const size_t first = reply.find(',');
    if (first == std::string_view::npos) return false;
    const size_t second = reply.find(',', first + 1);
    if (second == std::string_view::npos) return false;
    const std::string_view text = reply.substr(first + 1, second - first - 1);
    if (text.empty() || text.size() > kMaxAddressLength) return false;
    for (char c : text)
        if (!addressCharacter(c)) return false;
    address.assign(text);
    return true;
}

std::string versionRequest() {
    return "GET /Version/index/ HTTP1.1\r\n\r\n";
}

std::string listRequest(std::string_view chartId) {
    return "GET /MeasureResultFile/index?vendorID=1001&uniqueData=" + std::string(chartId) +
           " HTTP1.1\r\n\r\n";
}

std::string downloadRequest(std::string_view resultId) {
    return "GET /MeasureResultFile/download?measureResultId=" + std::string(resultId) + " HTTP1.1\r\n\r\n";
}

int replyResult(std::string_view reply) {
    if (reply.find("200 OK") == std::string_view::npos) return -2;
    return reply.size() > static_cast<size_t>(INT32_MAX) ? -1 : static_cast<int>(reply.size());
}

std::string_view replyBody(std::string_view reply) {
    size_t end = reply.find("\r\n\r\n");
    if (end != std::string_view::npos) return reply.substr(end + 4);
    end = reply.find("\n\n");
    if (end != std::string_view::npos) return reply.substr(end + 2);
    return {};
}

bool parseDateHeader(std::string_view reply, int64_t& seconds) {
    // The header starts a line of the head: "Date:" right after a line end.
    const std::string_view head = reply.substr(0, reply.size() - replyBody(reply).size());
    size_t at = 0;
    for (;;) {
        at = head.find("Date:", at);
        if (at == std::string_view::npos) return false;
        if (at > 0 && head[at - 1] == '\n') break;
        at += 5;
    }
    std::string_view line = head.substr(at + 5);
    line = line.substr(0, line.find('\n'));
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    Cursor c(line);
    int weekday = 0, month = 0;
    int64_t day = 0, year = 0, h = 0, m = 0, s = 0;
    c.spaces();
    if (!c.name(kWeekdays, weekday) || !c.literal(",")) return false;
    c.spaces();
    if (!c.number(2, day) || !c.literal(" ")) return false;
    c.spaces();
    if (!c.name(kMonths, month) || !c.literal(" ")) return false;
    c.spaces();
    if (!c.number(4, year) || !c.literal(" ")) return false;
    c.spaces();
    if (!clockTime(c, h, m, s) || !c.literal(" ")) return false;
    c.spaces();
    // %Z: a zone name of letters.
    const std::string_view zone = c.rest();
    if (zone.empty() || zone.size() > 8) return false;
    for (char z : zone)
        if (!((z >= 'A' && z <= 'Z') || (z >= 'a' && z <= 'z'))) return false;
    return civilSeconds(year, month + 1, static_cast<int>(day), static_cast<int>(h), static_cast<int>(m),
                        static_cast<int>(s), seconds);
}

bool parseDateTime(std::string_view text, int64_t& seconds) {
    Cursor c(text);
    int64_t y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    if (!c.number(4, y) || !c.literal("-") || !c.number(2, mo) || !c.literal("-") || !c.number(2, d) ||
        !c.literal(" ") || !clockTime(c, h, mi, s) || !c.atEnd())
        return false;
    return civilSeconds(y, static_cast<int>(mo), static_cast<int>(d), static_cast<int>(h),
                        static_cast<int>(mi), static_cast<int>(s), seconds);
}

bool chooseResult(std::string_view body, std::string_view chartId, std::string& resultId, std::string& why) {
    Json::CharReaderBuilder builder;
    builder["collectComments"] = false;
    builder["stackLimit"] = 64;
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value root;
    std::string errors;
    bool parsed = false;
    try {
        parsed = reader->parse(body.data(), body.data() + body.size(), &root, &errors);
    } catch (const std::exception&) {  // jsoncpp throws past its nesting limit
        parsed = false;
    }
    if (!parsed || !root.isArray()) {
        why = "result list is not a JSON list";
        return false;
    }
    bool found = false;
    int64_t newest = 0;
    std::string chosen;
    for (const Json::Value& entry : root) {
        if (!entry.isObject()) continue;
        std::string dateTime, jobName, id, unique;
        if (!textMember(entry, "dateTime", dateTime) || !textMember(entry, "jobName", jobName) ||
            !textMember(entry, "measureResultId", id) || !textMember(entry, "uniqueData", unique))
            continue;
        int64_t when = 0;
        if (unique != chartId || !parseDateTime(dateTime, when)) continue;
        // Of several results for one chart the newest wins; the first of
        // equal times.
        if (!found || when > newest) {
            found = true;
            newest = when;
            chosen = id;
        }
    }
    if (!found) {
        why = "no result for the chart";
        return false;
    }
    if (chosen.empty() || chosen.size() > kMaxResultIdLength) {
        why = "result identifier is empty or too long";
        return false;
    }
    for (char c : chosen)
        if (!resultIdCharacter(c)) {
            why = "result identifier holds a character a request line cannot carry";
            return false;
        }
    resultId = std::move(chosen);
    return true;
}

bool extractCgats(std::string_view reply, std::string_view& text) {
    const size_t at = reply.find("CGATS.17");
    if (at == std::string_view::npos) return false;
    text = reply.substr(at);
    return true;
}

std::string deviceListText(const Fd9DeviceText* devices, int count) {
    std::string out = std::to_string(count < 0 ? 0 : count) + ";";
    for (int i = 0; i < count; ++i) {
        if (i > 0) out += ";";
        out += devices[i].serial + ";" + std::to_string(devices[i].type) + ";" + devices[i].address;
    }
    return out;
}

}  // namespace measure::konica
