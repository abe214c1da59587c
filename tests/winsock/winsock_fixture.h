// A started Winsock layer, loaded as the controls load it, with helpers for loopback sockets.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <string_view>

#include "platform/winsock/winsock_types.h"
#include "tests/support/recording_window.h"
#include "tests/support/winsock_library.h"

namespace quenda::test {

inline constexpr UINT kNotifyMessage = WM_USER + 102;

class WinsockTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(ws.loadError, "");
        WSADATA data;
        ASSERT_EQ(ws.WSAStartup(0x0101, &data), 0);
    }
    // The last clean-up closes whatever a test left open.
    void TearDown() override { ws.WSACleanup(); }

    WS_sockaddr_in Address(uint32_t hostOrder, uint16_t port) {
        WS_sockaddr_in address{};
        address.sin_family = WS_AF_INET;
        address.sin_port = ws.htons(port);
        address.sin_addr.s_addr = ws.htonl(hostOrder);
        return address;
    }
    const WS_sockaddr* AsSockaddr(const WS_sockaddr_in& address) {
        return reinterpret_cast<const WS_sockaddr*>(&address);
    }

    // A datagram socket bound to 127.0.0.1 on port (0: any free port).
    SOCKET OpenUdp(uint16_t port = 0) {
        SOCKET s = ws.socket(WS_AF_INET, WS_SOCK_DGRAM, 0);
        EXPECT_NE(s, INVALID_SOCKET);
        WS_sockaddr_in local = Address(WS_INADDR_LOOPBACK, port);
        EXPECT_EQ(ws.bind(s, AsSockaddr(local), sizeof local), 0) << ws.WSAGetLastError();
        return s;
    }

    uint16_t PortOf(SOCKET s) {
        WS_sockaddr_in local{};
        int length = sizeof local;
        if (ws.getsockname(s, reinterpret_cast<WS_sockaddr*>(&local), &length) != 0) return 0;
        return ws.ntohs(local.sin_port);
    }

    int SendTo(SOCKET from, SOCKET to, std::string_view data) {
        WS_sockaddr_in target = Address(WS_INADDR_LOOPBACK, PortOf(to));
        return ws.sendto(from, data.data(), static_cast<int>(data.size()), 0, AsSockaddr(target),
                         sizeof target);
    }

    // How many notifications with this event the recording windows got for socket s.
    static int Notices(SOCKET s, int event) {
        int count = 0;
        for (const Received& received : ReceivedLog()) {
            if (received.message == kNotifyMessage && received.wParam == s &&
                WSAGETSELECTEVENT(received.lParam) == event) {
                ++count;
            }
        }
        return count;
    }

    const WinsockLibrary& ws = LoadWinsock(QUENDA_WINSOCK_PATH);
};

}  // namespace quenda::test
