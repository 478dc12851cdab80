// Shared helpers of the test program: a scaled clock, a captured error box,
// a temporary folder and a POSIX message window.
#pragma once

#include <string>
#include <vector>

namespace measure::test {

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

std::string readFile(const std::string& path);

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

private:
    TempDir dir_;
};

}  // namespace measure::test
