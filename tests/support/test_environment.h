// Shared helpers of the test program: a scaled clock, a captured error box,
// a temporary folder and the process environment.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "support/environment.h"

namespace measure::test {

// Sets the library's time scale while alive. Tests of where timeouts meet
// run at a scale at which the floors of the worker waits do not apply, so
// the timeouts keep their real proportions; tests whose waits for a peer (an
// emulated instrument or service answering) must outlast a loaded machine's
// scheduling delays stretch the clock the same way.
class ScopedTimeScale {
public:
    explicit ScopedTimeScale(double scale);
    ~ScopedTimeScale();
    ScopedTimeScale(const ScopedTimeScale&) = delete;
    ScopedTimeScale& operator=(const ScopedTimeScale&) = delete;

private:
    double previous_;
};

// Polls `condition` every millisecond until it holds (true) or `ms` real
// milliseconds pass (false).
bool waitFor(const std::function<bool()>& condition, int ms = 10000);

// A fresh folder under the temporary folder, removed with the object.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// The file's bytes as they are.
std::string readFile(const std::string& path);
// A text file the library wrote in the system's text mode (log files):
// Windows line ends ("\r\n") read as "\n".
std::string readTextFile(const std::string& path);

// Captures error boxes while alive.
class ErrorBoxCapture {
public:
    ErrorBoxCapture();
    ~ErrorBoxCapture();
    std::vector<std::string> texts() const;
    std::vector<std::string> captions() const;
};

}  // namespace measure::test

namespace measure::test {

// Logs everything (level 5) to a temporary file while alive.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    std::string text() const;
    bool contains(const std::string& needle) const { return text().find(needle) != std::string::npos; }

    // "<function>: <text>" (or "<function>" for a line without text) of each
    // line written so far, in order.
    std::vector<std::string> entries() const;
    // How many lines read exactly "<function>: <text>" ("<function>" when
    // `text` is empty).
    int count(const std::string& function, const std::string& text) const;
    bool has(const std::string& function, const std::string& text) const { return count(function, text) > 0; }
    // Index in entries() of the first such line, or -1.
    int indexOf(const std::string& function, const std::string& text) const;

private:
    TempDir dir_;
};

}  // namespace measure::test
