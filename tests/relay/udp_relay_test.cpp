// Requests in, replies matched by key, answers out: cache hits, forwarding, delivery, crediting.
#include <gmock/gmock.h>

#include "app/relay/dns_codec.h"
#include "tests/relay/relay_fixture.h"

namespace quenda::test {
namespace {

using ::testing::ElementsAre;
using namespace std::string_literals;

TEST_F(RelayTest, MissIsLoggedCountedAndForwardedUnderItsOwnIdToEveryEnabledServer) {
    servers[2].address = "10.0.0.3";  // listed but disabled
    settings.LOG_DETAIL = 3;
    const std::string query = Query("www.example.org", 28, 0x4242);
    Ask(query);

    EXPECT_TRUE(log.Has("Q: 192.168.1.20 for: www.example.org; TYPE: AAAA", 1));
    EXPECT_EQ(counters.TOTALQ, 1);
    ASSERT_EQ(table.PendingCount(), 1);
    EXPECT_EQ(table[0].Key, MakeCacheKey(query));
    EXPECT_TRUE(table[0].IsWaiting());
    EXPECT_THAT(upstreamPort.HostsSentTo(), ElementsAre(kServerA, kServerB));
    for (const auto& sent : upstreamPort.sent) {
        EXPECT_EQ(sent.port, kDnsPort);
        EXPECT_EQ(IdOf(sent.data), 0xA000);  // the slot's own ID, the same for every server
        EXPECT_EQ(sent.data.substr(2), query.substr(2));
    }
    EXPECT_EQ(table[0].UpstreamId, 0xA000);
    EXPECT_EQ(hooks.pumps, 1);  // once every server is asked
    EXPECT_TRUE(ToClients().empty());
}

TEST_F(RelayTest, WhatIsNoQueryIsDroppedBeforeTheTable) {
    std::string unwalkable = Query("a.b");
    unwalkable[12] = '\xc0';  // a pointer where the name begins
    const std::string rejected[] = {
        "x",
        Query("a.b").substr(0, 19),  // no room for QTYPE and QCLASS
        GoodReply("a.b"),            // QR set
        [&] {                        // QDCOUNT 0
            std::string q = Query("a.b");
            q[5] = 0;
            return q;
        }(),
        unwalkable,
        Query("a.b").substr(0, 15) + std::string(4, '\1'),  // labels run past the end
    };
    for (const std::string& datagram : rejected) Ask(datagram, 4000);
    EXPECT_EQ(table.PendingCount(), 0);
    EXPECT_TRUE(upstreamPort.sent.empty());
    EXPECT_EQ(counters.TOTALQ, 0);
    ASSERT_EQ(log.lines.size(), std::size(rejected));
    for (const auto& [level, line] : log.lines) {
        EXPECT_EQ(level, 3);
        EXPECT_EQ(line, "Dropped request from 192.168.1.20:4000");
    }
    // The shortest query, for the root name, is one.
    Ask(std::string(Query("a.b").substr(0, 12)) + std::string("\0\0\x02\0\x01", 5));
    EXPECT_EQ(table.PendingCount(), 1);
    EXPECT_EQ(counters.TOTALQ, 1);
}

TEST_F(RelayTest, GoodReplyIsCachedAndDeliveredWithCredit) {
    settings.LOG_DETAIL = 3;
    servers[0].description = "Provider";
    Ask(Query("www.example.org", 1, 0x0101), 40000);
    clock.Advance(25);
    const std::string reply = GoodReply("www.example.org", 1, 0x0101);
    Reply(reply);

    ASSERT_EQ(ToClients().size(), 1u);
    EXPECT_EQ(ToClients()[0].host, kClient);
    EXPECT_EQ(ToClients()[0].port, 40000);
    EXPECT_EQ(ToClients()[0].data, reply);
    EXPECT_EQ(cache.entries.count(FakeCache::Upper(MakeCacheKey(reply))), 1u);
    EXPECT_EQ(counters.ADNS, 1);
    EXPECT_EQ(servers[0].WINNING, 1);
    EXPECT_EQ(servers.NDNS, 1);
    EXPECT_EQ(servers[0].ATIME, 25);
    EXPECT_EQ(servers[0].NATIME, 1);
    EXPECT_TRUE(servers[0].responded);
    EXPECT_FALSE(servers[1].responded);
    EXPECT_TRUE(log.Has("A: Provider: www.example.org [in 25ms] TYPE: A", 2));
    EXPECT_TRUE(relay.UpstreamSeen());
}

TEST_F(RelayTest, FirstAnswerCountsAreAgedBeforeTheWindowsHearOfThem) {
    servers[0].WINNING = 6000;
    servers[1].WINNING = 4000;
    servers.NDNS = 10000;
    Ask(Query("aged.example"));
    Reply(GoodReply("aged.example"));
    // 10 001 first answers pass the limit: a tenth goes, the residue to position 0.
    EXPECT_EQ(servers.NDNS, 9001);
    EXPECT_EQ(servers[0].WINNING + servers[1].WINNING, 9001);
    EXPECT_EQ(servers[1].WINNING, 3600);
    EXPECT_GT(hooks.listViews, 0);
}

TEST_F(RelayTest, OneReplyServesEveryWaitingClientUnderItsOwnId) {
    Ask(Query("Shared.Example", 1, 0x1111), 1001, "192.168.1.21");
    Ask(Query("shared.example", 1, 0x2222), 1002, "192.168.1.22");
    Ask(Query("shared.example", 1, 0x3333), 1003, "192.168.1.23");
    clock.Advance(10);
    const std::string reply = GoodReply("shared.example", 1, 0x2222);
    Reply(reply);

    ASSERT_EQ(ToClients().size(), 3u);
    const uint16_t ids[] = {0x1111, 0x2222, 0x3333};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(ToClients()[i].port, 1001 + i);
        EXPECT_EQ(IdOf(ToClients()[i].data), ids[i]);
        // Nothing else changes but the spelling of the question, which is the asker's own.
        const std::string& data = ToClients()[i].data;
        EXPECT_EQ(data.substr(2), i == 0 ? GoodReply("Shared.Example").substr(2) : reply.substr(2));
    }
    EXPECT_EQ(counters.ADNS, 3);
    EXPECT_EQ(servers[0].WINNING, 3);  // a first answer per client served
    // Crediting is case-exact: only the two lower-case requests match, timed once.
    EXPECT_EQ(servers[0].NATIME, 1);
    EXPECT_EQ(table[0].ServerReplied[0], false);
    EXPECT_EQ(table[1].ServerReplied[0], true);
    EXPECT_EQ(table[2].ServerReplied[0], true);
    // Only the first client served is logged.
    int answerLines = 0;
    for (const auto& [level, line] : log.lines) answerLines += line.starts_with("A: ") ? 1 : 0;
    EXPECT_EQ(answerLines, 1);

    // The second server's later reply serves nobody but still refreshes cache and timing.
    clock.Advance(30);
    Reply(reply, kServerB);
    EXPECT_EQ(ToClients().size(), 3u);
    EXPECT_EQ(servers[1].ATIME, 40);
    EXPECT_EQ(servers[1].NATIME, 1);
    EXPECT_EQ(cache.stores, 2);
}

TEST_F(RelayTest, AAndAaaaForOneNameStayApartEndToEnd) {
    Ask(Query("dual.example", 1, 0x000A), 2001);
    Ask(Query("dual.example", 28, 0x001C), 2002);
    Reply(GoodReply("dual.example", 28, 0x001C));
    ASSERT_EQ(ToClients().size(), 1u);
    EXPECT_EQ(ToClients()[0].port, 2002);
    EXPECT_TRUE(table[0].IsWaiting());  // the A asker is still waiting
    Reply(GoodReply("dual.example", 1, 0x000A));
    ASSERT_EQ(ToClients().size(), 2u);
    EXPECT_EQ(ToClients()[1].port, 2001);
    EXPECT_EQ(GetQueryType(ToClients()[1].data), "A");
    EXPECT_EQ(cache.entries.size(), 2u);

    // A later A question is replayed the A answer, never the AAAA one.
    Ask(Query("dual.example", 1, 0x0B0B), 2003);
    ASSERT_EQ(ToClients().size(), 3u);
    EXPECT_EQ(GetQueryType(ToClients()[2].data), "A");
    EXPECT_EQ(IdOf(ToClients()[2].data), 0x0B0B);
}

TEST_F(RelayTest, CacheHitIsAnsweredAtOnceAndRefreshedUpstream) {
    settings.LOG_DETAIL = 3;
    const std::string stored = GoodReply("cached.example", 1, 0x7777);
    cache.CacheStore(MakeCacheKey(stored), stored);
    const std::string query = Query("cached.example", 1, 0x0042);
    Ask(query, 3000);

    ASSERT_EQ(ToClients().size(), 1u);
    EXPECT_EQ(ToClients()[0].data, AnswerFromCache(stored, query));
    EXPECT_EQ(counters.ACACHE, 1);
    EXPECT_TRUE(log.Has("A: CACHE: cached.example [in 0ms] ; TYPE: A", 2));
    ASSERT_TRUE(table[0].CacheTick.has_value());
    // No upstream datagram yet: the refresh goes to every enabled server.
    EXPECT_THAT(upstreamPort.HostsSentTo(), ElementsAre(kServerA, kServerB));

    // The refresh's reply credits the time the cache saved and reaches no client again.
    clock.Advance(80);
    Reply(GoodReply("cached.example", 1, 0x0042), kServerB);
    EXPECT_EQ(ToClients().size(), 1u);
    EXPECT_EQ(counters.WTIME, 80);
    EXPECT_TRUE(table[0].ServerTick.has_value());
    EXPECT_EQ(counters.ADNS, 0);

    // Once a server has replied, a hit is refreshed only at the server with most first answers.
    servers[1].WINNING = 5;
    upstreamPort.sent.clear();
    Ask(query, 3001);
    EXPECT_THAT(upstreamPort.HostsSentTo(), ElementsAre(kServerB));
}

// Records the order in which answers leave and log lines are written.
class OrderedLog final : public LogSink {
  public:
    explicit OrderedLog(const FakeDatagramPort& clients) : clients_(clients) {}
    void WriteLog(const std::string& text, int) override {
        lines.emplace_back(text, clients_.sent.size());
    }
    std::vector<std::pair<std::string, size_t>> lines;  // text, answers sent before it

  private:
    const FakeDatagramPort& clients_;
};

TEST_F(RelayTest, HitIsAnsweredBeforeItIsLoggedCountedOnScreenOrRefreshed) {
    settings.LOG_DETAIL = 2;
    OrderedLog ordered(clientPort);
    RelayEnvironment watched{table,      servers, counters, statistics, settings, upstreamPort,
                             clientPort, cache,   ordered,  clock,      hooks,    ids};
    UdpRelay hitRelay(watched);
    const std::string stored = GoodReply("cached.example");
    cache.CacheStore(MakeCacheKey(stored), stored);
    hooks.onPump = [&] { EXPECT_EQ(ToClients().size(), 1u); };

    hitRelay.HandleClientRequest(Query("cached.example"), kClient, 3000);
    ASSERT_EQ(ordered.lines.size(), 2u);
    EXPECT_EQ(ordered.lines[0], std::make_pair("Q: 192.168.1.20 for: cached.example"s, size_t{1}));
    EXPECT_EQ(ordered.lines[1], std::make_pair("A: CACHE: cached.example [in 0ms]"s, size_t{1}));
    EXPECT_EQ(statisticsView.waiting, " 0");  // drawn after the answer, with the answer counted
    EXPECT_EQ(hooks.pumps, 1);                // the refresh, after all of it
}

TEST_F(RelayTest, HitIsRefreshedOnlyWhileNoQueryOfItsKeyAwaitsAReply) {
    const std::string stored = GoodReply("busy.example", 1, 0x7777);
    const std::string key = MakeCacheKey(stored);
    cache.CacheStore(key, stored);
    // A reply from server to the query that went upstream as sent, with its own address octet.
    const auto replyTo = [](const SentDatagram& sent, char octet) {
        DnsMessage message;
        message.response = true;
        message.answers = 1;
        message.name = "busy.example";
        message.id = IdOf(sent.data);
        message.answerData = std::string("\xc0\x00\x02", 3) + octet;
        return Build(message);
    };
    const auto refreshes = [&] { return upstreamPort.sent.size(); };

    Ask(Query("busy.example"));
    EXPECT_EQ(refreshes(), 2u);  // to both servers: none has ever replied
    for (const char* spelling : {"busy.example", "BUSY.example"}) {
        clock.Advance(500);
        Ask(Query(spelling));
    }
    EXPECT_EQ(refreshes(), 2u);
    EXPECT_EQ(counters.ACACHE, 3);

    // The reply frees the key and credits the time saved as before (since the last hit).
    clock.Advance(100);
    relay.HandleServerReply(replyTo(upstreamPort.sent[1], 7), kServerB, kDnsPort);
    EXPECT_EQ(counters.WTIME, 100);
    Ask(Query("busy.example"));
    ASSERT_EQ(refreshes(), 3u);  // to the best server alone
    const SentDatagram older = upstreamPort.sent.back();

    // A refresh that gets no reply holds the key for two seconds.
    clock.Advance(kRefreshWindowMs - 1);
    Ask(Query("busy.example"));
    EXPECT_EQ(refreshes(), 3u);
    clock.Advance(1);
    Ask(Query("busy.example"));
    ASSERT_EQ(refreshes(), 4u);
    const SentDatagram latest = upstreamPort.sent.back();

    // A late reply still refreshes the entry; under an older query's ID it leaves the latest
    // query awaited.
    clock.Advance(100);
    relay.HandleServerReply(replyTo(older, 8), older.host, kDnsPort);
    EXPECT_EQ(cache.CacheLookup(key), replyTo(older, 8));
    Ask(Query("busy.example"));
    EXPECT_EQ(refreshes(), 4u);
    relay.HandleServerReply(replyTo(latest, 9), latest.host, kDnsPort);
    Ask(Query("busy.example"));
    EXPECT_EQ(refreshes(), 5u);

    // A forwarded miss holds its key as a refresh does.
    Ask(Query("fresh.example"));
    EXPECT_EQ(refreshes(), 7u);
    cache.CacheStore(MakeCacheKey(Query("fresh.example")), GoodReply("fresh.example"));
    clock.Advance(10);
    Ask(Query("fresh.example"));
    EXPECT_EQ(refreshes(), 7u);
    EXPECT_EQ(ToClients().size(), 10u);  // every hit, and the waiting miss with the last one
    EXPECT_EQ(counters.ACACHE, 10);
}

TEST_F(RelayTest, BestServerPrefersMostWinsThenLowerPositionAndNeedsAnOpenPort) {
    servers[0].enabled = false;
    EXPECT_EQ(relay.BestServer(), 1);
    servers[0].enabled = true;
    EXPECT_EQ(relay.BestServer(), 0);
    servers[1].WINNING = 3;
    EXPECT_EQ(relay.BestServer(), 1);
    servers[0].WINNING = 3;
    EXPECT_EQ(relay.BestServer(), 0);
    upstreamPort.active = false;
    EXPECT_EQ(relay.BestServer(), -1);
    relay.SendToAllServers("q");
    EXPECT_TRUE(upstreamPort.sent.empty());
}

TEST_F(RelayTest, NoCacheNeitherReadsNorWritesNorCountsTimeGained) {
    settings.cacheDisabled = true;
    const std::string reply = GoodReply("n.example");
    cache.CacheStore(MakeCacheKey(reply), reply);
    cache.stores = 0;
    Ask(Query("n.example"));
    EXPECT_EQ(cache.lookups, 0);
    EXPECT_TRUE(ToClients().empty());
    Reply(reply);
    EXPECT_EQ(cache.stores, 0);
    EXPECT_EQ(ToClients().size(), 1u);
    EXPECT_EQ(counters.TOTALQ, 1);
}

TEST_F(RelayTest, RepliesFromUnlistedSourcesChangeNothing) {
    Ask(Query("target.example"));
    const std::string forged = GoodReply("target.example");
    relay.HandleServerReply(forged, "10.9.9.9", kDnsPort);
    relay.HandleServerReply(forged, kServerA, 5353);
    relay.HandleServerReply(forged, "", kDnsPort);

    EXPECT_TRUE(ToClients().empty());
    EXPECT_TRUE(cache.entries.empty());
    EXPECT_FALSE(relay.UpstreamSeen());
    EXPECT_TRUE(hooks.offered.empty());
    EXPECT_TRUE(log.Has("Dropped reply from 10.9.9.9:53", 3));
    EXPECT_TRUE(log.Has("Dropped reply from 10.0.0.1:5353", 3));
    // A listed but disabled server is still one we may have asked.
    servers[1].enabled = false;
    Reply(forged, kServerB);
    EXPECT_EQ(ToClients().size(), 1u);
    EXPECT_EQ(servers[1].NATIME, 0);  // reply time only for enabled positions
}

TEST_F(RelayTest, ServerAddressesCompareAsTheAddressesDatagramsGoTo) {
    settings.LOG_DETAIL = 3;
    servers[0].address = "10.000.000.001";  // sent to 10.0.0.1
    servers[1].address = "010.0.0.2";       // octal: sent to 8.0.0.2
    Ask(Query("num.example"));
    relay.HandleServerReply(GoodReply("num.example", 1, 0xA000), kServerB, kDnsPort);
    EXPECT_TRUE(log.Has("Dropped reply from 10.0.0.2:53", 3));
    EXPECT_TRUE(ToClients().empty());
    relay.HandleServerReply(GoodReply("num.example", 1, 0xA000), kServerA, kDnsPort);
    ASSERT_EQ(ToClients().size(), 1u);
    EXPECT_EQ(servers[0].NATIME, 1);
    EXPECT_EQ(servers[0].WINNING, 1);
    EXPECT_TRUE(servers[0].responded);
}

TEST_F(RelayTest, CaseBlindDeliveryButCaseExactCreditAndNegatives) {
    Ask(Query("www.Example.ORG"));
    clock.Advance(5);
    Reply(NegativeReply("www.example.org"));
    EXPECT_EQ(table[0].NegativeCount, -1);
    EXPECT_EQ(servers[0].NATIME, 0);
    Reply(GoodReply("WWW.EXAMPLE.ORG"));
    EXPECT_EQ(ToClients().size(), 1u);
    EXPECT_EQ(servers[0].NATIME, 0);
}

TEST_F(RelayTest, ReplyTimeIsCreditedAtTheFirstEnabledPositionOnlyButWinsAtEvery) {
    servers[2].address = kServerA;
    servers[2].enabled = true;
    servers[2].description = " ";
    settings.LOG_DETAIL = 2;
    Ask(Query("dup.example"));
    clock.Advance(7);
    Reply(GoodReply("dup.example"));
    EXPECT_EQ(servers[0].NATIME, 1);
    EXPECT_EQ(servers[2].NATIME, 0);
    EXPECT_EQ(servers[0].WINNING, 1);
    EXPECT_EQ(servers[2].WINNING, 1);
    EXPECT_EQ(servers.NDNS, 2);
    // The last matching position names the server; a blank description shows the address.
    EXPECT_TRUE(log.Has("A: 10.0.0.1: dup.example [in 7ms]", 2));
}

TEST_F(RelayTest, HostEntryEditorMayTakeAReply) {
    Ask(Query("edit.example"));
    hooks.editorTakes = true;
    Reply(GoodReply("edit.example"));
    ASSERT_EQ(hooks.offered.size(), 1u);
    EXPECT_TRUE(relay.UpstreamSeen());
    EXPECT_TRUE(ToClients().empty());
    EXPECT_TRUE(cache.entries.empty());
    EXPECT_FALSE(servers[0].responded);
}

TEST_F(RelayTest, OnlyRepliesToWhatWasAskedUnderItsIdAreTaken) {
    settings.LOG_DETAIL = 3;
    servers[1].enabled = false;
    Ask(Query("asked.example", 1, 0x0101), 1001);  // upstream as 0xA000, to server A only
    Ask(Query("other.example", 1, 0x0202), 1002);  // upstream as 0xA001
    const auto replyFrom = [&](const char* name, uint16_t id, const std::string& server) {
        relay.HandleServerReply(GoodReply(name, 1, id), server, kDnsPort);
    };
    replyFrom("nobody.asked", 0xA000, kServerA);   // no slot holds its key
    replyFrom("asked.example", 0x0101, kServerA);  // the client's ID, not ours
    replyFrom("asked.example", 0xA001, kServerA);  // another request's ID
    replyFrom("asked.example", 0xA000, kServerB);  // a listed server that was not asked
    EXPECT_TRUE(ToClients().empty());
    EXPECT_TRUE(cache.entries.empty());
    EXPECT_FALSE(relay.UpstreamSeen());
    EXPECT_EQ(servers[0].NATIME + servers[1].NATIME, 0);
    int dropped = 0;
    for (const auto& [level, line] : log.lines)
        dropped += line.starts_with("Dropped reply") ? 1 : 0;
    EXPECT_EQ(dropped, 4);
    EXPECT_TRUE(log.Has("Dropped reply from 10.0.0.2:53", 3));

    replyFrom("asked.example", 0xA000, kServerA);
    ASSERT_EQ(ToClients().size(), 1u);
    EXPECT_EQ(IdOf(ToClients()[0].data), 0x0101);  // the client's own ID on the way back
    // A late reply, within the slot's life, still refreshes the cache.
    clock.Advance(20000);
    cache.entries.clear();
    replyFrom("asked.example", 0xA000, kServerA);
    EXPECT_EQ(cache.entries.size(), 1u);
    EXPECT_EQ(ToClients().size(), 1u);
}

TEST_F(RelayTest, LowLogDetailBuildsNoAnswerLines) {
    settings.LOG_DETAIL = 1;
    Ask(Query("quiet.example"));
    Reply(GoodReply("quiet.example"));
    ASSERT_EQ(log.lines.size(), 1u);
    EXPECT_EQ(log.lines[0].second, "Q: 192.168.1.20 for: quiet.example");
}

TEST_F(RelayTest, ControlOctetsOfNamesAreEscapedInLogLines) {
    settings.LOG_DETAIL = 2;
    const std::string name("evil\nA:forged\x1b[31m\x7f.example\xe9", 28);
    Ask(Query(name));
    Reply(GoodReply(name));
    const std::string shown = "evil\\010A:forged\\027[31m\\127.example\xe9";
    EXPECT_TRUE(log.Has("Q: 192.168.1.20 for: " + shown, 1));
    EXPECT_TRUE(log.Has("A: 10.0.0.1: " + shown + " [in 0ms]", 2));
    ASSERT_EQ(ToClients().size(), 1u);
    EXPECT_EQ(GetQueryName(ToClients()[0].data), name);  // the datagram itself is untouched
}

TEST_F(RelayTest, ClientAddressIsCutTo40Characters) {
    Ask(Query("a.example"), 1, std::string(50, '7'));
    EXPECT_EQ(table[0].ClientAddress, std::string(40, '7'));
}

TEST_F(RelayTest, EarlyReplyDuringForwardingFindsTheRequest) {
    const std::string query = Query("fast.example");
    hooks.onPump = [&] { Reply(GoodReply("fast.example")); };
    Ask(query);
    EXPECT_EQ(ToClients().size(), 1u);
    EXPECT_EQ(counters.ADNS, 1);
}

TEST_F(RelayTest, MessagesRunOnceARequestIsForwardedToEveryServer) {
    hooks.onPump = [&] { servers[1].enabled = false; };
    Ask(Query("a.example"));
    EXPECT_THAT(upstreamPort.HostsSentTo(), ElementsAre(kServerA, kServerB));
    EXPECT_EQ(hooks.pumps, 1);

    // With no server to ask, messages still get their one round.
    servers[0].enabled = false;
    Ask(Query("b.example"));
    EXPECT_EQ(hooks.pumps, 2);
    EXPECT_EQ(upstreamPort.sent.size(), 2u);
}

TEST_F(RelayTest, FullTableOfAnsweredRequestsReusesTheOldestAnsweredSlot) {
    for (int i = 0; i < kPendingSlots; ++i) {
        Ask(Query("n" + std::to_string(i) + ".example"), 1000,
            "192.168.2." + std::to_string(i % 3));
        clock.Advance(1);
    }
    ASSERT_EQ(table.PendingCount(), kPendingSlots);
    Reply(GoodReply("n5.example"));
    Reply(GoodReply("n3.example"));
    const std::string n3Key = MakeCacheKey(Query("n3.example"));

    Ask(Query("new.example"));
    EXPECT_EQ(table.PendingCount(), kPendingSlots);
    EXPECT_TRUE(hooks.criticalErrors.empty());
    EXPECT_TRUE(servers[0].enabled);
    EXPECT_EQ(table[3].Key, MakeCacheKey(Query("new.example")));  // n3 was the oldest answered
    EXPECT_EQ(counters.NOTANSWERED, 0);
}

TEST_F(RelayTest, FullTableOfWaitingRequestsDisablesEveryServerOnlyForAServersRequest) {
    // Our own forwarded queries coming back from a listed server's address: a loop.
    for (int i = 0; i < kPendingSlots; ++i) {
        Ask(Query("loop" + std::to_string(i) + ".example"), 1000, kServerA);
    }
    // Another client finds no slot, and nothing is disabled for it.
    settings.LOG_DETAIL = 3;
    Ask(Query("other.client"), 4444);
    EXPECT_TRUE(log.Has("Dropped request from 192.168.1.20:4444: no free slot", 3));
    EXPECT_EQ(table.PendingCount(), kPendingSlots);
    EXPECT_TRUE(servers[0].enabled);
    EXPECT_TRUE(hooks.criticalErrors.empty());
    EXPECT_EQ(counters.TOTALQ, kPendingSlots);

    upstreamPort.sent.clear();
    const int listViews = hooks.listViews;
    Ask(Query("one.more"), 1000, kServerB);

    EXPECT_EQ(table.PendingCount(), 0);
    for (int i = 0; i < kUsedNameServers; ++i) EXPECT_FALSE(servers[i].enabled);
    ASSERT_EQ(hooks.criticalErrors.size(), 1u);
    EXPECT_EQ(hooks.criticalErrors[0].first, "Critical Error!");
    EXPECT_EQ(hooks.criticalErrors[0].second, std::string(kCriticalErrorText));
    EXPECT_GT(hooks.listViews, listViews);
    EXPECT_TRUE(upstreamPort.sent.empty());  // passed on, but no server is enabled any more
    EXPECT_EQ(counters.TOTALQ, kPendingSlots + 1);
}

TEST_F(RelayTest, OneClientHoldsAtMostHalfTheWaitingSlots) {
    settings.LOG_DETAIL = 3;
    for (int i = 0; i < kPendingSlots; ++i) Ask(Query("f" + std::to_string(i) + ".example"), 7);
    EXPECT_EQ(table.PendingCount(), kPendingSlots / 2);
    EXPECT_TRUE(log.Has("Dropped request from 192.168.1.20:7: no free slot", 3));
    // Others still get in, and once one of its requests is answered the client may ask again.
    Ask(Query("neighbour.example"), 8, "192.168.1.99");
    EXPECT_EQ(table.PendingCount(), kPendingSlots / 2 + 1);
    Reply(GoodReply("f3.example"));
    Ask(Query("again.example"), 7);
    EXPECT_EQ(table.PendingCount(), kPendingSlots / 2 + 2);
    Ask(Query("too.many"), 7);
    EXPECT_EQ(table.PendingCount(), kPendingSlots / 2 + 2);
    EXPECT_TRUE(servers[0].enabled);
    EXPECT_EQ(counters.TOTALQ, kPendingSlots / 2 + 2);
}

TEST_F(RelayTest, CountersStopAt32767) {
    counters.ADNS = 32767;
    servers[0].WINNING = 32767;
    servers.NDNS = 9000;  // below the ageing threshold, which would shrink the counts
    Ask(Query("sat.example"));
    servers[0].ATIME = 2147483647;
    clock.Advance(3);
    Reply(GoodReply("sat.example"));
    EXPECT_EQ(counters.ADNS, 32767);
    EXPECT_EQ(servers[0].WINNING, 32767);
    EXPECT_EQ(servers.NDNS, 9001);
    EXPECT_EQ(servers[0].ATIME, 2147483647);  // the sum that would overflow is skipped...
    EXPECT_EQ(servers[0].NATIME, 1);          // ...the count still grows
}

TEST_F(RelayTest, AgesSurviveTheTickWrap) {
    clock.Set(0xFFFFFFF0u);
    Ask(Query("wrap.example"));
    clock.Set(0x00000010u);
    Reply(GoodReply("wrap.example"));
    EXPECT_EQ(servers[0].ATIME, 0x20);
}

}  // namespace
}  // namespace quenda::test
