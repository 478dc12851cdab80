#include "platform/error_box.h"

#include <cstdio>
#include <mutex>

namespace measure::platform {
namespace {

std::mutex& hookMutex() {
    static std::mutex mutex;
    return mutex;
}
ErrorBoxHook& hookSlot() {
    static ErrorBoxHook hook;
    return hook;
}

}  // namespace

void showErrorBox(const std::string& text, const std::string& caption) {
    ErrorBoxHook hook;
    {
        std::lock_guard lock(hookMutex());
        hook = hookSlot();
    }
    if (hook) {
        hook(text, caption);
        return;
    }
    // No desktop to block on: the box becomes one line on stderr.
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    std::fflush(stderr);
}

void setErrorBoxHook(ErrorBoxHook hook) {
    std::lock_guard lock(hookMutex());
    hookSlot() = std::move(hook);
}

}  // namespace measure::platform
