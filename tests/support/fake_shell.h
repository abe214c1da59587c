// A shell backend for tests: records every notification-area call and message box, and
// answers tray, cursor and key questions as the test sets them.
#pragma once

#include <string>
#include <vector>

#include "platform/shell/shell_backend.h"

namespace quenda::test {

struct NotifyCall {
    DWORD message;           // NIM_ADD, NIM_MODIFY or NIM_DELETE
    NOTIFYICONDATAA record;  // a copy of the record as sent
    // The tip field up to its first NUL, at most its 64 characters.
    std::string Tip() const {
        return std::string(record.szTip, strnlen(record.szTip, kNotifyTipLength));
    }
};

struct MessageBoxCall {
    UINT type;
    std::string caption;
    std::string text;
};

// Puts itself behind the shell functions for its lifetime.
class RecordingShell final : public ShellBackend {
  public:
    RecordingShell() : previous_(SetShellBackend(this)) {}
    ~RecordingShell() override { SetShellBackend(previous_); }
    RecordingShell(const RecordingShell&) = delete;
    RecordingShell& operator=(const RecordingShell&) = delete;

    BOOL NotifyIcon(DWORD message, const NOTIFYICONDATAA& data) override {
        calls.push_back({message, data});
        if (message == NIM_ADD) return addSucceeds ? 1 : 0;
        return 1;
    }
    bool TrayAvailable() override { return trayAvailable; }
    bool CursorPos(POINT* point) override {
        *point = cursor;
        return true;
    }
    bool KeyDown(int virtualKey) override {
        return (virtualKey == VK_SHIFT && shift) || (virtualKey == VK_CONTROL && control) ||
               (virtualKey == VK_MENU && alt);
    }
    int MessageBox(HWND, const char* text, const char* caption, UINT type) override {
        boxes.push_back({type, caption, text});
        return IDOK;
    }

    std::vector<NotifyCall> calls;
    std::vector<MessageBoxCall> boxes;
    bool trayAvailable = true;
    bool addSucceeds = true;
    POINT cursor{0, 0};
    bool shift = false;
    bool control = false;
    bool alt = false;

  private:
    ShellBackend* previous_;
};

}  // namespace quenda::test
