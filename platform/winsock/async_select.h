// The re-enabling side of WSAAsyncSelect, called by the socket functions.
#pragma once

#include "platform/winsock/socket_table.h"

namespace quenda::wsock {

// A read-side call (recv, recvfrom, accept) was made: FD_READ / FD_ACCEPT may be posted again.
void RearmRead(SocketState& state);

// A send failed with WSAEWOULDBLOCK, or a stream connection was made: FD_WRITE may be posted
// again.
void RearmWrite(SocketState& state);

// Ends the socket's notifications (WSAAsyncSelect with no events, or a socket about to close),
// withdrawing one still queued for a held datagram.
void StopNotifications(SocketState& state);

// Gives an accepted socket the notifications of its listening socket, as Winsock does.
void InheritNotifications(const SocketState& listener, SocketState& accepted);

}  // namespace quenda::wsock
