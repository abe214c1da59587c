// The Win32 scalar types, handles and message numbers the message layer speaks in.
#pragma once

#include <cstdint>

// Symbols the shared message library exports; everything else in it stays hidden.
#define QUENDA_WINMSG_API __attribute__((visibility("default")))

namespace quenda {

using BOOL = int32_t;
using UINT = uint32_t;
using WORD = uint16_t;
using DWORD = uint32_t;
using UINT_PTR = uintptr_t;
using LONG_PTR = intptr_t;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;
using ATOM = uint16_t;

// Handles are opaque: a window handle is a number that is never reused in the process, so a
// stale handle is simply not a window any more.
struct HWND__;
using HWND = HWND__*;
using HINSTANCE = void*;

using WNDPROC = LRESULT (*)(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
using TIMERPROC = void (*)(HWND hwnd, UINT message, UINT_PTR idEvent, DWORD time);

// Message numbers are Windows' own, so code written against them reads the same here.
inline constexpr UINT WM_NULL = 0x0000;
inline constexpr UINT WM_CREATE = 0x0001;
inline constexpr UINT WM_DESTROY = 0x0002;
inline constexpr UINT WM_CLOSE = 0x0010;
inline constexpr UINT WM_QUIT = 0x0012;
inline constexpr UINT WM_NCDESTROY = 0x0082;
inline constexpr UINT WM_TIMER = 0x0113;
inline constexpr UINT WM_USER = 0x0400;

// A queued message as PeekMessageA hands it out.
struct MSG {
    HWND hwnd = nullptr;  // target window; null for a message to the thread (WM_QUIT)
    UINT message = 0;     // message number
    WPARAM wParam = 0;    // first parameter
    LPARAM lParam = 0;    // second parameter
    DWORD time = 0;       // GetTickCount-style milliseconds when it was posted
};

inline constexpr WORD LOWORD(uintptr_t value) {
    return static_cast<WORD>(value & 0xffff);
}
inline constexpr WORD HIWORD(uintptr_t value) {
    return static_cast<WORD>((value >> 16) & 0xffff);
}

}  // namespace quenda
