// Which requests may share replies and the cache, what their clients take, and the relay's own
// refusals.
#include "app/relay/request_class.h"

#include <gtest/gtest.h>

#include <random>

#include "app/relay/dns_codec.h"
#include "tests/support/dns_builder.h"

namespace quenda::test {
namespace {

struct ClassCase {
    const char* what;
    DnsMessage request;
    RequestUse use;
};

DnsMessage With(void (*change)(DnsMessage&)) {
    DnsMessage m;
    change(m);
    return m;
}

class ClassifyRequestTest : public ::testing::TestWithParam<ClassCase> {};

TEST_P(ClassifyRequestTest, SortsByOpcodeQuestionsClassEdnsAndDnssecBits) {
    EXPECT_EQ(ClassifyRequest(Build(GetParam().request)).use, GetParam().use);
}

INSTANTIATE_TEST_SUITE_P(
    Requests, ClassifyRequestTest,
    ::testing::Values(
        ClassCase{"Plain", DnsMessage{}, RequestUse::kShared},
        ClassCase{"Edns0", With([](DnsMessage& m) { m.opt = OptRecord{}; }), RequestUse::kShared},
        ClassCase{"DnssecOk", With([](DnsMessage& m) {
                      m.opt = OptRecord{4096, 0, true};
                  }),
                  RequestUse::kOwn},
        ClassCase{"CheckingDisabled", With([](DnsMessage& m) { m.checkingDisabled = true; }),
                  RequestUse::kOwn},
        ClassCase{"Edns1", With([](DnsMessage& m) {
                      m.opt = OptRecord{1232, 1, false};
                  }),
                  RequestUse::kOwn},
        ClassCase{"Chaos", With([](DnsMessage& m) { m.qclass = 3; }), RequestUse::kOwn},
        ClassCase{"ClassAny", With([](DnsMessage& m) { m.qclass = 255; }), RequestUse::kOwn},
        ClassCase{"Iquery", With([](DnsMessage& m) { m.opcode = 1; }), RequestUse::kNotImplemented},
        ClassCase{"Status", With([](DnsMessage& m) { m.opcode = 2; }), RequestUse::kNotImplemented},
        ClassCase{"Opcode3", With([](DnsMessage& m) { m.opcode = 3; }),
                  RequestUse::kNotImplemented},
        ClassCase{"Notify", With([](DnsMessage& m) { m.opcode = 4; }), RequestUse::kNotImplemented},
        ClassCase{"UpdateWithTwoZones", With([](DnsMessage& m) {
                      m.opcode = 5;
                      m.questions = 2;
                  }),
                  RequestUse::kNotImplemented},
        ClassCase{"TwoQuestions", With([](DnsMessage& m) { m.questions = 2; }),
                  RequestUse::kFormatError},
        ClassCase{"NoQuestion", With([](DnsMessage& m) { m.questions = 0; }),
                  RequestUse::kFormatError},
        ClassCase{"Response", With([](DnsMessage& m) { m.response = true; }), RequestUse::kOwn}),
    [](const auto& info) { return std::string(info.param.what); });

TEST(ClassifyRequestTest, MalformedRequestsAreNeverShared) {
    DnsMessage edns;
    edns.opt = OptRecord{};
    std::string twoOpts = Build(edns) + Build(edns).substr(Build(DnsMessage{}).size());
    twoOpts[11] = 2;
    EXPECT_EQ(ClassifyRequest(twoOpts).use, RequestUse::kFormatError);

    std::string cut = Build(edns);
    cut.pop_back();  // the OPT record runs past the end
    EXPECT_EQ(ClassifyRequest(cut).use, RequestUse::kOwn);
    EXPECT_FALSE(ClassifyRequest(cut).edns.present);
    EXPECT_EQ(ClassifyRequest("").use, RequestUse::kOwn);
    EXPECT_EQ(ClassifyRequest(std::string(11, '\0')).use, RequestUse::kOwn);
    // A question name with a reserved label type cannot be walked to its class.
    std::string reserved = Query("a.b");
    reserved[12] = 0x41;
    EXPECT_EQ(ClassifyRequest(reserved).use, RequestUse::kOwn);
}

TEST(ClientEdnsTest, TheRequestsOptRecordSetsWhatTheClientTakes) {
    const ClientEdns none = ClassifyRequest(Query("a.example")).edns;
    EXPECT_FALSE(none.present);
    EXPECT_EQ(none.ReplyLimit(), 512u);

    DnsMessage m;
    m.opt = OptRecord{4096, 0, true};
    const ClientEdns large = ClassifyRequest(Build(m)).edns;
    EXPECT_EQ(large, (ClientEdns{true, 4096, 0, true}));
    EXPECT_EQ(large.ReplyLimit(), 4096u);

    m.opt = OptRecord{100, 1, false};
    const ClientEdns tiny = ClassifyRequest(Build(m)).edns;
    EXPECT_EQ(tiny, (ClientEdns{true, 100, 1, false}));
    EXPECT_EQ(tiny.ReplyLimit(), 512u);  // never less than 512

    m.opcode = 4;  // a refusal still carries an OPT for an EDNS client
    EXPECT_TRUE(ClassifyRequest(Build(m)).edns.present);
}

TEST(RefusalReplyTest, EchoesIdOpcodeRdAndQuestionWithTheRcode) {
    DnsMessage notify;
    notify.opcode = 4;
    notify.id = 0xBEEF;
    notify.name = "Zone.Example";
    const std::string request = Build(notify);
    const std::string reply = RefusalReply(request, kRcodeNotImp, true, ClientEdns{});
    notify.response = true;
    notify.rcode = kRcodeNotImp;
    std::string expected = Build(notify);
    expected[3] = static_cast<char>(kRcodeNotImp);  // no RA: the relay is no resolver itself
    EXPECT_EQ(reply, expected);
    EXPECT_EQ(GetQueryName(reply), "Zone.Example");

    DnsMessage two;
    two.questions = 2;
    two.opt = OptRecord{};
    const std::string formErr =
        RefusalReply(Build(two), kRcodeFormErr, false, ClassifyRequest(Build(two)).edns);
    ASSERT_EQ(formErr.size(), 12u + 11u);  // header and a minimal OPT
    EXPECT_EQ(formErr.substr(0, 12),
              std::string("\x12\x34\x81\x01\x00\x00\x00\x00\x00\x00\x00\x01", 12));
    EXPECT_EQ(formErr.substr(12), std::string("\x00\x00\x29\x04\xd0\x00\x00\x00\x00\x00\x00", 11));
    EXPECT_EQ(RefusalReply("short", kRcodeFormErr, true, ClientEdns{}), "");
}

TEST(MayStoreReplyTest, OnlyRepliesToSharableRequestsAreStored) {
    DnsMessage reply;
    reply.response = true;
    reply.answers = 1;
    EXPECT_TRUE(MayStoreReply(Build(reply)));
    reply.opt = OptRecord{1232, 0, false};
    EXPECT_TRUE(MayStoreReply(Build(reply)));

    DnsMessage signedReply = reply;
    signedReply.opt->dnssecOk = true;
    DnsMessage unchecked = reply;
    unchecked.checkingDisabled = true;
    DnsMessage chaos = reply;
    chaos.qclass = 3;
    DnsMessage laterEdns = reply;
    laterEdns.opt->version = 1;
    DnsMessage notify = reply;
    notify.opcode = 4;
    DnsMessage twoQuestions = reply;
    twoQuestions.questions = 2;
    for (const DnsMessage& m : {signedReply, unchecked, chaos, laterEdns, notify, twoQuestions}) {
        EXPECT_FALSE(MayStoreReply(Build(m)));
    }
    std::string cut = Build(reply);
    cut.pop_back();
    EXPECT_FALSE(MayStoreReply(cut));
}

TEST(OwnKeyTest, DiffersByIdAndFromEveryQuestionKey) {
    const std::string key = MakeCacheKey(Query("a.example"));
    EXPECT_NE(OwnKey(key, "\x12\x34"), OwnKey(key, "\x12\x35"));
    // Question keys end in a type name; an own key never does, however long the name.
    const std::string own = OwnKey(MakeCacheKey(std::string(300, 'x'), "A"), "\xff\xff");
    EXPECT_EQ(own.back(), '#');
    EXPECT_EQ(OwnKey(key, ""), OwnKey(key, std::string("\0\0", 2)));
}

TEST(RequestClassTest, AnyBytesGetADefinedResult) {
    std::mt19937 random(25);
    const std::string base = Build(DnsMessage{.opt = OptRecord{}});
    for (int i = 0; i < 20000; ++i) {
        std::string message = i % 2 ? base : std::string(random() % 64, '\0');
        for (int flips = 0; flips < 4 && !message.empty(); ++flips) {
            message[random() % message.size()] = static_cast<char>(random());
        }
        const RequestClass sorted = ClassifyRequest(message);
        const std::string refusal = RefusalReply(message, kRcodeNotImp, true, sorted.edns);
        EXPECT_LE(refusal.size(), 12u + 255u + 4u + 11u);
        MayStoreReply(message);
        EXPECT_LE(QuestionNameOf(message).size(), 255u);
    }
}

}  // namespace
}  // namespace quenda::test
