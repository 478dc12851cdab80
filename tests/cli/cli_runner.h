// Runs the built measure-cli in a private folder with the simulated
// instrument's environment, the way a user or a script would.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "color/cgats_chart_reader.h"
#include "platform/process.h"
#include "support/test_environment.h"

namespace measure::test {

// A CGATS file read back through the library's reader.
CgatsChartReader readBack(const std::string& path);
// A spectral measurement file: patch p, band b = (10 + p + b).25 percent.
std::string spectralFile(int patches);

// The lines of a text.
std::vector<std::string> lines(const std::string& text);
// `text` with each "\r\n" made "\n".
std::string unixLineEnds(const std::string& text);

struct CliRun {
    int exitCode = -1;
    std::string output;
    std::string errors;
    // The lines of standard error.
    std::vector<std::string> errorLines() const;
};

class CliRunner {
public:
    CliRunner();
    // Runs measure-cli with `args` in work() and the extra environment.
    CliRun run(const std::vector<std::string>& args,
               const std::vector<std::pair<std::string, std::string>>& environment = {}) const;
    // Starts it without waiting (for Ctrl-C tests).
    bool start(platform::ChildProcess& child, const std::vector<std::string>& args,
               const std::vector<std::pair<std::string, std::string>>& environment = {}) const;
    // The folder the program runs in; files it writes land here.
    const std::string& work() const { return work_.path(); }
    std::string file(const std::string& name) const { return work_.file(name); }
    // Common application data of the run: the simulation configuration goes
    // under Vantu/AutomatedTesting here.
    const std::string& appData() const { return appData_.path(); }
    void writeSimulationConfig(const std::string& xml) const;

private:
    std::vector<std::pair<std::string, std::string>> baseEnvironment() const;
    TempDir work_;
    TempDir appData_;
    TempDir capture_;
};

}  // namespace measure::test
