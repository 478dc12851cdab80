#include <windows.h>

#include "platform/backend.h"

namespace measure::platform::backend {

// Blocks the calling thread until the user closes the box.
void showSystemErrorBox(const std::string& text, const std::string& caption) {
    ::MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_OK | MB_ICONERROR | MB_SYSTEMMODAL);
}

}  // namespace measure::platform::backend
