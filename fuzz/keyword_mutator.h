// A line- and keyword-preserving mutator for text formats whose parser
// stops at the first malformed keyword line (CGATS, framed TCP messages).
// Plain byte mutations mostly break a keyword and never get past the header;
// these mutations keep the lines' keywords and change what stands beside
// them, so that most inputs reach the data phase:
// - mutate the rest of one line, after its keyword when it starts with one;
// - duplicate, delete or swap whole lines (more or fewer table rows);
// - insert one of the format's keywords as a line of its own;
// - every other time a plain byte mutation of the whole input, so that what
//   lies between the lines (line ends, blanks) is explored too.
//
// MEASURE_FUZZ_PLAIN=1 in the environment switches it off (plain byte
// mutations only), to compare the coverage both reach.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t maxSize);

namespace measure::fuzz {

inline bool plainMutationsOnly() {
    static const bool plain = [] {
        const char* value = std::getenv("MEASURE_FUZZ_PLAIN");
        return value != nullptr && value[0] == '1';
    }();
    return plain;
}

// With MEASURE_FUZZ_STATS=1: how many inputs got as far as `what` says,
// printed at exit, to compare mutators.
class ReachCount {
public:
    explicit ReachCount(const char* what) : what_(what) {}
    ~ReachCount() {
        const char* wanted = std::getenv("MEASURE_FUZZ_STATS");
        if (wanted != nullptr && wanted[0] == '1')
            std::fprintf(stderr, "%s: %zu of %zu\n", what_, reached_, inputs_);
    }
    void count(bool reached) {
        ++inputs_;
        if (reached) ++reached_;
    }

private:
    const char* what_;
    size_t inputs_ = 0;
    size_t reached_ = 0;
};

// Lines including their end ("\n", "\r\n" or "\r"); the last may lack one.
inline std::vector<std::string> splitLines(std::string_view text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\n' && text[i] != '\r') continue;
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        lines.emplace_back(text.substr(start, i + 1 - start));
        start = i + 1;
    }
    if (start < text.size()) lines.emplace_back(text.substr(start));
    return lines;
}

// Length of the keyword that starts `line`, 0 when it starts with none.
inline size_t keywordLength(std::string_view line, std::span<const std::string_view> keywords) {
    size_t longest = 0;
    for (std::string_view k : keywords)
        if (line.size() >= k.size() && line.compare(0, k.size(), k) == 0)
            longest = std::max(longest, k.size());
    return longest;
}

inline size_t mutateKeepingKeywords(uint8_t* data, size_t size, size_t maxSize, unsigned seed,
                                    std::span<const std::string_view> keywords) {
    std::minstd_rand random(seed);
    auto below = [&](size_t n) { return n == 0 ? size_t{0} : static_cast<size_t>(random() % n); };
    if (plainMutationsOnly() || size == 0 || below(2) == 0) return LLVMFuzzerMutate(data, size, maxSize);

    std::vector<std::string> lines = splitLines(std::string_view(reinterpret_cast<const char*>(data), size));
    const size_t at = below(lines.size());
    switch (below(5)) {
        case 0:
        case 1: {  // the rest of one line, after its keyword
            std::string& line = lines[at];
            const size_t keep = keywordLength(line, keywords);
            std::string rest = line.substr(keep);
            const size_t room = maxSize > size ? maxSize - size : 0;
            rest.resize(rest.size() + std::min<size_t>(room, 64));
            const size_t length =
                LLVMFuzzerMutate(reinterpret_cast<uint8_t*>(rest.data()), line.size() - keep, rest.size());
            rest.resize(length);
            line = line.substr(0, keep) + rest;
            break;
        }
        case 2:  // one line more or one fewer
            if (below(2) == 0)
                lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), lines[at]);
            else
                lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(at));
            break;
        case 3:  // two lines change places
            std::swap(lines[at], lines[below(lines.size())]);
            break;
        default:  // a keyword line of its own
            if (!keywords.empty()) {
                std::string line(keywords[below(keywords.size())]);
                line += below(2) == 0 ? "\n" : " 1\n";
                lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(below(lines.size() + 1)), line);
            }
            break;
    }
    std::string text;
    for (const std::string& line : lines) text += line;
    if (text.empty()) return LLVMFuzzerMutate(data, size, maxSize);
    if (text.size() > maxSize) text.resize(maxSize);
    std::memcpy(data, text.data(), text.size());
    return text.size();
}

}  // namespace measure::fuzz
