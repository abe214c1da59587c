// ICMPPort properties as a host sets and reads them: registration, defaults, type and code
// kept to 8 bits, message sizes, codes refused while active, the missing right to raw
// sockets, persistence.
#include <sys/wait.h>
#include <unistd.h>

#include "platform/com/ole_interfaces.h"
#include "platform/com/stream.h"
#include "tests/icmpport/icmp_port_fixture.h"

namespace quenda::testing {
namespace {

constexpr int kNobody = 65534;

TEST_F(IcmpPortTest, BothProgIdsNameTheClassAndCreationAppliesTheDefaults) {
    CLSID versioned{}, independent{};
    ASSERT_EQ(CLSIDFromProgID(kIcmpPortProgId, &versioned), S_OK);
    ASSERT_EQ(CLSIDFromProgID(kIcmpPortIndependentProgId, &independent), S_OK);
    EXPECT_TRUE(versioned == CLSID_ICMPPort);
    EXPECT_TRUE(independent == CLSID_ICMPPort);

    IICMPPort* port = Create();
    ASSERT_TRUE(port);
    int32_t value = -1;
    EXPECT_EQ(port->get_InBufferSize(&value), S_OK);
    EXPECT_EQ(value, 2048);
    EXPECT_EQ(port->get_OutBufferSize(&value), S_OK);
    EXPECT_EQ(value, 2048);
    EXPECT_EQ(port->get_MaxMessageSize(&value), S_OK);
    EXPECT_EQ(value, 2048);
    EXPECT_EQ(port->get_SocketHandle(&value), S_OK);
    EXPECT_EQ(value, -1);
    EXPECT_EQ(TimeToLive(port), 0);
    int16_t small = -1;
    EXPECT_EQ(port->get_MessageType(&small), S_OK);
    EXPECT_EQ(small, 0);
    EXPECT_EQ(port->get_MessageSubType(&small), S_OK);
    EXPECT_EQ(small, 0);
    EXPECT_EQ(GetText(port, &IICMPPort::get_RemoteHost), "");
    VARIANT_BOOL flag = VARIANT_FALSE;
    EXPECT_EQ(port->get_AcceptData(&flag), S_OK);
    EXPECT_EQ(flag, VARIANT_TRUE);
    EXPECT_EQ(port->get_WinsockLoaded(&flag), S_OK);
    EXPECT_EQ(flag, VARIANT_TRUE);
    EXPECT_EQ(port->get_UseConnection(&flag), S_OK);
    EXPECT_EQ(flag, VARIANT_FALSE);
    EXPECT_FALSE(IsActive(port));
    EXPECT_EQ(GetText(port, &IICMPPort::get_WinsockStatus), "Running");
}

TEST_F(IcmpPortTest, TypeAndCodeKeepTheirLow8BitsAndSizesTheirLow16) {
    IICMPPort* port = Create();
    ASSERT_TRUE(port);
    int16_t small = 0;
    ASSERT_EQ(port->put_MessageType(264), S_OK);
    ASSERT_EQ(port->get_MessageType(&small), S_OK);
    EXPECT_EQ(small, 8);
    ASSERT_EQ(port->put_MessageSubType(-1), S_OK);
    ASSERT_EQ(port->get_MessageSubType(&small), S_OK);
    EXPECT_EQ(small, 255);

    int32_t size = 0;
    ASSERT_EQ(port->put_MaxMessageSize(70000), S_OK);  // 70004 bytes of buffer keep 4468
    ASSERT_EQ(port->get_MaxMessageSize(&size), S_OK);
    EXPECT_EQ(size, 4464);
    ASSERT_EQ(port->put_MaxMessageSize(65531), S_OK);
    ASSERT_EQ(port->get_MaxMessageSize(&size), S_OK);
    EXPECT_EQ(size, 65531);
    // No room left for the header: refused, and the size stays.
    for (int32_t refused : {-1, 65532, 65535}) {
        Failure failure = TakeFailure(port->put_MaxMessageSize(refused));
        EXPECT_EQ(failure.number, 15001 + 10022) << refused;
        EXPECT_EQ(failure.helpContext, 21607u);
        ASSERT_EQ(port->get_MaxMessageSize(&size), S_OK);
        EXPECT_EQ(size, 65531);
    }
    ASSERT_EQ(port->put_MaxMessageSize(0), S_OK);
    ASSERT_EQ(port->get_MaxMessageSize(&size), S_OK);
    EXPECT_EQ(size, 0);
}

TEST_F(IcmpPortTest, RemoteHostTakesDottedNamedAndBroadcastAddresses) {
    IICMPPort* port = Create();
    ASSERT_TRUE(port);
    ASSERT_EQ(PutText(port, &IICMPPort::put_RemoteHost, "localhost"), S_OK);
    EXPECT_EQ(GetText(port, &IICMPPort::get_RemoteHost), "127.0.0.1");
    ASSERT_EQ(PutText(port, &IICMPPort::put_RemoteHost, "255.255.255.255"), S_OK);
    EXPECT_EQ(GetText(port, &IICMPPort::get_RemoteHost), "255.255.255.255");
    ASSERT_EQ(PutText(port, &IICMPPort::put_RemoteHost, ""), S_OK);
    EXPECT_EQ(GetText(port, &IICMPPort::get_RemoteHost), "");
    // The local host is only kept: the socket is never bound to it.
    ASSERT_EQ(PutText(port, &IICMPPort::put_LocalHost, "127.0.0.5"), S_OK);
    EXPECT_EQ(GetText(port, &IICMPPort::get_LocalHost), "127.0.0.5");
}

TEST_F(IcmpPortTest, GuardsAndInactiveSendsAnswerWithTheirNumbersAndTexts) {
    IICMPPort* port = Create();
    ASSERT_TRUE(port);
    Failure failure = TakeFailure(PutText(port, &IICMPPort::put_DataToSend, "x"));
    EXPECT_EQ(failure.number, 20001 + 109);
    EXPECT_EQ(failure.description, "ICMPPort must be Active for this operation.");
    EXPECT_EQ(failure.helpContext, 21603u);
    Bstr nothing;
    failure = TakeFailure(port->get_DataToSend(nothing.Out()));
    EXPECT_EQ(failure.description, "Property is write-only.");
    EXPECT_EQ(TakeFailure(port->put_SocketHandle(3)).description, "Property is read-only.");
    EXPECT_EQ(TakeFailure(port->put_DataInMessageDataB(MakeVariantI4(1))).helpContext, 31601u);
    EXPECT_EQ(TakeFailure(port->put_WinsockMaxSockets(1)).helpContext, 21618u);

    // In design mode the time to live is not there to read.
    ComPtr<IOleClientSite> site;
    ASSERT_EQ(CreateHostSite(HostAmbients{false}, site.Out()), S_OK);
    ComPtr<IOleObject> ole;
    ASSERT_EQ(port->QueryInterface(IID_IOleObject, ole.OutVoid()), S_OK);
    ASSERT_EQ(ole->SetClientSite(site.Get()), S_OK);
    int32_t ttl = 0;
    failure = TakeFailure(port->get_TimeToLive(&ttl));
    EXPECT_EQ(failure.description, "Property is runtime only (no supported in design time).");
    EXPECT_EQ(failure.helpContext, 21613u);
    ASSERT_EQ(ole->SetClientSite(nullptr), S_OK);
}

TEST_F(IcmpPortTest, WithoutTheRightToRawSocketsOpeningFailsAndNothingElseBreaks) {
    IICMPPort* port = Create();
    ASSERT_TRUE(port);
    // As root the check runs in a child that has given up root, and so its capabilities.
    auto check = [port]() -> int {
        HRESULT hr = port->put_Active(VARIANT_TRUE);
        Failure failure = TakeFailure(hr);
        if (failure.number != 15001 + 10013) return 1;
        if (failure.description != "[10013] Access denied" || failure.helpContext != 21602u) return 2;
        int32_t handle = 0;
        if (port->get_SocketHandle(&handle) != S_OK || handle != -1) return 3;
        if (port->put_MessageType(8) != S_OK || port->put_MaxMessageSize(512) != S_OK) return 4;
        return 0;
    };
    if (::geteuid() != 0) {
        if (RawIcmpUnavailableReason().empty()) GTEST_SKIP() << "this user may open raw sockets: no refusal to see";
        EXPECT_EQ(check(), 0);
        return;
    }
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) ::_exit(10);
        ::_exit(check());
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: wrong number, 2: wrong text, 3: a socket, 4: setters broken, 10: no setuid";
}

TEST_F(IcmpPortTest, PersistedPropertiesRoundTripInTheirOrderWithoutTheTimeToLive) {
    IICMPPort* saved = Create();
    ASSERT_TRUE(saved);
    ASSERT_EQ(saved->put_InBufferSize(4096), S_OK);
    ASSERT_EQ(saved->put_MaxMessageSize(1500), S_OK);
    ASSERT_EQ(saved->put_MessageSubType(3), S_OK);
    ASSERT_EQ(saved->put_MessageType(8), S_OK);
    ASSERT_EQ(saved->put_OutBufferSize(8192), S_OK);
    ASSERT_EQ(PutText(saved, &IICMPPort::put_RemoteHost, "127.0.0.9"), S_OK);
    ASSERT_EQ(saved->put_UseConnection(VARIANT_TRUE), S_OK);
    ASSERT_EQ(saved->put_TimeToLive(9), S_OK);

    ComPtr<IPersistStreamInit> persist;
    ASSERT_EQ(saved->QueryInterface(IID_IPersistStreamInit, persist.OutVoid()), S_OK);
    ComPtr<IStream> stream;
    ASSERT_EQ(CreateMemoryStream(nullptr, 0, stream.Out()), S_OK);
    ASSERT_EQ(persist->Save(stream.Get(), 1), S_OK);
    // Version; InBufferSize and MaxMessageSize as I4; MessageSubType, MessageType as I2.
    std::string bytes;
    ASSERT_EQ(GetMemoryStreamBytes(stream.Get(), &bytes), S_OK);
    const std::string head("\x00\x03\x00\x00"
                           "\x03\x00\x00\x10\x00\x00"
                           "\x03\x00\xDC\x05\x00\x00"
                           "\x02\x00\x03\x00"
                           "\x02\x00\x08\x00"
                           "\x03\x00\x00\x20\x00\x00",
                           30);
    ASSERT_GE(bytes.size(), head.size());
    EXPECT_EQ(bytes.substr(0, head.size()), head);

    IICMPPort* loaded = Create();
    ASSERT_TRUE(loaded);
    ComPtr<IPersistStreamInit> load;
    ASSERT_EQ(loaded->QueryInterface(IID_IPersistStreamInit, load.OutVoid()), S_OK);
    ASSERT_EQ(stream->Seek(0, 0, nullptr), S_OK);
    ASSERT_EQ(load->Load(stream.Get()), S_OK);
    int32_t value = 0;
    EXPECT_EQ(loaded->get_InBufferSize(&value), S_OK);
    EXPECT_EQ(value, 4096);
    EXPECT_EQ(loaded->get_MaxMessageSize(&value), S_OK);
    EXPECT_EQ(value, 1500);
    EXPECT_EQ(loaded->get_OutBufferSize(&value), S_OK);
    EXPECT_EQ(value, 8192);
    int16_t small = 0;
    EXPECT_EQ(loaded->get_MessageSubType(&small), S_OK);
    EXPECT_EQ(small, 3);
    EXPECT_EQ(loaded->get_MessageType(&small), S_OK);
    EXPECT_EQ(small, 8);
    EXPECT_EQ(GetText(loaded, &IICMPPort::get_RemoteHost), "127.0.0.9");
    VARIANT_BOOL flag = VARIANT_FALSE;
    EXPECT_EQ(loaded->get_UseConnection(&flag), S_OK);
    EXPECT_EQ(flag, VARIANT_TRUE);
    EXPECT_EQ(TimeToLive(loaded), 0);
}

}  // namespace
}  // namespace quenda::testing
