// The hidden notification window of a socket control instance and its window class.
#pragma once

#include "platform/winmsg/win_types.h"

namespace quenda {

class SocketCore;
class WinsockState;

inline constexpr char kSocketWindowClass[] = "__hov_socket_wnd__";
inline constexpr int kSocketWindowExtraBytes = 12;

// Creates a hidden window of the class (registered for the library on first use) whose extra
// word 0 holds core; the window procedure hands every message to core->HandleMessage, or to
// the default procedure while the word is empty. Returns null when no window could be made.
HWND CreateSocketWindow(SocketCore* core, WinsockState& winsock);

// Empties the window's core word, then destroys it. A null or stale handle is ignored.
void DestroySocketWindow(HWND window);

// Removes the class of this library (when its windows are gone).
void UnregisterSocketWindowClass(void* instance);

}  // namespace quenda
