// Window classes, extra words, sent messages and the end of a window.
#include "platform/winmsg/window.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/winmsg/last_error.h"
#include "platform/winmsg/message_queue.h"
#include "tests/support/recording_window.h"

namespace quenda {
namespace {

using test::ReceivedLog;
using test::RecordingClass;

TEST(WindowClassTest, NamesAreUniquePerInstanceAndCaseBlind) {
    RecordingClass first("__hov_socket_wnd__");
    ASSERT_NE(first.Atom(), 0);

    WNDCLASSA again;
    again.lpfnWndProc = &test::RecordingProcedure;
    again.hInstance = first.Instance();
    again.lpszClassName = "__HOV_SOCKET_WND__";
    EXPECT_EQ(RegisterClassA(&again), 0);
    EXPECT_EQ(GetLastError(), ERROR_CLASS_ALREADY_EXISTS);

    // Another module may own a class of the same name, as two control libraries do.
    int otherModule = 0;
    again.hInstance = &otherModule;
    EXPECT_NE(RegisterClassA(&again), 0);
    EXPECT_TRUE(UnregisterClassA("__hov_socket_wnd__", &otherModule));
    EXPECT_FALSE(UnregisterClassA("__hov_socket_wnd__", &otherModule));
    EXPECT_EQ(GetLastError(), ERROR_CLASS_DOES_NOT_EXIST);
}

TEST(WindowClassTest, BadClassesAreRefused) {
    WNDCLASSA windowClass;
    windowClass.lpszClassName = "no procedure";
    EXPECT_EQ(RegisterClassA(&windowClass), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    windowClass.lpfnWndProc = &test::RecordingProcedure;
    windowClass.cbWndExtra = -4;
    EXPECT_EQ(RegisterClassA(&windowClass), 0);
    windowClass.cbWndExtra = kMaxWindowExtraBytes + 1;
    EXPECT_EQ(RegisterClassA(&windowClass), 0);
    EXPECT_EQ(RegisterClassA(nullptr), 0);
    EXPECT_EQ(CreateWindowA("never registered", "", nullptr, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_CLASS_DOES_NOT_EXIST);
}

TEST(WindowClassTest, ClassWithWindowsCannotBeUnregistered) {
    RecordingClass windows("busy");
    HWND hwnd = windows.Create();
    ASSERT_NE(hwnd, nullptr);
    EXPECT_FALSE(UnregisterClassA("busy", windows.Instance()));
    EXPECT_EQ(GetLastError(), ERROR_CLASS_HAS_WINDOWS);
    EXPECT_TRUE(DestroyWindow(hwnd));
    EXPECT_TRUE(UnregisterClassA("busy", windows.Instance()));
    // The class of the wrong instance is not found.
    EXPECT_EQ(CreateWindowA("busy", "", windows.Instance(), nullptr), nullptr);
}

TEST(WindowExtraTest, WordsLiveInsideTheExtraBytesOnly) {
    RecordingClass windows("extra", 12);
    HWND hwnd = windows.Create();
    ASSERT_NE(hwnd, nullptr);

    EXPECT_EQ(GetWindowLongPtrA(hwnd, 0), 0);  // zeroed at creation
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    EXPECT_EQ(SetWindowLongPtrA(hwnd, 0, 0x1234), 0);
    EXPECT_EQ(SetWindowLongPtrA(hwnd, 0, -7), 0x1234);
    EXPECT_EQ(GetWindowLongPtrA(hwnd, 0), -7);

    // Bytes 4..11 overlap word 0 but are still inside the 12 bytes.
    EXPECT_NE(SetWindowLongPtrA(hwnd, 4, 0), 0);
    EXPECT_EQ(GetWindowLongPtrA(hwnd, 4), 0);

    for (int index : {8, 12, -1, -8, 1 << 30}) {
        SetLastError(ERROR_SUCCESS);
        EXPECT_EQ(SetWindowLongPtrA(hwnd, index, 99), 0) << index;
        EXPECT_EQ(GetLastError(), ERROR_INVALID_INDEX) << index;
        EXPECT_EQ(GetWindowLongPtrA(hwnd, index), 0) << index;
    }

    EXPECT_EQ(SetWindowLongPtrA(hwnd, GWLP_USERDATA, 5), 0);
    EXPECT_EQ(GetWindowLongPtrA(hwnd, GWLP_USERDATA), 5);

    HWND other = windows.Create();
    EXPECT_EQ(GetWindowLongPtrA(other, 4), 0);  // each window has bytes of its own
}

LRESULT AnswerFortyTwo(HWND, UINT, WPARAM, LPARAM) {
    return 42;
}

TEST(WindowMessageTest, SendCallsTheProcedureAtOnce) {
    RecordingClass windows;
    HWND hwnd = windows.Create();
    EXPECT_EQ(SendMessageA(hwnd, WM_USER + 102, 7, 0x10001), WM_USER + 102 + 1000);
    ASSERT_EQ(ReceivedLog().size(), 1u);
    EXPECT_EQ(ReceivedLog()[0], (test::Received{hwnd, WM_USER + 102, 7, 0x10001}));

    // A replaced procedure takes over; the old one is handed back.
    LONG_PTR old = SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&AnswerFortyTwo));
    EXPECT_EQ(old, reinterpret_cast<LONG_PTR>(&test::RecordingProcedure));
    EXPECT_EQ(SendMessageA(hwnd, WM_USER, 0, 0), 42);
    EXPECT_EQ(SetWindowLongPtrA(hwnd, GWLP_WNDPROC, 0), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

std::vector<UINT> endingMessages;

LRESULT RecordEnding(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY || message == WM_NCDESTROY) {
        endingMessages.push_back(message);
        EXPECT_TRUE(IsWindow(hwnd));  // still a window while it hears of its end
        EXPECT_FALSE(DestroyWindow(hwnd));
    }
    if (message == WM_CREATE) return reinterpret_cast<const CREATESTRUCTA*>(lParam)->lpCreateParams
                                          ? -1
                                          : 0;
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

TEST(WindowLifeTest, DestroyAnnouncesItselfAndTheHandleIsNeverReused) {
    int instance = 0;
    WNDCLASSA windowClass;
    windowClass.lpfnWndProc = &RecordEnding;
    windowClass.hInstance = &instance;
    windowClass.lpszClassName = "ending";
    ASSERT_NE(RegisterClassA(&windowClass), 0);

    HWND hwnd = CreateWindowA("ending", "", &instance, nullptr);
    ASSERT_TRUE(IsWindow(hwnd));
    endingMessages.clear();
    EXPECT_TRUE(DestroyWindow(hwnd));
    EXPECT_EQ(endingMessages, (std::vector<UINT>{WM_DESTROY, WM_NCDESTROY}));
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_FALSE(DestroyWindow(hwnd));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
    EXPECT_EQ(SendMessageA(hwnd, WM_USER, 0, 0), 0);
    EXPECT_EQ(SetWindowLongPtrA(hwnd, GWLP_USERDATA, 1), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);

    HWND next = CreateWindowA("ending", "", &instance, nullptr);
    EXPECT_NE(next, hwnd);

    // WM_CLOSE through the default procedure ends the window.
    SendMessageA(next, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(next));

    // A procedure that answers -1 to WM_CREATE refuses to be created.
    int refuse = 1;
    EXPECT_EQ(CreateWindowA("ending", "", &instance, &refuse), nullptr);
    EXPECT_TRUE(UnregisterClassA("ending", &instance));
}

}  // namespace
}  // namespace quenda
