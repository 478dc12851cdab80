// The process environment as tests change it. Portable: POSIX has setenv,
// Windows has _putenv_s.
#pragma once

#include <string>

namespace measure::test {

// Sets (value non-null) or removes an environment variable of this process.
void setEnvironment(const char* name, const char* value);

// Sets an environment variable (or removes it with a null value) for the
// object's lifetime, then restores what was there before.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const char* value);
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    std::string name_;
    bool hadValue_ = false;
    std::string previous_;
};

}  // namespace measure::test
