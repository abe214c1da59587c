// ICMPPort on loopback with real raw sockets: what goes on the wire, echo replies, checksum
// results, IPv4 headers stripped or kept, sizes, the time to live, reading before the first
// send, sending from inside DataIn, draining closes, connected controls.
#include <algorithm>

#include "platform/com/safe_array.h"
#include "tests/icmpport/icmp_port_fixture.h"

namespace quenda::testing {
namespace {

constexpr uint8_t kEchoRequest = 8;
constexpr uint8_t kEchoReply = 0;
// An unassigned type: the kernel neither answers nor acts on it.
constexpr uint8_t kQuietType = 42;

// Matches a message of the given type whose data is exactly data.
auto MessageWith(uint8_t type, std::string_view data) {
    return [type, data = std::string(data)](std::string_view message) {
        return message.size() >= 4 && static_cast<uint8_t>(message[0]) == type && message.substr(4) == data;
    };
}

TEST_F(IcmpExchangeTest, AnEchoRequestGoesOutFramedAndItsReplyComesBackIntact) {
    if (std::string reason = EchoUnansweredReason(); !reason.empty()) GTEST_SKIP() << reason;
    IICMPPort* port = Open();
    ASSERT_TRUE(port);
    ASSERT_EQ(port->put_MessageType(kEchoRequest), S_OK);
    ASSERT_EQ(port->put_MessageSubType(0), S_OK);
    EchoData echo = UniqueEchoData();
    ASSERT_EQ(PutText(port, &IICMPPort::put_DataToSend, echo.bytes), S_OK);

    std::optional<TappedPacket> wire = tap_.WaitFor(MessageWith(kEchoRequest, echo.bytes));
    ASSERT_TRUE(wire) << "the echo request never reached lo";
    EXPECT_EQ(wire->message.size(), 4 + echo.bytes.size());
    EXPECT_EQ(wire->message[1], 0);
    EXPECT_EQ(OnesComplementSum(wire->message), 0xFFFF) << "the checksum does not verify";

    // The kernel answers; the raw socket also sees the request itself on its way in.
    test::RunLoopUntil([&] {
        return a_.Find(echo.bytes) != nullptr && std::count_if(a_.dataIn.begin(), a_.dataIn.end(), [&](const MessageSeen& m) {
                   return m.data == echo.bytes;
               }) == 2;
    });
    std::vector<MessageSeen> ours;
    for (const MessageSeen& seen : a_.dataIn) {
        if (seen.data == echo.bytes) ours.push_back(seen);
    }
    ASSERT_EQ(ours.size(), 2u);
    const MessageSeen& reply = ours[0].type == kEchoReply ? ours[0] : ours[1];
    const MessageSeen& request = ours[0].type == kEchoReply ? ours[1] : ours[0];
    EXPECT_EQ(reply.type, kEchoReply);
    EXPECT_EQ(reply.code, 0);
    EXPECT_EQ(reply.checksum, 1);
    EXPECT_EQ(reply.source, "127.0.0.1");
    EXPECT_EQ(request.type, kEchoRequest);
    EXPECT_EQ(request.checksum, 1);
    EXPECT_TRUE(a_.allByReference);
    EXPECT_EQ(a_.unexpected, 0);
    EXPECT_TRUE(a_.errors.empty()) << a_.ErrorsText();
}

TEST_F(IcmpExchangeTest, TheChecksumResultTellsADamagedMessageFromAnIntactOne) {
    IICMPPort* port = Open();
    ASSERT_TRUE(port);
    EchoData intact = UniqueEchoData(), damaged = UniqueEchoData(9);  // odd length too
    std::string bad = IcmpMessage(kEchoReply, 0, damaged.bytes);
    bad[2] ^= 0x55;
    ASSERT_TRUE(injector_.Send(IcmpMessage(kEchoReply, 0, intact.bytes)));
    ASSERT_TRUE(injector_.Send(bad));

    const MessageSeen* good = AwaitDataIn(intact.bytes);
    const MessageSeen* broken = AwaitDataIn(damaged.bytes);
    ASSERT_TRUE(good && broken);
    EXPECT_EQ(good->checksum, 1);
    EXPECT_EQ(broken->checksum, 0);
    EXPECT_EQ(broken->type, kEchoReply);
    EXPECT_EQ(broken->data, damaged.bytes);  // delivered all the same
}

TEST_F(IcmpExchangeTest, OnlyAPlainIpv4HeaderIsStripped) {
    IICMPPort* port = Open();
    ASSERT_TRUE(port);
    EchoData withTos = UniqueEchoData(), withOptions = UniqueEchoData();
    std::string tosMessage = IcmpMessage(kEchoReply, 0, withTos.bytes);
    std::string optionsMessage = IcmpMessage(kEchoReply, 0, withOptions.bytes);
    ASSERT_TRUE(injector_.Send(tosMessage, 0x10));
    ASSERT_TRUE(injector_.Send(optionsMessage, 0, std::string("\x01\x01\x01\x00", 4)));  // NOP NOP NOP END

    // Delivered as they stand: "type" and "code" are the header's first bytes, and the data is
    // the rest of the header followed by the whole ICMP message.
    const MessageSeen* tos = AwaitDataIn(tosMessage);
    ASSERT_TRUE(tos);
    EXPECT_EQ(tos->type, 0x45);
    EXPECT_EQ(tos->code, 0x10);
    EXPECT_EQ(tos->data.size(), 16 + tosMessage.size());
    const MessageSeen* options = AwaitDataIn(optionsMessage);
    ASSERT_TRUE(options);
    EXPECT_EQ(options->type, 0x46);
    EXPECT_EQ(options->code, 0);
    EXPECT_EQ(options->data.size(), 20 + optionsMessage.size());
    EXPECT_TRUE(a_.errors.empty());
}

TEST_F(IcmpExchangeTest, MaxMessageSizeBoundsWhatIsSentAndItsReplyStillFits) {
    if (std::string reason = EchoUnansweredReason(); !reason.empty()) GTEST_SKIP() << reason;
    IICMPPort* port = Create(&a_);
    ASSERT_TRUE(port);
    ASSERT_EQ(port->put_MaxMessageSize(100), S_OK);
    ASSERT_EQ(PutText(port, &IICMPPort::put_RemoteHost, "127.0.0.1"), S_OK);
    ASSERT_EQ(port->put_MessageType(kEchoRequest), S_OK);
    ASSERT_EQ(port->put_Active(VARIANT_TRUE), S_OK);

    EchoData largest = UniqueEchoData(96);
    ASSERT_EQ(largest.bytes.size(), 100u);
    ASSERT_EQ(PutText(port, &IICMPPort::put_DataToSend, largest.bytes), S_OK);
    ASSERT_TRUE(tap_.WaitFor(MessageWith(kEchoRequest, largest.bytes)));
    // The reply of the largest message arrives with its IPv4 header and is still delivered.
    test::RunLoopUntil([&] {
        for (const MessageSeen& seen : a_.dataIn) {
            if (seen.type == kEchoReply && seen.data == largest.bytes) return true;
        }
        return false;
    });
    EXPECT_TRUE(std::any_of(a_.dataIn.begin(), a_.dataIn.end(),
                            [&](const MessageSeen& m) { return m.type == kEchoReply && m.data == largest.bytes; }));
    EXPECT_TRUE(a_.errors.empty());

    Failure failure = TakeFailure(PutText(port, &IICMPPort::put_DataToSend, largest.bytes + "x"));
    EXPECT_EQ(failure.number, 20001 + 118);
    EXPECT_EQ(failure.description, "Message can't be longer than MaxMessageSize.");
    EXPECT_EQ(failure.helpContext, 21603u);
}

TEST_F(IcmpExchangeTest, EmptyDataSendsAHeaderOnlyMessageAndByteArraysSendTheirBytes) {
    IICMPPort* port = Open();
    ASSERT_TRUE(port);
    ASSERT_EQ(port->put_MessageType(kQuietType), S_OK);
    ASSERT_EQ(port->put_MessageSubType(7), S_OK);
    ASSERT_EQ(PutText(port, &IICMPPort::put_DataToSend, ""), S_OK);
    std::optional<TappedPacket> empty = tap_.WaitFor(MessageWith(kQuietType, ""));
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->message.size(), 4u);
    EXPECT_EQ(empty->message[1], 7);
    EXPECT_EQ(OnesComplementSum(empty->message), 0xFFFF);

    // An array of variants gives the low byte of each element.
    EchoData echo = UniqueEchoData(3);
    SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 1, static_cast<uint32_t>(echo.bytes.size()));
    ASSERT_TRUE(array);
    void* data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(array, &data), S_OK);
    for (size_t i = 0; i < echo.bytes.size(); ++i) {
        static_cast<VARIANT*>(data)[i] = MakeVariantI4(0x100 + static_cast<uint8_t>(echo.bytes[i]));
    }
    SafeArrayUnaccessData(array);
    VARIANT argument;
    argument.vt = VT_ARRAY | VT_VARIANT;
    argument.parray = array;
    EXPECT_EQ(port->put_DataToSendB(argument), S_OK);
    SafeArrayDestroy(array);
    std::optional<TappedPacket> fromArray = tap_.WaitFor(MessageWith(kQuietType, echo.bytes));
    ASSERT_TRUE(fromArray);
    EXPECT_EQ(OnesComplementSum(fromArray->message), 0xFFFF);

    EXPECT_EQ(port->put_DataToSendB(MakeVariantI4(5)), MakeHresult(0x800A017C));
}

TEST_F(IcmpExchangeTest, TimeToLiveReachesTheWireAndARefusedValueReadsBackTheSocketsOwn) {
    IICMPPort* port = Create(&a_);
    ASSERT_TRUE(port);
    EXPECT_EQ(TimeToLive(port), 0);
    ASSERT_EQ(port->put_TimeToLive(5), S_OK);
    ASSERT_EQ(PutText(port, &IICMPPort::put_RemoteHost, "127.0.0.1"), S_OK);
    ASSERT_EQ(port->put_MessageType(kQuietType), S_OK);
    ASSERT_EQ(port->put_Active(VARIANT_TRUE), S_OK);
    EXPECT_EQ(TimeToLive(port), 5);
    EchoData first = UniqueEchoData();
    ASSERT_EQ(PutText(port, &IICMPPort::put_DataToSend, first.bytes), S_OK);
    std::optional<TappedPacket> sent = tap_.WaitFor(MessageWith(kQuietType, first.bytes));
    ASSERT_TRUE(sent);
    EXPECT_EQ(sent->Ttl(), 5);

    // Changed while open: applied at once.
    ASSERT_EQ(port->put_TimeToLive(9), S_OK);
    EchoData second = UniqueEchoData();
    ASSERT_EQ(PutText(port, &IICMPPort::put_DataToSend, second.bytes), S_OK);
    sent = tap_.WaitFor(MessageWith(kQuietType, second.bytes));
    ASSERT_TRUE(sent);
    EXPECT_EQ(sent->Ttl(), 9);

    // IPv4 has no time to live of 300: refused, and the socket's own value is kept.
    Failure failure = TakeFailure(port->put_TimeToLive(300));
    EXPECT_EQ(failure.number, 15001 + 10022);
    EXPECT_EQ(failure.helpContext, 21613u);
    EXPECT_EQ(TimeToLive(port), 9);
    ASSERT_EQ(port->put_Active(VARIANT_FALSE), S_OK);
    EXPECT_EQ(TimeToLive(port), 9);
}

TEST_F(IcmpExchangeTest, AMessageArrivingBeforeTheFirstSendIsDeliveredAndSoIsTheNext) {
    IICMPPort* port = Open();
    ASSERT_TRUE(port);
    EchoData early = UniqueEchoData(), later = UniqueEchoData();
    ASSERT_TRUE(injector_.Send(IcmpMessage(kEchoReply, 0, early.bytes)));
    ASSERT_TRUE(AwaitDataIn(early.bytes)) << a_.ErrorsText();
    ASSERT_TRUE(injector_.Send(IcmpMessage(kEchoReply, 0, later.bytes)));
    EXPECT_TRUE(AwaitDataIn(later.bytes)) << a_.ErrorsText();
    EXPECT_TRUE(a_.errors.empty()) << a_.ErrorsText();
}

TEST_F(IcmpExchangeTest, ASendFromInsideDataInLeavesTheDeliveredDataReadable) {
    IICMPPort* port = Open();
    ASSERT_TRUE(port);
    ASSERT_EQ(port->put_MessageType(kQuietType), S_OK);
    EchoData echo = UniqueEchoData();
    std::string answer = "answer:" + echo.bytes;
    std::string readInside;
    a_.onDataIn = [&](const MessageSeen& seen) {
        if (seen.data != echo.bytes) return;
        EXPECT_EQ(PutText(port, &IICMPPort::put_DataToSend, answer), S_OK);
        VARIANT bytes;
        ASSERT_EQ(port->get_DataInMessageDataB(&bytes), S_OK);
        ASSERT_EQ(bytes.vt, VT_ARRAY | VT_VARIANT);
        void* items = nullptr;
        ASSERT_EQ(SafeArrayAccessData(bytes.parray, &items), S_OK);
        for (uint32_t i = 0; i < bytes.parray->rgsabound[0].cElements; ++i) {
            readInside += static_cast<char>(static_cast<VARIANT*>(items)[i].bVal);
        }
        SafeArrayUnaccessData(bytes.parray);
        VariantClear(&bytes);
    };
    ASSERT_TRUE(injector_.Send(IcmpMessage(kEchoReply, 0, echo.bytes)));
    ASSERT_TRUE(AwaitDataIn(echo.bytes));
    EXPECT_EQ(readInside, echo.bytes);
    EXPECT_TRUE(tap_.WaitFor(MessageWith(kQuietType, answer)));

    VARIANT outside;
    ASSERT_EQ(port->get_DataInMessageDataB(&outside), S_OK);
    EXPECT_EQ(outside.vt, VT_EMPTY);
}

TEST_F(IcmpExchangeTest, ClosingDeliversWhatIsQueuedFirst) {
    IICMPPort* port = Open();
    ASSERT_TRUE(port);
    EchoData first = UniqueEchoData(), second = UniqueEchoData();
    ASSERT_TRUE(injector_.Send(IcmpMessage(kEchoReply, 0, first.bytes)));
    ASSERT_TRUE(injector_.Send(IcmpMessage(kEchoReply, 0, second.bytes)));
    // Both wait in the socket: the loop has not run since they were sent.
    ASSERT_TRUE(tap_.WaitFor(MessageWith(kEchoReply, second.bytes)));
    ASSERT_EQ(port->put_Active(VARIANT_FALSE), S_OK);
    EXPECT_TRUE(a_.Find(first.bytes) && a_.Find(second.bytes));
    EXPECT_FALSE(IsActive(port));
}

TEST_F(IcmpExchangeTest, SettingsThatNeedAClosedSocketAreRefusedWhileOpen) {
    IICMPPort* port = Open();
    ASSERT_TRUE(port);
    Failure failure = TakeFailure(port->put_Active(VARIANT_TRUE));
    EXPECT_EQ(failure.number, 20001 + 104);
    EXPECT_EQ(failure.description, "ICMPPort is already Active.");
    failure = TakeFailure(PutText(port, &IICMPPort::put_LocalHost, "127.0.0.1"));
    EXPECT_EQ(failure.number, 20001 + 107);
    EXPECT_EQ(failure.description, "Cannot change LocalHost when ICMPPort is Active.");
    failure = TakeFailure(port->put_MaxMessageSize(512));
    EXPECT_EQ(failure.number, 20001 + 112);
    EXPECT_EQ(failure.description, "Cannot change MaxPacketSize while ICMPPort is Active. ");
    EXPECT_EQ(failure.helpContext, 21607u);
    failure = TakeFailure(port->put_UseConnection(VARIANT_TRUE));
    EXPECT_EQ(failure.number, 20001 + 117);
    EXPECT_EQ(failure.description, "Cannot change UseConnection option while ICMPPort is Active.");
    // Type, code and, without a connection, the remote host may change at any time.
    EXPECT_EQ(port->put_MessageType(13), S_OK);
    EXPECT_EQ(PutText(port, &IICMPPort::put_RemoteHost, "127.0.0.2"), S_OK);
    int32_t size = 0, handle = -1;
    EXPECT_EQ(port->get_MaxMessageSize(&size), S_OK);
    EXPECT_EQ(size, 2048);
    EXPECT_EQ(port->get_SocketHandle(&handle), S_OK);
    EXPECT_GE(handle, 0);
    EXPECT_TRUE(IsActive(port));
}

TEST_F(IcmpExchangeTest, AConnectedControlSendsToItsPeerAndNamesItAsTheSender) {
    IICMPPort* port = Create(&a_);
    ASSERT_TRUE(port);
    ASSERT_EQ(PutText(port, &IICMPPort::put_RemoteHost, "127.0.0.1"), S_OK);
    ASSERT_EQ(port->put_UseConnection(VARIANT_TRUE), S_OK);
    ASSERT_EQ(port->put_MessageType(kQuietType), S_OK);
    ASSERT_EQ(port->put_Active(VARIANT_TRUE), S_OK);
    EchoData out = UniqueEchoData(), in = UniqueEchoData();
    ASSERT_EQ(PutText(port, &IICMPPort::put_DataToSend, out.bytes), S_OK);
    EXPECT_TRUE(tap_.WaitFor(MessageWith(kQuietType, out.bytes)));
    ASSERT_TRUE(injector_.Send(IcmpMessage(kEchoReply, 0, in.bytes)));
    const MessageSeen* seen = AwaitDataIn(in.bytes);
    ASSERT_TRUE(seen);
    EXPECT_EQ(seen->source, "127.0.0.1");
    Failure failure = TakeFailure(PutText(port, &IICMPPort::put_RemoteHost, "127.0.0.2"));
    EXPECT_EQ(failure.number, 20001 + 114);
    EXPECT_EQ(failure.description, "Cannot change RemoteHost when UseConnection is set and ICMPPort is Active.");
}

}  // namespace
}  // namespace quenda::testing
