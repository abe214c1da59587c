// IPDaemon over loopback: listening switches, ids, events with their arguments, sending and
// closing by id, a taken port.
#include "platform/tcpcontrols/ip_daemon.h"

#include <gmock/gmock.h>

#include "tests/tcpcontrols/control_harness.h"

namespace quenda::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

constexpr HRESULT kAddressInUse = MakeHresult(0x800A61D9);  // error number 25049

class IPDaemonTest : public ::testing::Test {
  protected:
    IPDaemonTest() {
        EXPECT_EQ(CreateIPDaemon(daemon.Out()), S_OK);
        events = std::make_unique<Advised>(daemon.Get(), DIID_IIPDaemonEvents);
    }
    ~IPDaemonTest() override { events.reset(); }

    // Listens on a free port and returns it.
    uint16_t Listen() {
        EXPECT_EQ(PutProperty(daemon.Get(), kIPDaemonLocalPort, {I4Arg(0)}).hr, S_OK);
        EXPECT_EQ(PutProperty(daemon.Get(), kIPDaemonAcceptConnections, {BoolArg(true)}).hr, S_OK);
        EXPECT_EQ(PutProperty(daemon.Get(), kIPDaemonListening, {BoolArg(true)}).hr, S_OK);
        return static_cast<uint16_t>(GetNumber(daemon.Get(), kIPDaemonLocalPort));
    }
    RecordingSink& Sink() { return events->sink(); }
    size_t Count(DISPID id) const { return events->sink().Of(id).size(); }
    bool WaitFor(DISPID id, size_t count) {
        return RunLoopUntil([&] { return Count(id) >= count; });
    }

    ComPtr<IDispatch> daemon;
    std::unique_ptr<Advised> events;
};

TEST_F(IPDaemonTest, ListensOnlyOnceBothSwitchesAreOnAndStopsWhenEitherGoesOff) {
    ExpectIdsOfNames(daemon.Get(), {{u"localport", kIPDaemonLocalPort},
                                    {u"AcceptConnections", kIPDaemonAcceptConnections},
                                    {u"Listening", kIPDaemonListening},
                                    {u"DataToSend", kIPDaemonDataToSend},
                                    {u"Disconnect", kIPDaemonDisconnect}});

    EXPECT_EQ(PutProperty(daemon.Get(), kIPDaemonListening, {BoolArg(true)}).hr, S_OK);
    EXPECT_EQ(GetNumber(daemon.Get(), kIPDaemonListening), 0);
    EXPECT_EQ(PutProperty(daemon.Get(), kIPDaemonAcceptConnections, {BoolArg(true)}).hr, S_OK);
    EXPECT_EQ(GetNumber(daemon.Get(), kIPDaemonListening), -1);
    const int32_t port = GetNumber(daemon.Get(), kIPDaemonLocalPort);
    ASSERT_GT(port, 0);
    LoopbackClient client(static_cast<uint16_t>(port));
    EXPECT_TRUE(client.WaitConnected());
    ASSERT_TRUE(WaitFor(kIPDaemonOnConnected, 1));

    EXPECT_EQ(PutProperty(daemon.Get(), kIPDaemonAcceptConnections, {BoolArg(false)}).hr, S_OK);
    EXPECT_EQ(GetNumber(daemon.Get(), kIPDaemonListening), 0);
    LoopbackClient refused(static_cast<uint16_t>(port));
    EXPECT_FALSE(refused.WaitConnected());
    // A connection already open is not touched by the listening switches.
    EXPECT_EQ(GetNumber(daemon.Get(), kIPDaemonConnectionCount), 1);
}

TEST_F(IPDaemonTest, BadPortIsRefusedWithErrorInfo) {
    const CallResult result = PutProperty(daemon.Get(), kIPDaemonLocalPort, {I4Arg(70000)});
    EXPECT_EQ(result.hr, E_INVALIDARG);
    EXPECT_THAT(result.description, HasSubstr("LocalPort"));
}

TEST_F(IPDaemonTest, EventsCarryTheConnectionIdAndEveryByteValue) {
    const uint16_t port = Listen();
    LoopbackClient client(port);
    ASSERT_TRUE(client.WaitConnected());
    ASSERT_TRUE(WaitFor(kIPDaemonOnConnected, 1));

    const Event request = Sink().Of(kIPDaemonOnConnectionRequest).at(0);
    EXPECT_THAT(request.texts, ElementsAre("127.0.0.1"));
    EXPECT_THAT(request.types, ElementsAre(VT_BSTR, VT_I4, VT_BOOL));
    const Event connected = Sink().Of(kIPDaemonOnConnected).at(0);
    EXPECT_THAT(connected.types, ElementsAre(VT_I2, VT_I4, VT_BSTR));
    const int16_t id = static_cast<int16_t>(connected.numbers.at(0));
    EXPECT_EQ(id, 1);
    // The request comes before the connection is announced.
    EXPECT_EQ(Sink().events.at(0).id, kIPDaemonOnConnectionRequest);

    client.Write(AllBytes());
    ASSERT_TRUE(
        RunLoopUntil([&] { return Sink().JoinedText(kIPDaemonOnDataIn, id).size() >= 256; }));
    EXPECT_EQ(Sink().JoinedText(kIPDaemonOnDataIn, id), AllBytes());
    EXPECT_THAT(Sink().Of(kIPDaemonOnDataIn).at(0).types, ElementsAre(VT_I2, VT_BSTR));

    EXPECT_EQ(PutProperty(daemon.Get(), kIPDaemonDataToSend, {I2Arg(id), TextArg(AllBytes())}).hr,
              S_OK);
    ASSERT_TRUE(client.WaitBytes(256));
    EXPECT_EQ(client.Received(), AllBytes());

    client.Close();
    ASSERT_TRUE(WaitFor(kIPDaemonOnDisconnected, 1));
    const Event gone = Sink().Of(kIPDaemonOnDisconnected).at(0);
    EXPECT_EQ(gone.numbers.at(0), id);
    EXPECT_EQ(gone.numbers.at(1), 0);
    EXPECT_EQ(GetNumber(daemon.Get(), kIPDaemonConnectionCount), 0);
}

TEST_F(IPDaemonTest, DisconnectByIdSendsWhatIsQueuedFirstAndReportsFromTheLoop) {
    const uint16_t port = Listen();
    LoopbackClient client(port);
    ASSERT_TRUE(WaitFor(kIPDaemonOnConnected, 1));
    const int16_t id = static_cast<int16_t>(Sink().Of(kIPDaemonOnConnected).at(0).numbers.at(0));

    const std::string answer(40000, '\xA5');
    EXPECT_EQ(PutProperty(daemon.Get(), kIPDaemonDataToSend, {I2Arg(id), TextArg(answer)}).hr,
              S_OK);
    EXPECT_EQ(CallMethod(daemon.Get(), kIPDaemonDisconnect, {I2Arg(id)}).hr, S_OK);
    EXPECT_EQ(Count(kIPDaemonOnDisconnected), 0u) << "raised inside the call";
    EXPECT_TRUE(client.WaitClosed());
    EXPECT_EQ(client.Received(), answer);
    ASSERT_TRUE(WaitFor(kIPDaemonOnDisconnected, 1));
    EXPECT_EQ(Sink().Of(kIPDaemonOnDisconnected).at(0).numbers.at(0), id);

    // Closed and unknown connections: sending and closing do nothing.
    EXPECT_EQ(PutProperty(daemon.Get(), kIPDaemonDataToSend, {I2Arg(id), TextArg("late")}).hr,
              S_OK);
    EXPECT_EQ(PutProperty(daemon.Get(), kIPDaemonDataToSend, {I2Arg(999), TextArg("nobody")}).hr,
              S_OK);
    EXPECT_EQ(CallMethod(daemon.Get(), kIPDaemonDisconnect, {I2Arg(-1)}).hr, S_OK);
    RunLoopFor(50);
    EXPECT_EQ(Count(kIPDaemonOnDisconnected), 1u);
}

TEST_F(IPDaemonTest, APeerLeaving128KiBUnreadIsCutOffInsteadOfGrowingTheBuffer) {
    const uint16_t port = Listen();
    LoopbackClient client(port);
    ASSERT_TRUE(WaitFor(kIPDaemonOnConnected, 1));
    const int16_t id = static_cast<int16_t>(Sink().Of(kIPDaemonOnConnected).at(0).numbers.at(0));
    // Without the loop running nothing leaves the control's buffer. Two DNS messages of the
    // largest size fit, a third does not.
    const std::string chunk(2 + 65535, 'x');
    EXPECT_EQ(PutProperty(daemon.Get(), kIPDaemonDataToSend, {I2Arg(id), TextArg(chunk)}).hr, S_OK);
    EXPECT_EQ(PutProperty(daemon.Get(), kIPDaemonDataToSend, {I2Arg(id), TextArg(chunk)}).hr, S_OK);
    EXPECT_EQ(GetNumber(daemon.Get(), kIPDaemonConnectionCount), 1);
    EXPECT_EQ(PutProperty(daemon.Get(), kIPDaemonDataToSend, {I2Arg(id), TextArg(chunk)}).hr, S_OK);
    EXPECT_EQ(GetNumber(daemon.Get(), kIPDaemonConnectionCount), 0);
    ASSERT_TRUE(WaitFor(kIPDaemonOnDisconnected, 1));
    EXPECT_EQ(Sink().Of(kIPDaemonOnDisconnected).at(0).numbers.at(1), 10055);
    EXPECT_TRUE(client.WaitClosed());
}

TEST_F(IPDaemonTest, IdsCountUpAndAClosedIdIsNotHandedOutAgainAtOnce) {
    const uint16_t port = Listen();
    std::vector<std::unique_ptr<LoopbackClient>> clients;
    for (int i = 0; i < 3; ++i) {
        clients.push_back(std::make_unique<LoopbackClient>(port));
        ASSERT_TRUE(WaitFor(kIPDaemonOnConnected, static_cast<size_t>(i + 1)));
    }
    clients[1]->Close();
    ASSERT_TRUE(WaitFor(kIPDaemonOnDisconnected, 1));
    clients.push_back(std::make_unique<LoopbackClient>(port));
    ASSERT_TRUE(WaitFor(kIPDaemonOnConnected, 4));
    std::vector<int32_t> ids;
    for (const Event& e : Sink().Of(kIPDaemonOnConnected)) ids.push_back(e.numbers.at(0));
    EXPECT_THAT(ids, ElementsAre(1, 2, 3, 4));
}

TEST_F(IPDaemonTest, AConnectionRequestAnsweredNoIsClosedWithoutAConnectedEvent) {
    Sink().accept = false;
    const uint16_t port = Listen();
    LoopbackClient client(port);
    EXPECT_TRUE(client.WaitClosed());
    EXPECT_EQ(Count(kIPDaemonOnConnectionRequest), 1u);
    EXPECT_EQ(Count(kIPDaemonOnConnected), 0u);
    EXPECT_EQ(GetNumber(daemon.Get(), kIPDaemonConnectionCount), 0);
}

TEST_F(IPDaemonTest, APortInUseFailsWithErrorInfoAndListeningCanBeRetried) {
    const uint16_t port = Listen();
    ComPtr<IDispatch> second;
    ASSERT_EQ(CreateIPDaemon(second.Out()), S_OK);
    EXPECT_EQ(PutProperty(second.Get(), kIPDaemonLocalPort, {I4Arg(port)}).hr, S_OK);
    EXPECT_EQ(PutProperty(second.Get(), kIPDaemonAcceptConnections, {BoolArg(true)}).hr, S_OK);
    const CallResult taken = PutProperty(second.Get(), kIPDaemonListening, {BoolArg(true)});
    EXPECT_EQ(taken.hr, kAddressInUse);
    EXPECT_THAT(taken.description, HasSubstr("already in use"));
    EXPECT_THAT(taken.description, HasSubstr(std::to_string(port)));
    EXPECT_EQ(GetNumber(second.Get(), kIPDaemonListening), 0);

    // Once the first control is gone its port is free at once.
    events.reset();
    daemon.Reset();
    EXPECT_EQ(PutProperty(second.Get(), kIPDaemonListening, {BoolArg(true)}).hr, S_OK);
    EXPECT_EQ(GetNumber(second.Get(), kIPDaemonLocalPort), port);
}

TEST_F(IPDaemonTest, APortTakenByAnotherProgramOnLoopbackOnlyIsRefusedToo) {
    QTcpServer other;
    ASSERT_TRUE(other.listen(QHostAddress::LocalHost, 0));
    EXPECT_EQ(PutProperty(daemon.Get(), kIPDaemonLocalPort, {I4Arg(other.serverPort())}).hr, S_OK);
    EXPECT_EQ(PutProperty(daemon.Get(), kIPDaemonListening, {BoolArg(true)}).hr, S_OK);
    EXPECT_EQ(PutProperty(daemon.Get(), kIPDaemonAcceptConnections, {BoolArg(true)}).hr,
              kAddressInUse);
}

TEST_F(IPDaemonTest, AHostLettingGoInsideAnEventDoesNotHurtTheControl) {
    const uint16_t port = Listen();
    Sink().onEvent = [&](const Event& e) {
        if (e.id != kIPDaemonOnDataIn) return;
        events.reset();  // its connection point counts on the control too
        daemon.Reset();  // the host's last reference
    };
    LoopbackClient client(port);
    ASSERT_TRUE(client.WaitConnected());
    client.Write("bye");
    EXPECT_TRUE(client.WaitClosed());  // the control went and closed its connection
    EXPECT_FALSE(daemon);
    RunLoopFor(20);
}

TEST_F(IPDaemonTest, AcceptsIpv6ClientsOnTheSameSocket) {
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHostIPv6, 0)) GTEST_SKIP() << "no IPv6 loopback here";
    probe.close();
    const uint16_t port = Listen();
    LoopbackClient client(port, QHostAddress::LocalHostIPv6);
    ASSERT_TRUE(client.WaitConnected());
    ASSERT_TRUE(WaitFor(kIPDaemonOnConnected, 1));
    EXPECT_THAT(Sink().Of(kIPDaemonOnConnectionRequest).at(0).texts, ElementsAre("::1"));
}

}  // namespace
}  // namespace quenda::test
