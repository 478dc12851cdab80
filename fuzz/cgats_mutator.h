// A structure-aware mutator for CGATS texts. Byte mutations of a chart mostly
// break its table (a row with a value too many, NUMBER_OF_SETS off by one)
// and the reader stops before the data; this mutator reads the input as
// header lines, a field list and rows, changes one of them and writes the
// chart out again with NUMBER_OF_SETS matching the rows, so that most inputs
// are read to the end and every query runs on a full table:
// - a value becomes another number (integers, decimals with a point or a
//   comma, exponents, signs, "nan", "inf", huge and tiny values) or gets
//   byte mutations;
// - rows are copied or removed;
// - fields (with their column) are added from the names the readers know,
//   removed or renamed;
// - header lines are added from the known keywords, removed or mutated;
// - now and then the count is left wrong, a row gets a value too few or too
//   many, or the whole text gets byte mutations, so that the error paths
//   stay covered (the next mutation of such a chart repairs it).
// An input that is no chart gets byte mutations only.
//
// MEASURE_FUZZ_PLAIN=1 in the environment switches it off (plain byte
// mutations only), to compare the coverage both reach.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "keyword_mutator.h"

namespace measure::fuzz {

struct CgatsText {
    std::vector<std::string> header;  // keyword lines other than NUMBER_OF_SETS
    std::vector<std::string> fields;
    std::vector<std::vector<std::string>> rows;
    std::string lineEnd = "\n";
    int countDelta = 0;   // NUMBER_OF_SETS minus the rows
    bool ragged = false;  // rows keep their lengths; else one value per field
};

inline std::vector<std::string> cgatsTokens(std::string_view line) {
    std::vector<std::string> tokens;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r' || line[i] == '\n'))
            ++i;
        const size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r' && line[i] != '\n')
            ++i;
        if (i > start) tokens.emplace_back(line.substr(start, i - start));
    }
    return tokens;
}

inline std::optional<CgatsText> parseCgatsText(std::string_view text) {
    CgatsText chart;
    if (text.find("\r\n") != std::string_view::npos)
        chart.lineEnd = "\r\n";
    else if (text.find('\n') == std::string_view::npos && text.find('\r') != std::string_view::npos)
        chart.lineEnd = "\r";
    enum { Header, Format, Data, Done } phase = Header;
    bool sawFormat = false;
    for (const std::string& raw : splitLines(text)) {
        const std::vector<std::string> tokens = cgatsTokens(raw);
        if (tokens.empty()) continue;
        const std::string& first = tokens[0];
        switch (phase) {
            case Header:
                if (first == "BEGIN_DATA_FORMAT") {
                    phase = Format;
                    sawFormat = true;
                } else if (first == "BEGIN_DATA") {
                    phase = Data;
                } else if (first != "NUMBER_OF_SETS") {
                    std::string line = raw;
                    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
                    chart.header.push_back(line);
                }
                break;
            case Format:
                for (const std::string& token : tokens) {
                    if (token == "END_DATA_FORMAT") {
                        phase = Header;
                        break;
                    }
                    chart.fields.push_back(token);
                }
                break;
            case Data:
                if (first == "END_DATA") {
                    phase = Done;
                    break;
                }
                chart.rows.push_back(tokens);
                break;
            case Done:
                break;
        }
    }
    if (!sawFormat || chart.fields.empty() || phase == Header || phase == Format) return std::nullopt;
    return chart;
}

inline std::string writeCgatsText(const CgatsText& chart) {
    const std::string& end = chart.lineEnd;
    std::string text;
    for (const std::string& line : chart.header) text += line + end;
    const long long count = static_cast<long long>(chart.rows.size()) + chart.countDelta;
    text += "NUMBER_OF_SETS " + std::to_string(count) + end + "BEGIN_DATA_FORMAT" + end;
    for (size_t i = 0; i < chart.fields.size(); ++i) text += (i == 0 ? "" : " ") + chart.fields[i];
    text += end + "END_DATA_FORMAT" + end + "BEGIN_DATA" + end;
    for (auto row : chart.rows) {
        if (!chart.ragged) row.resize(chart.fields.size(), "0");
        for (size_t i = 0; i < row.size(); ++i) text += (i == 0 ? "" : " ") + row[i];
        text += end;
    }
    return text + "END_DATA" + end;
}

inline size_t mutateCgats(uint8_t* data, size_t size, size_t maxSize, unsigned seed,
                          std::span<const std::string_view> keywords) {
    std::minstd_rand random(seed);
    auto below = [&](size_t n) { return n == 0 ? size_t{0} : static_cast<size_t>(random() % n); };
    if (plainMutationsOnly() || below(10) == 0) return LLVMFuzzerMutate(data, size, maxSize);
    std::optional<CgatsText> parsed =
        parseCgatsText(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!parsed) return mutateKeepingKeywords(data, size, maxSize, seed, keywords);
    CgatsText& chart = *parsed;

    static constexpr std::string_view kFields[] = {"SAMPLE_ID",
                                                   "SAMPLE_NAME",
                                                   "LAB_L",
                                                   "LAB_A",
                                                   "LAB_B",
                                                   "XYZ_X",
                                                   "XYZ_Y",
                                                   "XYZ_Z",
                                                   "RGB_R",
                                                   "RGB_G",
                                                   "RGB_B",
                                                   "CMYK_C",
                                                   "CMYK_M",
                                                   "CMYK_Y",
                                                   "CMYK_K",
                                                   "D_VIS",
                                                   "D_RED",
                                                   "SPECTRAL_NM_380",
                                                   "SPECTRAL_NM_390",
                                                   "SPECTRAL_400",
                                                   "SPECTRAL_410",
                                                   "SPECTRAL_730",
                                                   "SPECTRAL_NM_420",
                                                   "SPECTRAL_NM_415",
                                                   "SP_500",
                                                   "NM_510",
                                                   "6CLR_1",
                                                   "6CLR_5",
                                                   "7CLR_7",
                                                   "8CLR_8",
                                                   "PC6_1",
                                                   "PC6_6",
                                                   "PC9_9",
                                                   "RED",
                                                   "ORANGE",
                                                   "GREEN",
                                                   "BLUE",
                                                   "CMY_C",
                                                   "15CLR_15",
                                                   "16CLR_16"};
    static constexpr std::string_view kValues[] = {"0",
                                                   "1",
                                                   "-1",
                                                   "100",
                                                   "255",
                                                   "0.5",
                                                   "0,25",
                                                   "1e3",
                                                   "-0",
                                                   "1e-320",
                                                   "1e309",
                                                   "nan",
                                                   "inf",
                                                   "-inf",
                                                   "2147483648",
                                                   "-2147483649",
                                                   "99999999999999999999",
                                                   "+-1",
                                                   "\"quoted\"",
                                                   "0x10",
                                                   ".",
                                                   "+"};
    auto value = [&] {
        switch (below(3)) {
            case 0:
                return std::string(kValues[below(std::size(kValues))]);
            case 1:
                return std::to_string(static_cast<int>(below(20001)) - 10000);
            default: {
                std::string v = std::to_string(below(100000) / 100.0);
                if (below(2) == 0) v[v.find('.')] = ',';
                return v;
            }
        }
    };

    const size_t columns = chart.fields.size();
    switch (below(12)) {
        case 0:
        case 1:
        case 2:  // one value
            if (!chart.rows.empty()) {
                auto& row = chart.rows[below(chart.rows.size())];
                if (row.empty()) break;
                std::string& cell = row[below(row.size())];
                if (below(3) == 0) {
                    cell.resize(cell.size() + 16);
                    cell.resize(LLVMFuzzerMutate(reinterpret_cast<uint8_t*>(cell.data()), cell.size() - 16,
                                                 cell.size()));
                    for (char& c : cell)
                        if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\0' || c == '"') c = '_';
                    if (cell.empty()) cell = "0";
                } else {
                    cell = value();
                }
            }
            break;
        case 3:  // a row more
            if (!chart.rows.empty())
                chart.rows.insert(
                    chart.rows.begin() + static_cast<std::ptrdiff_t>(below(chart.rows.size() + 1)),
                    chart.rows[below(chart.rows.size())]);
            else
                chart.rows.emplace_back(columns, "1");
            break;
        case 4:  // a row fewer
            if (!chart.rows.empty())
                chart.rows.erase(chart.rows.begin() + static_cast<std::ptrdiff_t>(below(chart.rows.size())));
            break;
        case 5: {  // a field more, with its column
            const size_t at = below(columns + 1);
            chart.fields.insert(chart.fields.begin() + static_cast<std::ptrdiff_t>(at),
                                std::string(kFields[below(std::size(kFields))]));
            for (auto& row : chart.rows)
                row.insert(row.begin() + static_cast<std::ptrdiff_t>(std::min(at, row.size())), value());
            break;
        }
        case 6:  // a field fewer
            if (columns > 1) {
                const size_t at = below(columns);
                chart.fields.erase(chart.fields.begin() + static_cast<std::ptrdiff_t>(at));
                for (auto& row : chart.rows)
                    if (at < row.size()) row.erase(row.begin() + static_cast<std::ptrdiff_t>(at));
            }
            break;
        case 7:  // a field renamed
            chart.fields[below(columns)] = std::string(kFields[below(std::size(kFields))]);
            break;
        case 8: {  // a header line more
            // Not the words that frame the table: the chart stays one table.
            std::string_view keyword = keywords.empty() ? "KEYWORD" : keywords[below(keywords.size())];
            if (keyword == "NUMBER_OF_SETS" || keyword.starts_with("BEGIN_") || keyword.starts_with("END_"))
                keyword = "KEYWORD";
            std::string line(keyword);
            line += " " + value();
            if (below(2) == 0) line += " " + value() + " " + value() + " " + value() + " \"Light Orange\"";
            chart.header.insert(
                chart.header.begin() + static_cast<std::ptrdiff_t>(below(chart.header.size() + 1)), line);
            break;
        }
        case 9:  // a header line fewer, or mutated
            if (!chart.header.empty()) {
                const size_t at = below(chart.header.size());
                if (below(2) == 0) {
                    chart.header.erase(chart.header.begin() + static_cast<std::ptrdiff_t>(at));
                } else {
                    std::string& line = chart.header[at];
                    line.resize(line.size() + 16);
                    line.resize(LLVMFuzzerMutate(reinterpret_cast<uint8_t*>(line.data()), line.size() - 16,
                                                 line.size()));
                    for (char& c : line)
                        if (c == '\r' || c == '\n') c = ' ';
                }
            }
            break;
        case 10:  // a count that does not match
            chart.countDelta = below(2) == 0 ? 1 : -1;
            break;
        default:  // a row with a value too few or too many
            chart.ragged = true;
            if (!chart.rows.empty()) {
                auto& row = chart.rows[below(chart.rows.size())];
                if (below(2) == 0 && !row.empty())
                    row.pop_back();
                else
                    row.push_back(value());
            }
            break;
    }
    const std::string text = writeCgatsText(chart);
    if (text.size() > maxSize) return LLVMFuzzerMutate(data, size, maxSize);
    std::memcpy(data, text.data(), text.size());
    return text.size();
}

}  // namespace measure::fuzz
