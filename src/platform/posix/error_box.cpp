#include <cstdio>

#include "platform/backend.h"

namespace measure::platform::backend {

// No desktop to block on: the box becomes one line on stderr.
void showSystemErrorBox(const std::string& text, const std::string& caption) {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    std::fflush(stderr);
}

}  // namespace measure::platform::backend
