#include "cli/cli_runner.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace measure::test {

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

std::vector<std::string> CliRun::errorLines() const {
    return lines(errors);
}

CliRunner::CliRunner() = default;

std::vector<std::pair<std::string, std::string>> CliRunner::baseEnvironment() const {
    return {{"MEASURE_COMMON_APPDATA", appData_.path()},
            {"MEASURE_TIME_SCALE", "0.01"},
            {"TMPDIR", work_.path()},
            {"MEASURE_LOG", ""}};
}

CliRun CliRunner::run(const std::vector<std::string>& args,
                      const std::vector<std::pair<std::string, std::string>>& environment) const {
    std::vector<std::string> argv = {MEASURE_CLI_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    auto env = baseEnvironment();
    env.insert(env.end(), environment.begin(), environment.end());
    const auto result = platform::runProcess(argv, env, work_.path(), capture_.path(), 60000);
    return {result.exitCode, result.output, result.errors};
}

bool CliRunner::start(platform::ChildProcess& child, const std::vector<std::string>& args,
                      const std::vector<std::pair<std::string, std::string>>& environment) const {
    std::vector<std::string> argv = {MEASURE_CLI_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    auto env = baseEnvironment();
    env.insert(env.end(), environment.begin(), environment.end());
    return child.start(argv, env, work_.path(), capture_.path());
}

void CliRunner::writeSimulationConfig(const std::string& xml) const {
    const auto folder = std::filesystem::path(appData_.path()) / "Vantu" / "AutomatedTesting";
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "SimulationInstrumentConfig.xml") << xml;
}

}  // namespace measure::test
