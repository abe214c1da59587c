// Start-up and clean-up, the per-thread error number, and the blocking-call entry points of a
// library whose calls never block.
#include <cstring>

#include "platform/winmsg/message_queue.h"
#include "platform/winsock/socket_table.h"
#include "platform/winsock/winsock_impl.h"

namespace quenda::wsock {

namespace {

constexpr WORD kHighestVersion = 0x0101;  // 1.1: major in the low byte, minor in the high
constexpr const char* kDescription = "Quenda Winsock 1.1 over Linux sockets";
constexpr const char* kSystemStatus = "Running";
constexpr uint16_t kMaxSockets = 32767;  // what Windows reports to 1.1 callers
constexpr uint16_t kMaxUdpDatagram = 65507;  // 65535 less the IPv4 and UDP headers

thread_local int lastError = 0;

// Does what Winsock's default hook does: handle one waiting message, if there is one.
BOOL DefaultBlockingHook() {
    MSG msg;
    if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) return 0;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
    return 1;
}

FARPROC blockingHook = &DefaultBlockingHook;

}  // namespace

int Startup(WORD versionRequested, WSADATA* data) {
    int major = versionRequested & 0xff;
    int minor = versionRequested >> 8;
    if (major < 1) return WSAVERNOTSUPPORTED;
    if (data == nullptr) return WSAEFAULT;
    bool wantsMore = major > 1 || minor >= 1;
    std::memset(data, 0, sizeof *data);
    data->wVersion = wantsMore ? kHighestVersion : versionRequested;
    data->wHighVersion = kHighestVersion;
    std::strncpy(data->szDescription, kDescription, WSADESCRIPTION_LEN);
    std::strncpy(data->szSystemStatus, kSystemStatus, WSASYS_STATUS_LEN);
    data->iMaxSockets = kMaxSockets;
    data->iMaxUdpDg = kMaxUdpDatagram;
    data->lpVendorInfo = nullptr;
    CountStartup();
    return 0;
}

int Cleanup() {
    return CountCleanup() ? 0 : Fail(WSANOTINITIALISED);
}

int GetLastWinsockError() {
    return lastError;
}

void SetLastWinsockError(int error) {
    lastError = error;
}

FARPROC SetBlockingHook(FARPROC hook) {
    if (!IsStarted()) {
        Fail(WSANOTINITIALISED);
        return nullptr;
    }
    if (hook == nullptr) {
        Fail(WSAEFAULT);
        return nullptr;
    }
    FARPROC previous = blockingHook;
    blockingHook = hook;
    return previous;
}

int UnhookBlockingHook() {
    if (!IsStarted()) return Fail(WSANOTINITIALISED);
    blockingHook = &DefaultBlockingHook;
    return 0;
}

int CancelBlockingCall() {
    if (!IsStarted()) return Fail(WSANOTINITIALISED);
    return Fail(WSAEINVAL);  // there is never a blocking call to cancel
}

HANDLE AsyncRequestNotOffered() {
    Fail(IsStarted() ? WSAEOPNOTSUPP : WSANOTINITIALISED);
    return nullptr;
}

int CancelAsyncRequest(HANDLE /*task*/) {
    if (!IsStarted()) return Fail(WSANOTINITIALISED);
    return Fail(WSAEINVAL);  // no request handle was ever given out
}

}  // namespace quenda::wsock
