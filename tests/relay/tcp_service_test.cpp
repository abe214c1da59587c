// TCP passthrough: slots, queued client bytes, both sides closing, the limits.
#include "app/relay/tcp_service.h"

#include <gmock/gmock.h>

#include <map>
#include <memory>

#include "tests/relay/relay_fixture.h"

namespace quenda::test {
namespace {

struct FakeServerControl final : TcpServerControl {
    int StartListening(uint16_t p) override {
        port = p;
        return failure;
    }
    void SendToConnection(int id, std::string_view data) override { sent[id] += data; }
    void CloseConnection(int id) override { closed.push_back(id); }
    uint16_t port = 0;
    int failure = 0;
    std::map<int, std::string> sent;
    std::vector<int> closed;
};

struct FakeClient final : TcpClientControl {
    void SetOption(bool on) override { option = on; }
    void SetRemoteHost(const std::string& h) override { host = h; }
    void SetRemotePort(uint16_t p) override { port = p; }
    void SetConnected(bool c) override { connectCalls.push_back(c); }
    void Send(std::string_view data) override { sent += data; }
    bool option = false;
    std::string host;
    uint16_t port = 0;
    std::vector<bool> connectCalls;
    std::string sent;
};

struct FakeClientArray final : TcpClientArray {
    FakeClientArray() { elements[0] = std::make_unique<FakeClient>(); }
    TcpClientControl& Element(int index) override { return *elements.at(index); }
    void CreateElement(int index) override { elements[index] = std::make_unique<FakeClient>(); }
    FakeClient& At(int index) { return *elements.at(index); }
    std::map<int, std::unique_ptr<FakeClient>> elements;
};

class TcpServiceTest : public RelayTest {
  protected:
    TcpServiceTest() { tcp.StartTcpService(53); }
    FakeServerControl serverControl;
    FakeClientArray clientArray;
    TcpService tcp{serverControl, clientArray, relay, servers, log, hooks, clock};
};

TEST_F(TcpServiceTest, EachClientGetsItsOwnUpstreamConnectionToTheBestServer) {
    EXPECT_EQ(serverControl.port, 53);
    servers[1].WINNING = 9;
    tcp.HandleTcpConnected(7);
    EXPECT_EQ(tcp.TcpMaxSlot(), 0);
    EXPECT_TRUE(clientArray.At(0).option);
    EXPECT_EQ(clientArray.At(0).host, kServerB);
    EXPECT_EQ(clientArray.At(0).port, 53);
    EXPECT_THAT(clientArray.At(0).connectCalls, ::testing::ElementsAre(true));
    EXPECT_EQ(hooks.pumps, 3);

    tcp.HandleTcpConnected(8);  // a second connection creates element 1
    EXPECT_EQ(tcp.TcpMaxSlot(), 1);
    EXPECT_EQ(clientArray.elements.size(), 2u);
}

TEST_F(TcpServiceTest, ClientBytesWaitForTheUpstreamAndFlowInOrder) {
    tcp.HandleTcpConnected(1);
    tcp.HandleTcpData(1, std::string("\x00\x1d", 2));
    tcp.HandleTcpData(1, "rest of the query");
    EXPECT_EQ(clientArray.At(0).sent, "");
    tcp.HandleUpstreamConnected(0);
    EXPECT_EQ(clientArray.At(0).sent, std::string("\x00\x1d", 2) + "rest of the query");
    tcp.HandleTcpData(1, "more");
    EXPECT_EQ(clientArray.At(0).sent.substr(19), "more");
    tcp.HandleUpstreamData(0, "answer bytes");
    EXPECT_EQ(serverControl.sent[1], "answer bytes");
}

TEST_F(TcpServiceTest, ClosingEitherSideClosesTheOtherAndFreesTheSlot) {
    tcp.HandleTcpConnected(1);
    tcp.HandleTcpConnected(2);
    tcp.HandleUpstreamConnected(0);
    tcp.HandleUpstreamConnected(1);

    tcp.HandleTcpDisconnected(2);  // client goes: upstream disconnected, then slot freed
    EXPECT_THAT(clientArray.At(1).connectCalls, ::testing::ElementsAre(true, false));
    tcp.HandleUpstreamDisconnected(1);
    EXPECT_TRUE(serverControl.closed.empty());  // the client had already gone
    EXPECT_EQ(tcp.FindTcpSlot(2), -1);

    tcp.HandleUpstreamDisconnected(0);  // server goes first: the client is closed too
    EXPECT_THAT(serverControl.closed, ::testing::ElementsAre(1));
    tcp.HandleTcpData(1, "late");  // no slot: dropped
    EXPECT_EQ(clientArray.At(0).sent, "");

    tcp.HandleTcpConnected(3);  // the highest free slot is reused
    EXPECT_EQ(tcp.FindTcpSlot(3), 1);
    EXPECT_EQ(tcp.TcpMaxSlot(), 1);
}

TEST_F(TcpServiceTest, LimitsBoundConnectionsAndQueuedBytes) {
    for (int id = 0; id < kMaxTcpConnections; ++id) tcp.HandleTcpConnected(id);
    EXPECT_EQ(tcp.BoundSlots(), kMaxTcpConnections);
    tcp.HandleTcpConnected(1000);
    EXPECT_THAT(serverControl.closed, ::testing::ElementsAre(1000));
    EXPECT_EQ(tcp.FindTcpSlot(1000), -1);
    EXPECT_TRUE(log.Has("TCP connection refused: 256 connections are open", 3));

    tcp.HandleTcpData(5, std::string(kMaxTcpPendingBytes, 'q'));
    EXPECT_EQ(serverControl.closed.size(), 1u);
    tcp.HandleTcpData(5, "x");  // one byte too many: both sides closed
    EXPECT_THAT(serverControl.closed, ::testing::ElementsAre(1000, 5));
    EXPECT_EQ(clientArray.At(5).connectCalls.back(), false);
}

TEST_F(TcpServiceTest, AClientGoneDuringSetUpOrWithoutAServerGetsNoUpstreamConnection) {
    hooks.onPump = [&] { tcp.HandleTcpDisconnected(7); };  // it resets while we set up
    tcp.HandleTcpConnected(7);
    EXPECT_THAT(clientArray.At(0).connectCalls, ::testing::Not(::testing::Contains(true)));
    EXPECT_EQ(tcp.BoundSlots(), 0);             // free at once: no upstream event will come for it
    EXPECT_TRUE(serverControl.closed.empty());  // it closed itself

    servers[0].enabled = false;
    servers[1].enabled = false;
    clientArray.At(0).host = "10.9.9.9";  // left by an earlier connection
    tcp.HandleTcpConnected(8);
    EXPECT_THAT(clientArray.At(0).connectCalls, ::testing::Not(::testing::Contains(true)));
    EXPECT_THAT(serverControl.closed, ::testing::ElementsAre(8));
    EXPECT_EQ(tcp.BoundSlots(), 0);

    servers[0].enabled = true;  // the freed slot serves the next client as usual
    tcp.HandleTcpConnected(9);
    EXPECT_EQ(tcp.FindTcpSlot(9), 0);
    EXPECT_THAT(clientArray.At(0).connectCalls, ::testing::ElementsAre(false, true));
}

// A DNS message over TCP of the given length: the two length octets, then the body.
std::string Framed(size_t length) {
    return std::string{static_cast<char>(length >> 8), static_cast<char>(length & 0xFF)} +
           std::string(length, 'm');
}

TEST_F(TcpServiceTest, ClientsWithoutAQueryOrIdleAfterTheAnswerAreClosed) {
    const auto closedAfter = [&](uint32_t ms) {
        clock.Advance(ms);
        serverControl.closed.clear();
        tcp.CloseIdleConnections();
        return serverControl.closed;
    };
    using ::testing::ElementsAre;
    using ::testing::IsEmpty;
    tcp.HandleTcpConnected(1);  // says nothing at all
    tcp.HandleTcpConnected(2);  // begins a query and never finishes it
    tcp.HandleTcpConnected(3);  // asks in pieces, gets its answer, then says nothing
    tcp.HandleTcpConnected(4);  // ends a query in the same bytes that begin the next
    for (int s = 0; s < 4; ++s) tcp.HandleUpstreamConnected(s);
    const std::string query = Framed(29);

    clock.Advance(4000);
    tcp.HandleTcpData(2, query.substr(0, 12));
    tcp.HandleTcpData(3, query.substr(0, 1));
    tcp.HandleTcpData(3, query.substr(1));
    tcp.HandleTcpData(4, query + query.substr(0, 5));
    EXPECT_THAT(closedAfter(5999), IsEmpty());
    EXPECT_THAT(closedAfter(1), ElementsAre(1));  // 10 s without a complete query
    EXPECT_THAT(closedAfter(3999), IsEmpty());
    EXPECT_THAT(closedAfter(1), ElementsAre(2, 4));  // its query began 10 s ago
    EXPECT_THAT(clientArray.At(0).connectCalls, ElementsAre(true, false));  // upstream too
    EXPECT_THAT(closedAfter(0), IsEmpty());                                 // each is closed once

    tcp.HandleUpstreamData(2, Framed(40));  // the answer: idle from now
    EXPECT_THAT(closedAfter(29999), IsEmpty());
    EXPECT_THAT(closedAfter(1), ElementsAre(3));
    tcp.HandleUpstreamDisconnected(2);
    tcp.HandleUpstreamDisconnected(0);
    EXPECT_EQ(tcp.FindTcpSlot(1), -1);  // freed when their upstream connections report closed
    EXPECT_EQ(tcp.FindTcpSlot(3), -1);
}

TEST(TcpFraming, CountsMessagesAcrossAnySplit) {
    const std::string stream = Framed(3) + Framed(0) + Framed(300);
    for (size_t cut = 0; cut <= stream.size(); ++cut) {
        TcpFraming framing;
        const int first = framing.Feed(stream.substr(0, cut));
        EXPECT_EQ(first + framing.Feed(stream.substr(cut)), 3) << cut;
        EXPECT_FALSE(framing.InMessage()) << cut;
    }
    TcpFraming framing;
    EXPECT_EQ(framing.Feed(stream.substr(0, 8)), 2);
    EXPECT_TRUE(framing.InMessage());  // one length octet of the third
}

TEST_F(TcpServiceTest, ConnectionRequestsAreLoggedAtHighDetail) {
    tcp.HandleTcpConnectionRequest();
    EXPECT_TRUE(log.Has("TCP connection request", 3));
}

}  // namespace
}  // namespace quenda::test
