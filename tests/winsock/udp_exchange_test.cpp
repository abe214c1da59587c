// Datagrams over loopback with WSAAsyncSelect notifications on the real Qt loop.
//
// The notifications are posted by libwsock32.so, loaded with dlopen, to windows this program
// made: they only arrive if both share the one message layer.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <utility>

#include "platform/winmsg/message_queue.h"
#include "tests/support/qt_loop.h"
#include "tests/winsock/winsock_fixture.h"

namespace quenda::test {
namespace {

class UdpExchangeTest : public WinsockTest {
  protected:
    void SetUp() override {
        WinsockTest::SetUp();
        window_ = windows_.Create();
        ASSERT_NE(window_, nullptr);
    }

    void Watch(SOCKET s, int32_t events = FD_READ | FD_WRITE) {
        ASSERT_EQ(ws.WSAAsyncSelect(s, window_, kNotifyMessage, events), 0) << ws.WSAGetLastError();
    }

    std::string Receive(SOCKET s, int capacity = 2048, uint16_t* fromPort = nullptr) {
        std::string buffer(static_cast<size_t>(capacity), '\0');
        WS_sockaddr_in from{};
        int fromLength = sizeof from;
        int got = ws.recvfrom(s, buffer.data(), capacity, 0, reinterpret_cast<WS_sockaddr*>(&from),
                              &fromLength);
        if (got < 0) return "error " + std::to_string(ws.WSAGetLastError());
        if (fromPort != nullptr) *fromPort = ws.ntohs(from.sin_port);
        EXPECT_EQ(fromLength, 16);
        EXPECT_EQ(from.sin_addr.s_addr, ws.htonl(WS_INADDR_LOOPBACK));
        return buffer.substr(0, static_cast<size_t>(got));
    }

    RecordingClass windows_{"__hov_socket_wnd__"};
    HWND window_ = nullptr;
};

TEST_F(UdpExchangeTest, TwoSocketsTalkThroughNotifications) {
    SOCKET a = OpenUdp();
    SOCKET b = OpenUdp();
    Watch(a);
    Watch(b);
    // Each socket is told once that it can send.
    ASSERT_TRUE(
        RunLoopUntil([&] { return Notices(a, FD_WRITE) == 1 && Notices(b, FD_WRITE) == 1; }));

    ASSERT_EQ(SendTo(a, b, "question"), 8);
    ASSERT_TRUE(RunLoopUntil([&] { return Notices(b, FD_READ) == 1; }));
    uint16_t fromPort = 0;
    EXPECT_EQ(Receive(b, 2048, &fromPort), "question");
    EXPECT_EQ(fromPort, PortOf(a));

    // One round of pending work sees the socket ready and delivers the notification it
    // posts, as the relay expects when it lets pending messages run.
    ASSERT_EQ(SendTo(b, a, "answer"), 6);
    ProcessPendingMessages();
    EXPECT_EQ(Notices(a, FD_READ), 1);
    EXPECT_EQ(Receive(a), "answer");

    // The notification's high word carries no error; the low word the event.
    for (const Received& received : ReceivedLog()) {
        EXPECT_EQ(received.hwnd, window_);
        EXPECT_EQ(WSAGETSELECTERROR(received.lParam), 0);
    }
    RunLoopFor(30);
    EXPECT_EQ(Notices(a, FD_WRITE), 1);  // successful sends do not repeat FD_WRITE
    EXPECT_EQ(Notices(b, FD_WRITE), 1);
    EXPECT_EQ(Notices(a, FD_READ), 1);
}

TEST_F(UdpExchangeTest, ReadIsPostedOnceAndReenabledByEachReceive) {
    SOCKET a = OpenUdp();
    SOCKET b = OpenUdp();
    Watch(b, FD_READ);
    for (const char* text : {"one", "two", "three"}) ASSERT_GT(SendTo(a, b, text), 0);

    ASSERT_TRUE(RunLoopUntil([&] { return Notices(b, FD_READ) == 1; }));
    RunLoopFor(30);
    EXPECT_EQ(Notices(b, FD_READ), 1);  // three datagrams wait, one notification

    // Each receive re-enables FD_READ; while datagrams remain, another one comes.
    EXPECT_EQ(Receive(b), "one");
    ASSERT_TRUE(RunLoopUntil([&] { return Notices(b, FD_READ) == 2; }));
    EXPECT_EQ(Receive(b), "two");
    ASSERT_TRUE(RunLoopUntil([&] { return Notices(b, FD_READ) == 3; }));
    EXPECT_EQ(Receive(b), "three");
    EXPECT_EQ(Receive(b), "error " + std::to_string(WSAEWOULDBLOCK));
    RunLoopFor(30);
    EXPECT_EQ(Notices(b, FD_READ), 3);
}

TEST_F(UdpExchangeTest, ReadLoopGetsEveryDatagramInOrderAndLeavesNoNotificationBehind) {
    SOCKET a = OpenUdp();
    SOCKET c = OpenUdp();
    SOCKET b = OpenUdp();
    Watch(b, FD_READ);
    const std::pair<SOCKET, const char*> sent[] = {
        {a, "one"}, {c, "two"}, {a, "three"}, {c, "four"}, {a, "five"}};
    for (const auto& [from, text] : sent) ASSERT_GT(SendTo(from, b, text), 0);
    ASSERT_TRUE(RunLoopUntil([&] { return Notices(b, FD_READ) == 1; }));

    // Read as the controls do: until "would block". Datagrams come in pairs from the kernel.
    for (const auto& [from, text] : sent) {
        uint16_t port = 0;
        EXPECT_EQ(Receive(b, 2048, &port), text);
        EXPECT_EQ(port, PortOf(from)) << text;
    }
    EXPECT_EQ(Receive(b), "error " + std::to_string(WSAEWOULDBLOCK));
    RunLoopFor(30);
    EXPECT_EQ(Notices(b, FD_READ), 1);

    // What comes later is announced again, though the read before found the queue empty.
    ASSERT_GT(SendTo(a, b, "six"), 0);
    ASSERT_TRUE(RunLoopUntil([&] { return Notices(b, FD_READ) == 2; }));
    EXPECT_EQ(Receive(b), "six");
    ASSERT_GT(SendTo(a, b, "seven"), 0);
    ASSERT_TRUE(RunLoopUntil([&] { return Notices(b, FD_READ) == 3; }));
    EXPECT_EQ(Receive(b), "seven");
}

TEST_F(UdpExchangeTest, HeldDatagramIsPeekedCountedSelectedAndCutLikeAnyOther) {
    SOCKET a = OpenUdp();
    SOCKET b = OpenUdp();
    ASSERT_EQ(SendTo(a, b, "first"), 5);
    ASSERT_EQ(SendTo(a, b, "second datagram"), 15);
    WS_fd_set readable;
    WS_FD_ZERO(&readable);
    WS_FD_SET(b, &readable);
    WS_timeval wait{5, 0};
    ASSERT_EQ(ws.select(0, &readable, nullptr, nullptr, &wait), 1);
    EXPECT_EQ(Receive(b), "first");  // "second datagram" now waits in the read-ahead

    uint32_t next = 0;
    ASSERT_EQ(ws.ioctlsocket(b, WS_FIONREAD, &next), 0);
    EXPECT_EQ(next, 15u);
    char buffer[8];
    EXPECT_EQ(ws.recv(b, buffer, sizeof buffer, WS_MSG_PEEK), SOCKET_ERROR);
    EXPECT_EQ(ws.WSAGetLastError(), WSAEMSGSIZE);
    WS_FD_ZERO(&readable);
    WS_FD_SET(b, &readable);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ws.select(0, &readable, nullptr, nullptr, &wait), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));

    EXPECT_EQ(ws.recv(b, buffer, sizeof buffer, 0), SOCKET_ERROR);
    EXPECT_EQ(ws.WSAGetLastError(), WSAEMSGSIZE);
    EXPECT_EQ(std::string(buffer, sizeof buffer), "second d");
    WS_timeval none{0, 0};
    WS_FD_ZERO(&readable);
    WS_FD_SET(b, &readable);
    EXPECT_EQ(ws.select(0, &readable, nullptr, nullptr, &none), 0);

    // A socket closed with a datagram held and its notification queued takes both along.
    ASSERT_EQ(SendTo(a, b, "x"), 1);
    ASSERT_EQ(SendTo(a, b, "y"), 1);
    Watch(b, FD_READ);
    ASSERT_TRUE(RunLoopUntil([&] { return Notices(b, FD_READ) == 1; }));
    EXPECT_EQ(Receive(b), "x");
    ASSERT_EQ(ws.closesocket(b), 0);
    RunLoopFor(30);
    EXPECT_EQ(Notices(b, FD_READ), 1);
}

TEST_F(UdpExchangeTest, OversizeDatagramFailsAndIsGoneAndEmptyOneReadsAsZero) {
    SOCKET a = OpenUdp();
    SOCKET b = OpenUdp();
    std::string big(3000, 'x');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>('a' + i % 26);
    ASSERT_EQ(SendTo(a, b, big), 3000);
    ASSERT_EQ(SendTo(a, b, "next"), 4);
    ASSERT_EQ(SendTo(a, b, ""), 0);

    char buffer[2048];
    WS_fd_set readable;
    WS_FD_ZERO(&readable);
    WS_FD_SET(b, &readable);
    WS_timeval wait{5, 0};
    ASSERT_EQ(ws.select(0, &readable, nullptr, nullptr, &wait), 1);

    // Peeking leaves the long datagram in place, still too long.
    EXPECT_EQ(ws.recv(b, buffer, sizeof buffer, WS_MSG_PEEK), SOCKET_ERROR);
    EXPECT_EQ(ws.WSAGetLastError(), WSAEMSGSIZE);
    EXPECT_EQ(ws.recv(b, buffer, sizeof buffer, 0), SOCKET_ERROR);
    EXPECT_EQ(ws.WSAGetLastError(), WSAEMSGSIZE);
    EXPECT_EQ(std::string(buffer, sizeof buffer), big.substr(0, sizeof buffer));

    EXPECT_EQ(Receive(b), "next");
    EXPECT_EQ(ws.recv(b, buffer, sizeof buffer, 0), 0);  // the empty datagram
    EXPECT_EQ(ws.recv(b, buffer, sizeof buffer, 0), SOCKET_ERROR);
    EXPECT_EQ(ws.WSAGetLastError(), WSAEWOULDBLOCK);
}

TEST_F(UdpExchangeTest, SmallReceiveBufferKeepsTheSystemDefault) {
    SOCKET a = OpenUdp();
    SOCKET b = OpenUdp();
    int small = 2048;
    ASSERT_EQ(ws.setsockopt(b, WS_SOL_SOCKET, WS_SO_RCVBUF, reinterpret_cast<char*>(&small),
                            sizeof small),
              0);
    int readBack = 0;
    int length = sizeof readBack;
    ASSERT_EQ(
        ws.getsockopt(b, WS_SOL_SOCKET, WS_SO_RCVBUF, reinterpret_cast<char*>(&readBack), &length),
        0);
    EXPECT_EQ(readBack, 2048);  // reads back what was asked, as on Windows

    // Linux would keep about three of these in a 2048-byte buffer; Windows keeps all.
    constexpr int kQueries = 20;
    std::string query(60, 'q');
    for (int i = 0; i < kQueries; ++i) ASSERT_EQ(SendTo(a, b, query), 60);
    int received = 0;
    while (Receive(b) == query) ++received;
    EXPECT_EQ(received, kQueries);
}

// What the kernel holds for the socket, in bytes it books (about twice what was asked).
int BookedReceiveBuffer(SOCKET s) {
    int booked = 0;
    socklen_t length = sizeof booked;
    EXPECT_EQ(::getsockopt(static_cast<int>(s), SOL_SOCKET, SO_RCVBUF, &booked, &length), 0);
    return booked;
}

int SystemReceiveMaximum() {
    std::ifstream file("/proc/sys/net/core/rmem_max");
    int bytes = 0;
    file >> bytes;
    return bytes;
}

// Whether this process may go past the system maximum (CAP_NET_ADMIN).
bool MayForceBuffers() {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    int size = 65536;
    const bool allowed = ::setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size) == 0;
    ::close(fd);
    return allowed;
}

TEST_F(UdpExchangeTest, AReceiveBufferAboveTheSystemMaximumIsForcedWhenPrivileged) {
    const int maximum = SystemReceiveMaximum();
    ASSERT_GT(maximum, 0);
    SOCKET s = OpenUdp();
    int wanted = maximum + (1 << 20);
    ASSERT_EQ(ws.setsockopt(s, WS_SOL_SOCKET, WS_SO_RCVBUF, reinterpret_cast<char*>(&wanted),
                            sizeof wanted),
              0);
    if (MayForceBuffers()) {
        EXPECT_GE(BookedReceiveBuffer(s) / 2, wanted);
    } else {
        EXPECT_EQ(BookedReceiveBuffer(s) / 2, maximum);  // what the system allows
    }
    int readBack = 0;
    int length = sizeof readBack;
    ASSERT_EQ(
        ws.getsockopt(s, WS_SOL_SOCKET, WS_SO_RCVBUF, reinterpret_cast<char*>(&readBack), &length),
        0);
    EXPECT_EQ(readBack, wanted);

    // Within the maximum nothing needs forcing and exactly the size asked for is kept.
    int within = maximum / 2;
    ASSERT_EQ(ws.setsockopt(s, WS_SOL_SOCKET, WS_SO_RCVBUF, reinterpret_cast<char*>(&within),
                            sizeof within),
              0);
    EXPECT_EQ(BookedReceiveBuffer(s) / 2, within);
}

TEST_F(UdpExchangeTest, CancelledOrRefusedNotifications) {
    SOCKET a = OpenUdp();
    SOCKET b = OpenUdp();
    Watch(b, FD_READ);
    ASSERT_EQ(ws.WSAAsyncSelect(b, window_, 0, 0), 0);  // no events: notifications stop
    ASSERT_EQ(SendTo(a, b, "quiet"), 5);
    RunLoopFor(30);
    EXPECT_EQ(Notices(b, FD_READ), 0);
    EXPECT_EQ(Receive(b), "quiet");

    EXPECT_EQ(ws.WSAAsyncSelect(b, window_, kNotifyMessage, FD_READ | FD_CLOSE), SOCKET_ERROR);
    EXPECT_EQ(ws.WSAGetLastError(), WSAEOPNOTSUPP);
    HWND gone = windows_.Create();
    DestroyWindow(gone);
    EXPECT_EQ(ws.WSAAsyncSelect(b, gone, kNotifyMessage, FD_READ), SOCKET_ERROR);
    EXPECT_EQ(ws.WSAGetLastError(), WSAEINVAL);
    EXPECT_EQ(ws.WSAAsyncSelect(12345, window_, kNotifyMessage, FD_READ), SOCKET_ERROR);
    EXPECT_EQ(ws.WSAGetLastError(), WSAENOTSOCK);

    // A window that goes away loses its notifications without harm.
    HWND shortLived = windows_.Create();
    ASSERT_EQ(ws.WSAAsyncSelect(b, shortLived, kNotifyMessage, FD_READ), 0);
    DestroyWindow(shortLived);
    ASSERT_EQ(SendTo(a, b, "lost"), 4);
    RunLoopFor(30);
    EXPECT_EQ(Notices(b, FD_READ), 0);
    EXPECT_EQ(Receive(b), "lost");
}

// A plain system socket on 127.0.0.1, as a client's resolver library opens one. Addresses are
// Winsock's, whose layout is the system's; the layer converts byte orders.
class SystemUdpClient {
  public:
    explicit SystemUdpClient(const WinsockLibrary& ws) : ws_(ws) {
        fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        const WS_sockaddr_in local = At("127.0.0.1", 0);
        ::bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local);
        timeval timeout{2, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    }
    ~SystemUdpClient() { ::close(fd_); }
    void SendTo(const char* address, uint16_t port, std::string_view data) const {
        const WS_sockaddr_in to = At(address, port);
        ::sendto(fd_, data.data(), data.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                 sizeof to);
    }
    bool Connect(const char* address, uint16_t port) const {
        const WS_sockaddr_in to = At(address, port);
        return ::connect(fd_, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0;
    }
    // The next datagram and the address it came from; "" on a time-out.
    std::pair<std::string, std::string> Receive() const {
        char buffer[512];
        WS_sockaddr_in from{};
        socklen_t length = sizeof from;
        const ssize_t n =
            ::recvfrom(fd_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length);
        if (n < 0) return {"", ""};
        return {std::string(buffer, static_cast<size_t>(n)), ws_.inet_ntoa(from.sin_addr)};
    }

  private:
    WS_sockaddr_in At(const char* address, uint16_t port) const {
        WS_sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_port = ws_.htons(port);
        at.sin_addr.s_addr = ws_.inet_addr(address);
        return at;
    }

    const WinsockLibrary& ws_;
    int fd_ = -1;
};

TEST_F(UdpExchangeTest, RepliesLeaveFromTheAddressEachDatagramWasSentTo) {
    SOCKET server = ws.socket(WS_AF_INET, WS_SOCK_DGRAM, 0);
    WS_sockaddr_in any = Address(0, 0);
    ASSERT_EQ(ws.bind(server, AsSockaddr(any), sizeof any), 0);
    const uint16_t port = PortOf(server);
    // Answers every waiting datagram with its own text, to its sender.
    const auto answerAll = [&] {
        int answered = 0;
        for (;;) {
            char buffer[512];
            WS_sockaddr_in from{};
            int fromLength = sizeof from;
            const int got = ws.recvfrom(server, buffer, sizeof buffer, 0,
                                        reinterpret_cast<WS_sockaddr*>(&from), &fromLength);
            if (got <= 0) return answered;
            ws.sendto(server, buffer, got, 0, reinterpret_cast<WS_sockaddr*>(&from), fromLength);
            ++answered;
        }
    };

    // Two datagrams of one client to two addresses come in one system call: the second waits
    // in the read-ahead and must not lend its destination to the first one's reply.
    SystemUdpClient client(ws);
    for (const auto& [first, second] :
         {std::pair{"127.0.0.9", "127.0.0.1"}, std::pair{"127.0.0.1", "127.0.0.9"}}) {
        client.SendTo(first, port, first);
        client.SendTo(second, port, second);
        EXPECT_EQ(answerAll(), 2);
        EXPECT_EQ(client.Receive(), std::pair(std::string(first), std::string(first)));
        EXPECT_EQ(client.Receive(), std::pair(std::string(second), std::string(second)));
    }

    // A connected client takes replies only from the address it asked.
    SystemUdpClient connected(ws);
    ASSERT_TRUE(connected.Connect("127.0.0.9", port));
    connected.SendTo("127.0.0.9", port, "connected");
    EXPECT_EQ(answerAll(), 1);
    EXPECT_EQ(connected.Receive().first, "connected");

    // A socket bound to one address sends from it whatever it was asked at.
    SOCKET bound = OpenUdp();
    client.SendTo("127.0.0.1", PortOf(bound), "plain");
    char buffer[16];
    WS_sockaddr_in from{};
    int fromLength = sizeof from;
    ASSERT_EQ(ws.recvfrom(bound, buffer, sizeof buffer, 0, reinterpret_cast<WS_sockaddr*>(&from),
                          &fromLength),
              5);
    ASSERT_EQ(ws.sendto(bound, buffer, 5, 0, reinterpret_cast<WS_sockaddr*>(&from), fromLength), 5);
    EXPECT_EQ(client.Receive(), std::pair(std::string("plain"), std::string("127.0.0.1")));
}

}  // namespace
}  // namespace quenda::test
