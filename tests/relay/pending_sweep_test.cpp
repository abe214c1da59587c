// The sweep: negative replies passed on, expiry after 35 s, housekeeping by sweep count.
#include "app/relay/dns_codec.h"
#include "tests/relay/relay_fixture.h"

namespace quenda::test {
namespace {

TEST_F(RelayTest, OneNegativeReplyIsPassedOnAfterSevenSeconds) {
    Ask(Query("neg.example", 1, 0x5151));
    const std::string no = NegativeReply("neg.example", 1, 0x9999);
    Reply(no);
    EXPECT_TRUE(ToClients().empty());
    EXPECT_TRUE(cache.entries.empty());
    EXPECT_EQ(table[0].NegativeCount, 1);

    SweepAfter(6000);
    EXPECT_TRUE(ToClients().empty());
    SweepAfter(2000);
    ASSERT_EQ(ToClients().size(), 1u);
    EXPECT_EQ(IdOf(ToClients()[0].data), 0x5151);
    EXPECT_EQ(ToClients()[0].data.substr(2), no.substr(2));
    EXPECT_EQ(counters.ADNS, 1);
    EXPECT_EQ(servers.NDNS, 0);          // credits no server
    EXPECT_EQ(table.PendingCount(), 1);  // answered, the slot stays
    SweepAfter(2000);
    EXPECT_EQ(ToClients().size(), 1u);
}

TEST_F(RelayTest, UsableReplyBeforeTheDelayWinsOverANegativeOne) {
    Ask(Query("mixed.example"));
    Reply(NegativeReply("mixed.example"), kServerA);
    SweepAfter(2000);
    const std::string good = GoodReply("mixed.example");
    Reply(good, kServerB);
    SweepAfter(8000);
    ASSERT_EQ(ToClients().size(), 1u);
    EXPECT_EQ(ToClients()[0].data, good);
}

TEST_F(RelayTest, EveryServerSayingNoIsPassedOnAtTheLastReplyAndFreed) {
    settings.LOG_DETAIL = 2;
    Ask(Query("gone.example", 1, 0x0F0F));
    clock.Advance(3);
    Reply(NegativeReply("gone.example"), kServerA);
    EXPECT_TRUE(ToClients().empty());
    clock.Advance(4);
    DnsMessage failure;  // any "no" counts: the last one is passed on
    failure.response = true;
    failure.rcode = 2;
    failure.name = "gone.example";
    const std::string last = Build(failure);
    Reply(last, kServerB);
    // Delivered as the sweep delivers it, without waiting for one.
    ASSERT_EQ(ToClients().size(), 1u);
    EXPECT_EQ(IdOf(ToClients()[0].data), 0x0F0F);
    EXPECT_EQ(ToClients()[0].data.substr(2), last.substr(2));
    EXPECT_EQ(table.PendingCount(), 0);
    EXPECT_EQ(counters.ADNS, 1);
    EXPECT_EQ(servers.NDNS, 0);
    EXPECT_TRUE(log.Has("A: (host not found): gone.example [in 7ms]", 2));
    EXPECT_TRUE(cache.entries.empty());
    SweepAfter(2000);
    EXPECT_EQ(ToClients().size(), 1u);
    EXPECT_EQ(counters.ADNS, 1);
}

TEST_F(RelayTest, TwoClientsShareNegativeRepliesForOneKey) {
    Ask(Query("both.example", 1, 1), 1001);  // upstream as 0xA000
    Ask(Query("both.example", 1, 2), 1002);  // upstream as 0xA001
    // Server A says no to both forwarded requests: two negatives for each slot, enough.
    relay.HandleServerReply(NegativeReply("both.example", 1, 0xA000), kServerA, kDnsPort);
    EXPECT_TRUE(ToClients().empty());
    EXPECT_EQ(table[1].NegativeCount, 1);
    relay.HandleServerReply(NegativeReply("both.example", 1, 0xA001), kServerA, kDnsPort);
    ASSERT_EQ(ToClients().size(), 2u);
    EXPECT_EQ(IdOf(ToClients()[0].data), 1);
    EXPECT_EQ(IdOf(ToClients()[1].data), 2);
    EXPECT_EQ(counters.ADNS, 2);
    // As the sweep does, only the first slot goes; the other, served, stays its life time.
    ASSERT_EQ(table.PendingCount(), 1);
    EXPECT_EQ(IdOf(table[0].ClientId), 2);
    EXPECT_TRUE(table[0].ServerTick.has_value());
}

TEST_F(RelayTest, NoEnabledServerLeftServesANegativeReplyAtOnce) {
    Ask(Query("off.example"));
    Reply(NegativeReply("off.example"));
    servers[0].enabled = false;
    servers[1].enabled = false;
    SweepAfter(10);
    EXPECT_EQ(ToClients().size(), 1u);
    EXPECT_EQ(table.PendingCount(), 0);
}

TEST_F(RelayTest, UnansweredRequestsAreCountedOnceAndFreedAfter35Seconds) {
    for (int i = 0; i < 5; ++i) Ask(Query("lost" + std::to_string(i) + ".example"));
    Ask(Query("fine.example"));
    Reply(GoodReply("fine.example"));
    SweepAfter(34000);
    EXPECT_EQ(table.PendingCount(), 6);
    EXPECT_EQ(counters.NOTANSWERED, 0);
    // Slots moved into a freed position wait for the next sweep.
    SweepAfter(1500);
    SweepAfter(2000);
    SweepAfter(2000);
    SweepAfter(2000);
    EXPECT_EQ(table.PendingCount(), 0);
    EXPECT_EQ(counters.NOTANSWERED, 5);
    EXPECT_TRUE(ToClients().size() == 1u);
    statistics.UpDateStatistic();
    EXPECT_EQ(statisticsView.shares[2], 83);  // 5 lost of 6
}

TEST_F(RelayTest, CacheAnsweredRequestStaysToCreditTimeGained) {
    const std::string stored = GoodReply("slow.example");
    cache.CacheStore(MakeCacheKey(stored), stored);
    Ask(Query("slow.example"));
    SweepAfter(30000);
    ASSERT_EQ(table.PendingCount(), 1);
    Reply(GoodReply("slow.example"), kServerB);
    EXPECT_EQ(counters.WTIME, 30000);
    SweepAfter(6000);
    EXPECT_EQ(table.PendingCount(), 0);
    EXPECT_EQ(counters.NOTANSWERED, 0);
}

TEST_F(RelayTest, ExpiryWorksAcrossTheTickWrap) {
    clock.Set(0xFFFFF000u);
    Ask(Query("late.example"));
    SweepAfter(36000);
    EXPECT_EQ(table.PendingCount(), 0);
    EXPECT_EQ(counters.NOTANSWERED, 1);
}

TEST_F(RelayTest, HousekeepingRunsByTheSweepCount) {
    sweepHooks.serverTabShown = true;
    for (int i = 0; i < 200; ++i) sweep.SweepPending();
    EXPECT_EQ(hooks.listViews, 67);  // sweeps 0, 3, ..., 198
    EXPECT_EQ(sweepHooks.saves, 3);  // sweeps 20, 80, 140
    sweepHooks.serverTabShown = false;
    for (int i = 200; i < 9999; ++i) sweep.SweepPending();
    EXPECT_EQ(sweep.SweepTicks(), 9999);
    const int saves = sweepHooks.saves;
    sweep.SweepPending();
    EXPECT_EQ(sweep.SweepTicks(), 0);
    for (int i = 0; i < 21; ++i) sweep.SweepPending();
    EXPECT_EQ(sweepHooks.saves, saves + 1);  // again at sweep 20 after the wrap
    EXPECT_EQ(hooks.listViews, 67);
}

TEST_F(RelayTest, Timer1TickUnloadsOnQuitInsteadOfSweeping) {
    Ask(Query("q.example"));
    sweepHooks.quit = true;
    clock.Advance(40000);
    sweep.Timer1Tick();
    EXPECT_EQ(sweepHooks.unloads, 1);
    EXPECT_EQ(table.PendingCount(), 1);
    sweepHooks.quit = false;
    sweep.Timer1Tick();
    EXPECT_EQ(table.PendingCount(), 0);
    EXPECT_EQ(statisticsView.waiting, " 0");
}

}  // namespace
}  // namespace quenda::test
