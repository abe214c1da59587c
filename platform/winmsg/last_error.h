// The calling thread's last Win32 error code, set by the message layer's failing calls.
#pragma once

#include "platform/winmsg/win_types.h"

namespace quenda {

inline constexpr DWORD ERROR_SUCCESS = 0;
inline constexpr DWORD ERROR_INVALID_PARAMETER = 87;
inline constexpr DWORD ERROR_INVALID_WINDOW_HANDLE = 1400;
inline constexpr DWORD ERROR_CLASS_ALREADY_EXISTS = 1410;
inline constexpr DWORD ERROR_CLASS_DOES_NOT_EXIST = 1411;
inline constexpr DWORD ERROR_CLASS_HAS_WINDOWS = 1412;
inline constexpr DWORD ERROR_INVALID_INDEX = 1413;
inline constexpr DWORD ERROR_NO_SYSTEM_RESOURCES = 1450;

// The code the last failing message-layer call of this thread left; calls that succeed do not
// clear it (as on Windows), except where a call's contract says so.
QUENDA_WINMSG_API DWORD GetLastError();

// Replaces this thread's last error code.
QUENDA_WINMSG_API void SetLastError(DWORD code);

}  // namespace quenda
