// Helpers of the transport tests: a logged line looked up by function and
// text, an environment variable set for the life of a test.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

#include "support/test_environment.h"

namespace measure::test {

// True when `log` holds a line of `function` with exactly `message`.
inline bool logged(const LogCapture& log, const std::string& function, const std::string& message) {
    return log.contains(" : " + function + ": " + message + "\n");
}

// Sets (or, with nullopt, removes) an environment variable; restores it after.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        setEnvironment(name, value ? value->c_str() : nullptr);
    }
    ~ScopedEnv() { setEnvironment(name_.c_str(), old_ ? old_->c_str() : nullptr); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};

}  // namespace measure::test
