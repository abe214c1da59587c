// A relay wired to fakes, with two enabled name servers 10.0.0.1 and 10.0.0.2.
#pragma once

#include <gtest/gtest.h>

#include "app/relay/dns_codec.h"
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
    // A reply from a listed server's DNS port, under the message ID the relay last sent its
    // question to that server with (its own ID when the question was never sent there).
    void Reply(const std::string& reply, const std::string& server = kServerA) {
        relay.HandleServerReply(AnswerTo(reply, server), server, kDnsPort);
    }
    std::string AnswerTo(std::string reply, const std::string& server) const {
        const std::string key = MakeCacheKey(reply);
        for (auto sent = upstreamPort.sent.rbegin(); sent != upstreamPort.sent.rend(); ++sent) {
            if (sent->host == server && EqualsIgnoringCase(MakeCacheKey(sent->data), key)) {
                reply.replace(0, 2, sent->data.substr(0, 2));
                break;
            }
        }
        return reply;
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
    FakeMessageIds ids;
    FakeSweepHooks sweepHooks;
    RelayEnvironment environment{table,      servers, counters, statistics, settings, upstreamPort,
                                 clientPort, cache,   log,      clock,      hooks,    ids};
    UdpRelay relay{environment};
    PendingSweep sweep{environment, relay, sweepHooks};
};

}  // namespace quenda::test
