// The notification area and the bits of the Windows shell and user interface the tray control
// calls: Shell_NotifyIconA, SHAppBarMessage, GetCursorPos, GetAsyncKeyState and MessageBoxA.
#pragma once

#include <cstdint>

#include "platform/winmsg/win_types.h"

// Symbols the shared shell library exports; everything else in it stays hidden.
#define QUENDA_SHELL_API __attribute__((visibility("default")))

namespace quenda {

// A picture's handle: a number the picture layer hands out, never reused in the process; 0 is
// no picture.
using HICON = uint32_t;

inline constexpr DWORD NIM_ADD = 0;
inline constexpr DWORD NIM_MODIFY = 1;
inline constexpr DWORD NIM_DELETE = 2;

inline constexpr UINT NIF_MESSAGE = 1;  // uCallbackMessage is valid
inline constexpr UINT NIF_ICON = 2;     // hIcon is valid
inline constexpr UINT NIF_TIP = 4;      // szTip is valid

inline constexpr int kNotifyTipLength = 64;

// The shell's icon record in its first (ANSI) version.
struct NOTIFYICONDATAA {
    DWORD cbSize;                  // sizeof(NOTIFYICONDATAA); any other size is refused
    HWND hWnd;                     // the window that owns the icon and gets its callback messages
    UINT uID;                      // the owner's number for the icon
    UINT uFlags;                   // NIF_* bits: which fields below to take
    UINT uCallbackMessage;         // given to hWnd for mouse activity; 0: nothing is given
    HICON hIcon;                   // the picture handle shown
    char szTip[kNotifyTipLength];  // tool tip, one byte per character, ends at a NUL or at 64
};

// Mouse messages, as the callback message's lParam carries them.
inline constexpr UINT WM_MOUSEMOVE = 0x0200;
inline constexpr UINT WM_LBUTTONDOWN = 0x0201;
inline constexpr UINT WM_LBUTTONUP = 0x0202;
inline constexpr UINT WM_LBUTTONDBLCLK = 0x0203;
inline constexpr UINT WM_RBUTTONDOWN = 0x0204;
inline constexpr UINT WM_RBUTTONUP = 0x0205;
inline constexpr UINT WM_RBUTTONDBLCLK = 0x0206;
inline constexpr UINT WM_MBUTTONDOWN = 0x0207;
inline constexpr UINT WM_MBUTTONUP = 0x0208;
inline constexpr UINT WM_MBUTTONDBLCLK = 0x0209;

// Adds (NIM_ADD), changes (NIM_MODIFY) or removes (NIM_DELETE) the icon (hWnd, uID) in the
// notification area, taking the fields uFlags names. Each (hWnd, uID) has at most one icon.
// Afterwards mouse activity on the icon reaches hWnd as uCallbackMessage with wParam = uID and
// lParam = the mouse message: a click as 513 then 514, a double click 515, the context click
// (right button) 516 then 517, the middle button 519 then 520; the first of a pair is sent, the
// second posted once the first was handled. Returns FALSE for a null record, a wrong cbSize, an
// unknown message, adding an icon that exists or whose picture handle shows nothing, changing
// or removing one that does not, or when there is no tray.
QUENDA_SHELL_API BOOL Shell_NotifyIconA(DWORD message, NOTIFYICONDATAA* data);

struct RECT {
    int32_t left, top, right, bottom;
};

inline constexpr DWORD ABM_GETTASKBARPOS = 5;
inline constexpr UINT ABE_BOTTOM = 3;

struct APPBARDATA {
    DWORD cbSize;           // size of the record as sent
    HWND hWnd;              // unused by ABM_GETTASKBARPOS
    UINT uCallbackMessage;  // unused by ABM_GETTASKBARPOS
    UINT uEdge;             // the edge the taskbar sits at
    RECT rc;                // where the taskbar is (not known here: zeroes)
    intptr_t lParam;        // unused by ABM_GETTASKBARPOS
};

// Only ABM_GETTASKBARPOS is known: non-zero exactly when a notification area exists (with
// data, if given, set to the bottom edge); every other request, and no tray, give 0.
QUENDA_SHELL_API uintptr_t SHAppBarMessage(DWORD message, APPBARDATA* data);

struct POINT {
    int32_t x, y;
};

// The mouse cursor's position on the screen in pixels; (0, 0) and FALSE without a screen or a
// null point.
QUENDA_SHELL_API BOOL GetCursorPos(POINT* point);

inline constexpr int VK_SHIFT = 0x10;
inline constexpr int VK_CONTROL = 0x11;
inline constexpr int VK_MENU = 0x12;  // Alt

// For VK_SHIFT, VK_CONTROL and VK_MENU: the top bit set (a negative value) while the key is
// held; 0 when it is up, for any other key, and without a screen.
QUENDA_SHELL_API int16_t GetAsyncKeyState(int virtualKey);

inline constexpr UINT MB_OK = 0x00000000;
inline constexpr UINT MB_ICONERROR = 0x00000010;
inline constexpr UINT MB_ICONEXCLAMATION = 0x00000030;
inline constexpr UINT MB_ICONINFORMATION = 0x00000040;
inline constexpr int IDOK = 1;

// Shows text with an OK button, titled caption (type: MB_OK with one MB_ICON* bit), modally;
// returns IDOK. Where it goes: the handler the program installed (SetMessageBoxHandler), else
// a Qt message box when there are windows, else "caption: text" on standard error.
QUENDA_SHELL_API int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type);

}  // namespace quenda
