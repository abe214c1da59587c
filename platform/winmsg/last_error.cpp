// Keeps the per-thread last error code of the message layer.
#include "platform/winmsg/last_error.h"

namespace quenda {

namespace {
thread_local DWORD lastError = ERROR_SUCCESS;
}  // namespace

DWORD GetLastError() {
    return lastError;
}

void SetLastError(DWORD code) {
    lastError = code;
}

}  // namespace quenda
