// Without the test hook the error box is a real system-modal MessageBoxA that
// blocks its thread until closed. A watchdog plays the user: it finds the
// dialog among the box thread's windows and presses OK.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "platform/error_box.h"

namespace measure::platform {
namespace {

struct FoundBox {
    HWND dialog = nullptr;
};

BOOL CALLBACK findDialog(HWND window, LPARAM context) {
    char className[32] = {};
    ::GetClassNameA(window, className, sizeof className);
    if (std::string(className) != "#32770") return TRUE;
    reinterpret_cast<FoundBox*>(context)->dialog = window;
    return FALSE;
}

TEST(Win32ErrorBox, ARealBoxBlocksUntilTheUserPressesOk) {
    std::atomic<DWORD> boxThread{0};
    std::atomic<bool> closed{false};
    std::thread shower([&] {
        boxThread = ::GetCurrentThreadId();
        showErrorBox("Exception in StartMultiMeasure: MoveAbsXY", "measure.dll Error");
        closed = true;
    });
    while (boxThread == 0) std::this_thread::yield();

    FoundBox found;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (found.dialog == nullptr && std::chrono::steady_clock::now() < deadline) {
        ::EnumThreadWindows(boxThread, findDialog, reinterpret_cast<LPARAM>(&found));
        if (found.dialog == nullptr) ::Sleep(10);
    }
    if (found.dialog == nullptr) {
        shower.detach();  // the process ends it
        FAIL() << "no box appeared";
    }
    EXPECT_FALSE(closed) << "the box blocks its thread";
    char caption[64] = {};
    ::GetWindowTextA(found.dialog, caption, sizeof caption);
    EXPECT_STREQ(caption, "measure.dll Error");
    char text[128] = {};
    ::GetDlgItemTextA(found.dialog, 0xFFFF, text, sizeof text);  // the box's static text
    EXPECT_STREQ(text, "Exception in StartMultiMeasure: MoveAbsXY");
    EXPECT_TRUE(::GetWindowLongA(found.dialog, GWL_EXSTYLE) & WS_EX_TOPMOST) << "system-modal";

    ::PostMessageA(found.dialog, WM_COMMAND, IDOK, 0);
    shower.join();
    EXPECT_TRUE(closed);
}

TEST(Win32ErrorBox, TheHookReplacesTheBox) {
    std::string got;
    setErrorBoxHook([&](const std::string& text, const std::string& caption) { got = caption + "|" + text; });
    showErrorBox("File: \"x\"\nGetLastError: 5", "LogFile.TryOpen");
    setErrorBoxHook({});
    EXPECT_EQ(got, "LogFile.TryOpen|File: \"x\"\nGetLastError: 5");
}

}  // namespace
}  // namespace measure::platform
