// Helpers of the transport tests: the library's log captured into a file and
// an environment variable set for the life of a test.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

#include "interface/logger.h"
#include "support/test_environment.h"

namespace measure::test {

// Logs everything up to `level` into a fresh file while alive.
class LogCapture {
public:
    explicit LogCapture(int level = 5) : path_(dir_.file("measure.log")) { LogEnable(level, false, path_); }
    ~LogCapture() { LogEnable(0, false, ""); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::string text() const { return readFile(path_); }
    // True when a line of `function` with exactly `message` was logged.
    bool has(const std::string& function, const std::string& message) const {
        return text().find(" : " + function + ": " + message + "\n") != std::string::npos;
    }
    bool mentions(const std::string& fragment) const { return text().find(fragment) != std::string::npos; }

private:
    TempDir dir_;
    std::string path_;
};

// Sets (or, with nullopt, removes) an environment variable; restores it after.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value)
            ::setenv(name, value->c_str(), 1);
        else
            ::unsetenv(name);
    }
    ~ScopedEnv() {
        if (old_)
            ::setenv(name_.c_str(), old_->c_str(), 1);
        else
            ::unsetenv(name_.c_str());
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};

}  // namespace measure::test
