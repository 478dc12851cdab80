#include "color/cgats_chart_reader.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "color/chart_text.h"
#include "core/logger.h"

namespace measure {
namespace {

constexpr const char* kLogName = "CgatsChartReader::Read";

constexpr std::array<std::string_view, kIntegerKeywordCount> kIntegerKeywords = {
    "NUMBER_OF_SETS",
    "NUMBER_OF_COLS",
    "NUMBER_OF_STRIPS",
    "BORDER_PATCHES",
    "PATCHES_PER_PAGE",
    "DEVICE",
    "VERTICAL_MEAS",
    "PATCH_SIZE_X",
    "PATCH_SIZE_Y",
    "GAP_SIZE",
    "MEASURE_ORIENTATION",
    "UV_CUT_MODE",
    "ZEBRA_RULER_MODE",
    "LOWRES",
    "ISIS_XL_FORMAT",
    "APERTURESIZE",
    "RANDOMIZED_PATCHES",
    "PRINTERID",
    "USE_RANDOMIZED_REFERENCEFILE",
    "CHART_W_MAX_MM",
    "CHART_H_MAX_MM",
    "PATCH_W_UM",
    "GAP_W_UM",
    "IMPOSITIONSIZE",
    "TILSTEPSIZE",
    "INITIALTIL",
    "MINIMUMTIL",
    "BLEEDINGMARK",
    "HEXAGONSIZERATIO",
    "ROWGAPHEIGHT",
    "FIX2FLOATINGACCURACY"};

// "KEYWORD <ws> \"<key> <ws> ['<name>['\"]" and "SPOT_ID <ws> \"<id> <ws> ['<name>": the
// key or identifier runs to the next space, tab or quote, the name to the
// next apostrophe or double quote. False when the double quote is missing.
bool parseSpotDeclaration(std::string_view line, std::string_view keyword, std::string& key,
                          std::string& name) {
    size_t i = line.find(keyword);
    if (i == std::string_view::npos) return false;
    i += keyword.size();
    while (i < line.size() && isBlank(line[i])) ++i;
    if (i >= line.size() || line[i] != '"') return false;
    ++i;
    const size_t keyStart = i;
    while (i < line.size() && !isBlank(line[i]) && line[i] != '"') ++i;
    key.assign(line.substr(keyStart, i - keyStart));
    while (i < line.size() && isBlank(line[i])) ++i;
    if (i < line.size() && line[i] == '\'') ++i;
    const size_t nameStart = i;
    while (i < line.size() && line[i] != '\'' && line[i] != '"') ++i;
    name.assign(line.substr(nameStart, i - nameStart));
    return true;
}

// A DeviceN name: the first letter as written, the rest in lower case, and a
// word after an encoded space ("#20") near the start capitalised again
// ("LIGHT#20GREY" becomes "Light#20Grey").
std::string deviceNName(std::string_view raw) {
    std::string name(raw);
    for (size_t i = 1; i < name.size(); ++i) name[i] = asciiLower(name[i]);
    const size_t pos = name.find("#20");
    if (pos != std::string::npos && pos >= 1 && pos <= 9 && pos + 3 < name.size())
        name[pos + 3] = asciiUpper(name[pos + 3]);
    return name;
}

}  // namespace

const std::array<std::string_view, kIntegerKeywordCount>& cgatsIntegerKeywords() {
    return kIntegerKeywords;
}

// One pass over a text: the line reader and the header and data phases.
class CgatsChartReader::Parser {
public:
    // Parses the reader's cellText_, which holds the whole file: the table's
    // cells are written into the same buffer behind the read position, so
    // that a large file is held once.
    Parser(CgatsChartReader& reader, const std::string& name)
        : r_(reader), p_(reader.cellText_.data()), end_(p_ + reader.cellText_.size()), name_(name) {}

    void run() {
        header();
        if (!beginData_) fail(kCgatsNoBeginData, "the file ends without BEGIN_DATA");
        if (!dataFormat_) fail(kCgatsBadDataFormat, "no data format before BEGIN_DATA");
        if (r_.integer_[kNumberOfSets] <= 0) fail(kCgatsNoNumberOfSets, "no patch count (NUMBER_OF_SETS)");
        data();
    }

private:
    // One line: characters one at a time; a double quote toggles quoting and
    // stays; CR, LF (and a NUL outside quotes) end the line once something
    // was collected and are skipped before that; commas become full stops;
    // letters outside quotes become upper case. Empty at the end of the text.
    bool nextLine() {
        line_.clear();
        bool quoted = false;
        while (p_ < end_) {
            const char c = *p_++;
            if (c == '\r' || c == '\n') {
                if (c == '\r' && p_ < end_ && *p_ == '\n') ++p_;
                ++physicalLine_;
                if (!line_.empty()) return true;
                continue;
            }
            if (c == '\0') {
                if (quoted) continue;  // a zero byte never becomes part of a value
                if (!line_.empty()) return true;
                continue;
            }
            if (line_.empty()) lineNumber_ = physicalLine_;
            if (c == '"') {
                quoted = !quoted;
                line_.push_back(c);
            } else if (c == ',') {
                line_.push_back('.');
            } else {
                line_.push_back(quoted ? c : asciiUpper(c));
            }
        }
        return !line_.empty();
    }

    [[noreturn]] void fail(eColorCtrlErrors code, const char* what) {
        LogF(0, kLogName, "%s: line %d: %s (%d)", name_.c_str(), lineNumber_, what, static_cast<int>(code));
        r_.errorLine_ = lineNumber_;
        throw code;
    }

    void header() {
        while (nextLine()) {
            if (line_.size() < 2) continue;
            tokens_.split(line_);
            if (tokens_.empty()) continue;
            const std::string_view first = tokens_[0];
            if (first == "BEGIN_DATA") {
                beginData_ = true;
                return;
            }
            if (first == "BEGIN_TARGET_FORMAT") {
                skipBlock("END_TARGET_FORMAT");
                continue;
            }
            if (first == "BEGIN_REPORTING_FORMAT") {
                skipBlock("END_REPORTING_FORMAT");
                continue;
            }
            if (first == "BEGIN_DATA_FORMAT" || first == "\nBEGIN_DATA_FORMAT") {
                dataFormat();
                continue;
            }
            if (first == "BEGIN_SPOTCOLOR_FORMAT") {
                if (nextLine()) {
                    tokens_.split(line_);
                    r_.spotFormat_ = tokens_.strings();
                }
                continue;
            }
            keywordLine();
        }
    }

    void skipBlock(std::string_view endKeyword) {
        while (nextLine()) {
            tokens_.split(line_);
            if (!tokens_.empty() && tokens_[0] == endKeyword) return;
        }
    }

    void dataFormat() {
        if (nextLine())
            tokens_.split(line_);
        else
            tokens_.split({});
        if (tokens_.empty() || tokens_[0] == "END_DATA_FORMAT")
            fail(kCgatsBadDataFormat, "empty data format");
        r_.setDataFormat(tokens_.strings());
        dataFormat_ = true;
    }

    // Every other header line: kept as a keyword and its value, and read
    // into the header values the reader knows.
    void keywordLine() {
        const std::string_view first = tokens_[0];
        const size_t n = tokens_.size();
        const size_t keywordAt = line_.find(first);
        const std::string_view rest =
            keywordAt == std::string::npos
                ? std::string_view()
                : trimBlanks(std::string_view(line_).substr(keywordAt + first.size()));
        r_.keywords_[std::string(first)] = std::string(unquote(rest));

        if (first == "PROOFJOB") {
            if (n >= 2) {
                r_.proofJob_ = true;
                r_.proofJobText_ = std::string(unquote(rest));
            }
            return;
        }
        // A spot colour is declared as KEYWORD "SPOT_<key> '<name>'"; the
        // tokeniser has removed the quote, so the key is recognised with or
        // without it.
        if (first == "KEYWORD") {
            if (n >= 2 && (startsWith(tokens_[1], "\"SPOT_") || startsWith(tokens_[1], "SPOT_"))) {
                std::string key, name;
                if (parseSpotDeclaration(line_, "KEYWORD", key, name)) {
                    r_.spotKeys_.push_back(key);
                    r_.spotNames_.push_back(name);
                }
            }
            return;
        }
        if (first == "SPOT_ID") {
            std::string id, name;
            if (n >= 2 && parseSpotDeclaration(line_, "SPOT_ID", id, name)) {
                r_.spotKeys_.push_back("SPOT_" + id);
                r_.spotNames_.push_back(name);
            }
            return;
        }
        if (contains(first, "DEVICEN_CMYK_CLR_")) {
            deviceNLine();
            return;
        }
        if (first == "PROCESSCOLOR_ID") {
            processColorLine();
            return;
        }
        for (size_t k = 0; k < kIntegerKeywords.size(); ++k) {
            const bool match =
                first == kIntegerKeywords[k] || (k == kNumberOfSets && first == "\nNUMBER_OF_SETS");
            if (!match) continue;
            if (n < 2) return;
            const int32_t value = parseInt(tokens_[1]);
            if (k == kNumberOfSets && value <= 0)
                fail(kCgatsNoNumberOfSets, "NUMBER_OF_SETS is not a positive count");
            r_.integer_[k] = value;
            return;
        }
        if (n >= 2) {
            if (first == "TARGET_ID")
                r_.targetId_ = std::string(tokens_[1]);
            else if (first == "LAYOUT_ID")
                r_.layoutId_ = std::string(tokens_[1]);
            else if (first == "TARGET")
                r_.target_ = line_.size() > 6 ? line_.substr(6) : std::string();
            else if (first == "VANTUPRN_OUTPUTCOLORMODE")
                r_.outputColorMode_ = std::string(tokens_[1]);
        }
    }

    void deviceNLine() {
        int entry = 0;
        for (int k = 1; k <= kChannels && entry == 0; ++k)
            if (tokens_[0] == "DEVICEN_CMYK_CLR_" + std::to_string(k)) entry = k;
        if (entry == 0) return;
        std::vector<std::string> items = tokens_.strings();
        if (items.size() == 2) {
            std::vector<std::string> again = splitTokens(items[1]);
            items.resize(1);
            items.insert(items.end(), again.begin(), again.end());
        }
        CgatsColorEntry& e = r_.colorEntries_[static_cast<size_t>(entry - 1)];
        if (items.size() >= 5)
            for (size_t c = 0; c < 4; ++c) e.cmyk[c] = roundToInt(parseDouble(items[c + 1]));
        if (items.size() == 6) e.name = deviceNName(items[5]);
    }

    void processColorLine() {
        std::vector<std::string> items;
        if (tokens_.size() >= 4) {
            items = tokens_.strings();
            items.erase(items.begin());
        } else if (tokens_.size() == 2) {
            items = splitTokens(tokens_[1]);
        }
        if (items.size() < 3) return;
        const int32_t entry = parseInt(items[1]);
        if (entry >= 1 && entry <= kChannels)
            r_.colorEntries_[static_cast<size_t>(entry - 1)].name = items[2];
    }

    // What a character of a data row is to the row reader.
    enum CharClass : uint8_t { kPlain, kBlank, kQuote, kLineEnd, kZero };
    struct RowTables {
        std::array<CharClass, 256> kind{};
        std::array<char, 256> unquoted{};  // upper case, comma as full stop
        RowTables() {
            for (int c = 0; c < 256; ++c) {
                const char ch = static_cast<char>(c);
                kind[static_cast<size_t>(c)] = ch == ' ' || ch == '\t'    ? kBlank
                                               : ch == '"'                ? kQuote
                                               : ch == '\r' || ch == '\n' ? kLineEnd
                                               : ch == '\0'               ? kZero
                                                                          : kPlain;
                unquoted[static_cast<size_t>(c)] = ch == ',' ? '.' : asciiUpper(ch);
            }
        }
    };

    // One data row straight from the text into the cell table: the line rules
    // of nextLine() and the token rules of ChartTokens::split() in a single
    // pass, since the table is nearly all of a large file. Writes at `out`,
    // which never passes the read position: every character written stands
    // for one read, and a token's zero byte for the blank or line end read
    // after it (at the very end of the text, for the string's own zero). False
    // at the end of the text with nothing collected; `cells` counts the
    // tokens added.
    bool nextRow(char*& out, size_t& cells) {
        static const RowTables tables;
        char* const base = r_.cellText_.data();
        std::vector<size_t>& starts = r_.cellStart_;
        const size_t firstStart = starts.size();
        bool collected = false;
        bool quoted = false;
        char* token = nullptr;  // start of the token being read, if any
        auto finishToken = [&] {
            if (token == nullptr) return;
            if (out != token) {  // "" is no token
                starts.push_back(static_cast<size_t>(token - base));
                *out++ = '\0';
            }
            token = nullptr;
        };
        auto rowEnds = [&] {
            finishToken();
            cells = starts.size() - firstStart;
            return true;
        };
        while (p_ < end_) {
            if (!quoted) {
                // Most of a table: a run of plain characters, one value.
                const char* run = p_;
                while (run < end_ && tables.kind[static_cast<uint8_t>(*run)] == kPlain) ++run;
                if (run != p_) {
                    if (!collected) lineNumber_ = physicalLine_;
                    collected = true;
                    if (token == nullptr) token = out;
                    for (; p_ < run; ++p_) *out++ = tables.unquoted[static_cast<uint8_t>(*p_)];
                    continue;
                }
            }
            const char c = *p_++;
            switch (tables.kind[static_cast<uint8_t>(c)]) {
                case kLineEnd:
                    if (c == '\r' && p_ < end_ && *p_ == '\n') ++p_;
                    ++physicalLine_;
                    if (collected) return rowEnds();
                    continue;
                case kZero:
                    // A zero byte never becomes part of a value.
                    if (quoted || !collected) continue;
                    return rowEnds();
                case kQuote:
                    if (!collected) lineNumber_ = physicalLine_;
                    collected = true;
                    quoted = !quoted;
                    if (token == nullptr) token = out;
                    continue;
                case kBlank:
                    if (!collected) lineNumber_ = physicalLine_;
                    collected = true;
                    if (quoted) break;
                    finishToken();
                    continue;
                case kPlain:
                    if (!collected) lineNumber_ = physicalLine_;
                    collected = true;
                    break;
            }
            if (token == nullptr) token = out;
            *out++ = quoted ? (c == ',' ? '.' : c) : tables.unquoted[static_cast<uint8_t>(c)];
        }
        rowEnds();
        return collected;
    }

    // Rows 0 .. NUMBER_OF_SETS - 1 hold one value per field; the row after
    // them must be END_DATA. Lines of nothing but blanks are no rows. A row
    // that fails is taken out of the table again, so that the rows kept are
    // whole.
    void data() {
        const int32_t sets = r_.integer_[kNumberOfSets];
        const size_t fields = r_.fields_.size();
        // Reserve for what the rest of the text can hold, never for what
        // NUMBER_OF_SETS merely claims.
        const size_t remaining = static_cast<size_t>(end_ - p_);
        r_.cellStart_.reserve(std::min(static_cast<size_t>(sets) * fields, remaining / 2 + 1));
        r_.rowLine_.reserve(std::min(static_cast<size_t>(sets), remaining / 2 + 1));
        char* out = r_.cellText_.data() + (p_ - r_.cellText_.data());
        // The table ends where the rows written so far end, also on failure.
        struct Trim {
            std::string& text;
            char*& out;
            ~Trim() { text.resize(static_cast<size_t>(out - text.data())); }
        } trim{r_.cellText_, out};
        for (int32_t row = 0; row <= sets;) {
            char* const textMark = out;
            const size_t startMark = r_.cellStart_.size();
            auto dropRow = [&] {
                out = textMark;
                r_.cellStart_.resize(startMark);
            };
            size_t cells = 0;
            if (!nextRow(out, cells)) {
                if (row < sets) fail(kCgatsEndsInData, "the file ends inside the data table");
                fail(kCgatsEndsInData, "the file ends before END_DATA");
            }
            if (cells == 0) continue;
            const bool endData =
                std::string_view(r_.cellText_.data() + r_.cellStart_[startMark]) == "END_DATA";
            if (row == sets) {
                dropRow();
                if (!endData) fail(kCgatsNoEndData, "more rows than NUMBER_OF_SETS");
                return;
            }
            if (endData) {
                dropRow();
                fail(kCgatsEarlyEndData, "END_DATA before NUMBER_OF_SETS rows");
            }
            if (cells != fields) {
                dropRow();
                char what[96];
                std::snprintf(what, sizeof what, "row has %zu values for %zu fields", cells, fields);
                fail(kCgatsRowValueCount, what);
            }
            r_.rowLine_.push_back(lineNumber_);
            ++row;
        }
    }

    CgatsChartReader& r_;
    const char* p_;
    const char* end_;
    const std::string& name_;
    std::string line_;
    ChartTokens tokens_;
    int physicalLine_ = 1;
    int lineNumber_ = 1;
    bool beginData_ = false;
    bool dataFormat_ = false;
};

CgatsChartReader::CgatsChartReader() {
    reset();
}

void CgatsChartReader::reset() {
    integer_.fill(-1);
    errorLine_ = 0;
    integer_[kMeasureOrientation] = 0;
    integer_[kUseRandomizedReferenceFile] = 0;
    keywords_.clear();
    targetId_.clear();
    target_.clear();
    layoutId_.clear();
    outputColorMode_.clear();
    proofJob_ = false;
    proofJobText_.clear();
    spotKeys_.clear();
    spotNames_.clear();
    spotFormat_.clear();
    colorEntries_.fill(CgatsColorEntry{});
    resetDataFormat();
    cellText_.clear();
    cellText_.shrink_to_fit();
    cellStart_.clear();
    cellStart_.shrink_to_fit();
    rowLine_.clear();
    rowLine_.shrink_to_fit();
}

void CgatsChartReader::resetDataFormat() {
    fields_.clear();
    fieldColumns_.clear();
    spectral_.clear();
    spectralColumns_.clear();
    spectralScale_ = 1.0;
    cmyk_.fill(-1);
    rgb_.fill(-1);
    xyz_.fill(-1);
    lab_.fill(-1);
    density_.fill(-1);
    channel_.fill(-1);
    process_.fill(-1);
    rgbDensity_ = -1;
    sampleName_ = 0;
}

int CgatsChartReader::Read(const std::string& path) {
    reset();
    if (!loadFile(path, cellText_)) {
        cellText_.clear();
        LogF(0, kLogName, "%s: line 0: cannot open the file (%d)", path.c_str(),
             static_cast<int>(kCgatsCannotOpen));
        throw kCgatsCannotOpen;
    }
    Parser(*this, path).run();
    return 0;
}

int CgatsChartReader::ReadFromMemory(std::string_view text, const std::string& name) {
    reset();
    cellText_.assign(text);
    Parser(*this, name).run();
    return 0;
}

void CgatsChartReader::setDataFormat(std::vector<std::string> fields) {
    resetDataFormat();
    fields_ = std::move(fields);
    for (size_t i = 0; i < fields_.size(); ++i) {
        const int column = static_cast<int>(i);
        fieldColumns_.emplace(fields_[i], column);
        classifyField(fields_[i], column);
        classifySpectral(fields_[i], column);
    }
    std::stable_sort(spectral_.begin(), spectral_.end(),
                     [](const CgatsSpectralField& a, const CgatsSpectralField& b) { return a.nm < b.nm; });
}

// The first rule that matches decides. "CLR_10" .. "CLR_16" are looked for
// before "CLR_1" .. "CLR_9", so "CLR_12" is channel 12 while "5CLR_3",
// "8CLR_3" and "CLR_3" are all channel 3.
void CgatsChartReader::classifyField(const std::string& name, int column) {
    static constexpr std::string_view kCmyk[4][2] = {
        {"CMYK_C", "CMY_C"}, {"CMYK_M", "CMY_M"}, {"CMYK_Y", "CMY_Y"}, {"CMYK_K", "CMYK_K"}};
    for (size_t i = 0; i < 4; ++i)
        if (name == kCmyk[i][0] || name == kCmyk[i][1]) {
            cmyk_[i] = column;
            channel_[i] = column;
            return;
        }
    for (int n = 10; n <= kChannels; ++n)
        if (contains(name, "CLR_" + std::to_string(n))) {
            channel_[static_cast<size_t>(n - 1)] = column;
            return;
        }
    for (int n = 1; n <= 9; ++n)
        if (contains(name, "CLR_" + std::to_string(n))) {
            channel_[static_cast<size_t>(n - 1)] = column;
            return;
        }
    if (contains(name, "PC")) {
        for (int n = 10; n <= kChannels; ++n)
            if (contains(name, "_" + std::to_string(n))) {
                process_[static_cast<size_t>(n - 1)] = column;
                return;
            }
        for (int n = 1; n <= 9; ++n)
            if (contains(name, "_" + std::to_string(n))) {
                process_[static_cast<size_t>(n - 1)] = column;
                return;
            }
    }
    struct Exact {
        std::string_view name;
        int* slot;
    };
    const Exact exact[] = {
        {"D_RED", &density_[0]}, {"D_GREEN", &density_[1]}, {"D_BLUE", &density_[2]}, {"D_VIS", &density_[3]},
        {"XYZ_X", &xyz_[0]},     {"XYZ_Y", &xyz_[1]},       {"XYZ_Z", &xyz_[2]},      {"LAB_L", &lab_[0]},
        {"LAB_A", &lab_[1]},     {"LAB_B", &lab_[2]},       {"RGB_R", &rgb_[0]},      {"RGB_G", &rgb_[1]},
        {"RGB_B", &rgb_[2]},
    };
    for (const Exact& e : exact)
        if (name == e.name) {
            *e.slot = column;
            return;
        }
    if (name == "RED") {
        for (size_t i = 0; i < 4; ++i) channel_[i] = cmyk_[i];
        channel_[4] = column;
    } else if (name == "ORANGE") {
        channel_[4] = column;
    } else if (name == "GREEN") {
        channel_[5] = column;
    } else if (name == "BLUE") {
        channel_[6] = column;
    } else if (name == "DRGB") {
        rgbDensity_ = column;
    } else if (name == "SAMPLE_NAME") {
        sampleName_ = column;
    }
}

// Spectral fields are named by a prefix and the wavelength in nm. The last
// spectral field decides the scale: SPECTRAL_NM_ values are percentages,
// SPECTRAL_NM, SPECTRAL_ and NM values reflectance factors, and SP_ leaves
// the scale as it is. A name whose prefix is not followed by a wavelength
// is no spectral field ("SPECTRAL_NM380" is 380 nm, never 0 nm).
void CgatsChartReader::classifySpectral(const std::string& name, int column) {
    struct Prefix {
        std::string_view text;
        double scale;  // 0: unchanged
    };
    static constexpr Prefix kPrefixes[] = {
        {"SP_", 0.0}, {"SPECTRAL_NM_", 100.0}, {"SPECTRAL_NM", 1.0}, {"NM", 1.0}, {"SPECTRAL_", 1.0}};
    for (const Prefix& prefix : kPrefixes) {
        if (!startsWith(name, prefix.text)) continue;
        const std::string_view digits = std::string_view(name).substr(prefix.text.size());
        if (digits.empty() || digits[0] < '0' || digits[0] > '9') continue;
        const int nm = parseInt(digits);
        spectral_.push_back({name, column, nm});
        spectralColumns_.emplace(nm, column);
        if (prefix.scale != 0.0) spectralScale_ = prefix.scale;
        return;
    }
}

int CgatsChartReader::HasData(int type) const {
    auto all = [](const auto& columns) {
        return std::all_of(columns.begin(), columns.end(), [](int c) { return c >= 0; });
    };
    auto channelsUpTo = [this](int n) {
        return std::all_of(channel_.begin(), channel_.begin() + n, [](int c) { return c >= 0; });
    };
    switch (type) {
        case kCgatsXYZ:
            return all(xyz_) ? 1 : 0;
        case kCgatsLab:
            return all(lab_) ? 1 : 0;
        case kCgatsRGB:
            return all(rgb_) ? 1 : 0;
        case kCgatsCMYK:
            return all(cmyk_) ? 1 : 0;
        case kCgatsSixColor:
            return channelsUpTo(6) && channel_[6] < 0 ? 1 : 0;
        case kCgatsSevenColor:
            return channelsUpTo(7) ? 1 : 0;
        case kCgatsSpectral:
            return spectral_.size() >= 2 ? 1 : 0;
        case kCgatsDensities:
            return all(density_) ? 1 : 0;
        default:
            return 0;
    }
}

int CgatsChartReader::RowCount() const {
    return fields_.empty() ? 0 : static_cast<int>(cellStart_.size() / fields_.size());
}

const char* CgatsChartReader::Cell(int patch, int column) const {
    if (patch < 0 || patch >= RowCount() || column < 0 || static_cast<size_t>(column) >= fields_.size())
        return nullptr;
    return cellText_.c_str() +
           cellStart_[static_cast<size_t>(patch) * fields_.size() + static_cast<size_t>(column)];
}

double CgatsChartReader::CellValue(int patch, int column) const {
    const char* text = Cell(patch, column);
    return text != nullptr ? parseDouble(text) : 0.0;
}

bool CgatsChartReader::CellNumber(int patch, int column, double& value) const {
    const char* text = Cell(patch, column);
    return text != nullptr && parseNumber(text, value);
}

int CgatsChartReader::PatchLine(int patch) const {
    return patch >= 0 && static_cast<size_t>(patch) < rowLine_.size() ? rowLine_[static_cast<size_t>(patch)]
                                                                      : 0;
}

double CgatsChartReader::GetXYZ(int patch, int component) const {
    if (patch < 0 || patch >= GetPatchCount() || patch >= RowCount()) return -1.0;
    if (component < 0 || component > 2) return -2.0;
    const int column = xyz_[static_cast<size_t>(component)];
    if (column < 0) return -255.0;
    return CellValue(patch, column);
}

double CgatsChartReader::GetLab(int patch, int component) const {
    if (patch < 0 || patch >= GetPatchCount() || patch >= RowCount()) return -1.0;
    if (component < 0 || component > 2) return -2.0;
    const int column = lab_[static_cast<size_t>(component)];
    if (column < 0) return -255.0;
    const double value = CellValue(patch, column);
    return component == 0 ? std::clamp(value, 0.0, 100.0) : std::clamp(value, -128.0, 127.0);
}

void CgatsChartReader::GetSpectralLayout(int& start, int& step, int& count) const {
    if (spectral_.empty()) throw kCgatsNoSpectralData;
    start = spectral_[0].nm;
    step = spectral_.size() >= 2 ? std::abs(spectral_[1].nm - spectral_[0].nm) : 10;
    count = static_cast<int>(spectral_.size());
}

void CgatsChartReader::GetSpectrum(int patch, double* out) const {
    if (spectral_.empty()) throw kCgatsNoSpectralData;
    if (patch < 0 || patch >= GetPatchCount() || patch >= RowCount()) throw kCgatsPatchOutOfRange;
    for (size_t i = 0; i < spectral_.size(); ++i)
        out[i] = std::fabs(CellValue(patch, spectral_[i].column)) / spectralScale_;
}

int CgatsChartReader::GetSpectrumChecked(int patch, double* out) const {
    if (spectral_.empty()) throw kCgatsNoSpectralData;
    if (patch < 0 || patch >= GetPatchCount() || patch >= RowCount()) throw kCgatsPatchOutOfRange;
    // The row's cells found once: this runs for every patch of a file.
    const size_t* row = cellStart_.data() + static_cast<size_t>(patch) * fields_.size();
    int firstBad = -1;
    for (size_t i = 0; i < spectral_.size(); ++i) {
        double value = 0.0;
        const int column = spectral_[i].column;
        if (!parseNumber(cellText_.c_str() + row[column], value) && firstBad < 0) firstBad = column;
        out[i] = std::fabs(value) / spectralScale_;
    }
    return firstBad;
}

bool CgatsChartReader::KeywordValue(std::string_view keyword, std::string& value) const {
    const auto it = keywords_.find(keyword);
    if (it == keywords_.end()) return false;
    value = it->second;
    return true;
}

int CgatsChartReader::FieldColumn(std::string_view name) const {
    const auto it = fieldColumns_.find(name);
    return it == fieldColumns_.end() ? -1 : it->second;
}

int CgatsChartReader::SpectralColumn(int nm) const {
    const auto it = spectralColumns_.find(nm);
    return it == spectralColumns_.end() ? -1 : it->second;
}

}  // namespace measure
