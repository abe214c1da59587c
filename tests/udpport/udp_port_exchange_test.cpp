// UDPPort controls exchanging datagrams over loopback on the real event loop: delivery,
// senders, oversized and empty datagrams, deferred and draining closes, reception on and off.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>

#include "platform/com/safe_array.h"
#include "tests/udpport/udp_port_fixture.h"

namespace quenda::testing {
namespace {

using test::RunLoopFor;
using test::RunLoopUntil;

// Sends raw bytes (an empty datagram included) to 127.0.0.1:port from a plain socket.
void SendRaw(int32_t port, std::string_view bytes) {
    int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(
        ::sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to),
        static_cast<ssize_t>(bytes.size()));
    ::close(fd);
}

TEST_F(UdpPortTest, TwoControlsTalkAndAnswerFromInsideDataIn) {
    int32_t portA = 0, portB = 0;
    IUDPPort* a = Open(&a_, 0, &portA);
    IUDPPort* b = Open(&b_, 0, &portB);
    ASSERT_TRUE(a && b);
    ASSERT_NE(portA, 0);
    ASSERT_NE(portA, portB);
    // Each learns it can send once the socket is writable.
    EXPECT_TRUE(RunLoopUntil([&] { return a_.readyToSend >= 1 && b_.readyToSend >= 1; }));

    // b answers every question to whoever asked, from inside the event.
    b_.onDataIn = [&](const DataInSeen& seen) {
        EXPECT_EQ(PutText(b, &IUDPPort::put_RemoteHost, seen.address), S_OK);
        EXPECT_EQ(b->put_RemotePort(static_cast<uint16_t>(seen.port)), S_OK);
        EXPECT_EQ(PutText(b, &IUDPPort::put_DataToSend, "re:" + seen.datagram), S_OK);
    };
    const std::string question("q\0\x01\x7f\x80\xff end", 11);
    ASSERT_EQ(SendTo(a, portB, question), S_OK);
    ASSERT_TRUE(RunLoopUntil([&] { return a_.dataIn.size() == 1; }));
    ASSERT_EQ(b_.dataIn.size(), 1u);
    EXPECT_EQ(b_.dataIn[0].datagram, question);
    EXPECT_EQ(b_.dataIn[0].address, "127.0.0.1");
    EXPECT_EQ(static_cast<uint16_t>(b_.dataIn[0].port), portA);
    EXPECT_EQ(a_.dataIn[0].datagram, "re:" + question);
    EXPECT_EQ(static_cast<uint16_t>(a_.dataIn[0].port), portB);
    EXPECT_TRUE(a_.allByReference && b_.allByReference);
    EXPECT_TRUE(a_.errors.empty() && b_.errors.empty());
    EXPECT_EQ(a_.unexpected + b_.unexpected, 0);
}

TEST_F(UdpPortTest, TwoBusyControlsTakeTurnsInsteadOfOneStarvingTheOther) {
    int32_t portA = 0, portB = 0;
    ASSERT_TRUE(Open(&a_, 0, &portA) && Open(&b_, 0, &portB));
    std::string order;  // which control each datagram reached, in delivery order
    a_.onDataIn = [&](const DataInSeen&) { order += 'a'; };
    b_.onDataIn = [&](const DataInSeen&) { order += 'b'; };
    constexpr size_t kEach = 100;
    for (size_t i = 0; i < kEach; ++i) {
        SendRaw(portA, "to a " + std::to_string(i));
        SendRaw(portB, "to b " + std::to_string(i));
    }
    ASSERT_TRUE(RunLoopUntil([&] { return order.size() == 2 * kEach; }));
    // Each control is served within a few dozen datagrams of the other's, not after all of them.
    EXPECT_EQ(order.find(std::string(48, 'a')), std::string::npos) << order;
    EXPECT_EQ(order.find(std::string(48, 'b')), std::string::npos) << order;
    // A handler that lets messages run meets its own socket's notices inside the event; the
    // socket still comes back for what is left once it has given way.
    a_.onDataIn = [&](const DataInSeen&) {
        order += 'a';
        QCoreApplication::processEvents();
    };
    order.clear();
    for (size_t i = 0; i < kEach; ++i) SendRaw(portA, "again " + std::to_string(i));
    EXPECT_TRUE(RunLoopUntil([&] { return order.size() == kEach; })) << order.size();
}

TEST_F(UdpPortTest, APortAbove32767ArrivesAsANegativeSourcePort) {
    int32_t portB = 0;
    IUDPPort* b = Open(&b_, 0, &portB);
    IUDPPort* a = Create(&a_);
    ASSERT_TRUE(a && b);
    ASSERT_EQ(a->put_LocalPort(53000), S_OK);
    HRESULT opened = a->put_Active(VARIANT_TRUE);
    if (HostErrorNumber(opened) == 25049) GTEST_SKIP() << "port 53000 is taken on this machine";
    ASSERT_EQ(opened, S_OK);
    ASSERT_EQ(SendTo(a, portB, "x"), S_OK);
    ASSERT_TRUE(RunLoopUntil([&] { return b_.dataIn.size() == 1; }));
    EXPECT_EQ(b_.dataIn[0].port, -12536);
}

TEST_F(UdpPortTest, AnOversizedDatagramRaisesErrorAndTheNextIsStillDelivered) {
    int32_t portB = 0;
    IUDPPort* b = Create(&b_);
    ASSERT_TRUE(b);
    int32_t capacity = 0;
    ASSERT_EQ(b->get_MaxPacketSize(&capacity), S_OK);
    EXPECT_EQ(capacity, 2048);
    ASSERT_EQ(b->put_Active(VARIANT_TRUE), S_OK);
    ASSERT_EQ(b->get_LocalPort(&portB), S_OK);

    SendRaw(portB, std::string(3000, 'L'));
    SendRaw(portB, std::string(2048, 'F'));  // exactly the capacity still fits
    ASSERT_TRUE(RunLoopUntil([&] { return !b_.errors.empty() && b_.dataIn.size() == 1; }));
    EXPECT_EQ(b_.errors[0].code, 10040);
    EXPECT_EQ(b_.errors[0].description, "Winsock error in recv()");
    EXPECT_EQ(b_.dataIn[0].datagram, std::string(2048, 'F'));
    EXPECT_TRUE(IsActive(b));
}

TEST_F(UdpPortTest, TheLargestDatagramFitsTheLargestBuffer) {
    IUDPPort* b = Create(&b_);
    ASSERT_TRUE(b);
    ASSERT_EQ(b->put_MaxPacketSize(65535), S_OK);
    ASSERT_EQ(b->put_Active(VARIANT_TRUE), S_OK);
    int32_t portB = 0;
    ASSERT_EQ(b->get_LocalPort(&portB), S_OK);
    std::string largest(65507, '\0');
    for (size_t i = 0; i < largest.size(); ++i) largest[i] = static_cast<char>(i * 7);
    SendRaw(portB, largest);
    ASSERT_TRUE(RunLoopUntil([&] { return b_.dataIn.size() == 1; }));
    EXPECT_EQ(b_.dataIn[0].datagram, largest);
}

TEST_F(UdpPortTest, AConnectedControlSendsAndReportsItsPeerAsTheSender) {
    int32_t portB = 0;
    IUDPPort* b = Open(&b_, 0, &portB);
    IUDPPort* a = Create(&a_);
    ASSERT_TRUE(a && b);
    ASSERT_EQ(PutText(a, &IUDPPort::put_RemoteHost, "127.0.0.1"), S_OK);
    ASSERT_EQ(a->put_RemotePort(portB), S_OK);
    ASSERT_EQ(a->put_UseConnection(VARIANT_TRUE), S_OK);
    ASSERT_EQ(a->put_Active(VARIANT_TRUE), S_OK);
    int32_t portA = 0;
    ASSERT_EQ(a->get_LocalPort(&portA), S_OK);
    ASSERT_EQ(PutText(a, &IUDPPort::put_DataToSend, "ping"), S_OK);
    ASSERT_TRUE(RunLoopUntil([&] { return b_.dataIn.size() == 1; }));
    ASSERT_EQ(SendTo(b, portA, "pong"), S_OK);
    ASSERT_TRUE(RunLoopUntil([&] { return a_.dataIn.size() == 1; }));
    EXPECT_EQ(a_.dataIn[0].datagram, "pong");
    EXPECT_EQ(a_.dataIn[0].address, "127.0.0.1");
    EXPECT_EQ(static_cast<uint16_t>(a_.dataIn[0].port), portB);
}

TEST_F(UdpPortTest, AnEmptyDatagramIsSkippedAndTheSocketStaysOpen) {
    int32_t portB = 0;
    IUDPPort* b = Open(&b_, 0, &portB);
    ASSERT_TRUE(b);
    SendRaw(portB, "");
    SendRaw(portB, "after");
    ASSERT_TRUE(RunLoopUntil([&] { return b_.dataIn.size() == 1; }));
    EXPECT_EQ(b_.dataIn[0].datagram, "after");
    EXPECT_TRUE(b_.errors.empty());
    EXPECT_TRUE(IsActive(b));
    // Only an empty datagram waiting: nothing is raised and the socket still serves.
    SendRaw(portB, "");
    RunLoopFor(50);
    SendRaw(portB, "later");
    ASSERT_TRUE(RunLoopUntil([&] { return b_.dataIn.size() == 2; }));
    EXPECT_EQ(b_.dataIn[1].datagram, "later");
}

TEST_F(UdpPortTest, ClosingInsideDataInIsDeferredUntilTheHandlerReturns) {
    int32_t portB = 0;
    IUDPPort* b = Open(&b_, 0, &portB);
    ASSERT_TRUE(b);
    bool activeInside = false;
    b_.onDataIn = [&](const DataInSeen&) {
        if (b_.dataIn.size() != 1) return;
        EXPECT_EQ(b->put_Active(VARIANT_FALSE), S_OK);
        activeInside = IsActive(b);
    };
    SendRaw(portB, "one");
    SendRaw(portB, "two");
    SendRaw(portB, "three");
    ASSERT_TRUE(RunLoopUntil([&] { return !b_.dataIn.empty() && !IsActive(b); }));
    EXPECT_TRUE(activeInside);
    // The close drains what was queued before it shut the socket.
    ASSERT_EQ(b_.dataIn.size(), 3u);
    EXPECT_EQ(b_.dataIn[2].datagram, "three");
    // The port is free again.
    IUDPPort* again = Open(nullptr, portB);
    ASSERT_TRUE(again);
    EXPECT_TRUE(IsActive(again));
}

TEST_F(UdpPortTest, AHostThatLetsGoInsideDataInDestroysTheControlAfterTheEvent) {
    int32_t portB = 0;
    IUDPPort* b = Open(&b_, 0, &portB);
    ASSERT_TRUE(b);
    bool stillUsable = false;
    b_.onDataIn = [&](const DataInSeen&) {
        ports_.clear();  // the host's only reference
        VARIANT_BOOL active = VARIANT_FALSE;
        stillUsable = b->get_Active(&active) == S_OK && active == VARIANT_TRUE;
    };
    SendRaw(portB, "one");
    SendRaw(portB, "two");
    ASSERT_TRUE(RunLoopUntil([&] { return !b_.dataIn.empty(); }));
    EXPECT_TRUE(stillUsable);
    test::RunLoopFor(20);
    CoFreeUnusedLibraries();
    EXPECT_EQ(CoLoadedLibraryCount(), 0);  // nothing of the library is alive any more
    // The port was closed with the control.
    IUDPPort* again = Open(nullptr, portB);
    ASSERT_TRUE(again);
}

TEST_F(UdpPortTest, ClosingDeliversQueuedDatagramsUnlessReceptionIsOff) {
    int32_t portB = 0;
    IUDPPort* b = Open(&b_, 0, &portB);
    ASSERT_TRUE(b);
    SendRaw(portB, "first");
    SendRaw(portB, "second");
    // No loop has run: the close itself reads them.
    ASSERT_EQ(b->put_Active(VARIANT_FALSE), S_OK);
    ASSERT_EQ(b_.dataIn.size(), 2u);
    EXPECT_EQ(b_.dataIn[1].datagram, "second");
    EXPECT_FALSE(IsActive(b));

    ASSERT_EQ(b->put_Active(VARIANT_TRUE), S_OK);
    ASSERT_EQ(b->get_LocalPort(&portB), S_OK);
    ASSERT_EQ(b->put_AcceptData(VARIANT_FALSE), S_OK);
    SendRaw(portB, "dropped");
    RunLoopFor(50);
    EXPECT_EQ(b_.dataIn.size(), 2u);
    ASSERT_EQ(b->put_Active(VARIANT_FALSE), S_OK);
    EXPECT_EQ(b_.dataIn.size(), 2u);
    VARIANT_BOOL accept = VARIANT_FALSE;
    ASSERT_EQ(b->get_AcceptData(&accept), S_OK);
    EXPECT_EQ(accept, VARIANT_TRUE);
}

TEST_F(UdpPortTest, TurningReceptionBackOnDeliversWhatQueuedMeanwhile) {
    int32_t portB = 0;
    IUDPPort* b = Open(&b_, 0, &portB);
    ASSERT_TRUE(b);
    ASSERT_EQ(b->put_AcceptData(VARIANT_FALSE), S_OK);
    SendRaw(portB, "held");
    RunLoopFor(50);
    EXPECT_TRUE(b_.dataIn.empty());
    ASSERT_EQ(b->put_AcceptData(VARIANT_TRUE), S_OK);
    ASSERT_TRUE(RunLoopUntil([&] { return b_.dataIn.size() == 1; }));
    EXPECT_EQ(b_.dataIn[0].datagram, "held");
}

TEST_F(UdpPortTest, DataInDatagramBHoldsTheBytesOnlyDuringTheEvent) {
    int32_t portB = 0;
    IUDPPort* b = Open(&b_, 0, &portB);
    ASSERT_TRUE(b);
    Variant outside;
    ASSERT_EQ(b->get_DataInDatagramB(outside.Get()), S_OK);
    EXPECT_EQ(outside->vt, VT_EMPTY);

    std::vector<int> inside;
    VARTYPE insideType = VT_EMPTY;
    b_.onDataIn = [&](const DataInSeen&) {
        Variant bytes;
        ASSERT_EQ(b->get_DataInDatagramB(bytes.Get()), S_OK);
        insideType = bytes->vt;
        ASSERT_EQ(bytes->vt, VT_ARRAY | VT_VARIANT);
        int32_t lower = -1;
        SafeArrayGetLBound(bytes->parray, 1, &lower);
        EXPECT_EQ(lower, 0);
        for (uint32_t i = 0; i < bytes->parray->rgsabound[0].cElements; ++i) {
            int32_t index = static_cast<int32_t>(i);
            Variant element;
            ASSERT_EQ(SafeArrayGetElement(bytes->parray, &index, element.Get()), S_OK);
            EXPECT_EQ(element->vt, VT_UI1);
            inside.push_back(element->bVal);
        }
    };
    SendRaw(portB, std::string("\0\x41\xff", 3));
    ASSERT_TRUE(RunLoopUntil([&] { return b_.dataIn.size() == 1; }));
    EXPECT_EQ(insideType, VT_ARRAY | VT_VARIANT);
    EXPECT_EQ(inside, (std::vector<int>{0, 0x41, 0xff}));
    Variant after;
    ASSERT_EQ(b->get_DataInDatagramB(after.Get()), S_OK);
    EXPECT_EQ(after->vt, VT_EMPTY);
}

TEST_F(UdpPortTest, DataToSendBSendsByteAndVariantArraysAndRefusesOthers) {
    int32_t portB = 0;
    IUDPPort* b = Open(&b_, 0, &portB);
    IUDPPort* a = Open(&a_);
    ASSERT_TRUE(a && b);
    ASSERT_EQ(SendTo(a, portB, "text"), S_OK);

    SAFEARRAY* bytes = SafeArrayCreateVector(VT_UI1, 5, 3);  // the lower bound does not matter
    static_cast<uint8_t*>(bytes->pvData)[0] = 0;
    static_cast<uint8_t*>(bytes->pvData)[1] = 0x80;
    static_cast<uint8_t*>(bytes->pvData)[2] = 0xff;
    Variant byteArray;
    byteArray->vt = VT_ARRAY | VT_UI1;
    byteArray->parray = bytes;
    ASSERT_EQ(a->put_DataToSendB(*byteArray.Get()), S_OK);

    SAFEARRAY* numbers = SafeArrayCreateVector(VT_VARIANT, 0, 2);
    static_cast<VARIANT*>(numbers->pvData)[0] = MakeVariantI4(0x41);
    static_cast<VARIANT*>(numbers->pvData)[1] = MakeVariantI4(0x142);  // the low byte is sent
    Variant variantArray;
    variantArray->vt = VT_ARRAY | VT_VARIANT;
    variantArray->parray = numbers;
    ASSERT_EQ(a->put_DataToSendB(*variantArray.Get()), S_OK);

    SAFEARRAYBOUND square[2] = {{2, 0}, {2, 0}};
    Variant twoDimensions;
    twoDimensions->vt = VT_ARRAY | VT_UI1;
    twoDimensions->parray = SafeArrayCreate(VT_UI1, 2, square);
    HRESULT hr = a->put_DataToSendB(*twoDimensions.Get());
    EXPECT_EQ(hr, MakeHresult(0x800A017C));
    EXPECT_EQ(TakeFailure(hr).description, "Property accepts only one-dimensional byte arrays.");
    hr = a->put_DataToSendB(MakeVariantI4(7));
    EXPECT_EQ(hr, MakeHresult(0x800A017C));
    TakeFailure(hr);

    ASSERT_TRUE(RunLoopUntil([&] { return b_.dataIn.size() == 3; }));
    EXPECT_EQ(b_.dataIn[0].datagram, "text");
    EXPECT_EQ(b_.dataIn[1].datagram, std::string("\0\x80\xff", 3));
    EXPECT_EQ(b_.dataIn[2].datagram, "AB");
}

TEST_F(UdpPortTest, ALimitedBroadcastIsKeptAndSent) {
    IUDPPort* a = Open(&a_);
    ASSERT_TRUE(a);
    ASSERT_EQ(PutText(a, &IUDPPort::put_RemoteHost, "255.255.255.255"), S_OK);
    EXPECT_EQ(GetText(a, &IUDPPort::get_RemoteHost), "255.255.255.255");
    ASSERT_EQ(a->put_RemotePort(9), S_OK);
    // Broadcasting may lack a route here, but it is never refused as forbidden: the socket
    // was opened with SO_BROADCAST.
    HRESULT hr = PutText(a, &IUDPPort::put_DataToSend, "hello");
    if (FAILED(hr)) {
        EXPECT_NE(TakeFailure(hr).number, 15001 + 10013);
    }
}

}  // namespace
}  // namespace quenda::testing
