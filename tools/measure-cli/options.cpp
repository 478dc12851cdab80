#include "options.h"

#include <charconv>
#include <cmath>

namespace cli {

Options::Options(int argc, char** argv, int first, const std::vector<OptionSpec>& specs) {
    auto find = [&](const std::string& token) -> const OptionSpec* {
        for (const auto& spec : specs)
            if (token == spec.name || (!spec.alias.empty() && token == spec.alias)) return &spec;
        return nullptr;
    };
    bool onlyPositional = false;
    for (int i = first; i < argc; ++i) {
        const std::string arg = argv[i] != nullptr ? argv[i] : "";
        if (onlyPositional || arg.size() < 2 || arg[0] != '-') {
            positional_.push_back(arg);
            continue;
        }
        if (arg == "--") {
            onlyPositional = true;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            help_ = true;
            continue;
        }
        std::string name = arg;
        std::optional<std::string> inlineValue;
        if (const auto eq = arg.find('='); eq != std::string::npos && arg.rfind("--", 0) == 0) {
            name = arg.substr(0, eq);
            inlineValue = arg.substr(eq + 1);
        }
        const OptionSpec* spec = find(name);
        if (spec == nullptr) {
            if (error_.empty()) error_ = "unknown option '" + name + "'";
            continue;
        }
        if (!spec->takesValue) {
            if (inlineValue && error_.empty()) error_ = "option '" + spec->name + "' takes no value";
            values_[spec->name] = "";
            continue;
        }
        if (!inlineValue) {
            if (i + 1 >= argc || argv[i + 1] == nullptr) {
                if (error_.empty()) error_ = "option '" + spec->name + "' needs a value";
                continue;
            }
            inlineValue = argv[++i];
        }
        if (values_.count(spec->name) != 0 && error_.empty())
            error_ = "option '" + spec->name + "' given twice";
        values_[spec->name] = *inlineValue;
    }
}

std::optional<std::string> Options::value(const std::string& name) const {
    const auto it = values_.find(name);
    if (it == values_.end()) return std::nullopt;
    return it->second;
}

std::optional<int64_t> parseInteger(const std::string& text, int64_t low, int64_t high) {
    int64_t value = 0;
    const char* begin = text.data();
    const char* end = begin + text.size();
    if (begin != end && *begin == '+') ++begin;
    const auto [ptr, ec] = std::from_chars(begin, end, value);
    if (ec != std::errc() || ptr != end || begin == end) return std::nullopt;
    if (value < low || value > high) return std::nullopt;
    return value;
}

std::optional<double> parseDecimal(const std::string& text) {
    double value = 0.0;
    const char* begin = text.data();
    const char* end = begin + text.size();
    const auto [ptr, ec] = std::from_chars(begin, end, value);
    if (ec != std::errc() || ptr != end || begin == end || !std::isfinite(value)) return std::nullopt;
    return value;
}

}  // namespace cli
