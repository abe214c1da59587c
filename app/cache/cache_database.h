// The cache of upstream replies: stores, finds and deletes replies by question key in the
// table ipcache of DNSCACHE.MDB, and lists the cached questions for the cache view.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "app/cache/cache_file.h"
#include "app/cache/sqlite_handle.h"

namespace quenda {

// Keys are byte strings compared without regard to ASCII letter case; values are byte strings
// of up to kMaxCachedValueSize octets. Until OpenCacheDatabase succeeds, and for good when it
// cannot, every lookup misses and every write does nothing and returns false. No member throws.
// Single-threaded: call from the event loop's thread only.
//
// The open cache keeps a copy of every record of the table in memory, loaded when the file
// opens and changed with every write that reaches the file (and back again when SQLite rolls
// a write back), so reads never touch the file or its locks. Every write and delete must go
// through this class while it is open.
class CacheDatabase {
  public:
    // directory holds DNSCACHE.MDB; log receives the start-up failure line; pump (may be empty)
    // lets pending window messages run during start-up.
    CacheDatabase(std::filesystem::path directory, CacheLogSink log, CacheMessagePump pump = {});
    ~CacheDatabase();
    CacheDatabase(const CacheDatabase&) = delete;
    CacheDatabase& operator=(const CacheDatabase&) = delete;

    // Opens the cache file for the rest of the run, creating, replacing a damaged file and
    // compacting as PrepareCacheFile describes. Closes what was open before.
    CacheFileOutcome OpenCacheDatabase();
    // Whether the cache is usable.
    bool IsOpen() const { return connection_.IsOpen(); }

    // Brings records of older versions into the current form, in table order, in one
    // transaction: keys under 6 octets are deleted unless they begin with "/"; keys of another
    // length than 255 are deleted when their value spans records, when they begin with "ARPA"
    // or when they are too long to pad, and are otherwise padded with spaces to 254 octets
    // plus "A" (a key that then collides with an existing one is deleted). Stops after the
    // 11th record when nothing needed changing so far. False when not open or on failure
    // (nothing changed then).
    bool ConvertCacheDatabase();

    // The value stored under key, or "" when there is none or its chain of records is broken,
    // loops, runs longer than the largest value needs, or is otherwise unreadable.
    std::string CacheLookup(std::string_view key);

    // Stores value under key, all or nothing: in place when both old and new value fit one
    // record, otherwise the old chain is deleted and a new one written. A value longer than
    // kMaxCachedValueSize is not stored and removes the old entry. False when nothing was
    // stored (the old entry then stays, except for the too-long case). An empty key is refused.
    // Committed at once, or with the batch while store batching is on.
    bool CacheStore(std::string_view key, std::string_view value);

    // With batching on, stores gather in one open transaction, so a burst of replies costs
    // one commit instead of one each. Lookups and listings see them at once; other processes
    // and a crash see them only after CommitStores, which the owner calls every few seconds
    // and which also runs after kStoresPerBatch stores, when batching is switched off, before
    // any other write and when the cache closes. Off by default.
    void SetStoreBatching(bool on);
    // Commits the stores gathered so far; true when nothing was left uncommitted. A failed
    // commit drops the batch (the entries it held stay as they were before it) and is logged.
    bool CommitStores();

    // Writes one record holding chunk (already encoded) under key, deleting an entry of that
    // key first. False on failure or an empty key.
    bool CacheAddRecord(std::string_view key, std::string_view chunk);

    // Deletes the entry under key with its continuation records, following the chain until its
    // last chunk, a missing or damaged record, a key seen before, or the longest possible chain.
    // True when the table was reached (also when nothing was stored under key).
    bool CacheDeleteEntry(std::string_view key);

    // Deletes every record, head and continuation records alike.
    bool CacheDeleteAll();

    // A continuation key ("/" + four random octets 1..255) no record uses yet; "" when the
    // cache is closed or no free key turned up.
    std::string NewContinuationKey();

    // Cache keys for the cache view, sorted by key octets: records not beginning with "/" whose
    // key contains searchText (ASCII letters case-blind) before its last typeName.size() octets,
    // which must equal typeName (case-blind; "" = any type). Both texts are matched as plain
    // octets: no character of them has a special meaning.
    std::vector<std::string> ListCacheEntries(std::string_view searchText,
                                              std::string_view typeName);

    // Prepares a read-only statement on the open cache file for the cache view, which reads
    // through this one connection (no second one may open the file while it runs); invalid
    // when the cache is closed. Changes go through the members above only.
    SqliteStatement PrepareListing(std::string_view sql) {
        return IsOpen() ? connection_.Prepare(sql) : SqliteStatement();
    }

  private:
    enum class ReadResult { kFound, kAbsent, kFailed };

    // Reads the chunk stored under an index key.
    ReadResult ReadChunk(const std::string& indexKey, std::string& chunk);
    bool InsertRecord(const std::string& indexKey, std::string_view chunk);
    bool UpdateRecord(const std::string& indexKey, std::string_view chunk);
    bool DeleteRecord(const std::string& indexKey);
    // The chain walk of CacheDeleteEntry, inside the caller's transaction.
    bool DeleteChain(std::string_view key);
    // A free continuation key whose index key is not avoid either; "" when none turned up.
    std::string FreeContinuationKey(std::string_view avoid);
    bool StoreChain(std::string_view key, std::string_view value);
    bool PrepareStatements();
    void CloseDatabase();

    // A transaction whose changes to the copy in memory are undone when SQLite's are.
    class Transaction;
    // Fills the copy in memory from the table; false (and no copy kept) when it cannot.
    bool LoadRecords();
    // The copy's record under an index key, journalled while a transaction is open.
    void SetRecord(const std::string& indexKey, std::string_view chunk);
    void EraseRecord(const std::string& indexKey);
    // Undoes the copy's changes journalled after mark.
    void UndoRecords(size_t mark);
    // Brings the journal in line with the file: dropped once nothing is open any more (after
    // a commit; SQLite also ends a transaction on some errors, which undoes it).
    void SettleRecords(bool committed);

    // One change of the copy in memory: the record's key and what it held before.
    struct RecordChange {
        std::string key;                      // the record's key in the copy
        std::optional<std::string> previous;  // its chunk before; none when it was absent
    };
    std::filesystem::path directory_;  // program directory holding DNSCACHE.MDB
    CacheLogSink log_;                 // start-up failure lines
    CacheMessagePump pump_;            // runs pending window messages during start-up
    std::mt19937 random_;              // draws continuation keys
    bool batching_ = false;            // stores gather in an open transaction
    int batchedStores_ = 0;            // stores in the open batch
    SqliteConnection connection_;      // open cache file; closed when unusable
    SqliteStatement select_;           // chunk by index key
    SqliteStatement insert_;           // new record (chunk, index key)
    SqliteStatement update_;           // new chunk for an index key
    SqliteStatement delete_;           // record by index key
    bool mirrored_ = false;            // records_ holds every record of the table
    std::unordered_map<std::string, std::string> records_;  // chunk by RecordKey(index key)
    std::vector<RecordChange> journal_;  // changes of records_ in the open transaction
};

// How the copy in memory holds an index key: a key of up to 255 octets with a run of at least
// two spaces (a cache key's padding) keeps its longest run as a count, so the copy of a large
// cache costs a few octets per key instead of 255. Distinct keys stay distinct.
std::string RecordKey(std::string_view indexKey);

}  // namespace quenda
