#include "cli/cli_runner.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace measure::test {

CgatsChartReader readBack(const std::string& path) {
    CgatsChartReader reader;
    reader.Read(path);
    return reader;
}

std::string spectralFile(int patches) {
    std::ostringstream text;
    text << "CGATS.17\nNUMBER_OF_FIELDS 37\nBEGIN_DATA_FORMAT\nSAMPLE_ID";
    for (int nm = 380; nm <= 730; nm += 10) text << " SPECTRAL_NM_" << nm;
    text << "\nEND_DATA_FORMAT\nNUMBER_OF_SETS " << patches << "\nBEGIN_DATA\n";
    for (int p = 0; p < patches; ++p) {
        text << 'P' << p + 1;
        for (int b = 0; b < 36; ++b) text << ' ' << 10 + p + b << ".25";
        text << '\n';
    }
    text << "END_DATA\n";
    return text.str();
}

// The program writes its console text in the system's text mode: on Windows
// every line ends with "\r\n". The tests compare lines as "\n" ends them.
std::string unixLineEnds(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out += text[i];
    return out;
}

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
            {kTemporaryFolderVariable, work_.path()},
            {"MEASURE_LOG", ""}};
}

CliRun CliRunner::run(const std::vector<std::string>& args,
                      const std::vector<std::pair<std::string, std::string>>& environment) const {
    std::vector<std::string> argv = {MEASURE_CLI_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    auto env = baseEnvironment();
    env.insert(env.end(), environment.begin(), environment.end());
    const auto result = platform::runProcess(argv, env, work_.path(), capture_.path(), 60000);
    return {result.exitCode, unixLineEnds(result.output), unixLineEnds(result.errors)};
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
