// A child program through CreateProcessA: its own environment block, standard
// output and error in inherited file handles, standard input from NUL. Ctrl-C
// is sent as CTRL_BREAK_EVENT to the child's own process group, the one
// console event that can be aimed at a single process.
#include "platform/process.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <map>

namespace measure::platform {

struct ChildProcess::State {
    HANDLE process = nullptr;
    DWORD id = 0;
};

namespace {

// Variable names compare without regard to case on Windows.
struct NameLess {
    bool operator()(const std::string& a, const std::string& b) const {
        return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
            return std::toupper(static_cast<unsigned char>(x)) < std::toupper(static_cast<unsigned char>(y));
        });
    }
};

// This process's environment with `changes` applied (an empty value removes
// the variable, as _putenv_s does), as a block of "name=value\0" entries
// ending with one more "\0".
std::string environmentBlock(const std::vector<std::pair<std::string, std::string>>& changes) {
    std::map<std::string, std::string, NameLess> variables;
    std::vector<std::string> hidden;  // "=C:=C:\\..." entries: per-drive folders
    if (char* block = ::GetEnvironmentStringsA()) {
        for (const char* entry = block; *entry != '\0'; entry += std::char_traits<char>::length(entry) + 1) {
            const std::string text = entry;
            const size_t eq = text.find('=', 1);
            if (text[0] == '=' || eq == std::string::npos)
                hidden.push_back(text);
            else
                variables[text.substr(0, eq)] = text.substr(eq + 1);
        }
        ::FreeEnvironmentStringsA(block);
    }
    for (const auto& [name, value] : changes) {
        if (value.empty())
            variables.erase(name);
        else
            variables[name] = value;
    }
    std::string out;
    for (const std::string& entry : hidden) out += entry + '\0';
    for (const auto& [name, value] : variables) out += name + "=" + value + '\0';
    return out + '\0';
}

// One argument quoted so that the child's C runtime splits it back out
// unchanged: backslashes double only before a quote.
std::string quoted(const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) return arg;
    std::string out = "\"";
    size_t backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, '\\');
    return out + "\"";
}

HANDLE inheritableFile(const std::string& path, bool write) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    return ::CreateFileA(path.c_str(), write ? GENERIC_WRITE : GENERIC_READ,
                         FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, write ? CREATE_ALWAYS : OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

ChildProcess::ChildProcess() : state_(std::make_unique<State>()) {}

ChildProcess::~ChildProcess() {
    kill();
    if (state_->process != nullptr) ::CloseHandle(state_->process);
}

bool ChildProcess::start(const std::vector<std::string>& argv,
                         const std::vector<std::pair<std::string, std::string>>& environment,
                         const std::string& workingFolder, const std::string& captureFolder) {
    if (argv.empty() || state_->process != nullptr) return false;
    std::string commandLine;
    for (const std::string& arg : argv) commandLine += (commandLine.empty() ? "" : " ") + quoted(arg);
    std::string block = environmentBlock(environment);

    outPath_ = captureFolder + "/stdout.txt";
    errPath_ = captureFolder + "/stderr.txt";
    HANDLE input = inheritableFile("NUL", false);
    HANDLE output = inheritableFile(outPath_, true);
    HANDLE errors = inheritableFile(errPath_, true);
    bool started = false;
    if (input != INVALID_HANDLE_VALUE && output != INVALID_HANDLE_VALUE && errors != INVALID_HANDLE_VALUE) {
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = input;
        startup.hStdOutput = output;
        startup.hStdError = errors;
        PROCESS_INFORMATION info{};
        started =
            ::CreateProcessA(argv[0].c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                             CREATE_NEW_PROCESS_GROUP, block.data(),
                             workingFolder.empty() ? nullptr : workingFolder.c_str(), &startup, &info) != 0;
        if (started) {
            ::CloseHandle(info.hThread);
            state_->process = info.hProcess;
            state_->id = info.dwProcessId;
            ended_ = false;
        }
    }
    for (HANDLE h : {input, output, errors})
        if (h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
    return started;
}

bool ChildProcess::wait(uint32_t ms) {
    if (state_->process == nullptr || ended_) return true;
    if (::WaitForSingleObject(state_->process, ms) != WAIT_OBJECT_0) return false;
    DWORD code = 0;
    exitCode_ = ::GetExitCodeProcess(state_->process, &code) ? static_cast<int>(code) : -1;
    ended_ = true;
    return true;
}

void ChildProcess::interrupt() {
    if (state_->process != nullptr && !ended_) ::GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, state_->id);
}

void ChildProcess::kill() {
    if (state_->process == nullptr || ended_) return;
    ::TerminateProcess(state_->process, 1);
    ::WaitForSingleObject(state_->process, INFINITE);
    ended_ = true;
    exitCode_ = -1;
}

}  // namespace measure::platform
