// The process environment as tests change it (POSIX has setenv, Windows
// _putenv_s), and what the tests run on.
#pragma once

#include <string>

namespace measure::test {

// True when the test program runs under wine rather than on Windows or
// POSIX itself: the few things wine does differently are checked with it.
bool runningUnderWine();

// The variable that names the library's temporary folder: TMPDIR on POSIX,
// TMP on Windows (the first one GetTempPath reads).
extern const char* const kTemporaryFolderVariable;

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
