// The host's own addresses: interfaces and host name, without duplicates.
#include "app/shell/local_interfaces.h"

#include <gtest/gtest.h>

#include "tests/support/fake_relay_ports.h"

namespace quenda {
namespace {

int Occurrences(const LocalAddresses& local, const std::string& address) {
    int found = 0;
    for (int i = 0; i < std::min(local.Count(), LocalAddresses::kCapacity); ++i) {
        found += local[i] == address ? 1 : 0;
    }
    return found;
}

TEST(LocalInterfaces, InterfacesAreKeptWhenWinsockIsMissing) {
    LocalAddresses local;
    test::FakeLog log;
    EXPECT_EQ(CollectLocalAddresses(nullptr, local, log), 0);
    EXPECT_TRUE(log.Has(kWinsockFailureText, 1));
    EXPECT_EQ(local[0], "127.0.0.1");
    EXPECT_EQ(local[1], "255.255.255.255");
    EXPECT_EQ(Occurrences(local, "127.0.0.1"), 1);  // the loopback interface is not added again
}

TEST(LocalInterfaces, HostNameAddressesJoinThroughWinsock) {
    WinsockApi api;
    std::string error;
    ASSERT_TRUE(LoadWinsockApi(QUENDA_LIB_DIR "/libwsock32.so", &api, &error)) << error;
    LocalAddresses local;
    test::FakeLog log;
    EXPECT_EQ(CollectLocalAddresses(&api, local, log), 1);
    EXPECT_TRUE(log.lines.empty());
    WSADATA data{};  // the collection cleaned up after itself: start again to look
    ASSERT_EQ(api.WSAStartup(0x0101, &data), 0);
    char name[256] = {};
    ASSERT_EQ(api.gethostname(name, sizeof name), 0);
    const WS_hostent* host = api.gethostbyname(name);
    ASSERT_NE(host, nullptr);
    const auto* octets = reinterpret_cast<const unsigned char*>(host->h_addr_list[0]);
    const std::string first = std::to_string(octets[0]) + "." + std::to_string(octets[1]) + "." +
                              std::to_string(octets[2]) + "." + std::to_string(octets[3]);
    EXPECT_EQ(Occurrences(local, first), 1);
}

}  // namespace
}  // namespace quenda
