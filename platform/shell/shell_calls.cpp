// The shell functions: each checks its arguments and asks the backend in place.
#include <cstring>

#include "platform/shell/shell_backend.h"

namespace quenda {

ShellBackend& QtShellBackend();

namespace {

ShellBackend*& Installed() {
    static ShellBackend* installed = nullptr;  // nullptr: the Qt backend
    return installed;
}

ShellBackend& Backend() {
    return Installed() != nullptr ? *Installed() : QtShellBackend();
}

}  // namespace

ShellBackend* SetShellBackend(ShellBackend* backend) {
    ShellBackend* previous = Installed();
    Installed() = backend;
    return previous;
}

BOOL Shell_NotifyIconA(DWORD message, NOTIFYICONDATAA* data) {
    if (data == nullptr || data->cbSize != sizeof(NOTIFYICONDATAA)) return 0;
    if (message != NIM_ADD && message != NIM_MODIFY && message != NIM_DELETE) return 0;
    return Backend().NotifyIcon(message, *data);
}

uintptr_t SHAppBarMessage(DWORD message, APPBARDATA* data) {
    if (message != ABM_GETTASKBARPOS || !Backend().TrayAvailable()) return 0;
    if (data != nullptr) {
        data->uEdge = ABE_BOTTOM;
        data->rc = RECT{0, 0, 0, 0};
    }
    return 1;
}

BOOL GetCursorPos(POINT* point) {
    if (point == nullptr) return 0;
    *point = POINT{0, 0};
    return Backend().CursorPos(point) ? 1 : 0;
}

int16_t GetAsyncKeyState(int virtualKey) {
    if (virtualKey != VK_SHIFT && virtualKey != VK_CONTROL && virtualKey != VK_MENU) return 0;
    return Backend().KeyDown(virtualKey) ? static_cast<int16_t>(0x8000) : 0;
}

int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type) {
    return Backend().MessageBox(owner, text != nullptr ? text : "",
                                caption != nullptr ? caption : "", type);
}

}  // namespace quenda
