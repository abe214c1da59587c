// What each client receives through the relay: replies shaped for it, requests that share
// nothing kept apart from the cache and from other askers, and the relay's own refusals.
#include <gtest/gtest.h>

#include "app/relay/dns_codec.h"
#include "app/relay/message_walk.h"
#include "app/relay/request_class.h"
#include "tests/relay/relay_fixture.h"

namespace quenda::test {
namespace {

DnsMessage Asking(std::string name, uint16_t id, std::optional<OptRecord> opt = std::nullopt) {
    DnsMessage m;
    m.name = std::move(name);
    m.id = id;
    m.opt = opt;
    return m;
}

// A usable reply to the message, with `answers` answers of 100 octets, and an OPT record.
std::string ServerReply(DnsMessage m, uint16_t answers, std::optional<OptRecord> opt) {
    m.response = true;
    m.answers = answers;
    m.answerData = std::string(100, 'd');
    m.opt = opt;
    return Build(m);
}

// The message as the relay sends it upstream, under the message ID it chose.
DnsMessage Upstream(DnsMessage m, uint16_t id) {
    m.id = id;
    return m;
}

bool HasOpt(const std::string& message) {
    return WalkMessage(message).optCount > 0;
}

bool Truncated(const std::string& message) {
    return (message[2] & 0x02) != 0 && Read16(message, 6) == 0;
}

TEST_F(RelayTest, EveryWaitingClientGetsTheReplyShapedForIt) {
    Ask(Build(Asking("www.example.org", 1, OptRecord{4096, 0, false})), 1001);
    Ask(Build(Asking("www.example.org", 2)), 1002);
    Ask(Build(Asking("WwW.eXample.ORG", 3, OptRecord{1232, 0, false})), 1003);
    // A 728-octet reply with the server's OPT record, to the first asker's query.
    const std::string reply = ServerReply(Asking("www.example.org", 1), 6, OptRecord{});
    ASSERT_GT(reply.size(), 512u);
    Reply(reply);

    ASSERT_EQ(ToClients().size(), 3u);
    EXPECT_EQ(ToClients()[0].data, reply);
    // Without EDNS: no OPT record, and too large for 512 octets, so only the question with TC.
    const std::string& plain = ToClients()[1].data;
    EXPECT_EQ(IdOf(plain), 2);
    EXPECT_TRUE(Truncated(plain));
    EXPECT_FALSE(HasOpt(plain));
    EXPECT_EQ(GetQueryName(plain), "www.example.org");
    // The third client's own spelling, everything else as the server sent it.
    const std::string& mixed = ToClients()[2].data;
    EXPECT_EQ(GetQueryName(mixed), "WwW.eXample.ORG");
    EXPECT_EQ(mixed.size(), reply.size());
    EXPECT_TRUE(EqualsIgnoringCase(mixed.substr(2), reply.substr(2)));

    // From the cache, each asker gets the stored reply shaped for it too.
    Ask(Build(Asking("WWW.example.org", 4)), 1004);
    Ask(Build(Asking("www.example.org", 5, OptRecord{800, 0, false})), 1005);
    ASSERT_EQ(ToClients().size(), 5u);
    EXPECT_TRUE(Truncated(ToClients()[3].data));
    EXPECT_EQ(GetQueryName(ToClients()[3].data), "WWW.example.org");
    EXPECT_TRUE(HasOpt(ToClients()[4].data));
    EXPECT_FALSE(Truncated(ToClients()[4].data));
    EXPECT_EQ(counters.ACACHE, 2);

    // A small reply stored from an EDNS asker reaches a plain one without its OPT record.
    Ask(Build(Asking("small.example", 6, OptRecord{})));
    Reply(ServerReply(Asking("small.example", 6), 1, OptRecord{}));
    Ask(Build(Asking("small.example", 7)));
    EXPECT_EQ(ToClients().back().data, ServerReply(Asking("small.example", 7), 1, std::nullopt));
}

TEST_F(RelayTest, RequestsThatShareNothingNeitherUseNorFillTheCache) {
    const DnsMessage plain = Asking("signed.example", 0x0101);
    DnsMessage dnssec = Asking("signed.example", 0x0202, OptRecord{1232, 0, true});
    DnsMessage chaos = Asking("signed.example", 0x0303);
    chaos.qclass = 3;
    chaos.type = 16;
    DnsMessage unchecked = Asking("signed.example", 0x0404);
    unchecked.checkingDisabled = true;
    // A server's reply under exactly the upstream message ID it names.
    const auto answer = [this](const std::string& reply, const std::string& server = kServerA) {
        relay.HandleServerReply(reply, server, kDnsPort);
    };

    Ask(Build(plain), 1001);
    Ask(Build(dnssec), 1002);
    Ask(Build(unchecked), 1004);
    EXPECT_EQ(cache.lookups, 1);
    ASSERT_EQ(upstreamPort.sent.size(), 6u);  // each forwarded to both servers
    EXPECT_EQ(upstreamPort.sent[2].data, Build(Upstream(dnssec, 0xA001)));

    // The signed reply goes to its own asker only, and is not stored.
    answer(ServerReply(Upstream(dnssec, 0xA001), 2, OptRecord{1232, 0, true}));
    ASSERT_EQ(ToClients().size(), 1u);
    EXPECT_EQ(ToClients()[0].port, 1002);
    EXPECT_EQ(ToClients()[0].data, ServerReply(dnssec, 2, OptRecord{1232, 0, true}));
    EXPECT_EQ(cache.stores, 0);
    // Also when it comes late, after its request was answered.
    answer(ServerReply(Upstream(dnssec, 0xA001), 2, OptRecord{1232, 0, true}), kServerB);
    EXPECT_EQ(cache.stores, 0);

    // The plain asker is served by the reply to its own query, which is stored.
    answer(ServerReply(Upstream(plain, 0xA000), 1, std::nullopt));
    ASSERT_EQ(ToClients().size(), 2u);
    EXPECT_EQ(ToClients()[1].port, 1001);
    EXPECT_EQ(cache.stores, 1);
    // The unchecked asker still waits for its own reply; a negative one reaches it alone.
    DnsMessage refused = Upstream(unchecked, 0xA002);
    refused.response = true;
    refused.rcode = 5;
    answer(Build(refused));
    answer(Build(refused), kServerB);
    ASSERT_EQ(ToClients().size(), 3u);
    EXPECT_EQ(ToClients()[2].port, 1004);

    // With the cache filled, DO and another class are still only forwarded.
    Ask(Build(Asking("signed.example", 0x0505, OptRecord{1232, 0, true})), 1005);
    Ask(Build(chaos), 1003);
    EXPECT_EQ(ToClients().size(), 3u);
    EXPECT_EQ(cache.lookups, 1);
    // A CH TXT reply never lands under the IN question's key.
    DnsMessage chaosReply = Upstream(chaos, 0xA004);
    chaosReply.response = true;
    chaosReply.answers = 1;
    answer(Build(chaosReply));
    EXPECT_EQ(ToClients().back().port, 1003);
    EXPECT_EQ(cache.stores, 1);

    // Two DNSSEC askers that picked the same message ID wait apart: the reply to the second
    // one's query reaches it alone.
    const DnsMessage same = Asking("same.example", 0x0606, OptRecord{1232, 0, true});
    Ask(Build(same), 1006);
    Ask(Build(same), 1007);
    const size_t delivered = ToClients().size();
    answer(ServerReply(Upstream(same, 0xA006), 1, OptRecord{1232, 0, true}));
    ASSERT_EQ(ToClients().size(), delivered + 1);
    EXPECT_EQ(ToClients().back().port, 1007);
    EXPECT_EQ(IdOf(ToClients().back().data), 0x0606);
}

TEST_F(RelayTest, OtherOpcodesAndQuestionCountsAreAnsweredAtOnceAndNotForwarded) {
    DnsMessage notify = Asking("zone.example", 0x4444, OptRecord{});
    notify.opcode = 4;
    DnsMessage two = Asking("two.example", 0x5555);
    two.questions = 2;
    cache.entries[FakeCache::Upper(MakeCacheKey(Query("zone.example")))] =
        GoodReply("zone.example");

    Ask(Build(notify), 2001);
    Ask(Build(two), 2002);
    EXPECT_TRUE(upstreamPort.sent.empty());
    EXPECT_EQ(table.PendingCount(), 0);
    EXPECT_EQ(cache.lookups, 0);
    ASSERT_EQ(ToClients().size(), 2u);
    EXPECT_EQ(ToClients()[0].data,
              RefusalReply(Build(notify), kRcodeNotImp, true, ClientEdns{true, 1232, 0, false}));
    EXPECT_EQ(ToClients()[0].data[3] & 0x0F, kRcodeNotImp);
    EXPECT_EQ(GetQueryName(ToClients()[0].data), "zone.example");
    EXPECT_EQ(ToClients()[1].data[3] & 0x0F, kRcodeFormErr);
    EXPECT_EQ(IdOf(ToClients()[1].data), 0x5555);
    EXPECT_EQ(counters.TOTALQ, 0);
    // A request without a question is no query at all: dropped without an answer.
    DnsMessage none = Asking("none.example", 0x6666);
    none.questions = 0;
    Ask(Build(none), 2003);
    EXPECT_EQ(ToClients().size(), 2u);
    EXPECT_TRUE(upstreamPort.sent.empty());
}

}  // namespace
}  // namespace quenda::test
