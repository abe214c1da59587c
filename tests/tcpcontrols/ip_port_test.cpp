// IPPort over loopback: members, the events with the element index, bytes both ways, closes
// from either side, and attempts that fail or are never answered.
#include "platform/tcpcontrols/ip_port.h"

#include <gmock/gmock.h>

#include "tests/tcpcontrols/control_harness.h"

namespace quenda::test {
namespace {

using ::testing::ElementsAre;

constexpr int16_t kIndex = 7;

class IPPortTest : public ::testing::Test {
  protected:
    IPPortTest() {
        EXPECT_EQ(CreateIPPort(kIndex, port.Out()), S_OK);
        events = std::make_unique<Advised>(port.Get(), DIID_IIPPortEvents);
    }

    void ConnectTo(const std::string& host, int32_t remotePort) {
        EXPECT_EQ(PutProperty(port.Get(), kIPPortLinger, {BoolArg(true)}).hr, S_OK);
        EXPECT_EQ(PutProperty(port.Get(), kIPPortRemoteHost, {TextArg(host)}).hr, S_OK);
        EXPECT_EQ(PutProperty(port.Get(), kIPPortRemotePort, {I4Arg(remotePort)}).hr, S_OK);
        EXPECT_EQ(PutProperty(port.Get(), kIPPortConnected, {BoolArg(true)}).hr, S_OK);
    }
    RecordingSink& Sink() { return events->sink(); }
    size_t Count(DISPID id) const { return events->sink().Of(id).size(); }
    bool WaitFor(DISPID id, size_t count = 1, int timeoutMs = 5000) {
        return RunLoopUntil([&] { return Count(id) >= count; }, timeoutMs);
    }
    // The status code of the only Disconnected event.
    int32_t DisconnectStatus() const { return events->sink().Of(kIPPortOnDisconnected).at(0).numbers.at(1); }
    std::vector<DISPID> EventIds() const {
        std::vector<DISPID> ids;
        for (const Event& e : events->sink().events) ids.push_back(e.id);
        return ids;
    }

    ComPtr<IDispatch> port;
    std::unique_ptr<Advised> events;
};

TEST_F(IPPortTest, MembersAnswerByNameAndKeepTheirValues) {
    ExpectIdsOfNames(port.Get(), {{u"Connected", kIPPortConnected},
                                  {u"DataToSend", kIPPortDataToSend},
                                  {u"REMOTEHOST", kIPPortRemoteHost},
                                  {u"RemotePort", kIPPortRemotePort},
                                  {u"Linger", kIPPortLinger},
                                  {u"ConnectTimeout", kIPPortConnectTimeout}});

    EXPECT_EQ(GetNumber(port.Get(), kIPPortIndex), kIndex);
    EXPECT_EQ(GetNumber(port.Get(), kIPPortLinger), -1);
    EXPECT_EQ(GetNumber(port.Get(), kIPPortConnectTimeout), 10000);
    EXPECT_EQ(GetNumber(port.Get(), kIPPortConnected), 0);
    EXPECT_EQ(PutProperty(port.Get(), kIPPortRemoteHost, {TextArg("127.0.0.1")}).hr, S_OK);
    Variant host(GetProperty(port.Get(), kIPPortRemoteHost));
    EXPECT_EQ(Latin1FromBstr(host->bstrVal), "127.0.0.1");

    EXPECT_EQ(PutProperty(port.Get(), kIPPortRemotePort, {I4Arg(-1)}).hr, E_INVALIDARG);
    const CallResult timeout = PutProperty(port.Get(), kIPPortConnectTimeout, {I4Arg(0)});
    EXPECT_EQ(timeout.hr, E_INVALIDARG);
    EXPECT_FALSE(timeout.description.empty());
    // Nothing is sent while not connected, and nothing is raised.
    EXPECT_EQ(PutProperty(port.Get(), kIPPortDataToSend, {TextArg("lost")}).hr, S_OK);
    EXPECT_EQ(PutProperty(port.Get(), kIPPortConnected, {BoolArg(false)}).hr, S_OK);
    RunLoopFor(20);
    EXPECT_TRUE(Sink().events.empty());
}

TEST_F(IPPortTest, CarriesEveryByteValueBothWaysAndReportsTheServersClose) {
    FakeUpstream server;
    server.reply = std::string("\x01\x00", 2) + AllBytes();
    ConnectTo("127.0.0.1", server.Port());
    ASSERT_TRUE(WaitFor(kIPPortOnConnected));
    const Event connected = Sink().Of(kIPPortOnConnected).at(0);
    EXPECT_THAT(connected.types, ElementsAre(VT_I2, VT_I4, VT_BSTR));
    EXPECT_EQ(connected.numbers.at(0), kIndex);
    EXPECT_EQ(GetNumber(port.Get(), kIPPortConnected), -1);

    const std::string query = std::string("\x01\x00", 2) + AllBytes();
    EXPECT_EQ(PutProperty(port.Get(), kIPPortDataToSend, {TextArg(query)}).hr, S_OK);
    ASSERT_TRUE(WaitFor(kIPPortOnDisconnected));
    EXPECT_EQ(server.ReceivedOn(0), query);
    EXPECT_EQ(Sink().JoinedText(kIPPortOnDataIn, kIndex), server.reply);
    EXPECT_EQ(DisconnectStatus(), 0);
    EXPECT_EQ(EventIds().front(), kIPPortOnConnected);
    EXPECT_EQ(EventIds().back(), kIPPortOnDisconnected);
    EXPECT_EQ(GetNumber(port.Get(), kIPPortConnected), 0);
}

TEST_F(IPPortTest, AServerThatAnswersAtOnceAndClosesLosesNoBytes) {
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        QTcpSocket* peer = server.nextPendingConnection();
        peer->write("greeting");
        peer->disconnectFromHost();
    });
    ConnectTo("127.0.0.1", server.serverPort());
    ASSERT_TRUE(WaitFor(kIPPortOnDisconnected));
    EXPECT_THAT(EventIds(), ::testing::Contains(kIPPortOnConnected));
    EXPECT_EQ(EventIds().front(), kIPPortOnConnected);
    EXPECT_EQ(Sink().JoinedText(kIPPortOnDataIn, kIndex), "greeting");
}

TEST_F(IPPortTest, DisconnectingDeliversWhatWasSentAndReportsFromTheLoop) {
    FakeUpstream server;
    ConnectTo("127.0.0.1", server.Port());
    ASSERT_TRUE(WaitFor(kIPPortOnConnected));
    ASSERT_TRUE(RunLoopUntil([&] { return server.Accepted() == 1; }));
    const std::string last(100000, 'z');
    EXPECT_EQ(PutProperty(port.Get(), kIPPortDataToSend, {TextArg(last)}).hr, S_OK);
    EXPECT_EQ(PutProperty(port.Get(), kIPPortConnected, {BoolArg(false)}).hr, S_OK);
    EXPECT_EQ(Count(kIPPortOnDisconnected), 0u) << "raised inside the call";
    EXPECT_EQ(GetNumber(port.Get(), kIPPortConnected), 0);
    ASSERT_TRUE(WaitFor(kIPPortOnDisconnected));
    EXPECT_TRUE(RunLoopUntil([&] { return !server.IsOpen(0); }));
    EXPECT_EQ(server.ReceivedOn(0), last);
    EXPECT_EQ(Count(kIPPortOnDisconnected), 1u);
}

TEST_F(IPPortTest, TheElementConnectsAgainAfterAClose) {
    FakeUpstream server;
    for (int round = 1; round <= 2; ++round) {
        ConnectTo("127.0.0.1", server.Port());
        ASSERT_TRUE(WaitFor(kIPPortOnConnected, static_cast<size_t>(round)));
        EXPECT_EQ(PutProperty(port.Get(), kIPPortConnected, {BoolArg(false)}).hr, S_OK);
        ASSERT_TRUE(WaitFor(kIPPortOnDisconnected, static_cast<size_t>(round)));
    }
    EXPECT_TRUE(RunLoopUntil([&] { return server.Accepted() == 2; }));
}

TEST_F(IPPortTest, FailedAttemptsEndInOneDisconnectedWithTheirCause) {
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost, 0));
    const uint16_t closedPort = closed.serverPort();
    closed.close();

    struct Case {
        std::string host;
        int32_t port;
        int32_t status;
    };
    const Case cases[] = {
        {"127.0.0.1", closedPort, 10061},  // refused
        {"", 53, 10039},                   // no server to ask
        {"name.example", 53, 11001},       // names are not looked up
        {"127.0.0.1", 0, 10049},           // no port
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.host + ":" + std::to_string(c.port));
        Sink().events.clear();
        ConnectTo(c.host, c.port);
        EXPECT_TRUE(Sink().events.empty()) << "raised inside the call";
        ASSERT_TRUE(WaitFor(kIPPortOnDisconnected));
        RunLoopFor(20);
        EXPECT_THAT(EventIds(), ElementsAre(kIPPortOnDisconnected));
        EXPECT_EQ(Sink().Of(kIPPortOnDisconnected).at(0).numbers.at(0), kIndex);
        EXPECT_EQ(DisconnectStatus(), c.status);
    }
}

TEST_F(IPPortTest, AnAttemptNobodyAnswersIsGivenUpAfterTheTimeout) {
    FullListener silent;
    ASSERT_TRUE(silent.Ready());
    EXPECT_EQ(PutProperty(port.Get(), kIPPortConnectTimeout, {I4Arg(300)}).hr, S_OK);
    ConnectTo("127.0.0.1", silent.Port());
    RunLoopFor(150);
    EXPECT_TRUE(Sink().events.empty()) << "gave up too early";
    ASSERT_TRUE(WaitFor(kIPPortOnDisconnected, 1, 3000));
    EXPECT_THAT(EventIds(), ElementsAre(kIPPortOnDisconnected));
    EXPECT_EQ(DisconnectStatus(), 10060);
    EXPECT_EQ(GetNumber(port.Get(), kIPPortConnected), 0);
}

TEST_F(IPPortTest, DisconnectingDuringAnAttemptEndsItWithOneEvent) {
    FullListener silent;
    ASSERT_TRUE(silent.Ready());
    ConnectTo("127.0.0.1", silent.Port());
    EXPECT_EQ(PutProperty(port.Get(), kIPPortConnected, {BoolArg(false)}).hr, S_OK);
    ASSERT_TRUE(WaitFor(kIPPortOnDisconnected));
    RunLoopFor(50);
    EXPECT_THAT(EventIds(), ElementsAre(kIPPortOnDisconnected));
}

}  // namespace
}  // namespace quenda::test
