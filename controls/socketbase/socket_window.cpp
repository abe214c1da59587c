// The hidden notification window of a socket control instance and its window class.
#include "controls/socketbase/socket_window.h"

#include "controls/socketbase/socket_core.h"
#include "controls/socketbase/winsock_state.h"
#include "platform/winmsg/last_error.h"
#include "platform/winmsg/window.h"

namespace quenda {
namespace {

LRESULT SocketWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* core = reinterpret_cast<SocketCore*>(GetWindowLongPtrA(hwnd, 0));
    if (core == nullptr) return DefWindowProcA(hwnd, message, wParam, lParam);
    // The control must outlive the events this message raises, even if a handler lets go of
    // the host's last reference; the release at the end may destroy it (and this window).
    SocketBehaviour* owner = core->Behaviour();
    owner->Hold();
    LRESULT result = 0;
    if (!core->HandleMessage(message, wParam, lParam, &result))
        result = DefWindowProcA(hwnd, message, wParam, lParam);
    owner->Unhold();
    return result;
}

}  // namespace

HWND CreateSocketWindow(SocketCore* core, WinsockState& winsock) {
    if (!winsock.windowClassRegistered) {
        WNDCLASSA windowClass;
        windowClass.lpfnWndProc = &SocketWindowProc;
        windowClass.cbWndExtra = kSocketWindowExtraBytes;
        windowClass.hInstance = winsock.WindowInstance();
        windowClass.lpszClassName = kSocketWindowClass;
        winsock.windowClassRegistered = RegisterClassA(&windowClass) != 0;
        // Another state of the same module may have registered it first; its windows work too.
        if (!winsock.windowClassRegistered && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
            return nullptr;
    }
    HWND window = CreateWindowA(kSocketWindowClass, "", winsock.WindowInstance(), nullptr);
    if (window != nullptr) SetWindowLongPtrA(window, 0, reinterpret_cast<LONG_PTR>(core));
    return window;
}

void DestroySocketWindow(HWND window) {
    if (window == nullptr || !IsWindow(window)) return;
    SetWindowLongPtrA(window, 0, 0);
    DestroyWindow(window);
}

void UnregisterSocketWindowClass(void* instance) {
    UnregisterClassA(kSocketWindowClass, instance);
}

}  // namespace quenda
