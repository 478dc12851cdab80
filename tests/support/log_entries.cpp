// Reading the captured log line by line.
#include <sstream>

#include "support/test_environment.h"

namespace measure::test {
namespace {

std::string entryOf(const std::string& function, const std::string& text) {
    return text.empty() ? function : function + ": " + text;
}

}  // namespace

std::vector<std::string> LogCapture::entries() const {
    // A line is "<ctime>: <ms> : <thread> : <function>[: <text>]".
    std::vector<std::string> out;
    std::istringstream in(text());
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
    const std::string wanted = entryOf(function, text);
    int n = 0;
    for (const std::string& e : entries())
        if (e == wanted) ++n;
    return n;
}

int LogCapture::indexOf(const std::string& function, const std::string& text) const {
    const std::string wanted = entryOf(function, text);
    const std::vector<std::string> all = entries();
    for (size_t i = 0; i < all.size(); ++i)
        if (all[i] == wanted) return static_cast<int>(i);
    return -1;
}

}  // namespace measure::test
