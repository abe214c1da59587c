// The program's adapter over UDPPort: creation that registers the library on a fresh
// registry, host error numbers, sending with remote-address reuse, DataIn with unsigned ports.
#include "app/shell/udp_port_control.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "platform/com/guid.h"

#include "platform/registry/registry.h"
#include "tests/support/qt_loop.h"
#include "tests/support/temp_directory.h"

namespace quenda::testing {
namespace {

using test::RunLoopUntil;

struct Received {
    std::string datagram;
    std::string address;
    uint16_t port;
};

class UdpPortControlTest : public ::testing::Test {
  protected:
    void SetUp() override { Registry::SetProcessPath(dir_ / "registry"); }

    std::unique_ptr<UdpPortControl> Make(std::vector<Received>* received) {
        HRESULT hr = E_FAIL;
        auto port = UdpPortControl::Create(QUENDA_TARNEL_LIBRARY, &hr);
        EXPECT_EQ(hr, S_OK);
        if (port && received != nullptr) {
            port->SetDataInHandler(
                [received](std::string_view datagram, const std::string& address, uint16_t from) {
                    received->push_back({std::string(datagram), address, from});
                });
        }
        return port;
    }

    static int32_t BoundPort(UdpPortControl& port) {
        int32_t bound = 0;
        EXPECT_EQ(port.Control()->get_LocalPort(&bound), S_OK);
        return bound;
    }

    test::TempDirectory dir_;
};

TEST_F(UdpPortControlTest, TheRelayEndpointsOpenAndExchangeBytesExactly) {
    std::vector<Received> atService, atUpstream;
    auto upstream = Make(&atUpstream);
    auto service = Make(&atService);
    ASSERT_TRUE(upstream && service);
    ASSERT_EQ(OpenUdpEndpoints(*upstream, *service, 0), 0);
    EXPECT_TRUE(upstream->IsActive() && service->IsActive());
    const int32_t servicePort = BoundPort(*service);
    const uint16_t upstreamPort = static_cast<uint16_t>(BoundPort(*upstream));

    std::string query("\x12\x34\x01\x00\x00\x01\x00\x00\x00\x00\x00\x00\x03www\x00\x00\x01\x00\x01",
                      21);
    upstream->SendDatagram("127.0.0.1", static_cast<uint16_t>(servicePort), query);
    upstream->SendDatagram("127.0.0.1", static_cast<uint16_t>(servicePort),
                           "second");  // same remote, no reset
    upstream->SendDatagram("localhost", static_cast<uint16_t>(servicePort), "by name");
    const std::string large(60000, 'L');  // a big EDNS reply arrives whole
    upstream->SendDatagram("127.0.0.1", static_cast<uint16_t>(servicePort), large);
    ASSERT_TRUE(RunLoopUntil([&] { return atService.size() == 4; }));
    EXPECT_EQ(upstream->LastError(), 0) << upstream->LastErrorText();
    EXPECT_EQ(atService[0].datagram, query);
    EXPECT_EQ(atService[0].address, "127.0.0.1");
    EXPECT_EQ(atService[0].port, upstreamPort);
    EXPECT_EQ(atService[1].datagram, "second");
    EXPECT_EQ(atService[2].datagram, "by name");
    EXPECT_EQ(atService[3].datagram, large);

    // The port taken by the service cannot be opened twice.
    auto clash = Make(nullptr);
    ASSERT_TRUE(clash);
    EXPECT_EQ(clash->SetLocalPort(servicePort), 0);
    EXPECT_EQ(clash->SetActive(true), kAddressInUse);
    EXPECT_EQ(clash->LastErrorText(), "[10048] Address already in use");
    EXPECT_FALSE(clash->IsActive());
    EXPECT_EQ(clash->SetInBufferSize(65536), 0);
}

TEST_F(UdpPortControlTest, ErrorEventsReachTheHandler) {
    std::vector<Received> received;
    std::vector<std::pair<int, std::string>> errors;
    auto small = Make(&received);
    auto sender = Make(nullptr);
    ASSERT_TRUE(small && sender);
    small->SetErrorHandler(
        [&](int code, const std::string& text) { errors.emplace_back(code, text); });
    ASSERT_EQ(small->SetMaxPacketSize(512), 0);
    ASSERT_EQ(small->SetActive(true), 0);
    ASSERT_EQ(sender->SetActive(true), 0);
    sender->SendDatagram("127.0.0.1", static_cast<uint16_t>(BoundPort(*small)),
                         std::string(513, 'x'));
    ASSERT_TRUE(RunLoopUntil([&] { return !errors.empty(); }));
    EXPECT_EQ(errors[0].first, 10040);  // WSAEMSGSIZE
    EXPECT_EQ(errors[0].second, "Winsock error in recv()");
    EXPECT_TRUE(received.empty());
}

TEST_F(UdpPortControlTest, FailedSendsAreKeptNotThrownAndTheNextRemoteIsSetAfresh) {
    auto port = Make(nullptr);
    ASSERT_TRUE(port);
    port->SendDatagram("127.0.0.1", 9, "inactive");
    EXPECT_EQ(port->LastError(), 20110);
    EXPECT_EQ(port->LastErrorText(), "The control must be Active for this operation.");
    ASSERT_EQ(port->SetActive(true), 0);
    port->SendDatagram("127.9.8.7", 53, "x");
    Bstr remote;
    ASSERT_EQ(port->Control()->get_RemoteHost(remote.Out()), S_OK);
    EXPECT_EQ(Latin1FromBstr(remote.Get()), "127.9.8.7");
    EXPECT_EQ(port->SetActive(false), 0);
    EXPECT_FALSE(port->IsActive());
    EXPECT_EQ(port->SetWinsockLoaded(true), 0);
}

TEST_F(UdpPortControlTest, AStaleRegistrationGivesWayToTheBundledLibrary) {
    const std::string key = "CLSID\\" + GuidToString(CLSID_UDPPort) + "\\InprocServer32";
    const auto registered = [&] {
        std::string path;
        Registry().QueryString(RegRoot::kClassesRoot, key, "", &path);
        return path;
    };
    ASSERT_TRUE(Make(nullptr));
    const std::string bundled = registered();

    // A build tree that has moved away, then an older install's copy still in place.
    std::filesystem::create_directory(dir_ / "old");
    const std::filesystem::path copy = dir_ / "old" / "libtarnel.so";
    std::filesystem::copy_file(QUENDA_TARNEL_LIBRARY, copy);
    for (const std::string& stale : {(dir_ / "moved" / "libtarnel.so").string(), copy.string()}) {
        ASSERT_EQ(Registry().SetString(RegRoot::kClassesRoot, key, "", stale), RegStatus::kOk);
        EXPECT_TRUE(Make(nullptr)) << stale;
        EXPECT_EQ(registered(), bundled) << stale;
    }
}

}  // namespace
}  // namespace quenda::testing
