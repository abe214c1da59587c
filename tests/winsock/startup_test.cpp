// Start-up and clean-up, the error number, dotted text, host and protocol names.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/winmsg/message_queue.h"
#include "platform/winsock/winsock_api.h"
#include "tests/winsock/winsock_fixture.h"

namespace quenda::test {
namespace {

const WinsockLibrary& Ws() {
    return LoadWinsock(QUENDA_WINSOCK_PATH);
}

TEST(WinsockStartupTest, EverythingButStartupWaitsForIt) {
    const WinsockLibrary& ws = Ws();
    ASSERT_EQ(ws.loadError, "");
    auto expectNotStarted = [&](const char* what) {
        EXPECT_EQ(ws.WSAGetLastError(), WSANOTINITIALISED) << what;
        ws.WSASetLastError(0);
    };
    EXPECT_EQ(ws.socket(WS_AF_INET, WS_SOCK_DGRAM, 0), INVALID_SOCKET);
    expectNotStarted("socket");
    EXPECT_EQ(ws.gethostbyname("localhost"), nullptr);
    expectNotStarted("gethostbyname");
    char name[256];
    EXPECT_EQ(ws.gethostname(name, sizeof name), SOCKET_ERROR);
    expectNotStarted("gethostname");
    EXPECT_EQ(ws.WSACancelBlockingCall(), SOCKET_ERROR);
    expectNotStarted("WSACancelBlockingCall");
    EXPECT_EQ(ws.WSACleanup(), SOCKET_ERROR);
    expectNotStarted("WSACleanup");
    // Pure conversions need no start-up.
    EXPECT_EQ(ws.htons(0x1234), 0x3412);
    EXPECT_EQ(ws.inet_addr("1.2.3.4"), ws.htonl(0x01020304));
}

TEST(WinsockLoadTest, LibrarySitsBesideTheSharedLibrariesAndLoadsByPath) {
    // The message layer is a shared library of the same folder, as the controls will be.
    std::string beside = WinsockPathBeside(reinterpret_cast<const void*>(&PostMessageA));
    EXPECT_EQ(std::filesystem::weakly_canonical(beside),
              std::filesystem::weakly_canonical(QUENDA_WINSOCK_PATH));

    WinsockApi api;
    std::string error;
    EXPECT_FALSE(LoadWinsockApi("/nonexistent/libwsock32.so", &api, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(api.socket, nullptr);
    ASSERT_TRUE(LoadWinsockApi(QUENDA_WINSOCK_PATH, &api, &error)) << error;
    // A second load is the same library: one set of sockets and start-ups.
    EXPECT_EQ(api.WSAStartup, Ws().WSAStartup);
}

TEST(WinsockStartupTest, StartupReportsVersionOnePointOne) {
    const WinsockLibrary& ws = Ws();
    WSADATA data;
    std::memset(&data, 0x55, sizeof data);
    ASSERT_EQ(ws.WSAStartup(0x0101, &data), 0);
    EXPECT_EQ(data.wVersion, 0x0101);
    EXPECT_EQ(data.wHighVersion, 0x0101);
    EXPECT_GT(std::strlen(data.szDescription), 0u);
    EXPECT_LE(std::strlen(data.szDescription), static_cast<size_t>(WSADESCRIPTION_LEN));
    EXPECT_STREQ(data.szSystemStatus, "Running");
    EXPECT_GT(data.iMaxSockets, 0);
    EXPECT_EQ(data.iMaxUdpDg, 65507);
    EXPECT_EQ(data.lpVendorInfo, nullptr);

    // A newer request is offered 1.1; the caller checks the bytes. Older than 1.0 is refused.
    WSADATA newer;
    ASSERT_EQ(ws.WSAStartup(0x0202, &newer), 0);
    EXPECT_EQ(newer.wVersion, 0x0101);
    EXPECT_EQ(ws.WSAStartup(0x0001, &newer), 0);  // 1.0: major in the low byte
    EXPECT_EQ(newer.wVersion, 0x0001);
    EXPECT_EQ(ws.WSAStartup(0x0100, &newer), WSAVERNOTSUPPORTED);  // 0.1
    EXPECT_EQ(ws.WSAStartup(0x0000, &newer), WSAVERNOTSUPPORTED);
    EXPECT_EQ(ws.WSAStartup(0x0101, nullptr), WSAEFAULT);

    // Three start-ups, three clean-ups; sockets live until the last one.
    SOCKET s = ws.socket(WS_AF_INET, WS_SOCK_DGRAM, 0);
    ASSERT_NE(s, INVALID_SOCKET);
    EXPECT_EQ(ws.WSACleanup(), 0);
    EXPECT_EQ(ws.WSACleanup(), 0);
    EXPECT_EQ(ws.closesocket(ws.socket(WS_AF_INET, WS_SOCK_DGRAM, 0)), 0);
    EXPECT_EQ(ws.WSACleanup(), 0);
    ASSERT_EQ(ws.WSAStartup(0x0101, &data), 0);
    EXPECT_EQ(ws.closesocket(s), SOCKET_ERROR);  // closed by the last clean-up
    EXPECT_EQ(ws.WSAGetLastError(), WSAENOTSOCK);
    EXPECT_FALSE(ws.WSAIsBlocking());
    EXPECT_EQ(ws.WSACancelBlockingCall(), SOCKET_ERROR);
    EXPECT_EQ(ws.WSAGetLastError(), WSAEINVAL);
    EXPECT_EQ(ws.WSAAsyncGetHostByName(nullptr, 0, "localhost", nullptr, 0), nullptr);
    EXPECT_EQ(ws.WSAGetLastError(), WSAEOPNOTSUPP);
    EXPECT_EQ(ws.WSACleanup(), 0);
}

TEST(WinsockAddressTextTest, InetAddrReadsWhatWindowsReads) {
    const WinsockLibrary& ws = Ws();
    struct Case {
        const char* text;
        uint32_t hostOrder;
    };
    const std::vector<Case> cases = {
        {"127.0.0.1", 0x7f000001},
        {"0.0.0.0", 0},
        {"1.2.3", 0x01020003},        // the last part fills the remaining bytes
        {"10.65535", 0x0a00ffff},
        {"3232235777", 0xc0a80101},
        {"0x7f.1", 0x7f000001},       // hex and octal parts
        {"010.0.0.1", 0x08000001},
        {"1.2.3.4 and more", 0x01020304},  // white space ends the address
        {"255.255.255.254", 0xfffffffe},
        // Not addresses:
        {"255.255.255.255", WS_INADDR_NONE},  // valid, but indistinguishable from failure
        {"", WS_INADDR_NONE},
        {"256.1.1.1", WS_INADDR_NONE},
        {"1.2.3.4.5", WS_INADDR_NONE},
        {"1..2.3", WS_INADDR_NONE},
        {"1.2.3.", WS_INADDR_NONE},
        {"1.2.3.4x", WS_INADDR_NONE},
        {" 1.2.3.4", WS_INADDR_NONE},
        {"08.1.1.1", WS_INADDR_NONE},
        {"0x", WS_INADDR_NONE},
        {"1.2.65536", WS_INADDR_NONE},
        {"4294967296", WS_INADDR_NONE},
        {"99999999999999999999", WS_INADDR_NONE},
        {"localhost", WS_INADDR_NONE},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ws.inet_addr(c.text), ws.htonl(c.hostOrder)) << c.text;
    }
    EXPECT_EQ(ws.inet_addr(nullptr), WS_INADDR_NONE);
}

TEST(WinsockAddressTextTest, InetNtoaWritesDottedText) {
    const WinsockLibrary& ws = Ws();
    for (const char* text : {"0.0.0.0", "127.0.0.1", "192.168.100.254", "10.0.0.255"}) {
        WS_in_addr address{ws.inet_addr(text)};
        EXPECT_STREQ(ws.inet_ntoa(address), text);
    }
    WS_in_addr broadcast{0xffffffff};
    char* first = ws.inet_ntoa(broadcast);
    EXPECT_STREQ(first, "255.255.255.255");
    // One buffer per thread, overwritten by the next call.
    EXPECT_EQ(ws.inet_ntoa(WS_in_addr{0}), first);
}

class WinsockNamesTest : public WinsockTest {};

std::vector<std::string> Addresses(const WinsockLibrary& ws, const WS_hostent* host) {
    std::vector<std::string> dotted;
    for (char** entry = host->h_addr_list; *entry != nullptr; ++entry) {
        WS_in_addr address;
        std::memcpy(&address.s_addr, *entry, 4);
        dotted.emplace_back(ws.inet_ntoa(address));
    }
    return dotted;
}

TEST_F(WinsockNamesTest, HostNamesResolveToIpv4Records) {
    WS_hostent* host = ws.gethostbyname("localhost");
    ASSERT_NE(host, nullptr) << ws.WSAGetLastError();
    EXPECT_EQ(host->h_addrtype, WS_AF_INET);
    EXPECT_EQ(host->h_length, 4);
    ASSERT_NE(host->h_name, nullptr);
    ASSERT_NE(host->h_aliases, nullptr);
    EXPECT_EQ(Addresses(ws, host), std::vector<std::string>{"127.0.0.1"});

    // Dotted text resolves to itself, the limited broadcast address included.
    host = ws.gethostbyname("255.255.255.255");
    ASSERT_NE(host, nullptr);
    EXPECT_EQ(Addresses(ws, host), std::vector<std::string>{"255.255.255.255"});

    EXPECT_EQ(ws.gethostbyname("no-such-host.invalid"), nullptr);
    int error = ws.WSAGetLastError();
    EXPECT_TRUE(error == WSAHOST_NOT_FOUND || error == WSATRY_AGAIN) << error;
}

TEST_F(WinsockNamesTest, HostNameNeedsRoomForItsEnd) {
    char name[256] = {};
    ASSERT_EQ(ws.gethostname(name, sizeof name), 0);
    size_t length = std::strlen(name);
    ASSERT_GT(length, 0u);
    char exact[256];
    EXPECT_EQ(ws.gethostname(exact, static_cast<int>(length) + 1), 0);
    EXPECT_STREQ(exact, name);
    EXPECT_EQ(ws.gethostname(exact, static_cast<int>(length)), SOCKET_ERROR);
    EXPECT_EQ(ws.WSAGetLastError(), WSAEFAULT);
    EXPECT_EQ(ws.gethostname(nullptr, 10), SOCKET_ERROR);
}

TEST_F(WinsockNamesTest, ProtocolsByNameAndNumber) {
    WS_protoent* udp = ws.getprotobyname("udp");
    ASSERT_NE(udp, nullptr);
    EXPECT_EQ(udp->p_proto, WS_IPPROTO_UDP);
    WS_protoent* icmp = ws.getprotobynumber(WS_IPPROTO_ICMP);
    ASSERT_NE(icmp, nullptr);
    EXPECT_STREQ(icmp->p_name, "icmp");
    EXPECT_EQ(ws.getprotobyname("carrier-pigeon"), nullptr);
    EXPECT_EQ(ws.WSAGetLastError(), WSANO_DATA);

    EXPECT_EQ(ws.getservbyname("no-such-service", "udp"), nullptr);
    EXPECT_EQ(ws.WSAGetLastError(), WSANO_DATA);
    EXPECT_EQ(ws.getservbyname(nullptr, "udp"), nullptr);
    EXPECT_EQ(ws.WSAGetLastError(), WSAEFAULT);
    if (WS_servent* domain = ws.getservbyname("domain", "udp")) {  // when the system lists it
        EXPECT_EQ(static_cast<uint16_t>(domain->s_port), ws.htons(53));
        EXPECT_STREQ(domain->s_proto, "udp");
    }
}

}  // namespace
}  // namespace quenda::test
