#include <io.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>

#include "console.h"

namespace cli {
namespace {

BOOL WINAPI onConsoleControl(DWORD type) {
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT && type != CTRL_CLOSE_EVENT) return FALSE;
    if (noteInterrupt()) ExitProcess(130);
    return TRUE;
}

}  // namespace

bool stdoutIsTerminal() {
    return _isatty(_fileno(stdout)) != 0;
}

bool setEnvironment(const std::string& name, const std::string& value) {
    return _putenv_s(name.c_str(), value.c_str()) == 0;
}

void installInterruptHandler() {
    SetConsoleCtrlHandler(onConsoleControl, TRUE);
}

std::string makeTemporaryFolder(const std::string& prefix) {
    std::error_code ec;
    const auto base = std::filesystem::temp_directory_path(ec);
    if (ec) return {};
    std::random_device rd;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const auto candidate = base / (prefix + std::to_string(rd()));
        if (std::filesystem::create_directory(candidate, ec)) return candidate.string();
    }
    return {};
}

}  // namespace cli
