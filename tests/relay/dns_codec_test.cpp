// The codec's defined results for well-formed and malformed messages of any length.
#include "app/relay/dns_codec.h"

#include <gtest/gtest.h>

#include <random>

#include "tests/support/dns_builder.h"

namespace quenda {
namespace {

using test::Query;

std::string Header() {
    return std::string(12, '\0');
}

TEST(QueryName, DecodesLabelsAsTheyAre) {
    EXPECT_EQ(GetQueryName(Query("host.example.net")), "host.example.net");
    EXPECT_EQ(GetQueryName(Query("MiXeD.Case")), "MiXeD.Case");
    // Label octets are copied unescaped, even a dot or a high octet inside a label.
    EXPECT_EQ(GetQueryName(Header() + std::string("\x03"
                                                  "a.b"
                                                  "\x02\xe9\xff"
                                                  "\x00",
                                                  8)),
              "a.b.\xe9\xff");
    // Lengths 64 to 191 are plain lengths.
    const std::string longLabel(100, 'x');
    EXPECT_EQ(GetQueryName(Header() + "\x64" + longLabel + std::string("\0\0\x01", 3)), longLabel);
}

TEST(QueryName, RejectsWhatCannotBeDecoded) {
    const std::string rejected(kNotDnsStruct);
    EXPECT_EQ(GetQueryName(Header() + std::string("\0\0\x01", 3)), rejected);  // root
    EXPECT_EQ(GetQueryName(Header() + "\x03"
                                      "www"
                                      "\xc0\x0c"),
              rejected);  // pointer
    EXPECT_EQ(GetQueryName(Header() + "\x05"
                                      "ab"),
              rejected);  // cut in label
    EXPECT_EQ(GetQueryName(Header() + "\x03"
                                      "abc"),
              rejected);  // no end
    EXPECT_EQ(GetQueryName(Header()), rejected);
    EXPECT_EQ(GetQueryName(""), rejected);
    EXPECT_EQ(GetQueryName("x"), rejected);
    // The end marker as the very last octet is still a name.
    EXPECT_EQ(GetQueryName(Header() +
                           "\x01"
                           "a" +
                           std::string(1, '\0')),
              "a");
}

TEST(QueryType, NamesTheWhole16BitType) {
    EXPECT_EQ(GetQueryType(Query("a.b", 1)), "A");
    EXPECT_EQ(GetQueryType(Query("a.b", 15)), "MX");
    EXPECT_EQ(GetQueryType(Query("a.b", 21)), "RT");
    EXPECT_EQ(GetQueryType(Query("a.b", 28)), "AAAA");
    EXPECT_EQ(GetQueryType(Query("a.b", 33)), "SRV");
    EXPECT_EQ(GetQueryType(Query("a.b", 65)), "HTTPS");
    EXPECT_EQ(GetQueryType(Query("a.b", 255)), "ANY");
    EXPECT_EQ(GetQueryType(Query("a.b", 257)), "CAA");
    EXPECT_EQ(GetQueryType(Query("a.b", 0x0101)), "CAA");      // not "A"
    EXPECT_EQ(GetQueryType(Query("a.b", 0x0201)), "TYPE513");  // high octet counts too
    EXPECT_EQ(GetQueryType(Query("a.b", 0)), "TYPE0");
    EXPECT_EQ(GetQueryType(Query("a.b", 65535)), "TYPE65535");
}

TEST(QueryType, DefinedForShortAndOddMessages) {
    EXPECT_EQ(GetQueryType(""), "-");
    EXPECT_EQ(GetQueryType("x"), "-");
    EXPECT_EQ(GetQueryType(Header()), "-");
    EXPECT_EQ(GetQueryType(Header() + "\x03"
                                      "abc"),
              "-");  // no end marker
    EXPECT_EQ(GetQueryType(Header() +
                           "\x03"
                           "www"
                           "\xc0\x0c" +
                           std::string("\0\x01", 2)),
              "-");
    // Missing QTYPE octets after the end marker read as zero.
    EXPECT_EQ(GetQueryType(Header() +
                           "\x01"
                           "a" +
                           std::string(1, '\0')),
              "TYPE0");
    EXPECT_EQ(GetQueryType(Header() +
                           "\x01"
                           "a" +
                           std::string("\0\x1c", 2)),
              "TYPE7168");
    // The type follows the walked name: zero and pointer-sized octets inside a label are label
    // octets, so questions of two types for such a name keep apart.
    const std::string odd = Header() + std::string(
                                           "\x03"
                                           "a\0\xc0"
                                           "\x02"
                                           "\xff\0"
                                           "\0",
                                           8);
    EXPECT_EQ(GetQueryType(odd + std::string("\0\x10\0\x01", 4)), "TXT");
    EXPECT_EQ(GetQueryType(odd + std::string("\0\x01\0\x01", 4)), "A");
    EXPECT_NE(MakeCacheKey(odd + std::string("\0\x10", 2)),
              MakeCacheKey(odd + std::string("\0\x01", 2)));
    EXPECT_EQ(QuestionNameEnd(odd), odd.size());
}

TEST(TypeTable, KeepsItsDefaultsBothWays) {
    EXPECT_EQ(TypeName(1), "A");
    EXPECT_EQ(TypeName(19), "X.25");
    EXPECT_EQ(TypeName(22), "A");
    EXPECT_EQ(TypeName(0), "A");
    EXPECT_EQ(TypeName(28), "A");
    EXPECT_EQ(TypeCode("MX"), 15);
    EXPECT_EQ(TypeCode("AAAA"), 1);
    EXPECT_EQ(TypeCode("mx"), 1);
    EXPECT_EQ(TypeCode(""), 1);
    for (int code = 1; code <= 21; ++code) {
        EXPECT_EQ(TypeCode(TypeName(code)), code);
        EXPECT_EQ(QueryTypeName(static_cast<uint16_t>(code)), TypeName(code));
    }
}

TEST(CacheKey, PadsNameAndTypeTo255) {
    const std::string key = MakeCacheKey(Query("host.example.net", 15));
    ASSERT_EQ(key.size(), 255u);
    EXPECT_EQ(key, "host.example.net" + std::string(237, ' ') + "MX");

    // Name and type filling exactly 255: no space; one more: simply joined.
    const std::string name252(252, 'n');
    EXPECT_EQ(MakeCacheKey(name252, "AAA"), name252 + "AAA");
    const std::string name253(253, 'n');
    EXPECT_EQ(MakeCacheKey(name253, "AAA"), name253 + "AAA");
    EXPECT_EQ(MakeCacheKey(name253, "AAA").size(), 256u);
    EXPECT_EQ(MakeCacheKey(std::string(251, 'n'), "AAA"), std::string(251, 'n') + " AAA");
}

TEST(CacheKey, NamesEndingInSpacesKeepTheirOwnKeys) {
    const std::string plain = MakeCacheKey(Query("a"));
    const std::string spaced = MakeCacheKey(Query("a  "));
    EXPECT_NE(spaced, plain);
    EXPECT_NE(MakeCacheKey(Query("a ")), spaced);
    EXPECT_NE(MakeCacheKey(Query("a ")), plain);
    // A space inside the name is padded as before.
    EXPECT_EQ(MakeCacheKey(Query("a b")).size(), kCacheKeyLength);
}

TEST(CacheKey, KeepsAAndAaaaApartAndSharesUndecodable) {
    EXPECT_NE(MakeCacheKey(Query("a.example", 1)), MakeCacheKey(Query("a.example", 28)));
    EXPECT_TRUE(MakeCacheKey(Query("a.example", 28)).ends_with(" AAAA"));
    EXPECT_EQ(MakeCacheKey("x"), MakeCacheKey(Header()));
    EXPECT_TRUE(MakeCacheKey("x").starts_with(kNotDnsStruct));
    EXPECT_TRUE(MakeCacheKey("x").ends_with(" -"));
}

TEST(ShowName, CutsKeysAndTurnsReverseNames) {
    EXPECT_EQ(ShowName("host.example.net"), "host.example.net");
    EXPECT_EQ(ShowName(MakeCacheKey(Query("host.example.net"))), "host.example.net");
    EXPECT_EQ(ShowName("4.3.2.1.in-addr.arpa"), "1.2.3.4");
    EXPECT_EQ(ShowName(MakeCacheKey(Query("4.3.2.1.in-addr.arpa", 12))), "1.2.3.4");
    EXPECT_EQ(ShowName("4.3.2.1.IN-ADDR.ARPA"), "4.3.2.1.IN-ADDR.ARPA");
    EXPECT_EQ(ShowName("3.2.1.in-addr.arpa"), "in-addr.1.2.3");
    EXPECT_EQ(ShowName("in-addr.arpa"), "...in-addr");
    EXPECT_EQ(ShowName(kNotDnsStruct), std::string(kNotDnsStruct));
    // A short name's key keeps its spaces: the first space is before position 5.
    const std::string shortKey = MakeCacheKey(Query("a.b"));
    EXPECT_EQ(ShowName(shortKey), shortKey);
    EXPECT_EQ(ShowName(MakeCacheKey(Query("ab.c"))), "ab.c");
    EXPECT_EQ(ShowName(""), "");
}

TEST(GoodAnswer, NeedsRcodeZeroAndAnAnswer) {
    test::DnsMessage reply;
    reply.response = true;
    reply.answers = 1;
    reply.rcode = 3;
    EXPECT_FALSE(IsGoodAnswer(test::Build(reply)));
    reply.rcode = 0;
    EXPECT_TRUE(IsGoodAnswer(test::Build(reply)));
    reply.answers = 0;
    EXPECT_FALSE(IsGoodAnswer(test::Build(reply)));

    std::string header(12, '\0');
    header[6] = 1;  // ANCOUNT 256
    EXPECT_TRUE(IsGoodAnswer(header));
    header[2] = 0x02;  // TC set: plays no part
    EXPECT_TRUE(IsGoodAnswer(header));
    header[3] = static_cast<char>(0xF0);  // high bits of the second flag octet are not RCODE
    EXPECT_TRUE(IsGoodAnswer(header));
    EXPECT_FALSE(IsGoodAnswer(header.substr(0, 7)));
    EXPECT_FALSE(IsGoodAnswer(""));
}

TEST(AnswerFromCache, PutsOnlyTheRequestId) {
    const std::string stored = test::GoodReply("a.b", 1, 0x1111);
    const std::string answer = AnswerFromCache(stored, Query("a.b", 1, 0xBEEF));
    ASSERT_EQ(answer.size(), stored.size());
    EXPECT_EQ(test::IdOf(answer), 0xBEEF);
    EXPECT_EQ(answer.substr(2), stored.substr(2));
    EXPECT_EQ(AnswerFromCache("", "ab"), "ab");
    EXPECT_EQ(AnswerFromCache("xyz", "a"), "az");
    EXPECT_EQ(AnswerFromCache("xyz", ""), "z");
}

TEST(EncodeName, WritesLengthPrefixedLabels) {
    EXPECT_EQ(EncodeName("host.example.net"), std::string("\x04host\x07"
                                                          "example\x03net\0",
                                                          18));
    EXPECT_EQ(EncodeName("a."), std::string("\x01"
                                            "a\0\0",
                                            4));
    EXPECT_EQ(EncodeName(""), std::string("\0\0", 2));
    EXPECT_EQ(EncodeName("a..b"), std::string("\x01"
                                              "a\0\x01"
                                              "b\0",
                                              6));
    EXPECT_EQ(EncodeName(std::string(70, 'x')), "\x46" + std::string(70, 'x') + '\0');
}

TEST(BuildQuery, ConcatenatesFieldsHighOctetFirst) {
    QueryRecord record;
    record.id[0] = 0xAB;
    record.id[1] = 0xCD;
    record.flags[0] = 0x01;
    record.qdCount[1] = 1;
    record.qName = EncodeName("a.b");
    record.qType[1] = 15;
    record.qClass[1] = 1;
    const std::string query = BuildQuery(record);
    EXPECT_EQ(query, std::string("\xab\xcd\x01\0\0\x01\0\0\0\0\0\0\x01"
                                 "a\x01"
                                 "b\0\0\x0f\0\x01",
                                 21));
    EXPECT_EQ(GetQueryName(query), "a.b");
    EXPECT_EQ(GetQueryType(query), "MX");
}

// Every length 0..600 of random and of cut-off real messages has a defined result.
TEST(Codec, AnyInputGivesADefinedResult) {
    std::mt19937 random(7);
    const std::string real = test::GoodReply("www.example.org", 28);
    for (size_t length = 0; length <= 600; ++length) {
        std::string message(length, '\0');
        for (char& c : message) c = static_cast<char>(random());
        for (const std::string& m : {message, real.substr(0, std::min(length, real.size()))}) {
            const std::string key = MakeCacheKey(m);
            EXPECT_GE(key.size(), 255u);
            EXPECT_FALSE(ShowName(key).empty());
            (void)IsGoodAnswer(m);
            (void)AnswerFromCache(m, m);
        }
    }
    const std::string big(65535, '\x01');
    EXPECT_EQ(GetQueryName(big), std::string(kNotDnsStruct));
    EXPECT_EQ(GetQueryType(big), "-");
}

}  // namespace
}  // namespace quenda
