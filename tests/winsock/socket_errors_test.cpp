// Winsock error numbers for the failures a caller meets, socket options and select.
#include <gtest/gtest.h>

#include <string>

#include "tests/winsock/winsock_fixture.h"

namespace quenda::test {
namespace {

class SocketErrorsTest : public WinsockTest {
  protected:
    // Runs a failing call and gives the error it left (0 when it did not fail).
    template <class Call>
    int ErrorOf(Call call) {
        ws.WSASetLastError(0);
        auto result = call();
        if constexpr (std::is_same_v<decltype(result), SOCKET>) {
            if (result != INVALID_SOCKET) return 0;
        } else if constexpr (std::is_pointer_v<decltype(result)>) {
            if (result != nullptr) return 0;
        } else {
            if (result != SOCKET_ERROR) return 0;
        }
        return ws.WSAGetLastError();
    }
};

TEST_F(SocketErrorsTest, OpeningAndBinding) {
    EXPECT_EQ(ErrorOf([&] { return ws.socket(23, WS_SOCK_DGRAM, 0); }), WSAEAFNOSUPPORT);
    EXPECT_EQ(ErrorOf([&] { return ws.socket(WS_AF_INET, 5, 0); }), WSAESOCKTNOSUPPORT);

    SOCKET a = OpenUdp();
    uint16_t taken = PortOf(a);
    ASSERT_NE(taken, 0);
    SOCKET b = ws.socket(WS_AF_INET, WS_SOCK_DGRAM, 0);
    WS_sockaddr_in same = Address(WS_INADDR_LOOPBACK, taken);
    EXPECT_EQ(ErrorOf([&] { return ws.bind(b, AsSockaddr(same), sizeof same); }), WSAEADDRINUSE);
    EXPECT_EQ(ErrorOf([&] { return ws.bind(b, AsSockaddr(same), 8); }), WSAEFAULT);
    EXPECT_EQ(ErrorOf([&] { return ws.bind(b, nullptr, 16); }), WSAEFAULT);
    WS_sockaddr_in foreign = Address(0xc0000201, 0);  // 192.0.2.1 is no address of this host
    EXPECT_EQ(ErrorOf([&] { return ws.bind(b, AsSockaddr(foreign), sizeof foreign); }),
              WSAEADDRNOTAVAIL);
    WS_sockaddr_in wrongFamily = same;
    wrongFamily.sin_family = 23;
    EXPECT_EQ(ErrorOf([&] { return ws.bind(b, AsSockaddr(wrongFamily), 16); }), WSAEAFNOSUPPORT);

    // Winsock knows no name of an unbound socket, and will not read from one.
    WS_sockaddr_in name{};
    int length = sizeof name;
    EXPECT_EQ(ErrorOf([&] { return ws.getsockname(b, reinterpret_cast<WS_sockaddr*>(&name), &length); }),
              WSAEINVAL);
    char buffer[16];
    EXPECT_EQ(ErrorOf([&] { return ws.recv(b, buffer, sizeof buffer, 0); }), WSAEINVAL);
    EXPECT_EQ(ErrorOf([&] { return ws.bind(a, AsSockaddr(same), sizeof same); }), WSAEINVAL);

    // With both sockets asking to share, the port can be shared.
    SOCKET c = ws.socket(WS_AF_INET, WS_SOCK_DGRAM, 0);
    SOCKET d = ws.socket(WS_AF_INET, WS_SOCK_DGRAM, 0);
    int on = 1;
    for (SOCKET s : {c, d}) {
        ASSERT_EQ(ws.setsockopt(s, WS_SOL_SOCKET, WS_SO_REUSEADDR, reinterpret_cast<char*>(&on), 4), 0);
    }
    WS_sockaddr_in shared = Address(WS_INADDR_LOOPBACK, 0);
    ASSERT_EQ(ws.bind(c, AsSockaddr(shared), sizeof shared), 0);
    shared.sin_port = ws.htons(PortOf(c));
    EXPECT_EQ(ws.bind(d, AsSockaddr(shared), sizeof shared), 0);
}

TEST_F(SocketErrorsTest, SendingAndReceiving) {
    SOCKET a = OpenUdp();
    char buffer[16];
    EXPECT_EQ(ErrorOf([&] { return ws.recv(a, buffer, sizeof buffer, 0); }), WSAEWOULDBLOCK);
    EXPECT_EQ(ErrorOf([&] { return ws.recv(a, buffer, -1, 0); }), WSAEFAULT);
    EXPECT_EQ(ErrorOf([&] { return ws.recv(a, nullptr, 4, 0); }), WSAEFAULT);
    EXPECT_EQ(ErrorOf([&] { return ws.recv(a, buffer, sizeof buffer, 0x40); }), WSAEOPNOTSUPP);
    WS_sockaddr_in from{};
    int tooShort = 8;
    EXPECT_EQ(ErrorOf([&] {
                  return ws.recvfrom(a, buffer, sizeof buffer, 0, reinterpret_cast<WS_sockaddr*>(&from),
                                     &tooShort);
              }),
              WSAEFAULT);

    EXPECT_EQ(ErrorOf([&] { return ws.send(a, "x", 1, 0); }), WSAEDESTADDRREQ);
    WS_sockaddr_in nowhere = Address(WS_INADDR_ANY, 53);
    EXPECT_EQ(ErrorOf([&] { return ws.sendto(a, "x", 1, 0, AsSockaddr(nowhere), 16); }),
              WSAEADDRNOTAVAIL);
    WS_sockaddr_in portZero = Address(WS_INADDR_LOOPBACK, 0);
    EXPECT_EQ(ErrorOf([&] { return ws.sendto(a, "x", 1, 0, AsSockaddr(portZero), 16); }),
              WSAEADDRNOTAVAIL);
    WS_sockaddr_in broadcast = Address(WS_INADDR_BROADCAST, 53);
    EXPECT_EQ(ErrorOf([&] { return ws.sendto(a, "x", 1, 0, AsSockaddr(broadcast), 16); }),
              WSAEACCES);  // not without SO_BROADCAST
    std::string huge(70000, 'h');
    WS_sockaddr_in self = Address(WS_INADDR_LOOPBACK, PortOf(a));
    EXPECT_EQ(ErrorOf([&] { return ws.sendto(a, huge.data(), 70000, 0, AsSockaddr(self), 16); }),
              WSAEMSGSIZE);

    // A datagram socket told "port unreachable" hears of it as a reset, as on Windows.
    SOCKET closedPeer = OpenUdp();
    uint16_t closedPort = PortOf(closedPeer);
    ws.closesocket(closedPeer);
    WS_sockaddr_in dead = Address(WS_INADDR_LOOPBACK, closedPort);
    ASSERT_EQ(ws.connect(a, AsSockaddr(dead), sizeof dead), 0);
    ASSERT_EQ(ws.send(a, "ping", 4, 0), 4);
    EXPECT_EQ(ErrorOf([&] { return ws.recv(a, buffer, sizeof buffer, 0); }), WSAECONNRESET);
    WS_sockaddr_in peer{};
    int peerLength = sizeof peer;
    EXPECT_EQ(ws.getpeername(a, reinterpret_cast<WS_sockaddr*>(&peer), &peerLength), 0);
    EXPECT_EQ(ws.ntohs(peer.sin_port), closedPort);
    // Connecting to the any address with port 0 takes the peer away again.
    WS_sockaddr_in none = Address(WS_INADDR_ANY, 0);
    ASSERT_EQ(ws.connect(a, AsSockaddr(none), sizeof none), 0);
    EXPECT_EQ(ErrorOf([&] {
                  return ws.getpeername(a, reinterpret_cast<WS_sockaddr*>(&peer), &peerLength);
              }),
              WSAENOTCONN);

    // Handles that are not our sockets.
    for (SOCKET bogus : {SOCKET{0}, SOCKET{1}, INVALID_SOCKET, SOCKET{99999}}) {
        EXPECT_EQ(ErrorOf([&] { return ws.closesocket(bogus); }), WSAENOTSOCK) << bogus;
        EXPECT_EQ(ErrorOf([&] { return ws.send(bogus, "x", 1, 0); }), WSAENOTSOCK) << bogus;
    }
    ASSERT_EQ(ws.closesocket(a), 0);
    EXPECT_EQ(ErrorOf([&] { return ws.closesocket(a); }), WSAENOTSOCK);
}

TEST_F(SocketErrorsTest, OptionsUseWinsockNumbers) {
    SOCKET a = OpenUdp();
    auto get = [&](int level, int name) {
        int value = -1;
        int length = sizeof value;
        EXPECT_EQ(ws.getsockopt(a, level, name, reinterpret_cast<char*>(&value), &length), 0)
            << level << "/" << name << ": " << ws.WSAGetLastError();
        EXPECT_EQ(length, 4);
        return value;
    };
    auto set = [&](int level, int name, int value) {
        return ws.setsockopt(a, level, name, reinterpret_cast<char*>(&value), sizeof value);
    };
    EXPECT_EQ(get(WS_SOL_SOCKET, WS_SO_TYPE), WS_SOCK_DGRAM);
    EXPECT_EQ(get(WS_SOL_SOCKET, WS_SO_BROADCAST), 0);
    ASSERT_EQ(set(WS_SOL_SOCKET, WS_SO_BROADCAST, 1), 0);
    EXPECT_NE(get(WS_SOL_SOCKET, WS_SO_BROADCAST), 0);
    ASSERT_EQ(set(WS_SOL_SOCKET, WS_SO_DONTROUTE, 1), 0);
    EXPECT_NE(get(WS_SOL_SOCKET, WS_SO_DONTROUTE), 0);
    ASSERT_EQ(set(WS_IPPROTO_IP, WS_IP_TTL, 5), 0);  // 7 in Winsock 1.1, 2 in Linux
    EXPECT_EQ(get(WS_IPPROTO_IP, WS_IP_TTL), 5);
    EXPECT_EQ(get(WS_SOL_SOCKET, WS_SO_ERROR), 0);
    ASSERT_EQ(set(WS_SOL_SOCKET, WS_SO_SNDBUF, 1 << 20), 0);
    EXPECT_EQ(get(WS_SOL_SOCKET, WS_SO_SNDBUF), 1 << 20);

    EXPECT_EQ(ErrorOf([&] { return set(WS_SOL_SOCKET, 0x7777, 1); }), WSAENOPROTOOPT);
    EXPECT_EQ(ErrorOf([&] { return set(WS_IPPROTO_IP, WS_IP_OPTIONS, 1); }), WSAENOPROTOOPT);
    EXPECT_EQ(ErrorOf([&] { return set(99, WS_SO_BROADCAST, 1); }), WSAEINVAL);
    EXPECT_EQ(ErrorOf([&] { return set(WS_SOL_SOCKET, WS_SO_TYPE, 1); }), WSAENOPROTOOPT);
    int one = 1;
    EXPECT_EQ(ErrorOf([&] {
                  return ws.setsockopt(a, WS_SOL_SOCKET, WS_SO_BROADCAST, reinterpret_cast<char*>(&one), 2);
              }),
              WSAEFAULT);
    int shortLength = 2;
    EXPECT_EQ(ErrorOf([&] {
                  return ws.getsockopt(a, WS_SOL_SOCKET, WS_SO_BROADCAST, reinterpret_cast<char*>(&one),
                                       &shortLength);
              }),
              WSAEFAULT);

    // FIONREAD tells the size of what waits; FIONBIO cannot make a notified socket block.
    ASSERT_EQ(SendTo(a, a, "12345"), 5);
    uint32_t pending = 0;
    ASSERT_EQ(ws.ioctlsocket(a, WS_FIONREAD, &pending), 0);
    EXPECT_EQ(pending, 5u);
    uint32_t blocking = 0;
    EXPECT_EQ(ws.ioctlsocket(a, WS_FIONBIO, &blocking), 0);
    RecordingClass windows;
    ASSERT_EQ(ws.WSAAsyncSelect(a, windows.Create(), kNotifyMessage, FD_READ), 0);
    EXPECT_EQ(ErrorOf([&] { return ws.ioctlsocket(a, WS_FIONBIO, &blocking); }), WSAEINVAL);
    EXPECT_EQ(ErrorOf([&] { return ws.ioctlsocket(a, 0x1234, &blocking); }), WSAEINVAL);
    EXPECT_EQ(ErrorOf([&] { return ws.ioctlsocket(a, WS_FIONREAD, nullptr); }), WSAEFAULT);
}

TEST_F(SocketErrorsTest, SelectKeepsOnlyTheReadySockets) {
    SOCKET a = OpenUdp();
    SOCKET b = OpenUdp();
    WS_fd_set readable;
    WS_FD_ZERO(&readable);
    WS_FD_SET(a, &readable);
    WS_FD_SET(b, &readable);
    WS_fd_set writable;
    WS_FD_ZERO(&writable);
    WS_FD_SET(a, &writable);
    WS_timeval now{0, 0};
    EXPECT_EQ(ws.select(0, &readable, &writable, nullptr, &now), 1);
    EXPECT_EQ(readable.fd_count, 0u);
    EXPECT_TRUE(ws.WSAFDIsSet(a, &writable));

    ASSERT_EQ(SendTo(a, b, "x"), 1);
    WS_FD_ZERO(&readable);
    WS_FD_SET(a, &readable);
    WS_FD_SET(b, &readable);
    WS_timeval wait{5, 0};
    EXPECT_EQ(ws.select(0, &readable, nullptr, nullptr, &wait), 1);
    EXPECT_FALSE(ws.WSAFDIsSet(a, &readable));
    EXPECT_TRUE(ws.WSAFDIsSet(b, &readable));

    WS_fd_set empty;
    WS_FD_ZERO(&empty);
    EXPECT_EQ(ErrorOf([&] { return ws.select(0, &empty, nullptr, nullptr, &now); }), WSAEINVAL);
    EXPECT_EQ(ErrorOf([&] { return ws.select(0, nullptr, nullptr, nullptr, nullptr); }), WSAEINVAL);
    WS_fd_set bogus;
    WS_FD_ZERO(&bogus);
    WS_FD_SET(424242, &bogus);
    EXPECT_EQ(ErrorOf([&] { return ws.select(0, &bogus, nullptr, nullptr, &now); }), WSAENOTSOCK);
    WS_fd_set overfull{};
    overfull.fd_count = WS_FD_SETSIZE + 1;
    EXPECT_EQ(ErrorOf([&] { return ws.select(0, &overfull, nullptr, nullptr, &now); }), WSAEINVAL);
    EXPECT_EQ(ws.WSAFDIsSet(a, &overfull), 0);  // looks no further than the array
    WS_timeval negative{-1, 0};
    WS_FD_SET(a, &empty);
    EXPECT_EQ(ErrorOf([&] { return ws.select(0, &empty, nullptr, nullptr, &negative); }), WSAEINVAL);
}

}  // namespace
}  // namespace quenda::test
