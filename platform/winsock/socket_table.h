// The sockets this library opened, with what Winsock keeps per socket, and the start-up count.
#pragma once

#include <netinet/in.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

#include "platform/winmsg/socket_watch.h"
#include "platform/winsock/reply_sources.h"
#include "platform/winsock/winsock_types.h"

namespace quenda::wsock {

// What a datagram receive learnt beyond the datagram it returned: the next datagram, taken in
// the same system call, and whether the kernel's queue was then empty. A read loop then costs
// one call per two datagrams and none for its closing "would block".
struct ReadAhead {
    std::vector<char> bytes;    // room for the largest datagram, made with the first receive
    size_t length = 0;          // of the held datagram
    sockaddr_in from{};         // its sender
    std::optional<in_addr> to;  // the local address it was sent to, when the socket asks
    bool held = false;          // a datagram waits in bytes
    bool noticePosted = false;  // an FD_READ was posted for it and may still be queued
    bool drained = false;       // the last receive found nothing after its datagram
};

// One open socket. Its SOCKET handle is its file descriptor.
struct SocketState {
    int fd = -1;                              // non-blocking, close-on-exec descriptor
    int type = 0;                             // WS_SOCK_STREAM, WS_SOCK_DGRAM or WS_SOCK_RAW
    bool bound = false;                       // has a local address (bind, connect, sendto, accept)
    bool listening = false;                   // listen succeeded
    bool connected = false;                   // stream socket with a peer
    int defaultReceiveBuffer = 0;             // SO_RCVBUF as the kernel reported it at creation
    int defaultSendBuffer = 0;                // SO_SNDBUF likewise
    int requestedReceiveBuffer = -1;          // last SO_RCVBUF asked for; -1 = never
    int requestedSendBuffer = -1;             // last SO_SNDBUF asked for; -1 = never
    HWND hwnd = nullptr;                      // WSAAsyncSelect window; null = no notifications
    UINT message = 0;                         // WSAAsyncSelect message
    int32_t events = 0;                       // WSAAsyncSelect FD_ bits
    std::unique_ptr<SocketWatch> readWatch;   // FD_READ / FD_ACCEPT
    std::unique_ptr<SocketWatch> writeWatch;  // FD_WRITE
    std::unique_ptr<ReadAhead> readAhead;     // datagram and raw sockets, from the first receive
    std::unique_ptr<ReplySources> replySources;  // datagram sockets bound to every address
    bool echoSocket = false;          // a raw ICMP socket played by an unprivileged ping socket
    uint16_t echoIdentifier = 0;      // of the last echo request sent, as its two bytes read
    bool echoIdentifierSent = false;  // echoIdentifier holds one
};

// Whether a datagram waits in the socket's read-ahead.
inline bool HoldsDatagram(const SocketState& state) {
    return state.readAhead && state.readAhead->held;
}

// Forgets that the kernel's queue was found empty: something says it may not be any more.
inline void ForgetDrained(SocketState& state) {
    if (state.readAhead) state.readAhead->drained = false;
}

// True between a successful WSAStartup and the WSACleanup that balances it.
bool IsStarted();

// Counts a successful WSAStartup; the last WSACleanup closes every socket.
void CountStartup();
// Returns false when there was no start-up to balance.
bool CountCleanup();

// Sets the thread's Winsock error and returns SOCKET_ERROR, the failure result of most calls.
int Fail(int error);

// The socket s, or null after setting WSANOTINITIALISED (not started) or WSAENOTSOCK.
SocketState* FindSocket(SOCKET s);

// Takes charge of fd as a socket of the given type; returns its state.
SocketState& AddSocket(int fd, int type);

// Stops the socket's notifications, closes it and forgets it.
void RemoveSocket(SOCKET s);

// The handle of a socket state.
inline SOCKET HandleOf(const SocketState& state) {
    return static_cast<SOCKET>(state.fd);
}

}  // namespace quenda::wsock
