// Storing, finding, deleting, converting and listing cache entries, damaged chains included.
#include <algorithm>

#include "tests/cache/cache_fixture.h"

namespace quenda::test {
namespace {

class CacheDatabaseTest : public CacheFixture {
  protected:
    void SetUp() override { ASSERT_EQ(cache_->OpenCacheDatabase(), CacheFileOutcome::kCreated); }

    std::unique_ptr<CacheDatabase> cache_ = MakeCache();
};

TEST_F(CacheDatabaseTest, ValuesRoundTripAcrossChunkBoundaries) {
    struct Case {
        size_t size;
        size_t records;
    };
    const Case cases[] = {{1, 1},   {248, 1}, {249, 1}, {250, 2},
                          {498, 2}, {499, 3}, {700, 3}, {kMaxCachedValueSize, kMaxChainRecords}};
    size_t total = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        // Keys carry every octet too: NUL, "/", letters, high codes.
        const std::string key = CacheKey(EveryByte(200, c.size));
        const std::string value = EveryByte(c.size, c.size);
        ASSERT_TRUE(cache_->CacheStore(key, value));
        EXPECT_EQ(cache_->CacheLookup(key), value);
        total += c.records;
        EXPECT_EQ(Records().size(), total);
    }
    for (const RawRecord& record : Records()) EXPECT_EQ(record.name, IndexKey(record.name));
}

TEST_F(CacheDatabaseTest, ChunkLayoutAtTheOneRecordLimit) {
    ASSERT_TRUE(cache_->CacheStore(CacheKey("ONE"), EveryByte(249)));
    ASSERT_TRUE(cache_->CacheStore(CacheKey("TWO"), EveryByte(250)));
    ASSERT_EQ(Records().size(), 3u);
    EXPECT_EQ(Record(CacheKey("ONE"))->chunk, MakeLastChunk(EveryByte(249)));

    const std::string head = Record(CacheKey("TWO"))->chunk;
    ASSERT_EQ(head.size(), 255u);
    EXPECT_EQ(head.substr(0, 250), MakeContinuedChunk(EveryByte(249), "").substr(0, 250));
    const std::string next = head.substr(250);
    EXPECT_EQ(next[0], '/');
    EXPECT_EQ(next.find('\0'), std::string::npos);
    const auto tail = Record(IndexKey(next));
    ASSERT_TRUE(tail.has_value());
    EXPECT_EQ(tail->chunk, MakeLastChunk(EveryByte(250).substr(249)));
}

TEST_F(CacheDatabaseTest, StoreEditsInPlaceOrReplacesTheWholeChain) {
    const std::string key = CacheKey("WWW.EXAMPLE.COM");
    ASSERT_TRUE(cache_->CacheStore(key, EveryByte(100, 1)));
    ASSERT_TRUE(cache_->CacheStore(CacheKey("OTHER"), "x"));  // keeps rowids from being reused
    const int64_t firstRow = Record(key)->rowid;

    ASSERT_TRUE(cache_->CacheStore(key, EveryByte(248, 2)));
    EXPECT_EQ(Record(key)->rowid, firstRow);
    ASSERT_TRUE(cache_->CacheStore(key, EveryByte(248, 2)));  // the same reply again
    EXPECT_EQ(Record(key)->rowid, firstRow);
    EXPECT_EQ(cache_->CacheLookup(key), EveryByte(248, 2));
    ASSERT_TRUE(cache_->CacheStore(key, EveryByte(249, 3)));
    EXPECT_NE(Record(key)->rowid, firstRow);

    for (const size_t size : {700u, 600u, 10u, 251u}) {
        ASSERT_TRUE(cache_->CacheStore(key, EveryByte(size, size)));
        EXPECT_EQ(cache_->CacheLookup(key), EveryByte(size, size));
        EXPECT_EQ(Records().size(), 1 + (size + kChunkValueSize - 1) / kChunkValueSize);
    }
}

TEST_F(CacheDatabaseTest, BatchedStoresAreSeenAtOnceAndReachTheFileOnCommit) {
    cache_->SetStoreBatching(true);
    ASSERT_TRUE(cache_->CacheStore(CacheKey("LONG"), EveryByte(700, 1)));
    ASSERT_TRUE(cache_->CacheStore(CacheKey("SHORT"), "x"));
    ASSERT_TRUE(cache_->CacheStore(CacheKey("SHORT"), EveryByte(300, 2)));
    EXPECT_EQ(cache_->CacheLookup(CacheKey("long")), EveryByte(700, 1));
    EXPECT_EQ(cache_->CacheLookup(CacheKey("short")), EveryByte(300, 2));
    EXPECT_EQ(cache_->ListCacheEntries("", "A").size(), 2u);
    EXPECT_TRUE(Records().empty());  // other connections see nothing yet

    ASSERT_TRUE(cache_->CommitStores());
    EXPECT_EQ(Records().size(), 5u);

    // A hand edit first commits the stores before it, then itself.
    ASSERT_TRUE(cache_->CacheStore(CacheKey("NEXT"), "y"));
    ASSERT_TRUE(cache_->CacheDeleteEntry(CacheKey("LONG")));
    EXPECT_TRUE(Record(CacheKey("NEXT")).has_value());
    EXPECT_FALSE(Record(CacheKey("LONG")).has_value());
    EXPECT_EQ(Records().size(), 3u);
    EXPECT_TRUE(log_.empty());
}

TEST_F(CacheDatabaseTest, AFailedStoreInsideABatchUndoesOnlyItself) {
    // Refused: continuation records (short keys), so any store of a chain fails halfway; any
    // new record for BARRED; any change to LOCKED.
    {
        SqliteConnection other;
        ASSERT_EQ(other.Open(dir_.Path() / kCacheFileName, SQLITE_OPEN_READWRITE), SQLITE_OK);
        int triggers = 0;
        const auto refuse = [&](const char* change, const char* when) {
            const std::string sql = "CREATE TRIGGER t" + std::to_string(++triggers) + " BEFORE " +
                                    change + " ON ipcache WHEN " + when +
                                    " BEGIN SELECT RAISE(ABORT, 'no'); END";
            return other.Execute(sql.c_str());
        };
        ASSERT_EQ(refuse("INSERT", "length(NEW.IPNAME) < 255"), SQLITE_OK);
        ASSERT_EQ(refuse("INSERT", "CAST(NEW.IPNAME AS TEXT) LIKE 'BARRED %'"), SQLITE_OK);
        ASSERT_EQ(refuse("UPDATE", "CAST(OLD.IPNAME AS TEXT) LIKE 'LOCKED %'"), SQLITE_OK);
    }
    ASSERT_TRUE(cache_->CacheStore(CacheKey("LOCKED"), "fixed"));
    cache_->SetStoreBatching(true);
    ASSERT_TRUE(cache_->CacheStore(CacheKey("KEPT"), "old"));
    ASSERT_TRUE(cache_->CacheStore(CacheKey("KEPT"), "new"));  // edited in place
    ASSERT_TRUE(cache_->CacheStore(CacheKey("KEPT"), "new"));  // the same reply again
    ASSERT_TRUE(cache_->CacheStore(CacheKey("OTHER"), "x"));

    EXPECT_FALSE(cache_->CacheStore(CacheKey("KEPT"), EveryByte(700)));
    EXPECT_FALSE(cache_->CacheStore(CacheKey("FRESH"), EveryByte(300)));
    EXPECT_FALSE(cache_->CacheStore(CacheKey("BARRED"), "y"));
    EXPECT_FALSE(cache_->CacheStore(CacheKey("LOCKED"), "changed"));
    EXPECT_EQ(cache_->CacheLookup(CacheKey("KEPT")), "new");
    EXPECT_EQ(cache_->CacheLookup(CacheKey("FRESH")), "");
    EXPECT_EQ(cache_->CacheLookup(CacheKey("BARRED")), "");
    EXPECT_EQ(cache_->CacheLookup(CacheKey("LOCKED")), "fixed");
    ASSERT_TRUE(cache_->CacheStore(CacheKey("LAST"), "z"));  // the batch goes on

    ASSERT_TRUE(cache_->CommitStores());
    std::vector<std::string> names;
    for (const RawRecord& record : Records()) names.push_back(record.name);
    EXPECT_EQ(names, (std::vector<std::string>{CacheKey("LOCKED"), CacheKey("KEPT"),
                                               CacheKey("OTHER"), CacheKey("LAST")}));
    EXPECT_EQ(Record(CacheKey("KEPT"))->chunk, MakeLastChunk("new"));
    EXPECT_EQ(Record(CacheKey("LOCKED"))->chunk, MakeLastChunk("fixed"));
}

TEST_F(CacheDatabaseTest, FailedDeletesAndStoresLeaveLookupsAsTheFileHoldsThem) {
    const std::string chained = CacheKey("CHAINED");
    const std::string single = CacheKey("SINGLE");
    // The same octets around padding of the same length, split in another place.
    const std::string leftSplit = "AB" + std::string(252, ' ') + "C";
    const std::string rightSplit = "A" + std::string(252, ' ') + "BC";
    ASSERT_TRUE(cache_->CacheStore(chained, EveryByte(700)));
    ASSERT_TRUE(cache_->CacheStore(single, "one"));
    ASSERT_TRUE(cache_->CacheStore(leftSplit, "left"));
    ASSERT_TRUE(cache_->CacheStore(rightSplit, "right"));
    SqliteConnection other;
    ASSERT_EQ(other.Open(dir_.Path() / kCacheFileName, SQLITE_OPEN_READWRITE), SQLITE_OK);
    // Continuation records cannot be deleted: every delete of a chain fails halfway.
    ASSERT_EQ(other.Execute("CREATE TRIGGER keep BEFORE DELETE ON ipcache WHEN "
                            "length(OLD.IPNAME) < 255 BEGIN SELECT RAISE(ABORT, 'no'); END"),
              SQLITE_OK);

    EXPECT_FALSE(cache_->CacheDeleteEntry(chained));
    EXPECT_FALSE(cache_->CacheStore(chained, "short"));
    EXPECT_FALSE(cache_->CacheDeleteAll());
    cache_->SetStoreBatching(true);
    ASSERT_TRUE(cache_->CacheStore(CacheKey("BATCHED"), "b"));
    EXPECT_FALSE(cache_->CacheStore(chained, EveryByte(300, 1)));
    ASSERT_TRUE(cache_->CacheDeleteEntry(single));  // commits the batch first
    EXPECT_EQ(cache_->CacheLookup(chained), EveryByte(700));
    EXPECT_EQ(cache_->CacheLookup(CacheKey("BATCHED")), "b");
    EXPECT_EQ(cache_->CacheLookup(leftSplit), "left");
    EXPECT_EQ(cache_->CacheLookup(rightSplit), "right");

    ASSERT_EQ(other.Execute("DROP TRIGGER keep"), SQLITE_OK);
    ASSERT_TRUE(cache_->CacheStore(leftSplit, EveryByte(600, 2)));
    ASSERT_TRUE(cache_->CacheDeleteEntry(rightSplit));
    const std::string keys[] = {chained, single, leftSplit, rightSplit, CacheKey("BATCHED")};
    std::vector<std::string> live;
    for (const std::string& key : keys) live.push_back(cache_->CacheLookup(key));
    cache_.reset();
    std::unique_ptr<CacheDatabase> reopened = MakeCache();
    ASSERT_NE(reopened->OpenCacheDatabase(), CacheFileOutcome::kUnavailable);
    for (size_t i = 0; i < std::size(keys); ++i) {
        EXPECT_EQ(reopened->CacheLookup(keys[i]), live[i]) << i;
    }
    EXPECT_EQ(live[2], EveryByte(600, 2));

    ASSERT_TRUE(reopened->CacheDeleteAll());
    for (const std::string& key : keys) EXPECT_EQ(reopened->CacheLookup(key), "");
}

TEST_F(CacheDatabaseTest, BatchCommitsItselfWhenFullAndWhenTheCacheCloses) {
    cache_->SetStoreBatching(true);
    for (int i = 0; i < 1000; ++i)
        ASSERT_TRUE(cache_->CacheStore(CacheKey(std::to_string(i)), "v"));
    EXPECT_EQ(Records().size(), 1000u);
    ASSERT_TRUE(cache_->CacheStore(CacheKey("LAST"), "w"));
    EXPECT_EQ(Records().size(), 1000u);
    cache_.reset();
    EXPECT_EQ(Records().size(), 1001u);
}

TEST_F(CacheDatabaseTest, KeysMatchWithoutRegardToAsciiCaseOnly) {
    const std::string key = CacheKey("mail.example.org", "mx");
    ASSERT_TRUE(cache_->CacheStore(key, "first"));
    ASSERT_TRUE(cache_->CacheStore(IndexKey(key), "second"));
    EXPECT_EQ(cache_->CacheLookup(CacheKey("Mail.Example.ORG", "Mx")), "second");
    ASSERT_EQ(Records().size(), 1u);
    EXPECT_EQ(Records()[0].name, CacheKey("MAIL.EXAMPLE.ORG", "MX"));

    ASSERT_TRUE(cache_->CacheStore(CacheKey("\xe9"), "latin"));
    EXPECT_EQ(cache_->CacheLookup(CacheKey("\xc9")), "");
}

TEST(CacheRecordTest, IndexKeyUpperCasesAsciiLettersOnlyAtEveryOffset) {
    // Every octet value at every place in an eight-octet word, and in a tail shorter than one.
    for (size_t size : {263u, 7u}) {
        for (size_t seed = 0; seed < 256; seed += size < 256 ? 7 : 1) {
            const std::string key = EveryByte(size, seed);
            const std::string upper = IndexKey(key);
            ASSERT_EQ(upper.size(), key.size());
            for (size_t i = 0; i < key.size(); ++i) {
                const char c = key[i];
                const char expected = c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
                ASSERT_EQ(upper[i], expected) << "seed " << seed << " at " << i;
            }
        }
    }
}

TEST_F(CacheDatabaseTest, DeletesRemoveWholeChainsAndOversizeValuesAreRefused) {
    const std::string big = CacheKey("BIG");
    ASSERT_TRUE(cache_->CacheStore(big, EveryByte(700)));
    ASSERT_TRUE(cache_->CacheStore(CacheKey("SMALL"), "s"));
    EXPECT_TRUE(cache_->CacheDeleteEntry(CacheKey("big")));
    EXPECT_EQ(Records().size(), 1u);
    EXPECT_TRUE(cache_->CacheDeleteEntry(CacheKey("ABSENT")));

    ASSERT_TRUE(cache_->CacheStore(big, EveryByte(700)));
    EXPECT_FALSE(cache_->CacheStore(big, EveryByte(kMaxCachedValueSize + 1)));
    EXPECT_EQ(cache_->CacheLookup(big), "");
    EXPECT_EQ(Records().size(), 1u);

    ASSERT_TRUE(cache_->CacheStore(big, EveryByte(5000)));
    EXPECT_TRUE(cache_->CacheDeleteAll());
    EXPECT_TRUE(Records().empty());
}

TEST_F(CacheDatabaseTest, DamagedChainsAreMissesAndGiveWayToTheNextStore) {
    const std::string filler = EveryByte(kChunkValueSize);
    const std::string loop = CacheKey("LOOP");
    ASSERT_TRUE(cache_->CacheAddRecord(loop, MakeContinuedChunk(filler, "/aaaa")));
    ASSERT_TRUE(cache_->CacheAddRecord("/AAAA", MakeContinuedChunk(filler, "/bbbb")));
    ASSERT_TRUE(cache_->CacheAddRecord("/BBBB", MakeContinuedChunk(filler, "/aAaA")));
    const std::string broken = CacheKey("BROKEN");
    ASSERT_TRUE(cache_->CacheAddRecord(broken, MakeContinuedChunk(filler, "/gone")));
    const std::string shortChunk = CacheKey("SHORT");
    ASSERT_TRUE(cache_->CacheAddRecord(shortChunk, "\1abc/tail"));
    ASSERT_TRUE(cache_->CacheAddRecord("/TAIL", MakeLastChunk("end")));
    const std::string empty = CacheKey("EMPTY");
    ASSERT_TRUE(cache_->CacheAddRecord(empty, ""));
    const std::string huge = CacheKey("HUGE");
    ASSERT_TRUE(cache_->CacheAddRecord(huge, MakeLastChunk(EveryByte(kMaxCachedValueSize + 1))));

    for (const std::string& key : {loop, broken, shortChunk, empty, huge}) {
        EXPECT_EQ(cache_->CacheLookup(key), "");
        ASSERT_TRUE(cache_->CacheStore(key, "fresh"));
        EXPECT_EQ(cache_->CacheLookup(key), "fresh");
    }
    EXPECT_EQ(Records().size(), 6u);  // five heads and the unreachable "/TAIL"
}

TEST_F(CacheDatabaseTest, ChainLongerThanAnyMessageIsAMissAndDeletingItStops) {
    const std::string key = CacheKey("RUNAWAY");
    const size_t length = kMaxChainRecords + 40;
    auto linkKey = [](size_t i) {
        std::string key = std::to_string(10000 + i);
        key[0] = '/';  // "/" and four digits
        return key;
    };
    ASSERT_TRUE(cache_->CacheAddRecord(key, MakeContinuedChunk(EveryByte(249), linkKey(1))));
    for (size_t i = 1; i + 1 < length; ++i) {
        ASSERT_TRUE(
            cache_->CacheAddRecord(linkKey(i), MakeContinuedChunk(EveryByte(249), linkKey(i + 1))));
    }
    ASSERT_TRUE(cache_->CacheAddRecord(linkKey(length - 1), MakeLastChunk("end")));

    EXPECT_EQ(cache_->CacheLookup(key), "");
    EXPECT_TRUE(cache_->CacheDeleteEntry(key));
    EXPECT_EQ(Records().size(), length - kMaxChainRecords);
}

TEST_F(CacheDatabaseTest, ConversionPadsOldKeysAndDropsWhatCannotBeRead) {
    ASSERT_TRUE(cache_->CacheAddRecord("host.example.com", MakeLastChunk("old")));
    ASSERT_TRUE(cache_->CacheAddRecord("ARPA.1.0.0.127", MakeLastChunk("ptr")));
    ASSERT_TRUE(cache_->CacheAddRecord("OLD.MULTI.PART", "\1spans records"));
    ASSERT_TRUE(cache_->CacheAddRecord("SHORT", MakeLastChunk("x")));
    ASSERT_TRUE(cache_->CacheAddRecord("/KEEP", MakeLastChunk("tail")));
    ASSERT_TRUE(cache_->CacheAddRecord(std::string(300, 'L'), MakeLastChunk("too long")));
    ASSERT_TRUE(cache_->CacheAddRecord("TAKEN.EXAMPLE", MakeLastChunk("older")));
    ASSERT_TRUE(cache_->CacheStore(CacheKey("TAKEN.EXAMPLE"), "newer"));

    ASSERT_TRUE(cache_->ConvertCacheDatabase());
    std::vector<std::string> names;
    for (const RawRecord& record : Records()) names.push_back(record.name);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"/KEEP", CacheKey("HOST.EXAMPLE.COM"),
                                               CacheKey("TAKEN.EXAMPLE")}));
    EXPECT_EQ(cache_->CacheLookup(CacheKey("host.example.com")), "old");
    EXPECT_EQ(cache_->CacheLookup(CacheKey("TAKEN.EXAMPLE")), "newer");
}

TEST_F(CacheDatabaseTest, ConversionStopsAfterEleventhRecordOfConvertedTable) {
    for (int i = 0; i < 10; ++i) ASSERT_TRUE(cache_->CacheStore(CacheKey(std::to_string(i)), "v"));
    ASSERT_TRUE(cache_->CacheAddRecord("OLD.ELEVEN", MakeLastChunk("11")));
    ASSERT_TRUE(cache_->CacheAddRecord("BAD", MakeLastChunk("12")));
    ASSERT_TRUE(cache_->ConvertCacheDatabase());
    EXPECT_FALSE(Record("BAD").has_value());  // the 11th record changed, so the pass went on

    ASSERT_TRUE(cache_->CacheDeleteEntry(CacheKey("OLD.ELEVEN")));
    ASSERT_TRUE(cache_->CacheStore(CacheKey("10"), "v"));
    ASSERT_TRUE(cache_->CacheAddRecord("BAD", MakeLastChunk("13")));
    ASSERT_TRUE(cache_->ConvertCacheDatabase());
    EXPECT_TRUE(Record("BAD").has_value());
}

TEST_F(CacheDatabaseTest, ListingFiltersByTextAndTypeTakingTheTextLiterally) {
    const std::vector<std::string> keys = {
        CacheKey("MAIL.EXAMPLE.COM", "MX"), CacheKey("EXAMPLE.COM", "SOA"),
        CacheKey("WWW.EXAMPLE.COM"),        CacheKey("100%_SURE.ORG"),
        CacheKey("1000_SURE.ORG"),          CacheKey("QUOTE'S.ORG")};
    for (const std::string& key : keys) ASSERT_TRUE(cache_->CacheStore(key, EveryByte(700)));
    auto list = [&](std::string_view text, std::string_view type) {
        return cache_->ListCacheEntries(text, type).size();
    };

    EXPECT_EQ(list("", ""), keys.size());  // no continuation record among them
    EXPECT_EQ(list("mail", ""), 1u);
    EXPECT_EQ(list("", "MX"), 1u);
    EXPECT_EQ(list("", "a"), 5u);  // "SOA" ends in "A" too
    EXPECT_EQ(list("%_", ""), 1u);
    EXPECT_EQ(list("*", ""), 0u);
    EXPECT_EQ(list("'S.ORG", "A"), 1u);
    EXPECT_EQ(list("COM", "MX"), 1u);
    EXPECT_EQ(list("MX", "MX"), 0u);  // the text must come before the type
    EXPECT_EQ(list("') OR 1=1; DROP TABLE ipcache; --", ""), 0u);
    EXPECT_EQ(Records().size(), keys.size() * 3);
}

}  // namespace
}  // namespace quenda::test
