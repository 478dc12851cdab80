// The subcommands of measure-cli. Each takes the whole argv and the index of
// its first own argument, prints errors as one line on stderr and returns
// the process exit status: 0 success, 1 failure, 2 a comparison outside its
// tolerance, 130 stopped with Ctrl-C.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <measure/measure.h>

namespace cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitOutOfTolerance = 2;
inline constexpr int kExitInterrupted = 130;

int runList(int argc, char** argv, int first);
int runInfo(int argc, char** argv, int first);
int runCalibrate(int argc, char** argv, int first);
int runMeasure(int argc, char** argv, int first);
int runConvert(int argc, char** argv, int first);
int runCompare(int argc, char** argv, int first);
int runReport(int argc, char** argv, int first);
int runDemo(int argc, char** argv, int first);

// "measure-cli <command>: <text>" on stderr; returns kExitFailure.
int fail(const char* command, const std::string& text);

class Options;
// The common start of every command: with --help prints `help` and ends with
// 0; a bad option, or an argument where none is expected, ends with 1.
// Nothing when the command goes on.
std::optional<int> commandPreamble(const char* command, const Options& opts, const char* help,
                                   bool takesArguments = false);

// The one input file of convert and report and the file they write: -o, or
// the input's name with `suffix` added. Ends with 1 (status set) for a count
// of inputs other than one or an output that is the input itself.
struct InputOutput {
    std::string input;
    std::string output;
};
std::optional<InputOutput> inputAndOutput(const char* command, const Options& opts, const char* suffix,
                                          int& status);

// How a user names a measurement mode on the command line.
struct ModeChoice {
    const char* option;  // "lab", "status-e", ...
    uint32_t mode;       // the registry mode number
    const char* name;    // "Cie Lab", ...
    bool density;        // measured as spectra, delivered as densities
};
const std::vector<ModeChoice>& modeChoices();
std::optional<ModeChoice> findMode(const std::string& option);
bool rowOffersMode(const InstrumentDescriptor& row, uint32_t mode);
std::string modeList(const InstrumentDescriptor& row);

}  // namespace cli
