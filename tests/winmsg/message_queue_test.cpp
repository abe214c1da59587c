// Posted messages among Qt's events, peeking, the one-step pump's wait and WM_QUIT.
#include "platform/winmsg/message_queue.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>

#include "platform/winmsg/last_error.h"
#include "platform/winmsg/window.h"
#include "tests/support/qt_loop.h"
#include "tests/support/recording_window.h"

namespace quenda {
namespace {

using test::Received;
using test::ReceivedLog;
using test::RecordingClass;

class MessageQueueTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // Nothing an earlier test left behind may show up here.
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
        ProcessPendingMessages();
        hwnd_ = windows_.Create();
        ReceivedLog().clear();
    }

    // Queues a Qt event that writes a tag into the log when the loop delivers it.
    void InvokeQueued(WPARAM tag) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [tag] { ReceivedLog().push_back({nullptr, test::kQtEventTag, tag, 0}); },
            Qt::QueuedConnection);
    }

    RecordingClass windows_;
    HWND hwnd_ = nullptr;
};

TEST_F(MessageQueueTest, PostedMessagesKeepTheirPlaceAmongQtEvents) {
    ASSERT_TRUE(PostMessageA(hwnd_, WM_USER + 1, 1, 0));
    InvokeQueued(2);
    ASSERT_TRUE(PostMessageA(hwnd_, WM_USER + 3, 3, 0));
    // A sent message does not queue: it runs before anything posted.
    SendMessageA(hwnd_, WM_USER + 4, 4, 0);
    ASSERT_EQ(ReceivedLog().size(), 1u);

    ProcessPendingMessages();
    EXPECT_EQ(ReceivedLog(), (std::vector<Received>{{hwnd_, WM_USER + 4, 4, 0},
                                                    {hwnd_, WM_USER + 1, 1, 0},
                                                    {nullptr, test::kQtEventTag, 2, 0},
                                                    {hwnd_, WM_USER + 3, 3, 0}}));
}

TEST_F(MessageQueueTest, NotificationRunsAtOnceOnlyWithNothingAheadOfIt) {
    ASSERT_TRUE(PostNotificationMessage(hwnd_, WM_USER + 1, 1, 0));
    EXPECT_EQ(ReceivedLog(), (std::vector<Received>{{hwnd_, WM_USER + 1, 1, 0}}));

    // Behind a queued message it waits its turn.
    ASSERT_TRUE(PostMessageA(hwnd_, WM_USER + 2, 2, 0));
    ASSERT_TRUE(PostNotificationMessage(hwnd_, WM_USER + 3, 3, 0));
    EXPECT_EQ(ReceivedLog().size(), 1u);
    ProcessPendingMessages();
    EXPECT_EQ(ReceivedLog(), (std::vector<Received>{{hwnd_, WM_USER + 1, 1, 0},
                                                    {hwnd_, WM_USER + 2, 2, 0},
                                                    {hwnd_, WM_USER + 3, 3, 0}}));

    // During a wait it is queued, for the waiter to find.
    ReceivedLog().clear();
    QTimer::singleShot(1, [this] { PostNotificationMessage(hwnd_, WM_USER + 4, 4, 0); });
    bool arrived = false;
    for (int round = 0; round < 100 && !arrived; ++round) arrived = WaitForInput(5000);
    EXPECT_TRUE(arrived);
    EXPECT_TRUE(ReceivedLog().empty());
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, WM_USER + 4u);

    SetLastError(0);
    EXPECT_FALSE(PostNotificationMessage(reinterpret_cast<HWND>(0x7777), WM_USER, 0, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST_F(MessageQueueTest, MessagePeekedAwayLeavesTheRestInPlace) {
    PostMessageA(hwnd_, WM_USER + 1, 1, 0);
    InvokeQueued(2);
    PostMessageA(hwnd_, WM_USER + 3, 3, 0);

    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, WM_USER + 1u);
    // The first message's Qt event must not pull the third one ahead of the Qt event.
    ProcessPendingMessages();
    EXPECT_EQ(ReceivedLog(), (std::vector<Received>{{nullptr, test::kQtEventTag, 2, 0},
                                                    {hwnd_, WM_USER + 3, 3, 0}}));
}

TEST_F(MessageQueueTest, PeekFiltersByWindowAndNumber) {
    HWND other = windows_.Create();
    PostMessageA(other, WM_USER + 5, 0, 0);
    PostMessageA(hwnd_, WM_USER + 9, 0, 0);
    PostMessageA(nullptr, WM_USER + 7, 0, 0);

    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, hwnd_, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(msg.message, WM_USER + 9u);
    ASSERT_TRUE(PeekMessageA(&msg, kThreadMessagesOnly, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(msg.message, WM_USER + 7u);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_USER + 6, WM_USER + 6, PM_REMOVE));
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_USER + 6, WM_USER + 9, PM_REMOVE));
    EXPECT_EQ(msg.message, WM_USER + 9u);
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(msg.hwnd, other);  // not removed, still first
    EXPECT_FALSE(PeekMessageA(nullptr, nullptr, 0, 0, PM_REMOVE));

    // What is left reaches its window; the thread message has no procedure to reach.
    ProcessPendingMessages();
    EXPECT_EQ(ReceivedLog(), (std::vector<Received>{{other, WM_USER + 5, 0, 0}}));
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
}

TEST_F(MessageQueueTest, MessagesToADestroyedWindowAreDropped) {
    HWND doomed = windows_.Create();
    ASSERT_TRUE(PostMessageA(doomed, WM_USER + 1, 0, 0));
    ASSERT_TRUE(PostMessageA(hwnd_, WM_USER + 2, 0, 0));
    ASSERT_TRUE(DestroyWindow(doomed));
    EXPECT_FALSE(PostMessageA(doomed, WM_USER + 3, 0, 0));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);

    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(msg.hwnd, hwnd_);
    ProcessPendingMessages();
    EXPECT_EQ(ReceivedLog(), (std::vector<Received>{{hwnd_, WM_USER + 2, 0, 0}}));

    // A message still in a caller's hands when its window went is dropped by dispatch.
    MSG stale{doomed, WM_USER + 4, 0, 0, 0};
    EXPECT_EQ(DispatchMessageA(&stale), 0);
    EXPECT_EQ(DispatchMessageA(nullptr), 0);
    EXPECT_EQ(ReceivedLog().size(), 1u);
}

TEST_F(MessageQueueTest, WaitWithNothingToDoLastsTheTimeout) {
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(WaitForInput(10));
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(9));
    EXPECT_LT(waited, std::chrono::seconds(2));
}

TEST_F(MessageQueueTest, WaitEndsOnInputAndLeavesMessagesForTheCaller) {
    QTimer::singleShot(1, [this] { PostMessageA(hwnd_, WM_USER + 51, 0, 0); });
    auto start = std::chrono::steady_clock::now();
    // Whatever else wakes the loop first, the message comes within a few rounds.
    bool arrived = false;
    for (int round = 0; round < 100 && !arrived; ++round) arrived = WaitForInput(5000);
    EXPECT_TRUE(arrived);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
    EXPECT_TRUE(ReceivedLog().empty());  // waited for, not dispatched

    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, WM_USER + 51u);
    DispatchMessageA(&msg);
    EXPECT_EQ(ReceivedLog(), (std::vector<Received>{{hwnd_, WM_USER + 51, 0, 0}}));

    // A message not looked at yet ends the wait at once; one already looked at does not.
    PostMessageA(hwnd_, WM_USER, 0, 0);
    EXPECT_TRUE(WaitForInput(INFINITE));
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_FALSE(WaitForInput(10));
}

TEST_F(MessageQueueTest, MessageHeldBackByAWaitStillReachesTheLoop) {
    QTimer::singleShot(1, [this] { PostMessageA(hwnd_, WM_USER + 8, 0, 0); });
    ASSERT_TRUE(test::RunLoopUntil([] {
        MSG msg;
        return WaitForInput(50) && PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
    }));
    EXPECT_TRUE(test::RunLoopUntil([] { return !ReceivedLog().empty(); }));
    EXPECT_EQ(ReceivedLog(), (std::vector<Received>{{hwnd_, WM_USER + 8, 0, 0}}));
}

TEST_F(MessageQueueTest, QuitPassesEveryFilterAndCanBePostedAgain) {
    PostMessageA(hwnd_, WM_USER, 0, 0);
    PostQuitMessage(3);
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, hwnd_, WM_TIMER, WM_TIMER, PM_REMOVE));
    EXPECT_EQ(msg.message, WM_QUIT);
    EXPECT_EQ(msg.hwnd, nullptr);
    EXPECT_EQ(msg.wParam, 3u);
    EXPECT_EQ(DispatchMessageA(&msg), 0);  // a thread message has no procedure

    // The pump's answer to WM_QUIT: post it again for the loop further out.
    PostQuitMessage(static_cast<int>(msg.wParam));
    ASSERT_TRUE(PeekMessageA(&msg, kThreadMessagesOnly, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, WM_QUIT);
    EXPECT_EQ(msg.wParam, 3u);
}

TEST_F(MessageQueueTest, QuitTakenByTheQtLoopEndsIt) {
    PostMessageA(hwnd_, WM_USER + 1, 0, 0);
    PostQuitMessage(7);
    QTimer safety;
    safety.setSingleShot(true);
    QObject::connect(&safety, &QTimer::timeout, [] { QCoreApplication::exit(-1); });
    safety.start(5000);
    EXPECT_EQ(QCoreApplication::exec(), 7);
    EXPECT_EQ(ReceivedLog(), (std::vector<Received>{{hwnd_, WM_USER + 1, 0, 0}}));
}

}  // namespace
}  // namespace quenda
