// UDPPort properties as a host sets and reads them: defaults, codes and their host numbers,
// ports and sizes kept to 16 bits, names resolved, guards, Winsock loading, persistence.
#include <cstdlib>
#include <filesystem>

#include "platform/com/ole_interfaces.h"
#include "platform/com/stream.h"
#include "tests/udpport/udp_port_fixture.h"

namespace quenda::testing {
namespace {

TEST_F(UdpPortTest, DefaultsAreAppliedAtCreation) {
    IUDPPort* port = Create();
    ASSERT_TRUE(port);
    int32_t value = -1;
    EXPECT_EQ(port->get_InBufferSize(&value), S_OK);
    EXPECT_EQ(value, 2048);
    EXPECT_EQ(port->get_OutBufferSize(&value), S_OK);
    EXPECT_EQ(value, 2048);
    EXPECT_EQ(port->get_MaxPacketSize(&value), S_OK);
    EXPECT_EQ(value, 2048);
    EXPECT_EQ(port->get_LocalPort(&value), S_OK);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(port->get_SocketHandle(&value), S_OK);
    EXPECT_EQ(value, -1);
    EXPECT_EQ(GetText(port, &IUDPPort::get_RemoteHost), "");
    VARIANT_BOOL flag = VARIANT_FALSE;
    EXPECT_EQ(port->get_AcceptData(&flag), S_OK);
    EXPECT_EQ(flag, VARIANT_TRUE);
    EXPECT_EQ(port->get_WinsockLoaded(&flag), S_OK);
    EXPECT_EQ(flag, VARIANT_TRUE);
    EXPECT_FALSE(IsActive(port));
    EXPECT_EQ(GetText(port, &IUDPPort::get_WinsockStatus), "Running");
    // Without a local host the computer's name is reported.
    EXPECT_FALSE(GetText(port, &IUDPPort::get_LocalHost).empty());
}

TEST_F(UdpPortTest, LocalPortZeroReadsTheChosenPortWhileOpenAndZeroAfter) {
    IUDPPort* port = Create();
    ASSERT_TRUE(port);
    ASSERT_EQ(port->put_Active(VARIANT_TRUE), S_OK);
    int32_t bound = 0;
    ASSERT_EQ(port->get_LocalPort(&bound), S_OK);
    EXPECT_GT(bound, 0);
    EXPECT_LE(bound, 65535);
    EXPECT_EQ(GetText(port, &IUDPPort::get_LocalHost), "0.0.0.0");
    int32_t handle = -1;
    EXPECT_EQ(port->get_SocketHandle(&handle), S_OK);
    EXPECT_GE(handle, 0);
    ASSERT_EQ(port->put_Active(VARIANT_FALSE), S_OK);
    ASSERT_EQ(port->get_LocalPort(&bound), S_OK);
    EXPECT_EQ(bound, 0);
}

TEST_F(UdpPortTest, OpeningFailuresComeBackAsHostErrorNumbers) {
    int32_t taken = 0;
    IUDPPort* first = Open(nullptr, 0, &taken);
    ASSERT_TRUE(first);

    // The port is in use: 15001 + 10048.
    IUDPPort* second = Create();
    ASSERT_EQ(second->put_LocalPort(taken), S_OK);
    HRESULT hr = second->put_Active(VARIANT_TRUE);
    EXPECT_EQ(hr, MakeHresult(0x800A61D9));
    Failure failure = TakeFailure(hr);
    EXPECT_EQ(failure.number, 25049);
    EXPECT_EQ(failure.description, "[10048] Address already in use");
    EXPECT_EQ(failure.helpContext, 21302u);
    EXPECT_FALSE(IsActive(second));

    // Already open: 20001 + 104 with the control's own text.
    hr = first->put_Active(VARIANT_TRUE);
    EXPECT_EQ(hr, MakeHresult(0x800A4E89));
    failure = TakeFailure(hr);
    EXPECT_EQ(failure.number, 20105);
    EXPECT_EQ(failure.description, "UDPPort is already Active.");
    EXPECT_TRUE(IsActive(first));

    // A connected socket needs a remote port, and nothing is opened without one.
    IUDPPort* third = Create();
    ASSERT_EQ(third->put_UseConnection(VARIANT_TRUE), S_OK);
    failure = TakeFailure(third->put_Active(VARIANT_TRUE));
    EXPECT_EQ(failure.number, 20117);
    EXPECT_EQ(failure.description,
              "RemotePort can't be zero when UseConnection is set. Please specify a valid service port number.");
    int32_t handle = 0;
    EXPECT_EQ(third->get_SocketHandle(&handle), S_OK);
    EXPECT_EQ(handle, -1);
}

TEST_F(UdpPortTest, SettingsRefusedWhileActiveAndSendingWhileInactive) {
    IUDPPort* port = Create();
    ASSERT_TRUE(port);
    Failure failure = TakeFailure(PutText(port, &IUDPPort::put_DataToSend, "x"));
    EXPECT_EQ(failure.number, 20110);
    EXPECT_EQ(failure.description, "The control must be Active for this operation.");
    EXPECT_EQ(failure.helpContext, 21303u);

    ASSERT_EQ(port->put_RemotePort(53), S_OK);
    ASSERT_EQ(PutText(port, &IUDPPort::put_RemoteHost, "127.0.0.1"), S_OK);
    ASSERT_EQ(port->put_UseConnection(VARIANT_TRUE), S_OK);
    ASSERT_EQ(port->put_Active(VARIANT_TRUE), S_OK);
    EXPECT_EQ(PutText(port, &IUDPPort::put_DataToSend, ""), S_OK);  // nothing to send
    EXPECT_EQ(TakeFailure(port->put_LocalPort(1)).number, 20107);
    EXPECT_EQ(TakeFailure(PutText(port, &IUDPPort::put_LocalHost, "127.0.0.1")).number, 20108);
    EXPECT_EQ(TakeFailure(port->put_MaxPacketSize(512)).number, 20113);
    EXPECT_EQ(TakeFailure(PutText(port, &IUDPPort::put_RemoteHost, "127.0.0.2")).number, 20115);
    EXPECT_EQ(TakeFailure(port->put_RemotePort(54)).number, 20116);
    failure = TakeFailure(port->put_UseConnection(VARIANT_FALSE));
    EXPECT_EQ(failure.number, 20118);
    EXPECT_EQ(failure.description, "Cannot change UseConnection option while the control is Active.");
    int32_t remotePort = 0;
    EXPECT_EQ(port->get_RemotePort(&remotePort), S_OK);
    EXPECT_EQ(remotePort, 53);
}

TEST_F(UdpPortTest, PortsAndPacketSizeKeepTheirLow16Bits) {
    IUDPPort* port = Create();
    ASSERT_TRUE(port);
    int32_t value = 0;
    ASSERT_EQ(port->put_MaxPacketSize(70000), S_OK);
    ASSERT_EQ(port->get_MaxPacketSize(&value), S_OK);
    EXPECT_EQ(value, 4464);
    ASSERT_EQ(port->put_RemotePort(65536 + 53), S_OK);
    ASSERT_EQ(port->get_RemotePort(&value), S_OK);
    EXPECT_EQ(value, 53);
    ASSERT_EQ(port->put_LocalPort(-1), S_OK);
    ASSERT_EQ(port->get_LocalPort(&value), S_OK);
    EXPECT_EQ(value, 65535);
}

TEST_F(UdpPortTest, RemoteHostResolvesNamesToTheirFirstAddress) {
    IUDPPort* port = Create();
    ASSERT_TRUE(port);
    ASSERT_EQ(PutText(port, &IUDPPort::put_RemoteHost, "localhost"), S_OK);
    EXPECT_EQ(GetText(port, &IUDPPort::get_RemoteHost), "127.0.0.1");
    ASSERT_EQ(PutText(port, &IUDPPort::put_RemoteHost, "127.1.2.3"), S_OK);
    EXPECT_EQ(GetText(port, &IUDPPort::get_RemoteHost), "127.1.2.3");
    ASSERT_EQ(PutText(port, &IUDPPort::put_RemoteHost, "255.255.255.255"), S_OK);
    EXPECT_EQ(GetText(port, &IUDPPort::get_RemoteHost), "255.255.255.255");
    ASSERT_EQ(PutText(port, &IUDPPort::put_RemoteHost, ""), S_OK);
    EXPECT_EQ(GetText(port, &IUDPPort::get_RemoteHost), "");
    ASSERT_EQ(PutText(port, &IUDPPort::put_LocalHost, "localhost"), S_OK);
    EXPECT_EQ(GetText(port, &IUDPPort::get_LocalHost), "127.0.0.1");
}

TEST_F(UdpPortTest, GuardsAnswerWithTheirOwnNumbersAndTexts) {
    IUDPPort* port = Create();
    ASSERT_TRUE(port);
    HRESULT hr = port->put_WinsockMaxSockets(5);
    EXPECT_EQ(hr, MakeHresult(0x800A017F));
    Failure failure = TakeFailure(hr);
    EXPECT_EQ(failure.description, "Property is read-only.");
    EXPECT_EQ(failure.helpContext, 21318u);
    Bstr nothing;
    hr = port->get_DataToSend(nothing.Out());
    EXPECT_EQ(hr, MakeHresult(0x800A018A));
    EXPECT_EQ(TakeFailure(hr).description, "Property is write-only.");
    EXPECT_EQ(TakeFailure(port->put_SocketHandle(3)).description, "Property is read-only.");
    EXPECT_EQ(TakeFailure(port->put_DataInDatagramB(MakeVariantI4(1))).helpContext, 31301u);

    // In design mode the run-time-only properties cannot be read.
    ComPtr<IOleClientSite> site;
    ASSERT_EQ(CreateHostSite(HostAmbients{false}, site.Out()), S_OK);
    ComPtr<IOleObject> ole;
    ASSERT_EQ(port->QueryInterface(IID_IOleObject, ole.OutVoid()), S_OK);
    ASSERT_EQ(ole->SetClientSite(site.Get()), S_OK);
    int32_t sockets = 0;
    hr = port->get_WinsockMaxSockets(&sockets);
    EXPECT_EQ(hr, MakeHresult(0x800A018A));
    EXPECT_EQ(TakeFailure(hr).description, "Property is runtime only (no supported in design time).");
    VARIANT_BOOL active = VARIANT_FALSE;
    EXPECT_EQ(port->get_Active(&active), MakeHresult(0x800A018A));
    TakeFailure(E_FAIL);
    int32_t size = 0;
    EXPECT_EQ(port->get_InBufferSize(&size), S_OK);  // not run time only
    ASSERT_EQ(SetHostSiteUserMode(site.Get(), true), S_OK);
    EXPECT_EQ(port->get_WinsockMaxSockets(&sockets), S_OK);
    EXPECT_GT(sockets, 0);
    ASSERT_EQ(ole->SetClientSite(nullptr), S_OK);
}

TEST_F(UdpPortTest, AMissingWinsockFileLeavesTheHoldOffWithTheReason) {
    IUDPPort* port = Create();
    ASSERT_TRUE(port);
    std::string loaded = GetText(port, &IUDPPort::get_WinsockPath);
    EXPECT_EQ(std::filesystem::path(loaded).filename(), "libwsock32.so");
    EXPECT_TRUE(std::filesystem::path(loaded).is_absolute());

    ASSERT_EQ(port->put_WinsockLoaded(VARIANT_FALSE), S_OK);
    ASSERT_EQ(PutText(port, &IUDPPort::put_WinsockPath, (dir_ / "missing" / "libwsock32.so").string()), S_OK);
    ASSERT_EQ(port->put_WinsockLoaded(VARIANT_TRUE), S_OK);  // the call itself succeeds
    VARIANT_BOOL held = VARIANT_TRUE;
    ASSERT_EQ(port->get_WinsockLoaded(&held), S_OK);
    EXPECT_EQ(held, VARIANT_FALSE);
    EXPECT_EQ(GetText(port, &IUDPPort::get_WinsockInfo), "Could not load Winsock DLL.");

    // An empty path goes back to the layer beside the library.
    ASSERT_EQ(PutText(port, &IUDPPort::put_WinsockPath, ""), S_OK);
    ASSERT_EQ(port->put_WinsockLoaded(VARIANT_TRUE), S_OK);
    ASSERT_EQ(port->get_WinsockLoaded(&held), S_OK);
    EXPECT_EQ(held, VARIANT_TRUE);
    EXPECT_EQ(GetText(port, &IUDPPort::get_WinsockPath), loaded);
    EXPECT_NE(GetText(port, &IUDPPort::get_WinsockInfo), "Could not load Winsock DLL.");
}

TEST_F(UdpPortTest, PersistedPropertiesRoundTripThroughAStream) {
    IUDPPort* saved = Create();
    ASSERT_TRUE(saved);
    ASSERT_EQ(saved->put_InBufferSize(4096), S_OK);
    ASSERT_EQ(saved->put_LocalPort(5353), S_OK);
    ASSERT_EQ(saved->put_MaxPacketSize(1500), S_OK);
    ASSERT_EQ(saved->put_OutBufferSize(8192), S_OK);
    ASSERT_EQ(PutText(saved, &IUDPPort::put_RemoteHost, "192.0.2.7"), S_OK);
    ASSERT_EQ(saved->put_RemotePort(53), S_OK);
    ASSERT_EQ(saved->put_UseConnection(VARIANT_TRUE), S_OK);

    ComPtr<IPersistStreamInit> persist;
    ASSERT_EQ(saved->QueryInterface(IID_IPersistStreamInit, persist.OutVoid()), S_OK);
    ComPtr<IStream> stream;
    ASSERT_EQ(CreateMemoryStream(nullptr, 0, stream.Out()), S_OK);
    ASSERT_EQ(persist->Save(stream.Get(), 1), S_OK);
    // Version, then InBufferSize first as an I4.
    std::string bytes;
    ASSERT_EQ(GetMemoryStreamBytes(stream.Get(), &bytes), S_OK);
    ASSERT_GE(bytes.size(), 10u);
    EXPECT_EQ(bytes.substr(0, 10), std::string("\x00\x03\x00\x00\x03\x00\x00\x10\x00\x00", 10));

    IUDPPort* loaded = Create();
    ASSERT_TRUE(loaded);
    ComPtr<IPersistStreamInit> load;
    ASSERT_EQ(loaded->QueryInterface(IID_IPersistStreamInit, load.OutVoid()), S_OK);
    ASSERT_EQ(stream->Seek(0, 0, nullptr), S_OK);
    ASSERT_EQ(load->Load(stream.Get()), S_OK);
    int32_t value = 0;
    EXPECT_EQ(loaded->get_InBufferSize(&value), S_OK);
    EXPECT_EQ(value, 4096);
    EXPECT_EQ(loaded->get_LocalPort(&value), S_OK);
    EXPECT_EQ(value, 5353);
    EXPECT_EQ(loaded->get_MaxPacketSize(&value), S_OK);
    EXPECT_EQ(value, 1500);
    EXPECT_EQ(loaded->get_OutBufferSize(&value), S_OK);
    EXPECT_EQ(value, 8192);
    EXPECT_EQ(GetText(loaded, &IUDPPort::get_RemoteHost), "192.0.2.7");
    EXPECT_EQ(loaded->get_RemotePort(&value), S_OK);
    EXPECT_EQ(value, 53);
    VARIANT_BOOL flag = VARIANT_FALSE;
    EXPECT_EQ(loaded->get_UseConnection(&flag), S_OK);
    EXPECT_EQ(flag, VARIANT_TRUE);
    EXPECT_EQ(loaded->get_WinsockLoaded(&flag), S_OK);
    EXPECT_EQ(flag, VARIANT_TRUE);
}

}  // namespace
}  // namespace quenda::testing
