#include "support/log_capture.h"

#include <sstream>

#include "interface/logger.h"

namespace measure::test {

LogCapture::LogCapture(int level) : path_(dir_.file("measure.log")) {
    LogEnable(level, false, path_);
}

LogCapture::~LogCapture() {
    LogClose();
}

std::vector<std::string> LogCapture::entries() const {
    // A line is "<ctime>: <ms> : <thread> : <function>[: <text>]".
    std::vector<std::string> out;
    std::istringstream in(readFile(path_));
    std::string line;
    while (std::getline(in, line)) {
        size_t pos = line.find(" : ");
        if (pos == std::string::npos) continue;
        pos = line.find(" : ", pos + 3);
        if (pos == std::string::npos) continue;
        out.push_back(line.substr(pos + 3));
    }
    return out;
}

int LogCapture::count(const std::string& function, const std::string& text) const {
    const std::string wanted = text.empty() ? function : function + ": " + text;
    int n = 0;
    for (const std::string& e : entries())
        if (e == wanted) ++n;
    return n;
}

int LogCapture::indexOf(const std::string& function, const std::string& text) const {
    const std::string wanted = text.empty() ? function : function + ": " + text;
    const std::vector<std::string> all = entries();
    for (size_t i = 0; i < all.size(); ++i)
        if (all[i] == wanted) return static_cast<int>(i);
    return -1;
}

}  // namespace measure::test
