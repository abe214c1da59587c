// Shares, texts, ageing and reset of the statistics.
#include "app/relay/statistics.h"

#include <gtest/gtest.h>

#include "tests/relay/relay_fixture.h"

namespace quenda::test {
namespace {

Shares SharesOf(int totalq, int cache, int server, int lost, int waiting = 0) {
    RequestCounters c;
    c.TOTALQ = static_cast<int16_t>(totalq);
    c.ACACHE = static_cast<int16_t>(cache);
    c.ADNS = static_cast<int16_t>(server);
    c.NOTANSWERED = static_cast<int16_t>(lost);
    return ComputeShares(c, waiting);
}

TEST(StatisticsShares, AddUpTo100) {
    Shares s = SharesOf(3, 2, 1, 0);
    EXPECT_EQ(s.cache, 67);
    EXPECT_EQ(s.nameServer, 33);
    EXPECT_EQ(s.lost, 0);
    s = SharesOf(3, 1, 1, 1);  // 33 + 33 + 33: the cache share takes the shortfall
    EXPECT_EQ(s.cache, 34);
    EXPECT_EQ(s.nameServer, 33);
    EXPECT_EQ(s.lost, 33);
    s = SharesOf(3, 0, 2, 1);  // 67 + 33 = 100
    EXPECT_EQ(s.nameServer + s.lost, 100);
    s = SharesOf(6, 0, 1, 1);  // 17 + 17 with no cache share: the lost share takes the rest
    EXPECT_EQ(s.nameServer, 17);
    EXPECT_EQ(s.lost, 83);
    s = SharesOf(8, 1, 3, 4, 0);  // 12.5 -> 12, 37.5 -> 38, 50: halves to even
    EXPECT_EQ(s.cache, 12);
    EXPECT_EQ(s.nameServer, 38);
    EXPECT_EQ(s.lost, 50);
    s = SharesOf(2, 1, 1, 1);  // 50 + 50 + 50: the name-server share gives up the excess
    EXPECT_EQ(s.cache, 50);
    EXPECT_EQ(s.nameServer, 0);
    EXPECT_EQ(s.lost, 50);
    s = SharesOf(5, 1, 1, 0, 3);  // waiting requests are not settled
    EXPECT_EQ(s.cache, 50);
    EXPECT_EQ(s.nameServer, 50);
}

TEST(StatisticsTexts, TimeGainedAndPerServerFigures) {
    EXPECT_EQ(TimeGainedText(0), "0 sec");
    EXPECT_EQ(TimeGainedText(500), "0.5 sec");
    EXPECT_EQ(TimeGainedText(1234), "1.234 sec");
    EXPECT_EQ(TimeGainedText(60000), "60 sec");
    EXPECT_EQ(TimeGainedText(90000), "1.5 min");
    EXPECT_EQ(TimeGainedText(3600000), "60 min");
    EXPECT_EQ(TimeGainedText(5400000), "1.5 h");
    EXPECT_EQ(TimeGainedText(3960000), "1.1 h");

    EXPECT_EQ(AddLeadingZero(".5"), "0.5");
    EXPECT_EQ(AddLeadingZero(",5"), "0,5");
    EXPECT_EQ(AddLeadingZero("5"), "5");
    EXPECT_EQ(AddLeadingZero(""), "");

    NameServer server;
    EXPECT_EQ(ServerReplyTimeText(server), "---");
    server.ATIME = 250;
    server.NATIME = 3;
    EXPECT_EQ(ServerReplyTimeText(server), "83ms");
    server.ATIME = 5;
    server.NATIME = 2;
    EXPECT_EQ(ServerReplyTimeText(server), "2ms");  // 2.5 rounds to even

    server.WINNING = 1;
    EXPECT_EQ(FirstAnswerShareText(server, 0), "0%");
    EXPECT_EQ(FirstAnswerShareText(server, 3), "33.3%");
    EXPECT_EQ(FirstAnswerShareText(server, 200), "0.5%");
    EXPECT_EQ(FirstAnswerShareText(server, 1), "100%");
}

TEST(StatisticsAgeing, RequestCountersKeepTheirProportions) {
    RequestCounters c;
    NameServerList servers;
    c.TOTALQ = 10001;
    c.ADNS = 6000;
    c.ACACHE = 3000;
    c.NOTANSWERED = 1001;
    c.WTIME = 12345;
    AgeRequestCounters(c, servers);
    EXPECT_EQ(c.TOTALQ, 9001);
    EXPECT_EQ(c.ADNS, 5400);
    EXPECT_EQ(c.ACACHE, 2700);
    EXPECT_EQ(c.NOTANSWERED, 901);
    EXPECT_EQ(c.WTIME, 12345);

    // A residue goes to ADNS when it can take it, else to ACACHE.
    c = RequestCounters{};
    c.TOTALQ = 10005;    // 9004.5 -> 9004
    c.ADNS = 5;          // 4.5 -> 4
    c.ACACHE = 5;        // 4.5 -> 4
    c.NOTANSWERED = 15;  // 13.5 -> 14
    AgeRequestCounters(c, servers);
    EXPECT_EQ(c.TOTALQ, 9004);
    EXPECT_EQ(c.NOTANSWERED, 14);
    EXPECT_EQ(c.ADNS, 4);
    EXPECT_EQ(c.ACACHE, 4 + 9004 - 14 - 4 - 4);

    c = RequestCounters{};
    c.TOTALQ = 10000;  // not above the limit: untouched
    c.ADNS = 10000;
    AgeRequestCounters(c, servers);
    EXPECT_EQ(c.TOTALQ, 10000);
}

TEST(StatisticsAgeing, ReplyTimesKeepTheirAverage) {
    RequestCounters c;
    NameServerList servers;
    servers[0].ATIME = 4000001;
    servers[0].NATIME = 2000;
    servers[1].ATIME = 4000000;
    servers[1].NATIME = 7;
    servers[10].ATIME = 9000000;  // positions past 9 are never touched
    AgeRequestCounters(c, servers);
    EXPECT_EQ(servers[0].ATIME, 3600001);
    EXPECT_EQ(servers[0].NATIME, 1800);
    EXPECT_EQ(ServerReplyTimeText(servers[0]), "2000ms");
    EXPECT_EQ(servers[1].ATIME, 4000000);
    EXPECT_EQ(servers[10].ATIME, 9000000);
}

TEST(StatisticsAgeing, ServerWinsGiveTheResidueToTheFirstThatCanTakeIt) {
    NameServerList servers;
    servers.NDNS = 10003;  // 9002.7 -> 9003
    servers[0].WINNING = 0;
    servers[1].WINNING = 5;     // 4.5 -> 4
    servers[2].WINNING = 9998;  // 8998.2 -> 8998
    AgeServerWins(servers);
    EXPECT_EQ(servers.NDNS, 9003);
    EXPECT_EQ(servers[0].WINNING, 0);
    EXPECT_EQ(servers[1].WINNING, 4 + 1);
    EXPECT_EQ(servers[2].WINNING, 8998);

    servers.NDNS = 10000;
    servers[1].WINNING = 10000;
    AgeServerWins(servers);
    EXPECT_EQ(servers[1].WINNING, 10000);
}

TEST_F(RelayTest, PanelStartsAtZeroAndWritesOnlyChanges) {
    statistics.UpDateStatistic();
    EXPECT_EQ(statisticsView.shares[0], 0);
    EXPECT_EQ(statisticsView.shares[1], 0);
    EXPECT_EQ(statisticsView.shares[2], 0);
    EXPECT_EQ(statisticsView.waiting, " 0");
    EXPECT_EQ(statisticsView.timeGained, "0 sec");
    const int writes = statisticsView.writes;
    statistics.UpDateStatistic();
    EXPECT_EQ(statisticsView.writes, writes);

    Ask(Query("p.example"));  // one waiting request: nothing settled yet
    statistics.UpDateStatistic();
    EXPECT_EQ(statisticsView.waiting, " 1");
    EXPECT_EQ(statisticsView.shares[2], 0);
    Reply(GoodReply("p.example"));
    statistics.UpDateStatistic();
    EXPECT_EQ(statisticsView.shares[1], 100);
    EXPECT_EQ(statisticsView.waiting, " 0");
}

TEST_F(RelayTest, ResetKeepsWaitingRequestsAndServerFigures) {
    Ask(Query("w1.example"));
    Ask(Query("w2.example"));
    Ask(Query("done.example"));
    Reply(GoodReply("done.example"));
    counters.WTIME = 99;
    counters.NOTANSWERED = 4;
    servers[12].responded = true;
    statistics.ResetStatistics();
    EXPECT_EQ(counters.TOTALQ, 2);
    EXPECT_EQ(counters.ADNS, 0);
    EXPECT_EQ(counters.NOTANSWERED, 0);
    EXPECT_EQ(counters.WTIME, 0);
    EXPECT_FALSE(servers[0].responded);
    EXPECT_FALSE(servers[12].responded);
    EXPECT_EQ(servers[0].WINNING, 1);
    EXPECT_EQ(servers.NDNS, 1);
    EXPECT_EQ(statisticsView.timeGained, "0 sec");
}

}  // namespace
}  // namespace quenda::test
