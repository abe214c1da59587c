// Window timers: WM_TIMER ticks, one waiting tick at most, killing, timer procedures.
#include "platform/winmsg/timer.h"

#include <gtest/gtest.h>

#include <chrono>

#include "platform/winmsg/last_error.h"
#include "platform/winmsg/message_queue.h"
#include "platform/winmsg/window.h"
#include "tests/support/qt_loop.h"
#include "tests/support/recording_window.h"

namespace quenda {
namespace {

using test::ReceivedLog;
using test::RecordingClass;

int CountTimerMessages(UINT_PTR id) {
    int count = 0;
    for (const auto& received : ReceivedLog()) {
        if (received.message == WM_TIMER && received.wParam == id) ++count;
    }
    return count;
}

TEST(WindowTimerTest, TicksUntilKilled) {
    RecordingClass windows;
    HWND hwnd = windows.Create();
    EXPECT_EQ(SetTimer(hwnd, 5, 10, nullptr), 5u);
    ASSERT_TRUE(test::RunLoopUntil([] { return CountTimerMessages(5) >= 3; }));

    EXPECT_TRUE(KillTimer(hwnd, 5));
    EXPECT_FALSE(KillTimer(hwnd, 5));
    ProcessPendingMessages();
    int ticks = CountTimerMessages(5);
    test::RunLoopFor(60);
    EXPECT_EQ(CountTimerMessages(5), ticks);
}

TEST(WindowTimerTest, OnlyOneTickWaitsInTheQueue) {
    RecordingClass windows;
    HWND hwnd = windows.Create();
    ASSERT_NE(SetTimer(hwnd, 1, 10, nullptr), 0u);
    // The pump's wait lets the timer run but leaves its messages queued.
    MSG msg;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!PeekMessageA(&msg, hwnd, WM_TIMER, WM_TIMER, PM_NOREMOVE) &&
           std::chrono::steady_clock::now() < deadline) {
        WaitForInput(50);
    }
    ASSERT_EQ(msg.message, WM_TIMER);
    // Several periods pass while the first tick waits.
    auto later = std::chrono::steady_clock::now() + std::chrono::milliseconds(80);
    while (std::chrono::steady_clock::now() < later) WaitForInput(10);
    int queued = 0;
    while (PeekMessageA(&msg, hwnd, WM_TIMER, WM_TIMER, PM_REMOVE)) ++queued;
    EXPECT_EQ(queued, 1);
    KillTimer(hwnd, 1);
}

TEST(WindowTimerTest, BadWindowsAndEndedWindows) {
    RecordingClass windows;
    HWND hwnd = windows.Create();
    EXPECT_EQ(SetTimer(reinterpret_cast<HWND>(0x3), 1, 10, nullptr), 0u);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);

    // Id 0 is a valid window timer id; success still reads as nonzero.
    EXPECT_EQ(SetTimer(hwnd, 0, 10, nullptr), 1u);
    ASSERT_TRUE(test::RunLoopUntil([] { return CountTimerMessages(0) >= 1; }));
    DestroyWindow(hwnd);
    EXPECT_FALSE(KillTimer(hwnd, 0));  // went with the window
}

int procedureCalls = 0;
UINT_PTR procedureId = 0;

void CountCalls(HWND, UINT message, UINT_PTR id, DWORD) {
    EXPECT_EQ(message, WM_TIMER);
    ++procedureCalls;
    procedureId = id;
}

TEST(WindowTimerTest, ProcedureTimersAndThreadTimers) {
    RecordingClass windows;
    HWND hwnd = windows.Create();
    procedureCalls = 0;
    ASSERT_EQ(SetTimer(hwnd, 9, 10, &CountCalls), 9u);
    ASSERT_TRUE(test::RunLoopUntil([] { return procedureCalls >= 1; }));
    EXPECT_EQ(CountTimerMessages(9), 0);  // the procedure, not the window, gets them
    KillTimer(hwnd, 9);

    UINT_PTR threadTimer = SetTimer(nullptr, 0, 10, &CountCalls);
    ASSERT_NE(threadTimer, 0u);
    MSG msg{};
    ASSERT_TRUE(test::RunLoopUntil(
        [&] { return WaitForInput(10) && PeekMessageA(&msg, kThreadMessagesOnly, 0, 0, PM_REMOVE); }));
    EXPECT_EQ(msg.message, WM_TIMER);
    EXPECT_EQ(msg.wParam, threadTimer);
    EXPECT_TRUE(KillTimer(nullptr, threadTimer));

    // A WM_TIMER naming a procedure that is no timer's is not called.
    procedureCalls = 0;
    MSG forged{hwnd, WM_TIMER, 9, reinterpret_cast<LPARAM>(&CountCalls), 0};
    DispatchMessageA(&forged);
    EXPECT_EQ(procedureCalls, 0);
}

}  // namespace
}  // namespace quenda
