// Window timers: SetTimer/KillTimer posting WM_TIMER on the Qt loop.
#pragma once

#include "platform/winmsg/win_types.h"

namespace quenda {

inline constexpr UINT USER_TIMER_MINIMUM = 0x0000000A;
inline constexpr UINT USER_TIMER_MAXIMUM = 0x7FFFFFFF;

// Starts (or restarts, for an existing (hwnd, idEvent)) a timer that every elapseMs
// milliseconds (clamped to USER_TIMER_MINIMUM..USER_TIMER_MAXIMUM) posts WM_TIMER with wParam =
// idEvent and lParam = procedure to hwnd. As on Windows a timer never has more than one
// WM_TIMER waiting in the queue: ticks that come while one waits are lost. With hwnd null the
// timer belongs to the thread, idEvent is ignored unless it names an existing thread timer, and
// a fresh id is returned. Returns the timer's id (1 for a window timer with id 0), or 0 with
// ERROR_INVALID_WINDOW_HANDLE (hwnd not a window) or ERROR_NO_SYSTEM_RESOURCES (no Qt loop).
QUENDA_WINMSG_API UINT_PTR SetTimer(HWND hwnd, UINT_PTR idEvent, UINT elapseMs,
                                    TIMERPROC procedure);

// Stops the timer (hwnd, idEvent). A WM_TIMER already queued stays queued, as on Windows.
// Returns 0 when there is no such timer.
QUENDA_WINMSG_API BOOL KillTimer(HWND hwnd, UINT_PTR idEvent);

}  // namespace quenda
