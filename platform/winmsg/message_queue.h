// The thread's message queue on the Qt event loop: posting, the one-step pump and dispatching.
//
// Every posted message also posts one Qt event, so when the Qt loop runs (exec, a nested loop,
// ProcessPendingMessages) messages are dispatched in order among Qt's own posted events.
// PeekMessageA takes messages out of the same queue first, so a caller pumping by hand sees
// them in posting order too. Everything runs on the thread that owns the QCoreApplication;
// without one, messages still queue and can be peeked, but nothing waits or ticks.
#pragma once

#include "platform/winmsg/win_types.h"

namespace quenda {

inline constexpr UINT PM_NOREMOVE = 0x0000;
inline constexpr UINT PM_REMOVE = 0x0001;
inline constexpr UINT PM_NOYIELD = 0x0002;  // accepted, nothing to yield to

// Waits without a time limit in WaitForInput.
inline constexpr DWORD INFINITE = 0xFFFFFFFF;

// A window handle that, given to PeekMessageA, selects only messages to the thread.
inline const HWND kThreadMessagesOnly = reinterpret_cast<HWND>(static_cast<intptr_t>(-1));

// Queues a message to hwnd, or to the thread when hwnd is null. Returns 0 with
// ERROR_INVALID_WINDOW_HANDLE when hwnd is neither null nor a window.
QUENDA_WINMSG_API BOOL PostMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// Posts a message that reports readiness the Qt loop has just seen (a socket notification).
// When no message is queued, no WaitForInput is in progress and a Qt loop runs, the message is
// dispatched at once: the loop would take it next anyway, and this saves it a wake-up and a
// round. Otherwise, and with the same result, as PostMessageA.
QUENDA_WINMSG_API BOOL PostNotificationMessage(HWND hwnd, UINT message, WPARAM wParam,
                                               LPARAM lParam);

// Takes the newest queued message equal to the one given back out of the queue; false when
// none is queued. Not a Windows call: the Winsock layer withdraws a notification it posted
// once what it announced has been taken.
QUENDA_WINMSG_API bool WithdrawPostedMessage(HWND hwnd, UINT message, WPARAM wParam,
                                             LPARAM lParam);

// Queues WM_QUIT (wParam = exitCode) to the thread. When the Qt loop itself takes it out of the
// queue it ends the loop with QCoreApplication::exit(exitCode), as a GetMessage loop ends on
// WM_QUIT; a caller that peeks it decides itself.
QUENDA_WINMSG_API void PostQuitMessage(int exitCode);

// Looks for the oldest queued message that passes the filter and copies it into *msg; with
// PM_REMOVE it also takes it out of the queue. hwnd null passes every message,
// kThreadMessagesOnly only thread messages, any other handle only messages to that window;
// filterMin = filterMax = 0 passes every number, otherwise filterMin..filterMax. WM_QUIT passes
// every filter. Returns 0 when no message passes (or msg is null). Never waits and never runs
// Qt events.
QUENDA_WINMSG_API BOOL PeekMessageA(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax,
                                    UINT removeFlags);

// Key strokes reach Qt widgets directly and never pass through this queue, so there is never
// anything to translate: returns 0, as Windows does for messages that are not key strokes.
inline BOOL TranslateMessage(const MSG* /*msg*/) {
    return 0;
}

// Hands the message to its window's procedure and returns the result. A WM_TIMER whose lParam
// is the TIMERPROC of a live timer calls that procedure instead. Messages to the thread, to a
// window that no longer exists, or a null msg are dropped (result 0).
QUENDA_WINMSG_API LRESULT DispatchMessageA(const MSG* msg);

// Waits until something arrives that the Qt loop handles (a socket becoming ready, a timer, a
// posted event) or timeoutMs milliseconds pass (INFINITE: no limit). Qt events that arrive are
// handled, but queued messages are not dispatched: they stay for PeekMessageA. As with
// MsgWaitForMultipleObjects, only messages posted since PeekMessageA last looked at the queue
// count as new: with one of those queued it returns 1 at once; otherwise it returns 1 when one
// arrived during the wait, else 0. Returns 0 at once when the thread has no event loop.
QUENDA_WINMSG_API BOOL WaitForInput(DWORD timeoutMs);

// Runs what is pending now and returns: queued messages and Qt's posted events in their order,
// sockets that became ready and timers that are due, and the messages those posted. Events that
// handlers post while it runs wait for the next round, so it always ends.
QUENDA_WINMSG_API void ProcessPendingMessages();

// True when the thread has a QCoreApplication to deliver timers and socket readiness.
QUENDA_WINMSG_API bool HasMessageLoop();

}  // namespace quenda
