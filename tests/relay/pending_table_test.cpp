// The pending table's finders against a plain scan of every slot, through appends,
// replacements, removals and clears.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "app/relay/pending_table.h"

namespace quenda {
namespace {

// Spellings of three questions; the first three differ only in letter case.
const std::vector<std::string> kKeys = {"www.example.org   A", "WWW.Example.ORG   A",
                                        "www.EXAMPLE.org   A", "mail.example.org  A",
                                        "www.example.org   AAAA"};

PendingRequest Request(const std::string& key, Tick start) {
    PendingRequest request;
    request.Key = key;
    request.StartTick = start;
    return request;
}

// The oldest slot among all in use that matches, as a scan from position 0 finds it.
template <typename Predicate>
int ScanOldest(const PendingTable& table, Tick now, Predicate matches) {
    int found = -1;
    uint32_t foundAge = 0;
    for (int i = 0; i < table.PendingCount(); ++i) {
        if (!matches(table[i])) continue;
        const uint32_t age = TicksBetween(table[i].StartTick, now);
        if (found < 0 || age > foundAge) {
            found = i;
            foundAge = age;
        }
    }
    return found;
}

bool SameIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

void ExpectFindersMatchScan(const PendingTable& table, Tick now) {
    EXPECT_EQ(table.FindOldestSettled(now),
              ScanOldest(table, now, [](const PendingRequest& s) { return !s.IsWaiting(); }));
    int waiting = 0;
    for (int i = 0; i < table.PendingCount(); ++i) waiting += table[i].IsWaiting() ? 1 : 0;
    EXPECT_EQ(table.WaitingCount(), waiting);
    for (const std::string& key : kKeys) {
        const KeyToMatch match(key);
        EXPECT_EQ(table.FindOldestWaiting(match, now),
                  ScanOldest(table, now,
                             [&](const PendingRequest& s) {
                                 return s.IsWaiting() && SameIgnoringCase(s.Key, key);
                             }))
            << key;
        EXPECT_EQ(table.FindOldestCacheAnswered(match, now),
                  ScanOldest(table, now,
                             [&](const PendingRequest& s) {
                                 return s.CacheTick && SameIgnoringCase(s.Key, key);
                             }))
            << key;
        for (int server = 0; server < kUsedNameServers; ++server) {
            EXPECT_EQ(table.FindOldestUncredited(match, server, now),
                      ScanOldest(table, now,
                                 [&](const PendingRequest& s) {
                                     return !s.ServerReplied[static_cast<size_t>(server)] &&
                                            s.Key == key;
                                 }))
                << key << " server " << server;
        }
        std::vector<int> listed(table.PositionsOfKey(match).begin(),
                                table.PositionsOfKey(match).end());
        std::sort(listed.begin(), listed.end());
        std::vector<int> scanned;
        for (int i = 0; i < table.PendingCount(); ++i) {
            if (SameIgnoringCase(table[i].Key, key)) scanned.push_back(i);
        }
        EXPECT_EQ(listed, scanned) << key;
    }
}

TEST(PendingTableTest, FindersPickTheSlotAScanPicksThroughEveryChange) {
    auto table = std::make_unique<PendingTable>();
    std::mt19937 random(20261207);
    auto pick = [&random](int bound) {
        return static_cast<int>(random() % static_cast<unsigned>(bound));
    };
    // Few distinct ticks, straddling the wrap of the counter, so ages often tie.
    const Tick ticks[] = {0xFFFFFFF0u, 0xFFFFFFFFu, 0u, 5u, 5u, 40u};
    for (int step = 0; step < 4000; ++step) {
        const int count = table->PendingCount();
        const int action = pick(20);
        PendingRequest request = Request(kKeys[static_cast<size_t>(pick(5))], ticks[pick(6)]);
        if (pick(3) == 0) request.CacheTick = ticks[pick(6)];
        if (pick(3) == 0) request.ServerTick = ticks[pick(6)];
        for (bool& replied : request.ServerReplied) replied = pick(2) == 0;
        if (action == 0 && pick(10) == 0) {
            table->Clear();
        } else if (action < 4 && count > 0) {
            table->Replace(pick(count), request);
        } else if (action < 9 && count > 0) {
            table->RemovePending(pick(count));
        } else if (action < 11 && count > 0) {
            // What the relay does to a slot in place: answer it, credit a server.
            const int position = pick(count);
            if (pick(2) == 0) {
                table->MarkServerAnswered(position, ticks[pick(6)]);
            } else {
                table->MarkCacheAnswered(position, ticks[pick(6)]);
            }
            table->MarkServerReplied(position, pick(kUsedNameServers));
        } else {
            table->Append(request);
        }
        ExpectFindersMatchScan(*table, 3u);
        if (HasFailure()) FAIL() << "after step " << step;
    }
}

TEST(PendingTableTest, KeysEqualIgnoringCaseHashAlikeAtEveryOffset) {
    const std::string letters = "abcdefghijklmnopqrstuvwxyz";
    for (size_t length : {1u, 7u, 8u, 9u, 26u, 255u}) {
        std::string lower;
        for (size_t i = 0; i < length; ++i) lower.push_back(letters[i % letters.size()]);
        std::string upper = lower;
        for (char& c : upper) c = static_cast<char>(c - 32);
        EXPECT_EQ(FoldedKeyHash(lower), FoldedKeyHash(upper)) << length;
        EXPECT_TRUE(EqualsIgnoringCase(lower, upper));
    }
    // Only ASCII letters fold: neighbours of 'a' and 'z' and octets above 127 stay apart.
    for (const auto& [a, b] : {std::pair<char, char>{'@', '`'}, {'[', '{'}, {'\xC1', '\xE1'}}) {
        const std::string left = "www.example.org" + std::string(1, a) + "   A";
        const std::string right = "www.example.org" + std::string(1, b) + "   A";
        EXPECT_FALSE(EqualsIgnoringCase(left, right));
        auto table = std::make_unique<PendingTable>();
        ASSERT_TRUE(table->Append(Request(left, 0)));
        EXPECT_EQ(table->FindOldestWaiting(KeyToMatch(right), 0), -1);
        EXPECT_EQ(table->FindOldestWaiting(KeyToMatch(left), 0), 0);
    }
}

TEST(PendingTableTest, EqualAgesGoToTheLowerPositionAfterSlotsMove) {
    auto table = std::make_unique<PendingTable>();
    for (int i = 0; i < 4; ++i) ASSERT_TRUE(table->Append(Request(kKeys[0], 100)));
    ASSERT_TRUE(table->Append(Request(kKeys[3], 100)));
    // Position 4 moves into 1: the key's list is no longer in position order.
    table->RemovePending(1);
    table->RemovePending(0);  // position 3 moves into 0
    ASSERT_EQ(table->PendingCount(), 3);
    EXPECT_EQ(table->FindOldestWaiting(KeyToMatch(kKeys[1]), 200), 0);
    table->MarkCacheAnswered(0, 150);
    EXPECT_EQ(table->FindOldestWaiting(KeyToMatch(kKeys[1]), 200), 2);
    EXPECT_EQ(table->FindOldestWaiting(KeyToMatch(kKeys[3]), 200), 1);
}

TEST(PendingTableTest, AFullTableKeepsItsSlotsAndAClearedOneServesNewKeys) {
    auto table = std::make_unique<PendingTable>();
    for (int i = 0; i < kPendingSlots; ++i) {
        ASSERT_TRUE(table->Append(Request("name" + std::to_string(i) + " A", Tick(i))));
    }
    EXPECT_FALSE(table->Append(Request(kKeys[0], 0)));
    EXPECT_EQ(table->FindOldestWaiting(KeyToMatch(kKeys[0]), 0), -1);
    EXPECT_EQ(table->FindOldestWaiting(KeyToMatch("NAME1399 A"), 2000), 1399);
    table->Clear();
    EXPECT_EQ(table->FindOldestWaiting(KeyToMatch("name7 A"), 2000), -1);
    ASSERT_TRUE(table->Append(Request("name7 A", 1)));
    EXPECT_EQ(table->FindOldestWaiting(KeyToMatch("NAME7 A"), 2000), 0);
}

}  // namespace
}  // namespace quenda
