// Command-line options of one subcommand: "--name value", "--name=value",
// short aliases ("-o"), flags without a value and positional arguments.
// Anything not declared is an error, never ignored.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace cli {

struct OptionSpec {
    std::string name;        // "--patches"
    std::string alias;       // "-o", or empty
    bool takesValue = true;  // false for flags such as "--single"
};

class Options {
public:
    // Parses argv[first..argc). On failure error() names the problem.
    Options(int argc, char** argv, int first, const std::vector<OptionSpec>& specs);

    bool ok() const { return error_.empty(); }
    const std::string& error() const { return error_; }
    bool help() const { return help_; }

    bool has(const std::string& name) const { return values_.count(name) != 0; }
    std::optional<std::string> value(const std::string& name) const;
    const std::vector<std::string>& positional() const { return positional_; }

private:
    std::map<std::string, std::string> values_;
    std::vector<std::string> positional_;
    std::string error_;
    bool help_ = false;
};

// A whole decimal integer within [low, high]; nothing else is accepted.
std::optional<int64_t> parseInteger(const std::string& text, int64_t low, int64_t high);

// A whole finite decimal number ("2", "2.5", "0.75"); nothing else is accepted.
std::optional<double> parseDecimal(const std::string& text);

}  // namespace cli
