#include "color/reference_chart_data.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "color/chart_text.h"
#include "color/pxicc.h"
#include "core/logger.h"
#include "platform/paths.h"

namespace measure {
namespace {

constexpr const char* kLogName = "getCMYKRefData";

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (asciiUpper(a[i]) != asciiUpper(b[i])) return false;
    return true;
}

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && equalsIgnoringCase(text.substr(0, prefix.size()), prefix);
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// The next line of the text: carriage return ends a line, and so does a line
// feed (alone or after the carriage return).
bool nextLine(std::string_view& text, std::string_view& line) {
    if (text.empty()) return false;
    size_t end = 0;
    while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
    line = text.substr(0, end);
    if (end < text.size() && text[end] == '\r') ++end;
    if (end < text.size() && text[end] == '\n') ++end;
    text.remove_prefix(end);
    return true;
}

// The kind and the number of leading columns from the data format, tested
// in this order over the whole field list: dRGB, <digit>CLR_, PC<digit>,
// RGB_R, CMYK_C.
void classifyFields(const std::vector<std::string>& fields, int& kind, size_t& skip) {
    kind = kRefDataNone;
    skip = 0;
    for (size_t i = 0; i < fields.size(); ++i)
        if (equalsIgnoringCase(fields[i], "dRGB")) {
            kind = kRefDataHexRGB;
            skip = i;
            return;
        }
    for (size_t i = 0; i < fields.size(); ++i)
        if (fields[i].size() > 4 && isDigit(fields[i][0]) &&
            startsWithIgnoringCase(fields[i].substr(1), "CLR_")) {
            const int digit = fields[i][0] - '0';
            kind = digit >= 1 && digit <= 8 ? digit : kRefDataNone;
            skip = i;
            return;
        }
    for (size_t i = 0; i < fields.size(); ++i)
        if (fields[i].size() > 2 && startsWithIgnoringCase(fields[i], "PC") && isDigit(fields[i][2])) {
            kind = fields[i][2] - '0';
            skip = i;
            return;
        }
    for (const auto& [name, k] :
         {std::pair<std::string_view, int>{"RGB_R", kRefDataRGB}, {"CMYK_C", kRefDataCMYK}})
        for (size_t i = 0; i < fields.size(); ++i)
            if (equalsIgnoringCase(fields[i], name)) {
                kind = k;
                skip = i;
                return;
            }
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = asciiUpper(c);
    return c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

// "#RRGGBB" into three values 0 to 255.
bool parseHexRgb(std::string_view token, double* rgb) {
    if (token.size() < 7 || token[0] != '#') return false;
    for (size_t c = 0; c < 3; ++c) {
        const int hi = hexDigit(token[1 + 2 * c]);
        const int lo = hexDigit(token[2 + 2 * c]);
        if (hi < 0 || lo < 0) return false;
        rgb[c] = hi * 16 + lo;
    }
    return true;
}

// One data row into a patch slot. A kind above 8 reads its values but keeps
// the first 8: the slot holds no more.
bool readPatch(const ChartTokens& tokens, size_t skip, int kind, RefPatch& slot) {
    if (kind == kRefDataHexRGB) return tokens.size() > skip && parseHexRgb(tokens[skip], slot.v);
    size_t values = 0;
    if (kind == kRefDataRGB)
        values = 3;
    else if (kind >= 2 && kind <= 4)
        values = 4;
    else if (kind >= 5 && kind <= 9)
        values = static_cast<size_t>(kind);
    else
        return false;
    if (tokens.size() < skip + values) return false;
    for (size_t i = 0; i < values && i < 8; ++i) slot.v[i] = parseDouble(tokens[skip + i]);
    return true;
}

void readInk(const ChartTokens& tokens, std::array<int32_t, 4>& ink, bool& found) {
    std::vector<std::string> items = tokens.strings();
    if (items.size() == 2) {
        std::vector<std::string> again = splitTokens(items[1]);
        items.resize(1);
        items.insert(items.end(), again.begin(), again.end());
    }
    if (items.size() < 5) return;
    for (size_t c = 0; c < 4; ++c) ink[c] = roundToInt(parseDouble(items[c + 1]));
    found = true;
}

// A file value of "nan" gives no ink.
uint8_t toByte(double value) {
    if (std::isnan(value)) return 0;
    return static_cast<uint8_t>(std::clamp(std::round(value), 0.0, 255.0));
}

struct ProfileCloser {
    void operator()(PXICC_Profile* p) const { PXICC_releaseInstance(p); }
};
struct ConversionCloser {
    void operator()(PXICC_Conversion* c) const { PXICC_releaseColorSpaceConversionInstance(c); }
};

}  // namespace

int parseCMYKRefData(std::string_view text, RefPatch* slots, int patchCount, int& kind, int& sendFlag,
                     DeviceNInkTable& inks) {
    kind = kRefDataNone;
    sendFlag = 1;
    inks.reset();
    if (slots == nullptr || patchCount < 0) return -1;
    ChartTokens tokens;
    std::string_view line;
    std::vector<std::string> fields;
    int extraInks = 0;
    bool inFormat = false;
    bool inData = false;
    size_t skip = 0;
    int read = 0;
    while (nextLine(text, line)) {
        tokens.split(line);
        if (tokens.empty()) continue;
        const std::string_view first = tokens[0];
        if (inData) {
            if (equalsIgnoringCase(first, "END_DATA") || read >= patchCount) break;
            if (!readPatch(tokens, skip, kind, slots[read])) break;
            ++read;
            continue;
        }
        if (inFormat) {
            for (size_t i = 0; i < tokens.size(); ++i) {
                if (equalsIgnoringCase(tokens[i], "END_DATA_FORMAT")) {
                    inFormat = false;
                    break;
                }
                fields.emplace_back(tokens[i]);
            }
            continue;
        }
        if (equalsIgnoringCase(first, "BEGIN_DATA_FORMAT")) {
            inFormat = true;
            fields.clear();
            continue;
        }
        if (equalsIgnoringCase(first, "BEGIN_DATA")) {
            classifyFields(fields, kind, skip);
            inData = true;
            continue;
        }
        // Extra inks are numbered on from 5 in the order they are found.
        if (extraInks < DeviceNInkTable::kInks &&
            equalsIgnoringCase(first, "DEVICEN_CMYK_CLR_" + std::to_string(5 + extraInks))) {
            bool found = false;
            readInk(tokens, inks.cmyk[static_cast<size_t>(extraInks)], found);
            if (found) ++extraInks;
            continue;
        }
        // SEND_PATCHCOLOR_DATA_TO_DEVICE "0", also as KEYWORD "SEND_..." "0".
        size_t at = 0;
        if (equalsIgnoringCase(first, "KEYWORD") && tokens.size() >= 2) at = 1;
        if (equalsIgnoringCase(tokens[at], "SEND_PATCHCOLOR_DATA_TO_DEVICE") && tokens.size() > at + 1 &&
            tokens[at + 1].front() == '0')
            sendFlag = 0;
    }
    if (kind == kRefDataHexRGB) kind = kRefDataRGB;
    return inData && read == patchCount ? 0 : -1;
}

int getCMYKRefData(const char* chartPath, RefPatch* slots, int patchCount, int* kind, int* sendFlag,
                   DeviceNInkTable* inks) {
    if (chartPath == nullptr) {
        LogF(0, kLogName, "getCMYKRefData Error Opening target file %s", "NULL");
        return -1;
    }
    std::string path(chartPath);
    if (path.size() < 3 || kind == nullptr || sendFlag == nullptr || inks == nullptr) return -1;
    path.replace(path.size() - 3, 3, "it8");
    std::string text;
    if (!loadFile(path, text)) {
        LogF(0, kLogName, "getCMYKRefData Error Opening target file %s", path.c_str());
        return -1;
    }
    const int result = parseCMYKRefData(text, slots, patchCount, *kind, *sendFlag, *inks);
    LogF(2, kLogName, "%s: kind %d, result %d", path.c_str(), *kind, result);
    return result;
}

std::string inputProfilePath() {
    return platform::joinPath(platform::moduleFolder(), "Resources\\InputCMYK.icc");
}

int ConvertRefDataToDisplayRGB(const char* profilePath, const RefPatch* slots, int channels, double* rgb,
                               int patchCount, const DeviceNInkTable& inks) {
    constexpr const char* kName = "ConvertRefDataToDisplayRGB";
    if (profilePath == nullptr || slots == nullptr || rgb == nullptr || patchCount < 0 || channels < 1)
        return -1;
    std::unique_ptr<PXICC_Profile, ProfileCloser> source(PXICC_getInstance(profilePath));
    std::unique_ptr<PXICC_Profile, ProfileCloser> display(
        PXICC_getInstanceFromPredefined(kPxiccPredefinedSRGB));
    if (!source || !display) {
        LogF(0, kName, "cannot open the profile %s", profilePath);
        return -1;
    }
    std::unique_ptr<PXICC_Conversion, ConversionCloser> conversion(
        PXICC_getColorSpaceConversionInstance3(source.get(), display.get(), kPxiccRelativeColorimetric));
    if (!conversion || PXICC_getNumSrcComponents(conversion.get()) != 4 ||
        PXICC_getNumDstComponents(conversion.get()) != 3) {
        LogF(0, kName, "%s is no CMYK profile", profilePath);
        return -1;
    }
    const int values = std::min(channels, 8);
    for (int p = 0; p < patchCount; ++p) {
        const double* v = slots[p].v;
        double colour[3] = {255.0, 255.0, 255.0};
        int processUsed = 0, extraUsed = 0;
        double processSum = 0.0, extraSum = 0.0;
        for (int c = 0; c < 4; ++c) {
            processSum += v[c];
            if (v[c] > 0.0) ++processUsed;
        }
        for (int c = 4; c < values; ++c)
            if (v[c] > 0.0) {
                ++extraUsed;
                extraSum += v[c];
            }
        // Extra inks printed together with others are laid over more lightly,
        // except one extra ink beside one process ink of about the same amount.
        double weight = 1.0;
        const bool pair = processUsed == 1 && extraUsed == 1 && std::fabs(processSum - extraSum) < 20.0;
        if (extraSum > 0.0 && !pair) weight = 1.0 - (processSum + extraSum) / (channels * 100.0);

        uint8_t in[4], out[3];
        for (int c = 0; c < 4; ++c) in[c] = toByte(v[c] * 2.55);
        if (PXICC_convert(conversion.get(), in, out) == 0)
            for (int c = 0; c < 3; ++c) colour[c] -= 255.0 - out[c];
        for (int e = 4; e < values; ++e) {
            if (!(v[e] > 0.0)) continue;
            const auto& ink = inks.cmyk[static_cast<size_t>(e - 4)];
            if (ink[0] >= DeviceNInkTable::kUnknownInk) continue;
            for (int c = 0; c < 4; ++c) in[c] = toByte(v[e] / 100.0 * 2.55 * ink[static_cast<size_t>(c)]);
            if (PXICC_convert(conversion.get(), in, out) != 0) continue;
            for (int c = 0; c < 3; ++c) colour[c] = std::max(0.0, colour[c] - (255.0 - out[c] * weight));
        }
        for (int c = 0; c < 3; ++c) rgb[p * 3 + c] = std::clamp(colour[c], 0.0, 255.0);
    }
    return 0;
}

}  // namespace measure
