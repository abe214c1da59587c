// One full request cycle (request, forward to two servers, reply, delivery) against tables
// holding 0, 700 and 1399 other requests, and a sweep over a full table.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "app/relay/dns_codec.h"
#include "app/relay/pending_sweep.h"
#include "app/relay/udp_relay.h"

namespace quenda {
namespace {

class NullPort final : public DatagramPort {
  public:
    bool IsActive() override { return true; }
    void SendDatagram(const std::string&, uint16_t, std::string_view data) override {
        benchmark::DoNotOptimize(data.data());
    }
};

class NullCache final : public RelayCache {
  public:
    std::string CacheLookup(const std::string&) override { return stored; }
    void CacheStore(const std::string&, std::string_view) override {}
    std::string stored;  // what every lookup finds; "" = every lookup misses
};

class NullLog final : public LogSink {
  public:
    void WriteLog(const std::string& text, int) override { benchmark::DoNotOptimize(text.data()); }
};

class NullHooks final : public RelayHooks, public SweepHooks, public StatisticsView {
  public:
    void ProcessPendingMessages() override {}
    void MakeListView() override {}
    bool UpdateEntryDataNameserver(std::string_view) override { return false; }
    void ShowCriticalError(const std::string&, const std::string&) override {}
    bool IsQuitRequested() override { return false; }
    void UnloadMainform() override {}
    bool IsServerTabShown() override { return false; }
    void SaveAllSettings() override {}
    void ShowShare(ShareBar, int) override {}
    void ShowWaiting(const std::string&) override {}
    void ShowTimeGained(const std::string&) override {}
};

// Every query goes upstream under the ID the canned replies carry.
class FixedIds final : public MessageIdSource {
  public:
    uint16_t NextMessageId() override { return 0x1234; }
};

class ManualClock final : public Clock {
  public:
    Tick Now() override { return now; }
    Tick now = 1;
};

std::string Message(const std::string& name, bool reply) {
    std::string m("\x12\x34", 2);
    m += reply ? std::string("\x81\x80\x00\x01\x00\x01\x00\x00\x00\x00", 10)
               : std::string("\x01\x00\x00\x01\x00\x00\x00\x00\x00\x00", 10);
    m += EncodeName(name);
    m += std::string("\x00\x01\x00\x01", 4);  // type A, class IN
    if (reply)
        m += std::string("\xc0\x0c\x00\x01\x00\x01\x00\x00\x0e\x10\x00\x04\x0a\x00\x00\x01", 16);
    return m;
}

struct Bench {
    Bench() {
        servers[0].address = "10.0.0.1";
        servers[0].enabled = true;
        servers[1].address = "10.0.0.2";
        servers[1].enabled = true;
        settings.LOG_DETAIL = 2;
    }
    // Fills the table with answered requests that are never matched again.
    void Fill(int count) {
        for (int i = 0; i < count; ++i) {
            const std::string name = "filler" + std::to_string(i) + ".example.net";
            relay.HandleClientRequest(Message(name, false), "192.168.1.9", 4000);
            relay.HandleServerReply(Message(name, true), "10.0.0.1", kDnsPort);
        }
    }

    PendingTable table;
    NameServerList servers;
    RequestCounters counters;
    NullHooks hooks;
    Statistics statistics{counters, servers, table, hooks};
    Options settings;
    NullPort upstream, clients;
    NullCache cache;
    NullLog log;
    ManualClock clock;
    FixedIds ids;
    RelayEnvironment environment{table,   servers, counters, statistics, settings, upstream,
                                 clients, cache,   log,      clock,      hooks,    ids};
    UdpRelay relay{environment};
    PendingSweep sweep{environment, relay, hooks};
};

void BM_RequestCycle(benchmark::State& state) {
    auto bench = std::make_unique<Bench>();
    bench->Fill(static_cast<int>(state.range(0)));
    const std::string query = Message("www.example.org", false);
    const std::string reply = Message("www.example.org", true);
    const int base = bench->table.PendingCount();
    for (auto _ : state) {
        bench->relay.HandleClientRequest(query, "192.168.1.20", 5353);
        bench->relay.HandleServerReply(reply, "10.0.0.1", kDnsPort);
        bench->relay.HandleServerReply(reply, "10.0.0.2", kDnsPort);
        bench->table.RemovePending(base);  // keep the table at its size
    }
}
BENCHMARK(BM_RequestCycle)->Arg(0)->Arg(700)->Arg(1399);

// A cache hit for the one name every other slot also asked for (a busy client repeating a
// question): delivery from the cache, the refresh upstream and its reply.
void BM_CacheHitOneName(benchmark::State& state) {
    auto bench = std::make_unique<Bench>();
    const std::string query = Message("www.example.org", false);
    const std::string reply = Message("www.example.org", true);
    bench->cache.stored = reply;
    for (int i = 0; i <= state.range(0); ++i) {  // the first reply sets upstream seen
        bench->relay.HandleClientRequest(query, "192.168.1.9", 4000);
        bench->relay.HandleServerReply(reply, "10.0.0.1", kDnsPort);
    }
    const int base = bench->table.PendingCount();
    for (auto _ : state) {
        bench->relay.HandleClientRequest(query, "192.168.1.20", 5353);
        bench->relay.HandleServerReply(reply, "10.0.0.1", kDnsPort);
        bench->table.RemovePending(base);
    }
}
BENCHMARK(BM_CacheHitOneName)->Arg(0)->Arg(700)->Arg(1399);

void BM_SweepFullTable(benchmark::State& state) {
    auto bench = std::make_unique<Bench>();
    bench->Fill(kPendingSlots);
    for (auto _ : state) bench->sweep.SweepPending();  // ages stay below 7 s: a pass, no removal
}
BENCHMARK(BM_SweepFullTable);

}  // namespace
}  // namespace quenda

BENCHMARK_MAIN();
