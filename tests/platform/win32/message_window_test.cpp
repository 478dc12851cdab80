// Notifications reach a real window: a message-only window (HWND_MESSAGE), as
// a host without a visible window of its own would create for the library.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/message_window.h"
#include "support/host_window.h"

namespace measure::platform {
namespace {

TEST(Win32MessageWindow, PostedMessagesArriveInOrderWithFullWidthParameters) {
    test::HostWindow host;
    ASSERT_NE(host.handle(), nullptr);
    std::thread driver([&] {
        for (int i = 0; i < 500; ++i) EXPECT_TRUE(postWindowMessage(host.handle(), WM_APP + 1, 4, i - 250));
        EXPECT_TRUE(postWindowMessage(host.handle(), WM_APP + 4, 0, INT64_C(0x123456789ABC)));
        EXPECT_TRUE(postWindowMessage(host.handle(), WM_APP + 2, uint64_t(-1), 0));
    });
    driver.join();
    test::HostMessage msg{};
    for (int i = 0; i < 500; ++i) {
        ASSERT_EQ(host.next(msg, 2000), 1);
        EXPECT_EQ(msg.message, WM_APP + 1u);
        EXPECT_EQ(msg.wParam, 4u);
        ASSERT_EQ(msg.lParam, i - 250);
    }
    ASSERT_EQ(host.next(msg, 2000), 1);
    EXPECT_EQ(msg.lParam, INT64_C(0x123456789ABC)) << "lParam is 64 bits wide";
    ASSERT_EQ(host.next(msg, 2000), 1);
    EXPECT_EQ(msg.wParam, ~uint64_t(0)) << "an end code of -1 keeps all its bits";
    EXPECT_EQ(host.next(msg, 0), 0);
}

TEST(Win32MessageWindow, ASentMessageReturnsOnlyAfterTheHostHandledIt) {
    test::HostWindow host;
    std::atomic<bool> returned{false};
    std::thread driver([&] {
        EXPECT_TRUE(sendWindowMessage(host.handle(), WM_APP, 7, 8, nullptr));
        returned = true;
    });
    ::Sleep(20);
    EXPECT_FALSE(returned) << "nobody pumped the host's queue yet";
    test::HostMessage msg{};
    ASSERT_EQ(host.next(msg, 5000), 1);
    EXPECT_EQ(msg.message, unsigned(WM_APP));
    EXPECT_EQ(msg.lParam, 8);
    driver.join();
    EXPECT_TRUE(returned);
}

TEST(Win32MessageWindow, AWindowThatIsGoneRefusesBothKinds) {
    HWND gone = nullptr;
    {
        test::HostWindow host;
        gone = host.handle();
    }
    EXPECT_FALSE(postWindowMessage(gone, WM_APP, 0, 0));
    EXPECT_FALSE(sendWindowMessage(gone, WM_APP, 0, 0, nullptr));
    EXPECT_FALSE(postWindowMessage(nullptr, WM_APP, 0, 0)) << "no window: nothing goes to the thread queue";
}

}  // namespace
}  // namespace measure::platform
