// What the parts of the message library tell each other; not installed for callers.
#pragma once

#include "platform/winmsg/win_types.h"

namespace quenda::winmsg_detail {

// The window's procedure, or null when hwnd is not a window.
WNDPROC WindowProcedure(HWND hwnd);

// Forgets every queued message addressed to hwnd.
void FlushMessagesOf(HWND hwnd);

// Stops and forgets every timer of hwnd.
void KillTimersOf(HWND hwnd);

// The procedure of the live timer (hwnd, idEvent), or null.
TIMERPROC TimerProcedure(HWND hwnd, UINT_PTR idEvent);

// Whether a message (hwnd, message, wParam) waits in the queue.
bool IsQueued(HWND hwnd, UINT message, WPARAM wParam);

// Milliseconds since an arbitrary start, as stamped on messages.
DWORD MessageTime();

}  // namespace quenda::winmsg_detail
