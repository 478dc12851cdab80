#include "platform/pseudo_terminal.h"

#include <chrono>

namespace measure::platform {

std::string PseudoTerminal::readUntil(char terminator, std::chrono::milliseconds timeout) {
    std::string text;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return text;
        char c = 0;
        const int n = read(&c, 1, left);
        if (n <= 0) return text;
        text.push_back(c);
        if (c == terminator) return text;
    }
}

}  // namespace measure::platform
