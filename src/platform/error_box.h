// The one user-visible diagnostic: a system-modal error box (MessageBoxA on
// Windows; stderr on POSIX, where it never blocks). Tests install a hook that
// receives the box instead.
#pragma once

#include <functional>
#include <string>

namespace measure::platform {

using ErrorBoxHook = std::function<void(const std::string& text, const std::string& caption)>;

void showErrorBox(const std::string& text, const std::string& caption);

// Replaces the box with `hook` until called again with an empty hook.
void setErrorBoxHook(ErrorBoxHook hook);

}  // namespace measure::platform
