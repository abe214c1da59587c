// The TCP service end to end on loopback: a client of IPDaemon, the service, the IPPort array
// and a fake name server, all through the late-bound adapters and the real Qt loop.
#include "app/shell/tcp_dispatch_controls.h"

#include <gmock/gmock.h>

#include "platform/tcpcontrols/ip_daemon.h"
#include "platform/tcpcontrols/ip_port.h"
#include "tests/relay/relay_fixture.h"
#include "tests/tcpcontrols/control_harness.h"

namespace quenda::test {
namespace {

using ::testing::ElementsAre;

// Pending window messages are the Qt loop's events, so handlers really nest.
class LoopHooks final : public RelayHooks {
  public:
    void ProcessPendingMessages() override { QCoreApplication::processEvents(); }
    void ServersChanged() override {}
    bool UpdateEntryDataNameserver(std::string_view) override { return false; }
    void ShowCriticalError(const std::string&, const std::string&) override {}
};

// A DNS message over TCP: the two-byte length, then the message.
std::string Framed(const std::string& message) {
    return std::string{static_cast<char>(message.size() >> 8),
                       static_cast<char>(message.size() & 0xFF)} +
           message;
}

// The relay's fixture supplies the name server list the best server is chosen from; its hooks
// stay with the UDP relay, the TCP service gets the real loop.
class TcpPassthroughTest : public RelayTest {
  protected:
    TcpPassthroughTest() {
        servers[0].address = "127.0.0.1";
        servers[1].enabled = false;
        controls.Bind(&tcp);
        tcp.StartTcpService(0);
        servicePort = static_cast<uint16_t>(GetNumber(controls.Daemon(), kIPDaemonLocalPort));
        EXPECT_GT(servicePort, 0);
    }
    ~TcpPassthroughTest() override { controls.Bind(nullptr); }

    // Makes the elements the service asks for, with the test's connection time-out.
    HRESULT MakeElement(int16_t index, IDispatch** element) {
        created.push_back(index);
        const HRESULT hr = CreateIPPort(index, element);
        if (SUCCEEDED(hr)) PutProperty(*element, kIPPortConnectTimeout, {I4Arg(connectTimeoutMs)});
        return hr;
    }

    // A client that has asked its question and whose upstream connection is up.
    std::unique_ptr<LoopbackClient> Ask(int upstreamConnections) {
        auto client = std::make_unique<LoopbackClient>(servicePort);
        EXPECT_TRUE(client->WaitConnected());
        client->Write(Framed(query));
        EXPECT_TRUE(RunLoopUntil([&] {
            return upstream.Accepted() >= upstreamConnections &&
                   upstream.ReceivedOn(upstreamConnections - 1).size() >= query.size() + 2;
        }));
        return client;
    }

    LoopHooks loopHooks;
    FakeUpstream upstream;

    int32_t connectTimeoutMs = kIPPortDefaultTimeoutMs;
    std::vector<int> created;  // element indices made, in order
    TcpDispatchControls controls{
        [this](int16_t index, IDispatch** element) { return MakeElement(index, element); }};
    TcpService tcp{controls.Server(), controls.Clients(), relay, servers, log, loopHooks, clock,
                   upstream.Port()};
    uint16_t servicePort = 0;
    const std::string query = std::string("\x12\x34\x01\x00\x00\x01\x00\x00\x00\x00\x00\x00", 12) +
                              std::string(
                                  "\x07"
                                  "example\x03"
                                  "com\x00\x00\x01\x00\x01",
                                  17);
};

TEST_F(TcpPassthroughTest, AQueryWrittenInTwoPiecesReachesTheServerAndTheAnswerComesBackByteExact) {
    const std::string answer = query.substr(0, 2) + AllBytes();
    upstream.reply = Framed(answer);
    LoopbackClient client(servicePort);
    ASSERT_TRUE(client.WaitConnected());
    const std::string framed = Framed(query);
    client.Write(framed.substr(0, 2));  // likely before the upstream connection is up: queued
    RunLoopUntil([&] { return upstream.Accepted() == 1; });
    client.Write(framed.substr(2));

    ASSERT_TRUE(client.WaitBytes(upstream.reply.size()));
    EXPECT_EQ(upstream.ReceivedOn(0), framed);
    EXPECT_EQ(client.Received(), upstream.reply);
    // The server closed after answering: the client's connection follows, and the slot is free.
    EXPECT_TRUE(client.WaitClosed());
    EXPECT_EQ(tcp.BoundSlots(), 0);
    EXPECT_THAT(created, ElementsAre(0));
}

TEST_F(TcpPassthroughTest, AClientThatClosesClosesItsUpstreamConnection) {
    upstream.closeAfterReply = false;
    auto client = Ask(1);
    EXPECT_TRUE(upstream.IsOpen(0));
    client->Close();
    EXPECT_TRUE(RunLoopUntil([&] { return !upstream.IsOpen(0); }));
    EXPECT_TRUE(RunLoopUntil([&] { return tcp.BoundSlots() == 0; }));
}

TEST_F(TcpPassthroughTest, SlotsGrowWithTheConnectionsAndTheHighestFreeOneIsReused) {
    upstream.closeAfterReply = false;
    auto first = Ask(1);
    EXPECT_EQ(tcp.FindTcpSlot(1), 0);
    auto second = Ask(2);
    EXPECT_EQ(tcp.FindTcpSlot(2), 1);
    EXPECT_THAT(created, ElementsAre(0, 1));
    EXPECT_NE(controls.Element(1), nullptr);

    upstream.Close(0);
    upstream.Close(1);
    EXPECT_TRUE(first->WaitClosed());
    EXPECT_TRUE(second->WaitClosed());
    ASSERT_TRUE(RunLoopUntil([&] { return tcp.BoundSlots() == 0; }));

    auto third = Ask(3);
    EXPECT_EQ(tcp.FindTcpSlot(3), 1);
    EXPECT_EQ(tcp.TcpMaxSlot(), 1);
    EXPECT_THAT(created, ElementsAre(0, 1));
    // The reused element carries this client's bytes, not the earlier ones'.
    EXPECT_EQ(upstream.ReceivedOn(2), Framed(query));
}

// The same controls serving a name server whose listening socket never completes a connection.
class SilentServerTest : public TcpPassthroughTest {
  protected:
    SilentServerTest() {
        EXPECT_TRUE(silent.Ready());
        controls.Bind(&silentService);
        silentService.StartTcpService(servicePort);
    }
    ~SilentServerTest() override { controls.Bind(nullptr); }

    FullListener silent;
    TcpService silentService{
        controls.Server(), controls.Clients(), relay, servers, log, loopHooks, clock,
        silent.Port()};
};

TEST_F(SilentServerTest, AServerThatNeverAnswersTheConnectionFreesTheSlotAndClosesTheClient) {
    // Element 0 was made with the default ten seconds.
    PutProperty(controls.Element(0), kIPPortConnectTimeout, {I4Arg(300)});
    LoopbackClient client(servicePort);
    ASSERT_TRUE(client.WaitConnected());
    client.Write(Framed(query));
    ASSERT_TRUE(RunLoopUntil([&] { return silentService.BoundSlots() == 1; }));
    EXPECT_TRUE(client.WaitClosed());
    EXPECT_EQ(silentService.BoundSlots(), 0);
    EXPECT_TRUE(client.Received().empty());
}

TEST_F(SilentServerTest, AClientQueueingTooMuchBeforeTheServerAnswersIsClosedAndItsSlotFreed) {
    LoopbackClient client(servicePort);
    ASSERT_TRUE(client.WaitConnected());
    ASSERT_TRUE(RunLoopUntil([&] { return silentService.BoundSlots() == 1; }));
    client.Write(std::string(kMaxTcpPendingBytes + 1, 'q'));
    EXPECT_TRUE(client.WaitClosed());
    EXPECT_TRUE(RunLoopUntil([&] { return silentService.BoundSlots() == 0; }));
    // The slot is served again.
    LoopbackClient next(servicePort);
    ASSERT_TRUE(next.WaitConnected());
    EXPECT_TRUE(RunLoopUntil([&] { return silentService.FindTcpSlot(2) == 0; }));
}

TEST_F(TcpPassthroughTest, APortInUseIsReportedAsTheHostSeesIt) {
    TcpDispatchControls other;
    other.Server().StartListening(servicePort);
    EXPECT_EQ(other.LastFailure(), MakeHresult(0x800A61D9));
    EXPECT_THAT(other.LastFailureText(), ::testing::HasSubstr("already in use"));
    EXPECT_EQ(GetNumber(other.Daemon(), kIPDaemonListening), 0);
    EXPECT_EQ(controls.LastFailure(), S_OK);
}

}  // namespace
}  // namespace quenda::test
