// Stream sockets: FD_ACCEPT, and FD_WRITE coming back only after a send would have blocked.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/qt_loop.h"
#include "tests/winsock/winsock_fixture.h"

namespace quenda::test {
namespace {

class WinsockStreamTest : public WinsockTest {};

TEST_F(WinsockStreamTest, WriteReturnsAfterWouldBlockOnceThereIsRoom) {
    RecordingClass windows;
    HWND window = windows.Create();

    SOCKET listener = ws.socket(WS_AF_INET, WS_SOCK_STREAM, 0);
    ASSERT_NE(listener, INVALID_SOCKET);
    EXPECT_EQ(ws.listen(listener, 1), SOCKET_ERROR);  // Winsock wants a bound socket
    EXPECT_EQ(ws.WSAGetLastError(), WSAEINVAL);
    WS_sockaddr_in local = Address(WS_INADDR_LOOPBACK, 0);
    ASSERT_EQ(ws.bind(listener, AsSockaddr(local), sizeof local), 0);
    ASSERT_EQ(ws.listen(listener, 1), 0);
    ASSERT_EQ(ws.WSAAsyncSelect(listener, window, kNotifyMessage, FD_ACCEPT), 0);

    SOCKET client = ws.socket(WS_AF_INET, WS_SOCK_STREAM, 0);
    ASSERT_EQ(ws.WSAAsyncSelect(client, window, kNotifyMessage, FD_WRITE), 0);
    WS_sockaddr_in server = Address(WS_INADDR_LOOPBACK, PortOf(listener));
    if (ws.connect(client, AsSockaddr(server), sizeof server) != 0) {
        ASSERT_EQ(ws.WSAGetLastError(), WSAEWOULDBLOCK);  // a connection under way
    }
    ASSERT_TRUE(RunLoopUntil([&] { return Notices(listener, FD_ACCEPT) == 1; }));
    WS_sockaddr_in peer{};
    int peerLength = sizeof peer;
    SOCKET accepted = ws.accept(listener, reinterpret_cast<WS_sockaddr*>(&peer), &peerLength);
    ASSERT_NE(accepted, INVALID_SOCKET) << ws.WSAGetLastError();
    EXPECT_EQ(ws.ntohs(peer.sin_port), PortOf(client));
    ASSERT_TRUE(RunLoopUntil([&] { return Notices(client, FD_WRITE) == 1; }));

    // Fill the connection until a send would block.
    std::string chunk(65536, 's');
    int sends = 0;
    while (ws.send(client, chunk.data(), static_cast<int>(chunk.size()), 0) > 0) {
        ASSERT_LT(++sends, 10000);
    }
    ASSERT_EQ(ws.WSAGetLastError(), WSAEWOULDBLOCK);
    EXPECT_EQ(Notices(client, FD_WRITE), 1);

    // Reading on the other end makes room; FD_WRITE is posted once more.
    std::string sink(65536, '\0');
    ASSERT_TRUE(RunLoopUntil([&] {
        while (ws.recv(accepted, sink.data(), static_cast<int>(sink.size()), 0) > 0) {
        }
        return Notices(client, FD_WRITE) == 2;
    }));
    RunLoopFor(30);
    EXPECT_EQ(Notices(client, FD_WRITE), 2);
}

TEST_F(WinsockStreamTest, RefusedConnectionReportsConnRefused) {
    SOCKET closed = OpenUdp();  // a port nobody listens on with TCP
    WS_sockaddr_in target = Address(WS_INADDR_LOOPBACK, PortOf(closed));
    SOCKET client = ws.socket(WS_AF_INET, WS_SOCK_STREAM, 0);
    int error = 0;
    if (ws.connect(client, AsSockaddr(target), sizeof target) != 0) error = ws.WSAGetLastError();
    if (error == WSAEWOULDBLOCK) {  // the refusal comes later, as the connection's error
        WS_fd_set done;
        WS_FD_ZERO(&done);
        WS_FD_SET(client, &done);
        WS_timeval wait{5, 0};
        ASSERT_EQ(ws.select(0, nullptr, &done, nullptr, &wait), 1);
        int length = sizeof error;
        ASSERT_EQ(ws.getsockopt(client, WS_SOL_SOCKET, WS_SO_ERROR,
                                reinterpret_cast<char*>(&error), &length),
                  0);
    }
    EXPECT_EQ(error, WSAECONNREFUSED);
}

}  // namespace
}  // namespace quenda::test
