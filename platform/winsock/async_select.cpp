// WSAAsyncSelect: one message per readiness, re-enabled by the call that consumes it.
#include "platform/winsock/async_select.h"

#include "platform/winmsg/message_queue.h"
#include "platform/winmsg/window.h"
#include "platform/winsock/winsock_impl.h"

namespace quenda::wsock {

namespace {

constexpr int32_t kOfferedEvents = FD_READ | FD_WRITE | FD_ACCEPT;

void Notify(const SocketState& state, int event) {
    // A window that has gone simply loses the notification.
    PostNotificationMessage(state.hwnd, state.message, HandleOf(state), WSAMAKESELECTREPLY(event, 0));
}

// Takes back the FD_READ posted for a held datagram, if it is still queued.
void WithdrawHeldNotice(SocketState& state) {
    if (!state.readAhead || !state.readAhead->noticePosted) return;
    WithdrawPostedMessage(state.hwnd, state.message, HandleOf(state), WSAMAKESELECTREPLY(FD_READ, 0));
    state.readAhead->noticePosted = false;
}

// Re-enables FD_READ / FD_ACCEPT. A datagram held back by the read-ahead is data the kernel
// no longer reports: FD_READ is posted for it instead of watching, so there is still one
// notification per readiness.
void ArmRead(SocketState& state) {
    if (!HoldsDatagram(state)) {
        WithdrawHeldNotice(state);  // the held datagram has been taken
        state.readWatch->Arm();
        return;
    }
    if (state.readAhead->noticePosted || (state.events & FD_READ) == 0) return;
    state.readAhead->noticePosted =
        PostMessageA(state.hwnd, state.message, HandleOf(state), WSAMAKESELECTREPLY(FD_READ, 0)) != 0;
}

void StartWatches(SocketState& state) {
    SocketState* target = &state;  // the state outlives its watches
    if ((state.events & (FD_READ | FD_ACCEPT)) != 0) {
        state.readWatch =
            std::make_unique<SocketWatch>(state.fd, SocketWatch::Direction::kRead, [target] {
                ForgetDrained(*target);
                int event = target->listening ? FD_ACCEPT : FD_READ;
                if ((target->events & event) != 0) Notify(*target, event);
            });
        ArmRead(state);
    }
    if ((state.events & FD_WRITE) != 0) {
        state.writeWatch = std::make_unique<SocketWatch>(
            state.fd, SocketWatch::Direction::kWrite, [target] { Notify(*target, FD_WRITE); });
        // A stream socket becomes writable for Winsock only once it is connected.
        if (state.type != WS_SOCK_STREAM || state.connected) state.writeWatch->Arm();
    }
}

}  // namespace

void StopNotifications(SocketState& state) {
    WithdrawHeldNotice(state);
    state.readWatch.reset();
    state.writeWatch.reset();
    state.hwnd = nullptr;
    state.message = 0;
    state.events = 0;
}

void RearmRead(SocketState& state) {
    if (state.readWatch) ArmRead(state);
}

void RearmWrite(SocketState& state) {
    if (state.writeWatch) state.writeWatch->Arm();
}

void InheritNotifications(const SocketState& listener, SocketState& accepted) {
    if (listener.events == 0) return;
    accepted.hwnd = listener.hwnd;
    accepted.message = listener.message;
    accepted.events = listener.events;
    StartWatches(accepted);
}

int AsyncSelect(SOCKET s, HWND hwnd, UINT message, int32_t events) {
    SocketState* state = FindSocket(s);
    if (state == nullptr) return SOCKET_ERROR;
    if (events == 0) {  // cancels every notification
        StopNotifications(*state);
        return 0;
    }
    if ((events & ~kOfferedEvents) != 0) return Fail(WSAEOPNOTSUPP);
    if (!IsWindow(hwnd) || !HasMessageLoop()) return Fail(WSAEINVAL);
    StopNotifications(*state);
    state->hwnd = hwnd;
    state->message = message;
    state->events = events;
    StartWatches(*state);
    return 0;
}

}  // namespace quenda::wsock
