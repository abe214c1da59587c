// A session over fake controls in a temporary directory, for the shell's and the windows'
// tests.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/shell/session.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fake_relay_ports.h"
#include "tests/support/scripted_messages.h"
#include "tests/support/temp_directory.h"

namespace quenda::test {

class FakeUdpControl final : public UdpControl {
  public:
    int SetActive(bool on) override {
        if (on && failOpen != 0) return failOpen;
        active = on;
        return 0;
    }
    int SetLocalPort(int32_t port) override {
        localPort = port;
        return 0;
    }
    int SetLocalHost(const std::string&) override { return 0; }
    int SetWinsockLoaded(bool) override { return 0; }
    int SetMaxPacketSize(int32_t bytes) override {
        if (!active) maxPacketAtOpen = bytes;
        return 0;
    }
    int SetInBufferSize(int32_t bytes) override {
        if (!active) bufferAtOpen = bytes;
        return 0;
    }
    int32_t GrantedInBufferSize() override { return active ? granted : -1; }
    bool IsActive() override { return active; }
    void SendDatagram(const std::string& host, uint16_t port, std::string_view data) override {
        sent.push_back({host, port, std::string(data)});
    }
    bool active = false;
    int32_t localPort = -1;
    int failOpen = 0;
    int32_t bufferAtOpen = -1;  // the receive buffer asked for while closed
    int32_t maxPacketAtOpen = -1;
    int32_t granted = 212992;  // what the system gives the open socket
    std::vector<SentDatagram> sent;
};

struct NullTcpServer final : TcpServerControl {
    int StartListening(uint16_t p) override {
        port = p;
        return failure;
    }
    void SendToConnection(int, std::string_view) override {}
    void CloseConnection(int) override {}
    uint16_t port = 0;
    int failure = 0;
};

struct NullTcpClient final : TcpClientControl {
    void SetOption(bool) override {}
    void SetRemoteHost(const std::string&) override {}
    void SetRemotePort(uint16_t) override {}
    void SetConnected(bool) override {}
    void Send(std::string_view) override {}
};

struct NullTcpClients final : TcpClientArray {
    TcpClientControl& Element(int) override { return client; }
    void CreateElement(int) override {}
    NullTcpClient client;
};

class SessionTest : public ::testing::Test {
  protected:
    SessionTest() {
        paths.dataDirectory = dir.Path().string() + "/";
        paths.configDirectory = paths.dataDirectory;
    }
    std::unique_ptr<Session> Make(uint16_t port = 5300) {
        SessionParts parts{paths,
                           "1.2.3",
                           port,
                           53,
                           udp1,
                           udp2,
                           tcpServer,
                           tcpClients,
                           messages,
                           clock,
                           [this] {
                               if (pump) pump();
                           },
                           [](LocalAddresses& local, LogSink&) { local.Add("192.0.2.7"); },
                           ""};
        return std::make_unique<Session>(parts);
    }
    std::string Ini() const { return paths.SettingsFile(); }

    TempDirectory dir;
    ProgramPaths paths;
    FakeUdpControl udp1, udp2;
    NullTcpServer tcpServer;
    NullTcpClients tcpClients;
    ScriptedMessages messages;
    FakeClock clock;
    std::function<void()> pump;  // events that come in while messages are let run
};

}  // namespace quenda::test
