// Keeps the table of open sockets and the WSAStartup count.
#include "platform/winsock/socket_table.h"

#include <unistd.h>

#include <map>

#include "platform/winsock/async_select.h"
#include "platform/winsock/winsock_impl.h"

namespace quenda::wsock {

namespace {

struct LibraryState {
    int startups = 0;
    std::map<SOCKET, std::unique_ptr<SocketState>> sockets;
};

LibraryState& State() {
    static auto* state = new LibraryState;  // outlives static destructors that close sockets
    return *state;
}

}  // namespace

bool IsStarted() {
    return State().startups > 0;
}

void CountStartup() {
    ++State().startups;
}

bool CountCleanup() {
    LibraryState& state = State();
    if (state.startups == 0) return false;
    if (--state.startups == 0) {
        // As on Windows, the last clean-up closes whatever the process left open.
        while (!state.sockets.empty()) RemoveSocket(state.sockets.begin()->first);
    }
    return true;
}

int Fail(int error) {
    SetLastWinsockError(error);
    return SOCKET_ERROR;
}

SocketState* FindSocket(SOCKET s) {
    LibraryState& state = State();
    if (state.startups == 0) {
        Fail(WSANOTINITIALISED);
        return nullptr;
    }
    auto it = state.sockets.find(s);
    if (it == state.sockets.end()) {
        Fail(WSAENOTSOCK);
        return nullptr;
    }
    return it->second.get();
}

SocketState& AddSocket(int fd, int type) {
    auto socketState = std::make_unique<SocketState>();
    socketState->fd = fd;
    socketState->type = type;
    SocketState& added = *socketState;
    State().sockets[static_cast<SOCKET>(fd)] = std::move(socketState);
    return added;
}

void RemoveSocket(SOCKET s) {
    auto& sockets = State().sockets;
    auto it = sockets.find(s);
    if (it == sockets.end()) return;
    int fd = it->second->fd;
    StopNotifications(*it->second);
    sockets.erase(it);  // the watches go before the descriptor they watch
    ::close(fd);
}

}  // namespace quenda::wsock
