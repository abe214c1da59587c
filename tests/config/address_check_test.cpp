// The name-server address check and the host's own addresses.
#include "app/config/address_check.h"

#include <gtest/gtest.h>

namespace quenda {
namespace {

TEST(ValidateAddress, AcceptsDottedQuadsAndSaysWhyNot) {
    LocalAddresses local;
    local.Add("192.168.1.10");
    EXPECT_EQ(ValidateAddress("192.168.1.1", local), "");
    EXPECT_EQ(ValidateAddress("1.2.3.4", local), "");
    EXPECT_EQ(ValidateAddress("1..22.3", local), "");    // an empty part counts as 0
    EXPECT_EQ(ValidateAddress("1.2.3.4.5", local), "");  // text after the fourth part unread
    EXPECT_EQ(ValidateAddress("192.168.1", local), "Format error");
    EXPECT_EQ(ValidateAddress("192.168.1.256", local), "Format error");
    EXPECT_EQ(ValidateAddress("1.2.3", local), "Format error");
    EXPECT_EQ(ValidateAddress("1..2.3", local), "Format error");  // too short
    EXPECT_EQ(ValidateAddress("1234567890123456", local), "Format error");
    EXPECT_EQ(ValidateAddress("123456789012345", local), "Format error");  // no dot at all
    EXPECT_EQ(ValidateAddress("", local), "Format error");
    EXPECT_EQ(ValidateAddress("10.0.0.a", local), "Invalid characters");
    EXPECT_EQ(ValidateAddress(" 1.2.3.4", local), "Invalid characters");
    EXPECT_EQ(ValidateAddress("127.0.0.1", local), "This is your own ip address!");
    EXPECT_EQ(ValidateAddress("255.255.255.255", local), "This is your own ip address!");
    EXPECT_EQ(ValidateAddress("192.168.1.10", local), "This is your own ip address!");
    EXPECT_EQ(ValidateAddress("192.168.001.10", local), "");  // exact text comparison
}

TEST(LocalAddresses, KeepsSixteenAndComparesExactly) {
    LocalAddresses local;
    for (int i = 0; i < 20; ++i) local.Add("10.0.0." + std::to_string(i));
    EXPECT_EQ(local.Count(), 22);
    EXPECT_TRUE(local.IsLocalAddress("127.0.0.1"));
    EXPECT_TRUE(local.IsLocalAddress("10.0.0.13"));   // position 15
    EXPECT_FALSE(local.IsLocalAddress("10.0.0.14"));  // past position 15: not stored
    EXPECT_FALSE(local.IsLocalAddress("127.0.0.2"));
    EXPECT_FALSE(local.IsLocalAddress("10.0.0.1 "));
}

}  // namespace
}  // namespace quenda
