// Shaping a reply for the client it goes to: OPT record, size, spelling of the question.
#include "app/relay/reply_shaping.h"

#include <gtest/gtest.h>

#include <random>

#include "app/relay/dns_codec.h"
#include "app/relay/message_walk.h"
#include "tests/support/dns_builder.h"

namespace quenda::test {
namespace {

constexpr std::string_view kClientId = "\xab\xcd";

// A reply with `answers` TXT-sized answers of 100 octets each, with or without an OPT record.
std::string ReplyOf(uint16_t answers, bool opt, const std::string& name = "host.example.net") {
    DnsMessage m;
    m.response = true;
    m.name = name;
    m.answers = answers;
    m.answerData = std::string(100, 'd');
    if (opt) m.opt = OptRecord{4096, 0, false};
    return Build(m);
}

ReplyTarget Plain(std::string_view question = {}) {
    return ReplyTarget{kClientId, question, ClientEdns{}};
}

ReplyTarget WithEdns(uint16_t size, std::string_view question = {}) {
    return ReplyTarget{kClientId, question, ClientEdns{true, size, 0, false}};
}

TEST(ReplyShapingTest, OptRecordFollowsTheClientsRequest) {
    const std::string withOpt = ReplyOf(1, true);
    const std::string withoutOpt = ReplyOf(1, false);

    // A plain client gets the reply without its OPT record, and nothing else changes.
    const std::string stripped = ShapeReply(withOpt, Plain());
    EXPECT_EQ(stripped.substr(2), withoutOpt.substr(2));
    EXPECT_EQ(stripped.substr(0, 2), kClientId);
    EXPECT_EQ(ShapeReply(withoutOpt, Plain()).substr(2), withoutOpt.substr(2));

    // An EDNS client keeps the server's OPT, or gets a minimal one of version 0.
    EXPECT_EQ(ShapeReply(withOpt, WithEdns(1232)).substr(2), withOpt.substr(2));
    const std::string added = ShapeReply(withoutOpt, WithEdns(1232));
    EXPECT_EQ(added.size(), withoutOpt.size() + 11);
    EXPECT_EQ(Read16(added, 10), 1);
    EXPECT_EQ(added.substr(withoutOpt.size()),
              std::string("\x00\x00\x29\x04\xd0\x00\x00\x00\x00\x00\x00", 11));
    const MessageLayout layout = WalkMessage(added);
    EXPECT_TRUE(layout.complete);
    EXPECT_EQ(layout.optCount, 1);

    // An OPT record with records after it cannot simply be cut out: the client is sent to TCP.
    constexpr size_t kQuestionEnd = 12 + 18 + 4;
    std::string optFirst = withoutOpt.substr(0, kQuestionEnd) + withOpt.substr(withoutOpt.size()) +
                           withoutOpt.substr(kQuestionEnd);
    optFirst[7] = 0;  // the answer record becomes an additional one, after the OPT
    optFirst[11] = 2;
    ASSERT_TRUE(WalkMessage(optFirst).complete);
    const std::string refused = ShapeReply(optFirst, Plain());
    EXPECT_NE(refused[2] & 0x02, 0);
    EXPECT_EQ(Read16(refused, 6), 0);
}

struct SizeCase {
    const char* what;
    bool edns;
    uint16_t advertised;
    size_t limit;
};

class ReplySizeTest : public ::testing::TestWithParam<SizeCase> {};

TEST_P(ReplySizeTest, LongerThanTheClientTakesIsTruncatedToTheQuestion) {
    const SizeCase& c = GetParam();
    const ReplyTarget target = c.edns ? WithEdns(c.advertised, {}) : Plain();
    for (uint16_t answers = 1; answers < 20; ++answers) {
        const std::string reply = ReplyOf(answers, c.edns);
        const std::string shaped = ShapeReply(reply, target);
        if (reply.size() <= c.limit) {
            EXPECT_EQ(shaped.substr(2), reply.substr(2)) << answers;
            continue;
        }
        // Header with TC, the question, and an OPT record for an EDNS client only.
        std::string expected = Build(DnsMessage{.response = true, .opt = std::nullopt});
        expected[0] = kClientId[0];
        expected[1] = kClientId[1];
        expected[2] = static_cast<char>(expected[2] | 0x02);
        if (c.edns) {
            expected[11] = 1;
            expected += std::string("\x00\x00\x29\x04\xd0\x00\x00\x00\x00\x00\x00", 11);
        }
        EXPECT_EQ(shaped, expected) << answers;
    }
}

INSTANTIATE_TEST_SUITE_P(Clients, ReplySizeTest,
                         ::testing::Values(SizeCase{"Plain", false, 0, 512},
                                           SizeCase{"Edns1232", true, 1232, 1232},
                                           SizeCase{"EdnsBelow512", true, 200, 512}),
                         [](const auto& info) { return std::string(info.param.what); });

TEST(ReplyShapingTest, QuestionCarriesTheClientsSpellingAndPointersStillResolve) {
    // The answer's owner is a pointer to the question name; a CNAME target points at it too.
    DnsMessage m;
    m.response = true;
    m.name = "www.example.org";
    m.type = 5;
    m.answers = 1;
    m.answerData = std::string(
        "\x03"
        "cdn\xc0\x10",
        6);  // cdn.example.org
    const std::string reply = Build(m);
    const std::string asked = Query("wWw.ExAmPle.oRG");
    const std::string_view spelling = QuestionNameOf(asked);

    const std::string shaped = ShapeReply(reply, Plain(spelling));
    ASSERT_EQ(shaped.size(), reply.size());
    EXPECT_EQ(GetQueryName(shaped), "wWw.ExAmPle.oRG");
    EXPECT_EQ(shaped.substr(12 + spelling.size()), reply.substr(12 + spelling.size()));
    // Both pointers (offset 12 and 16) land on the label boundaries they did before.
    EXPECT_EQ(shaped[12 + spelling.size() + 4], '\xc0');
    EXPECT_EQ(shaped[12 + spelling.size() + 5], 12);
    EXPECT_EQ(shaped.substr(16, 8), std::string("\x07"
                                                "ExAmPle"));
    EXPECT_TRUE(WalkMessage(shaped).complete);

    // Another name, or the same letters in other labels, keeps the reply's own spelling.
    EXPECT_EQ(GetQueryName(ShapeReply(reply, Plain(QuestionNameOf(Query("www.example.net"))))),
              "www.example.org");
    EXPECT_EQ(GetQueryName(ShapeReply(reply, Plain(QuestionNameOf(Query("wwwexample.org"))))),
              "www.example.org");
    // The spelling survives truncation too.
    const std::string big = ReplyOf(10, false, "big.example");
    EXPECT_EQ(GetQueryName(ShapeReply(big, Plain(QuestionNameOf(Query("BIG.example"))))),
              "BIG.example");
}

TEST(ReplyShapingTest, AnyBytesGetAReplyTheClientTakes) {
    std::mt19937 random(0x20);
    const std::string bases[] = {ReplyOf(3, true), ReplyOf(8, false), std::string(40, '\0')};
    const std::string question = std::string(QuestionNameOf(Query("host.example.net")));
    for (int i = 0; i < 20000; ++i) {
        std::string message = bases[i % 3];
        for (int flips = 0; flips < 3; ++flips) {
            message[random() % message.size()] = static_cast<char>(random());
        }
        if (i % 7 == 0) message.resize(random() % message.size());
        const ReplyTarget target = i % 2 ? Plain(question) : WithEdns(600, question);
        const std::string shaped = ShapeReply(message, target);
        if (message.size() < 12) continue;
        EXPECT_LE(shaped.size(), target.edns.ReplyLimit());
        EXPECT_EQ(shaped.substr(0, 2), kClientId);
        if (!target.edns.present) {
            EXPECT_EQ(WalkMessage(shaped).optCount, 0);
        }
    }
    EXPECT_EQ(ShapeReply("x", Plain()), kClientId);
}

}  // namespace
}  // namespace quenda::test
