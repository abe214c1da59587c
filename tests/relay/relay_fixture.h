// A relay wired to fakes, with two enabled name servers 10.0.0.1 and 10.0.0.2.
#pragma once

#include <gtest/gtest.h>

#include "app/relay/pending_sweep.h"
#include "app/relay/udp_relay.h"
#include "tests/support/dns_builder.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fake_relay_ports.h"

namespace quenda::test {

class RelayTest : public ::testing::Test {
  protected:
    RelayTest() {
        servers[0].address = kServerA;
        servers[0].enabled = true;
        servers[1].address = kServerB;
        servers[1].enabled = true;
    }

    // A client request from kClient:port.
    void Ask(const std::string& query, uint16_t port = 5353, const std::string& client = kClient) {
        relay.HandleClientRequest(query, client, port);
    }
    // A reply from a listed server's DNS port.
    void Reply(const std::string& reply, const std::string& server = kServerA) {
        relay.HandleServerReply(reply, server, kDnsPort);
    }
    // Sweeps once after advancing the clock.
    void SweepAfter(uint32_t ms) {
        clock.Advance(ms);
        sweep.SweepPending();
    }
    const std::vector<SentDatagram>& ToClients() const { return clientPort.sent; }

    static constexpr const char* kServerA = "10.0.0.1";
    static constexpr const char* kServerB = "10.0.0.2";
    static constexpr const char* kClient = "192.168.1.20";

    PendingTable table;
    NameServerList servers;
    RequestCounters counters;
    FakeStatisticsView statisticsView;
    Statistics statistics{counters, servers, table, statisticsView};
    Options settings;
    FakeDatagramPort upstreamPort;
    FakeDatagramPort clientPort;
    FakeCache cache;
    FakeLog log;
    FakeClock clock;
    FakeRelayHooks hooks;
    RelayEnvironment environment{table,      servers, counters, statistics, settings, upstreamPort,
                                 clientPort, cache,   log,      clock,      hooks};
    UdpRelay relay{environment};
    PendingSweep sweep{environment, relay};
};

}  // namespace quenda::test
