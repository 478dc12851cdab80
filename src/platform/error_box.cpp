#include "platform/error_box.h"

#include <mutex>

#include "platform/backend.h"

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
    backend::showSystemErrorBox(text, caption);
}

void setErrorBoxHook(ErrorBoxHook hook) {
    std::lock_guard lock(hookMutex());
    hookSlot() = std::move(hook);
}

}  // namespace measure::platform
