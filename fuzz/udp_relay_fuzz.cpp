// Fuzzes the UDP relay with a sequence of events: client requests, replies from listed and
// unlisted senders, floods and sweeps, against the recording fakes the relay tests use. The
// relay must only ever forward what a client sent, answer only clients that asked, and keep
// its table's counts true.
#include <memory>
#include <set>
#include <string>

#include "app/relay/pending_sweep.h"
#include "app/relay/udp_relay.h"
#include "fuzz/fuzz_support.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fake_relay_ports.h"

using namespace quenda;
using namespace quenda::test;

namespace {

// What each record does, by tag modulo kEventKinds.
enum Event {
    kClientRequest,  // body: the datagram; tag bits 3-4 pick the client
    kReplyFromA,     // body: the datagram, from the first server's DNS port
    kReplyFromB,     // the second server
    kStrayReply,     // from an unlisted address, or a listed one on another port
    kSweep,          // the first two body octets (x 100 ms) pass, then a sweep
    kFlood,          // the last request again, first body octet x 8 times
    kToggle,         // options: cache off/on and log detail from the first body octet
    kEventKinds
};

constexpr const char* kClients[] = {"192.168.1.20", "192.168.1.21", "10.0.0.1", "127.0.0.1"};

// Requests go upstream under the relay's own message ID: what follows it is the client's.
std::string WithoutId(const std::string& datagram) {
    return datagram.size() < 2 ? std::string() : datagram.substr(2);
}

struct Relay {
    Relay() {
        servers[0].address = "10.0.0.1";
        servers[0].enabled = true;
        servers[1].address = "10.0.0.2";
        servers[1].enabled = true;
        servers[2].address = "10.0.0.3";  // listed, never enabled
    }
    PendingTable table;
    NameServerList servers;
    RequestCounters counters;
    FakeStatisticsView statisticsView;
    Statistics statistics{counters, servers, table, statisticsView};
    Options options;
    FakeDatagramPort upstreamPort;
    FakeDatagramPort clientPort;
    FakeCache cache;
    FakeLog log;
    FakeClock clock;
    FakeRelayHooks hooks;
    FakeMessageIds ids;
    RelayEnvironment environment{table,      servers, counters, statistics, options, upstreamPort,
                                 clientPort, cache,   log,      clock,      hooks,   ids};
    UdpRelay relay{environment};
    PendingSweep sweep{environment, relay};
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto r = std::make_unique<Relay>();
    std::set<std::string> asked;          // every datagram a client sent
    std::set<std::string> askingClients;  // every client that sent one
    std::string last;
    const char* lastClient = kClients[0];

    fuzz::RecordReader records(fuzz::AsText(data, size));
    uint8_t tag = 0;
    std::string_view body;
    while (records.Next(&tag, &body)) {
        const char* client = kClients[(tag >> 3) & 3];
        switch (tag % kEventKinds) {
            case kClientRequest:
                last.assign(body);
                lastClient = client;
                asked.insert(WithoutId(last));
                askingClients.insert(client);
                r->relay.HandleClientRequest(body, client, static_cast<uint16_t>(1024 + tag));
                break;
            case kReplyFromA:
                r->relay.HandleServerReply(body, "10.0.0.1", kDnsPort);
                break;
            case kReplyFromB:
                r->relay.HandleServerReply(body, "10.0.0.2", kDnsPort);
                break;
            case kStrayReply:
                r->relay.HandleServerReply(body, tag & 8 ? "10.0.0.9" : "10.0.0.1",
                                           tag & 8 ? kDnsPort : 5353);
                break;
            case kSweep: {
                uint32_t ms = 0;
                for (size_t i = 0; i < 2 && i < body.size(); ++i) {
                    ms = ms << 8 | static_cast<uint8_t>(body[i]);
                }
                r->clock.Advance(ms * 100);
                r->sweep.SweepPending();
                break;
            }
            case kFlood: {
                const int times = body.empty() ? 1 : static_cast<uint8_t>(body[0]) * 8;
                asked.insert(WithoutId(last));
                askingClients.insert(lastClient);
                for (int i = 0; i < times; ++i)
                    r->relay.HandleClientRequest(last, lastClient, 4000);
                break;
            }
            case kToggle: {
                const uint8_t bits = body.empty() ? 0 : static_cast<uint8_t>(body[0]);
                r->options.cacheDisabled = bits & 1;
                r->options.LOG_DETAIL = static_cast<int16_t>(bits >> 1 & 3);
                break;
            }
        }
        FUZZ_CHECK(r->table.PendingCount() <= kPendingSlots);
        FUZZ_CHECK(r->table.WaitingCount() <= r->table.PendingCount());
    }

    int waiting = 0;
    for (int i = 0; i < r->table.PendingCount(); ++i) waiting += r->table[i].IsWaiting();
    FUZZ_CHECK(waiting == r->table.WaitingCount());
    for (const SentDatagram& sent : r->upstreamPort.sent) {
        FUZZ_CHECK(asked.count(WithoutId(sent.data)) == 1);
        FUZZ_CHECK(sent.port == kDnsPort);
    }
    for (const SentDatagram& sent : r->clientPort.sent) {
        FUZZ_CHECK(askingClients.count(sent.host) == 1);
    }
    return 0;
}
