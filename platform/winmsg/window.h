// Window classes and hidden message windows: window procedures, extra words, sent messages.
#pragma once

#include "platform/winmsg/win_types.h"

namespace quenda {

// Indexes of GetWindowLongPtrA/SetWindowLongPtrA that are not byte offsets into the extra
// bytes.
inline constexpr int GWLP_WNDPROC = -4;
inline constexpr int GWLP_USERDATA = -21;

// Largest number of extra bytes a class may give its windows.
inline constexpr int kMaxWindowExtraBytes = 1024;

// What RegisterClassA needs to know about a class. Styles have no meaning for message-only
// windows; the value is kept but changes nothing.
struct WNDCLASSA {
    UINT style = 0;                        // class style bits (kept, unused)
    WNDPROC lpfnWndProc = nullptr;         // procedure of every window of the class
    int cbWndExtra = 0;                    // zeroed extra bytes each window carries
    HINSTANCE hInstance = nullptr;         // the module that owns the class
    const char* lpszClassName = nullptr;   // the class name (compared ignoring ASCII case)
};

// What WM_CREATE's lParam points at while CreateWindowA runs.
struct CREATESTRUCTA {
    void* lpCreateParams;    // the createParam given to CreateWindowA
    HINSTANCE hInstance;     // the instance given to CreateWindowA
    const char* lpszName;    // the window name
    const char* lpszClass;   // the class name
};

// Registers a class under (name, instance); the same name may be registered once per instance,
// as each Windows module has its own classes. Returns a nonzero atom, or 0 with last error
// ERROR_INVALID_PARAMETER (no class, procedure or name, or extra bytes outside
// 0..kMaxWindowExtraBytes) or ERROR_CLASS_ALREADY_EXISTS.
QUENDA_WINMSG_API ATOM RegisterClassA(const WNDCLASSA* windowClass);

// Removes the class (name, instance). Fails (0) with ERROR_CLASS_DOES_NOT_EXIST, or with
// ERROR_CLASS_HAS_WINDOWS while a window of the class still exists.
QUENDA_WINMSG_API BOOL UnregisterClassA(const char* className, HINSTANCE instance);

// Creates a hidden message window of the class (className, instance): it has no position, no
// parent and receives only what is posted or sent to it. Sends WM_CREATE (lParam points at a
// CREATESTRUCTA) before returning; a procedure answering -1 makes the creation fail. Returns
// the handle, or null with ERROR_CLASS_DOES_NOT_EXIST / ERROR_INVALID_PARAMETER.
QUENDA_WINMSG_API HWND CreateWindowA(const char* className, const char* windowName,
                                     HINSTANCE instance, void* createParam);

// Sends WM_DESTROY then WM_NCDESTROY, kills the window's timers and flushes the messages
// posted to it, then forgets the handle. Returns 0 with ERROR_INVALID_WINDOW_HANDLE for a
// handle that is not a window (a second destroy included).
QUENDA_WINMSG_API BOOL DestroyWindow(HWND hwnd);

// True while hwnd is a window (also during its WM_DESTROY).
QUENDA_WINMSG_API BOOL IsWindow(HWND hwnd);

// Reads the pointer-sized word at byte offset index of the window's extra bytes, or the
// procedure (GWLP_WNDPROC) or user data (GWLP_USERDATA). Returns 0 with
// ERROR_INVALID_WINDOW_HANDLE or ERROR_INVALID_INDEX (offset negative or the word not wholly
// inside the extra bytes); a successful read clears the last error so a stored 0 can be told
// apart.
QUENDA_WINMSG_API LONG_PTR GetWindowLongPtrA(HWND hwnd, int index);

// Stores value where GetWindowLongPtrA reads it and returns the previous value; failures as
// GetWindowLongPtrA. Setting GWLP_WNDPROC to null is refused (ERROR_INVALID_PARAMETER).
QUENDA_WINMSG_API LONG_PTR SetWindowLongPtrA(HWND hwnd, int index, LONG_PTR value);

// Calls the window's procedure at once and returns its result; 0 with
// ERROR_INVALID_WINDOW_HANDLE when hwnd is not a window.
QUENDA_WINMSG_API LRESULT SendMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// The default handling: WM_CLOSE destroys the window; every other message is ignored
// (result 0).
QUENDA_WINMSG_API LRESULT DefWindowProcA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace quenda
