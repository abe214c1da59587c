// The per-instance socket engine of a socket control: hidden notification window, Winsock
// hold, socket handle, read notifications with deferred closing, local host, DoEvents.
#include "controls/socketbase/socket_core.h"

#include <cstring>

#include "controls/kit/com_error.h"
#include "controls/socketbase/socket_window.h"
#include "platform/winmsg/message_queue.h"
#include "platform/winmsg/window.h"

namespace quenda {
namespace {

constexpr uint16_t kDefaultCapacity = 2048;
constexpr DWORD kDoEventsWaitMs = 10;
constexpr size_t kMaxHostText = 100;

}  // namespace

SocketCore::SocketCore(SocketBehaviour* behaviour, UINT notifyMessage, WinsockState& winsock)
    : behaviour_(behaviour), winsock_(winsock), notifyMessage_(notifyMessage) {
    window_ = CreateSocketWindow(this, winsock_);
    SetWinsockLoaded(true);
    buffer_.SetCapacity(kDefaultCapacity);
}

SocketCore::~SocketCore() {
    if (const WinsockApi* ws = Api(); ws != nullptr && ws->WSAIsBlocking())
        ws->WSACancelBlockingCall();
    CloseHandle();
    DestroySocketWindow(window_);
}

int SocketCore::LastWinsockError() const {
    const WinsockApi* ws = Api();
    return ws != nullptr ? ws->WSAGetLastError() : WSANOTINITIALISED;
}

void SocketCore::SetWinsockLoaded(bool loaded) {
    if (!loaded) {
        winsockLoaded_ = false;
        return;
    }
    if (!winsockLoaded_) winsockLoaded_ = winsock_.Load();
}

void SocketCore::SetAcceptData(bool accept) {
    acceptData_ = accept;
    if (accept) PostRead();
}

int SocketCore::ResolveAddress(std::string_view text, uint32_t* address) const {
    *address = 0;
    const WinsockApi* ws = Api();
    if (ws == nullptr) return WSANOTINITIALISED;
    std::string name(text);
    if (ws->WSAIsBlocking()) ws->WSACancelBlockingCall();
    uint32_t dotted = ws->inet_addr(name.c_str());
    if (dotted != WS_INADDR_NONE) {
        *address = dotted;
        return 0;
    }
    WS_hostent* host = ws->gethostbyname(name.c_str());
    if (host == nullptr || host->h_addr_list == nullptr || host->h_addr_list[0] == nullptr ||
        host->h_length != 4) {
        int error = ws->WSAGetLastError();
        return error != 0 ? error : WSAHOST_NOT_FOUND;
    }
    std::memcpy(address, host->h_addr_list[0], sizeof *address);
    return 0;
}

std::string SocketCore::DottedAddress(uint32_t address) const {
    const WinsockApi* ws = Api();
    if (ws == nullptr) return {};
    const char* text = ws->inet_ntoa(WS_in_addr{address});
    return text != nullptr ? std::string(text) : std::string();
}

int SocketCore::ResolveRemoteHost(std::string_view text, uint32_t* address) const {
    *address = 0;
    if (text.empty()) return 0;
    // inet_addr cannot tell this address from its own failure.
    if (text == "255.255.255.255") {
        *address = 0xFFFFFFFF;
        return 0;
    }
    int error = ResolveAddress(text, address);
    return error == WSANOTINITIALISED && Api() != nullptr ? 0 : error;
}

int SocketCore::SetOption(int level, int option, int32_t value) {
    if (!IsOpen()) return 0;
    const WinsockApi* ws = Api();
    if (ws == nullptr) return WSANOTINITIALISED;
    int result =
        ws->setsockopt(socket_, level, option, reinterpret_cast<const char*>(&value), sizeof value);
    return result == SOCKET_ERROR ? ws->WSAGetLastError() : 0;
}

bool SocketCore::GetOption(int level, int option, int32_t* value) const {
    const WinsockApi* ws = Api();
    if (!IsOpen() || ws == nullptr) return false;
    int32_t read = 0;
    int length = sizeof read;
    if (ws->getsockopt(socket_, level, option, reinterpret_cast<char*>(&read), &length) ==
        SOCKET_ERROR)
        return false;
    *value = read;
    return true;
}

int SocketCore::SetLocalHost(std::string_view text) {
    localAddress_ = 0;
    if (text.empty()) return 0;
    if (Api() == nullptr) return WSANOTINITIALISED;
    int error = ResolveAddress(text, &localAddress_);
    return error == WSANOTINITIALISED ? 0 : error;
}

std::string SocketCore::LocalHostText() const {
    if (localAddress_ != 0) return DottedAddress(localAddress_).substr(0, kMaxHostText);
    const WinsockApi* ws = Api();
    char name[kMaxHostText + 1] = {};
    if (ws != nullptr && ws->gethostname(name, sizeof name - 1) == 0)
        return std::string(name, ::strnlen(name, kMaxHostText));
    return ComponentCodeText(LastWinsockError());
}

int SocketCore::CloseHandle() {
    if (socket_ == INVALID_SOCKET) return 0;
    SOCKET closing = socket_;
    socket_ = INVALID_SOCKET;
    const WinsockApi* ws = Api();
    if (ws == nullptr) return WSANOTINITIALISED;
    return ws->closesocket(closing) == SOCKET_ERROR ? ws->WSAGetLastError() : 0;
}

void SocketCore::Reset() {
    CloseHandle();
    inEvent_ = false;
    closePending_ = false;
    acceptData_ = true;
}

void SocketCore::ReadNotification() {
    if (!acceptData_ || inEvent_) return;
    inEvent_ = true;
    behaviour_->ReadLoop(ReadMode::kNotification);
    inEvent_ = false;
    if (closePending_) behaviour_->CloseSocket();
}

void SocketCore::PostRead() {
    if (IsOpen()) PostMessageA(window_, notifyMessage_, socket_, WSAMAKESELECTREPLY(FD_READ, 0));
}

bool SocketCore::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    if (message != notifyMessage_ || !IsOpen() || wParam != socket_) return false;
    *result = 0;
    switch (WSAGETSELECTEVENT(lParam)) {
        case FD_READ:
            ReadNotification();
            break;
        case FD_WRITE:
            behaviour_->RaiseReadyToSend();
            break;
        default:
            break;
    }
    return true;
}

void SocketCore::DoEvents() {
    MSG msg;
    if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        WaitForInput(kDoEventsWaitMs);
        return;
    }
    if (!IsWindow(window_)) return;
    if (msg.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(msg.wParam));
        return;
    }
    if (msg.message == WM_CLOSE) return;
    if (msg.message == kInterruptMessage && msg.hwnd == window_) {
        SetMessage("Interrupted");
        return;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
}

}  // namespace quenda
