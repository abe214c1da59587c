// ICMP framing without sockets: checksums of odd and carrying inputs, built messages, and
// which packets lose their IPv4 header.
#include "controls/icmpport/icmp_message.h"

#include <gtest/gtest.h>

#include "tests/icmpport/loopback_icmp.h"

namespace quenda::testing {
namespace {

std::string Bytes(std::initializer_list<int> values) {
    std::string bytes;
    for (int v : values) bytes += static_cast<char>(v);
    return bytes;
}

TEST(IcmpChecksumTest, MatchesTheInternetChecksumOnEvenOddAndCarryingInput) {
    // The worked example of RFC 1071: the sum is 0xDDF2.
    EXPECT_EQ(InternetChecksum(Bytes({0x00, 0x01, 0xF2, 0x03, 0xF4, 0xF5, 0xF6, 0xF7})), 0x220D);
    // An odd last byte is the high half of a word.
    EXPECT_EQ(InternetChecksum(Bytes({0x01})), 0xFEFF);
    // Carries out of 16 bits come back in: 0xFFFF + 0xFFFF + 0x0002 folds to 0x0002.
    EXPECT_EQ(InternetChecksum(Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x02})), 0xFFFD);
    // The largest message: 32768 words of 0xFFFF still fold without loss.
    EXPECT_EQ(InternetChecksum(std::string(65536, '\xFF')), 0x0000);
    EXPECT_EQ(InternetChecksum(""), 0xFFFF);
    // With the field skipped, whatever the checksum bytes hold does not count.
    EXPECT_EQ(InternetChecksum(Bytes({0x08, 0x00, 0x12, 0x34, 0x00, 0x01}), true),
              InternetChecksum(Bytes({0x08, 0x00, 0x00, 0x00, 0x00, 0x01})));
}

TEST(IcmpChecksumTest, BuiltMessagesVerifyAndDamageIsSeen) {
    for (std::string data : {std::string(), std::string("\x12\x34\x00\x01ping", 8), std::string("odd"),
                             std::string(2048, '\xA5')}) {
        std::string message = BuildIcmpMessage(8, 3, data);
        ASSERT_EQ(message.size(), 4 + data.size());
        EXPECT_EQ(message[0], 8);
        EXPECT_EQ(message[1], 3);
        EXPECT_EQ(message.substr(4), data);
        EXPECT_EQ(OnesComplementSum(message), 0xFFFF) << data.size() << " data bytes";
        EXPECT_TRUE(IcmpChecksumIntact(message));
        message.back() ^= 0x01;
        EXPECT_FALSE(IcmpChecksumIntact(message));
    }
    EXPECT_FALSE(IcmpChecksumIntact(Bytes({0x00, 0x00, 0xFF})));
}

TEST(IcmpPacketTest, OnlyAPlainHeaderWithTypeOfServiceZeroIsRemoved) {
    std::string header = Bytes({0x45, 0x00, 0x00, 0x20, 0, 0, 0x40, 0, 0x40, 0x01, 0, 0, 127, 0, 0, 1, 127, 0, 0, 1});
    std::string message = BuildIcmpMessage(0, 0, "abcd");
    EXPECT_EQ(IcmpMessageOfPacket(header + message), message);
    EXPECT_EQ(IcmpMessageOfPacket(header), "");  // too short for the caller to deliver

    std::string withTos = header;
    withTos[1] = 0x10;
    EXPECT_EQ(IcmpMessageOfPacket(withTos + message), withTos + message);
    std::string withOptions = header + Bytes({1, 1, 1, 0});
    withOptions[0] = 0x46;
    EXPECT_EQ(IcmpMessageOfPacket(withOptions + message), withOptions + message);
    // Shorter than a header: taken as it stands, whatever its first bytes say.
    EXPECT_EQ(IcmpMessageOfPacket(header.substr(0, 19)), header.substr(0, 19));
    EXPECT_EQ(IcmpMessageOfPacket(message), message);
}

}  // namespace
}  // namespace quenda::testing
