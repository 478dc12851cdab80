// Captures the library's log lines while alive (level 5 and below by
// default), so tests can check the texts drivers and workers write.
#pragma once

#include <string>
#include <vector>

#include "support/test_environment.h"

namespace measure::test {

class LogCapture {
public:
    explicit LogCapture(int level = 5);
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // "<function>: <text>" (or "<function>" for a line without text) of each
    // line written so far, in order.
    std::vector<std::string> entries() const;
    // How many lines read exactly "<function>: <text>".
    int count(const std::string& function, const std::string& text) const;
    bool has(const std::string& function, const std::string& text) const { return count(function, text) > 0; }
    // Index of the first entry equal to "<function>: <text>", or -1.
    int indexOf(const std::string& function, const std::string& text) const;

private:
    TempDir dir_;
    std::string path_;
};

}  // namespace measure::test
