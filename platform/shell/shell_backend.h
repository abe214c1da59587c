// What stands behind the shell functions: the notification area, the screen and message boxes.
// The Qt one is used unless a test or the program puts another in place.
#pragma once

#include <functional>
#include <string>

#include "platform/shell/shell_api.h"

namespace quenda {

class ShellBackend {
  public:
    virtual ~ShellBackend() = default;

    // Shell_NotifyIconA after the record was checked (size, message known).
    virtual BOOL NotifyIcon(DWORD message, const NOTIFYICONDATAA& data) = 0;
    // True when a notification area exists to put icons into.
    virtual bool TrayAvailable() = 0;
    // The cursor's screen position in pixels; false without a screen.
    virtual bool CursorPos(POINT* point) = 0;
    // True while VK_SHIFT, VK_CONTROL or VK_MENU is held.
    virtual bool KeyDown(int virtualKey) = 0;
    // MessageBoxA with both texts given (never null).
    virtual int MessageBox(HWND owner, const char* text, const char* caption, UINT type) = 0;
};

// Puts backend behind the shell functions (nullptr: the Qt one) and returns the one it
// replaces (nullptr when that was the Qt one). The caller keeps ownership.
QUENDA_SHELL_API ShellBackend* SetShellBackend(ShellBackend* backend);

// The program's way of showing a message (type as MessageBoxA), taken by the Qt backend for
// every MessageBoxA while installed; an empty handler removes it.
using MessageBoxHandler =
    std::function<void(UINT type, const std::string& caption, const std::string& text)>;
QUENDA_SHELL_API void SetMessageBoxHandler(MessageBoxHandler handler);

}  // namespace quenda
