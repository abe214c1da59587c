// The cache of upstream replies: stores, finds and deletes replies by question key in the
// table ipcache of DNSCACHE.MDB, and lists the cached questions for the cache view.
#include "app/cache/cache_database.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <utility>

#include "app/cache/cache_record.h"

namespace quenda {
namespace {

// Draws before NewContinuationKey gives up; with 255^4 keys a miss means the table is broken.
constexpr int kKeyAttempts = 64;
// Length of a cache key; shorter or longer names come from older versions.
constexpr size_t kCacheKeySize = 255;
// Keys shorter than this are not cache keys (continuation keys are kept).
constexpr size_t kShortestKey = 6;
// Records looked at before a table with nothing to convert is taken as converted.
constexpr int kConversionSample = 10;
// Stores one batch holds at most, bounding the write-ahead log and what a crash can lose.
constexpr int kStoresPerBatch = 1000;

bool HasPrefix(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// The longest key whose run of spaces RecordKey can count in one octet each.
constexpr size_t kLongestFoldedKey = 255;
// Shorter runs are not worth the two octets that count them.
constexpr size_t kShortestFoldedRun = 2;

}  // namespace

std::string RecordKey(std::string_view indexKey) {
    size_t runStart = 0;
    size_t runLength = 0;
    if (indexKey.size() <= kLongestFoldedKey) {
        for (size_t i = 0; i < indexKey.size();) {
            if (indexKey[i] != ' ') {
                ++i;
                continue;
            }
            size_t end = i;
            while (end < indexKey.size() && indexKey[end] == ' ') ++end;
            if (end - i > runLength) {
                runStart = i;
                runLength = end - i;
            }
            i = end;
        }
    }
    // First octet 0: the key as it is; 1: where the run starts and how long it is, then the
    // key without it. Either form reads back to exactly one key.
    std::string folded;
    if (runLength < kShortestFoldedRun) {
        folded.reserve(indexKey.size() + 1);
        folded.push_back('\0');
        folded.append(indexKey);
        return folded;
    }
    folded.reserve(indexKey.size() + 3 - runLength);
    folded.push_back('\1');
    folded.push_back(static_cast<char>(runStart));
    folded.push_back(static_cast<char>(runLength));
    folded.append(indexKey.substr(0, runStart)).append(indexKey.substr(runStart + runLength));
    return folded;
}

// SQLite's transaction (or savepoint) with the copy's changes made inside it: undone when it
// rolls back, kept when it commits.
class CacheDatabase::Transaction {
  public:
    explicit Transaction(CacheDatabase& cache)
        : cache_(cache), mark_(cache.journal_.size()), sqlite_(cache.connection_) {}
    ~Transaction() {
        if (committed_) return;
        // SQLite's rollback follows as sqlite_ goes. An outer transaction that an error has
        // already ended takes every change since it began with it.
        cache_.UndoRecords(cache_.connection_.IsAutocommit() ? 0 : mark_);
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    bool IsActive() const { return sqlite_.IsActive(); }
    bool Commit() {
        committed_ = sqlite_.Commit();
        if (committed_) cache_.SettleRecords(true);
        return committed_;
    }

  private:
    CacheDatabase& cache_;
    size_t mark_;               // the journal's length when the transaction began
    SqliteTransaction sqlite_;  // SQLite's side
    bool committed_ = false;    // Commit succeeded
};

CacheDatabase::CacheDatabase(std::filesystem::path directory, CacheLogSink log,
                             CacheMessagePump pump)
    : directory_(std::move(directory)),
      log_(std::move(log)),
      pump_(std::move(pump)),
      random_(std::random_device{}()) {}

CacheDatabase::~CacheDatabase() {
    CloseDatabase();
}

CacheFileOutcome CacheDatabase::OpenCacheDatabase() {
    CloseDatabase();
    PreparedCacheFile prepared = PrepareCacheFile(directory_, log_, pump_);
    if (prepared.outcome == CacheFileOutcome::kUnavailable) return prepared.outcome;
    connection_ = std::move(prepared.connection);
    if (!PrepareStatements()) {
        LogCacheOpenFailure(log_, connection_.LastError());
        CloseDatabase();
        return CacheFileOutcome::kUnavailable;
    }
    // Without the copy in memory the cache still works, reading the file.
    mirrored_ = LoadRecords();
    return prepared.outcome;
}

bool CacheDatabase::PrepareStatements() {
    select_ = connection_.Prepare("SELECT IPNUMBER FROM ipcache WHERE IPNAME = ?1");
    insert_ = connection_.Prepare("INSERT INTO ipcache (IPNUMBER, IPNAME) VALUES (?1, ?2)");
    update_ = connection_.Prepare("UPDATE ipcache SET IPNUMBER = ?1 WHERE IPNAME = ?2");
    delete_ = connection_.Prepare("DELETE FROM ipcache WHERE IPNAME = ?1");
    return select_.IsValid() && insert_.IsValid() && update_.IsValid() && delete_.IsValid();
}

void CacheDatabase::CloseDatabase() {
    CommitStores();
    // Statements first: a connection with live statements does not close.
    select_ = {};
    insert_ = {};
    update_ = {};
    delete_ = {};
    connection_.Close();
    mirrored_ = false;
    records_.clear();
    journal_.clear();
}

bool CacheDatabase::LoadRecords() {
    records_.clear();
    journal_.clear();
    // Only BLOB keys: a key of another type never equals the BLOB keys the lookups bind.
    SqliteStatement all =
        connection_.Prepare("SELECT IPNAME, IPNUMBER FROM ipcache WHERE typeof(IPNAME) = 'blob'");
    if (!all.IsValid()) return false;
    int rc = SQLITE_ROW;
    while ((rc = all.Step()) == SQLITE_ROW) {
        records_.insert_or_assign(RecordKey(all.ColumnBytes(0)), all.ColumnBytes(1));
    }
    if (rc == SQLITE_DONE) return true;
    records_.clear();
    return false;
}

void CacheDatabase::SetRecord(const std::string& indexKey, std::string_view chunk) {
    if (!mirrored_) return;
    std::string key = RecordKey(indexKey);
    const auto found = records_.find(key);
    if (!connection_.IsAutocommit()) {
        journal_.push_back({key, found == records_.end()
                                     ? std::nullopt
                                     : std::optional<std::string>(found->second)});
    }
    if (found == records_.end()) {
        records_.emplace(std::move(key), chunk);
    } else {
        found->second.assign(chunk);
    }
}

void CacheDatabase::EraseRecord(const std::string& indexKey) {
    if (!mirrored_) return;
    const auto found = records_.find(RecordKey(indexKey));
    if (found == records_.end()) return;
    if (!connection_.IsAutocommit()) journal_.push_back({found->first, std::move(found->second)});
    records_.erase(found);
}

void CacheDatabase::UndoRecords(size_t mark) {
    while (journal_.size() > mark) {
        RecordChange& change = journal_.back();
        if (change.previous) {
            records_.insert_or_assign(std::move(change.key), std::move(*change.previous));
        } else {
            records_.erase(change.key);
        }
        journal_.pop_back();
    }
}

void CacheDatabase::SettleRecords(bool committed) {
    if (journal_.empty() || !connection_.IsAutocommit()) return;
    if (committed) {
        journal_.clear();
    } else {
        UndoRecords(0);
    }
}

CacheDatabase::ReadResult CacheDatabase::ReadChunk(const std::string& indexKey,
                                                   std::string& chunk) {
    if (mirrored_) {
        const auto found = records_.find(RecordKey(indexKey));
        if (found == records_.end()) return ReadResult::kAbsent;
        chunk = found->second;
        return ReadResult::kFound;
    }
    if (!select_.IsValid() || !select_.BindBytes(1, indexKey)) return ReadResult::kFailed;
    const int rc = select_.Step();
    if (rc == SQLITE_ROW) chunk = select_.ColumnBytes(0);
    select_.Reset();  // ends the read snapshot
    if (rc == SQLITE_ROW) return ReadResult::kFound;
    return rc == SQLITE_DONE ? ReadResult::kAbsent : ReadResult::kFailed;
}

bool CacheDatabase::InsertRecord(const std::string& indexKey, std::string_view chunk) {
    const bool done = insert_.IsValid() && insert_.BindBytes(1, chunk) &&
                      insert_.BindBytes(2, indexKey) && insert_.Step() == SQLITE_DONE;
    insert_.Reset();
    if (done) SetRecord(indexKey, chunk);
    return done;
}

bool CacheDatabase::UpdateRecord(const std::string& indexKey, std::string_view chunk) {
    const bool done = update_.IsValid() && update_.BindBytes(1, chunk) &&
                      update_.BindBytes(2, indexKey) && update_.Step() == SQLITE_DONE;
    update_.Reset();
    if (done) SetRecord(indexKey, chunk);
    return done;
}

bool CacheDatabase::DeleteRecord(const std::string& indexKey) {
    const bool done =
        delete_.IsValid() && delete_.BindBytes(1, indexKey) && delete_.Step() == SQLITE_DONE;
    delete_.Reset();
    if (done) EraseRecord(indexKey);
    return done;
}

std::string CacheDatabase::CacheLookup(std::string_view key) {
    if (!IsOpen() || key.empty()) return {};
    SettleRecords(false);
    std::string value;
    std::string chunk;
    std::string indexKey = IndexKey(key);
    // A hand-edited or damaged file may hold a chain that loops or never ends.
    std::vector<std::string> visited;
    for (size_t records = 0; records < kMaxChainRecords; ++records) {
        std::string_view read;
        if (mirrored_) {
            // Read in place: a hit copies its value once, into the result.
            const auto found = records_.find(RecordKey(indexKey));
            if (found == records_.end()) return {};
            read = found->second;
        } else {
            if (ReadChunk(indexKey, chunk) != ReadResult::kFound) return {};
            read = chunk;
        }
        const ChunkView view = ParseChunk(read);
        if (view.kind == ChunkView::Kind::kDamaged) return {};
        value.append(view.value);
        if (value.size() > kMaxCachedValueSize) return {};
        if (view.kind == ChunkView::Kind::kLast) return value;
        visited.push_back(std::move(indexKey));
        indexKey = IndexKey(view.next);
        if (std::find(visited.begin(), visited.end(), indexKey) != visited.end()) return {};
    }
    return {};
}

bool CacheDatabase::CacheStore(std::string_view key, std::string_view value) {
    if (!IsOpen() || key.empty()) return false;
    SettleRecords(false);
    if (batching_ && connection_.IsAutocommit()) {
        batchedStores_ = 0;
        if (connection_.ExecuteReused("BEGIN IMMEDIATE") != SQLITE_OK) return false;
    }
    const bool stored = StoreChain(key, value);
    if (batching_ && ++batchedStores_ >= kStoresPerBatch) CommitStores();
    return stored;
}

void CacheDatabase::SetStoreBatching(bool on) {
    batching_ = on;
    if (!on) CommitStores();
}

bool CacheDatabase::CommitStores() {
    batchedStores_ = 0;
    if (!IsOpen()) return true;
    if (connection_.IsAutocommit()) {
        SettleRecords(false);
        return true;
    }
    if (connection_.ExecuteReused("COMMIT") == SQLITE_OK) {
        SettleRecords(true);
        return true;
    }
    const SqliteError error = connection_.LastError();
    connection_.ExecuteReused("ROLLBACK");
    UndoRecords(0);
    if (log_) {
        log_("Error writing Database!! " + std::to_string(error.code) + ": " + error.message, 1);
    }
    return false;
}

bool CacheDatabase::StoreChain(std::string_view key, std::string_view value) {
    // An open batch already holds the write lock and one statement is all-or-nothing by
    // itself, so there the savepoint is taken only for a store of several statements.
    std::optional<Transaction> transaction;
    const auto begin = [&] {
        if (!transaction) transaction.emplace(*this);
        return transaction->IsActive();
    };
    const auto commit = [&] { return !transaction || transaction->Commit(); };
    if (connection_.IsAutocommit() && !begin()) return false;

    if (value.size() > kMaxCachedValueSize) {
        // Whatever was cached for this question is older than the reply just refused.
        if (begin() && DeleteChain(key)) commit();
        return false;
    }

    const std::string headKey = IndexKey(key);
    std::string head;
    const ReadResult found = ReadChunk(headKey, head);
    if (found == ReadResult::kFailed) return false;
    if (value.size() < kChunkValueSize) {
        if (found == ReadResult::kAbsent) {
            return InsertRecord(headKey, MakeLastChunk(value)) && commit();
        }
        const ChunkView view = ParseChunk(head);
        if (view.kind == ChunkView::Kind::kLast) {
            // The other servers asked mostly send the very reply the first one did.
            if (view.value == value) return commit();
            return UpdateRecord(headKey, MakeLastChunk(value)) && commit();
        }
    }
    if (!begin()) return false;
    if (found == ReadResult::kFound && !DeleteChain(key)) return false;

    // Every key of the new chain is free when written: the head was just deleted and each
    // continuation key is drawn unused and unlike the one about to be written.
    std::string currentKey = headKey;
    std::string_view rest = value;
    while (rest.size() > kChunkValueSize) {
        std::string next = FreeContinuationKey(currentKey);
        if (next.empty() ||
            !InsertRecord(currentKey, MakeContinuedChunk(rest.substr(0, kChunkValueSize), next))) {
            return false;
        }
        rest.remove_prefix(kChunkValueSize);
        currentKey = IndexKey(next);
    }
    return InsertRecord(currentKey, MakeLastChunk(rest)) && commit();
}

bool CacheDatabase::CacheAddRecord(std::string_view key, std::string_view chunk) {
    if (!IsOpen() || key.empty()) return false;
    CommitStores();  // an edit by hand is durable at once, on its own
    Transaction transaction(*this);
    if (!transaction.IsActive()) return false;
    const std::string indexKey = IndexKey(key);
    std::string old;
    const ReadResult found = ReadChunk(indexKey, old);
    if (found == ReadResult::kFailed || (found == ReadResult::kFound && !DeleteChain(key))) {
        return false;
    }
    return InsertRecord(indexKey, chunk) && transaction.Commit();
}

bool CacheDatabase::CacheDeleteEntry(std::string_view key) {
    if (!IsOpen() || key.empty()) return false;
    CommitStores();
    Transaction transaction(*this);
    return transaction.IsActive() && DeleteChain(key) && transaction.Commit();
}

bool CacheDatabase::DeleteChain(std::string_view key) {
    // Each step deletes the record it read, so a looping chain ends at the first key seen
    // twice (it is gone by then); the length bound ends a chain that runs on.
    std::string indexKey = IndexKey(key);
    std::string chunk;
    for (size_t records = 0; records < kMaxChainRecords; ++records) {
        const ReadResult found = ReadChunk(indexKey, chunk);
        if (found == ReadResult::kAbsent) return true;
        if (found == ReadResult::kFailed || !DeleteRecord(indexKey)) return false;
        const ChunkView view = ParseChunk(chunk);
        if (view.kind != ChunkView::Kind::kContinued) return true;
        indexKey = IndexKey(view.next);
    }
    return true;
}

bool CacheDatabase::CacheDeleteAll() {
    if (!IsOpen()) return false;
    CommitStores();
    Transaction transaction(*this);
    if (!transaction.IsActive() || connection_.Execute("DELETE FROM ipcache") != SQLITE_OK ||
        !transaction.Commit()) {
        return false;
    }
    records_.clear();
    return true;
}

std::string CacheDatabase::NewContinuationKey() {
    return FreeContinuationKey({});
}

std::string CacheDatabase::FreeContinuationKey(std::string_view avoid) {
    if (!IsOpen()) return {};
    std::uniform_int_distribution<int> code(1, 255);
    std::string chunk;
    for (int attempt = 0; attempt < kKeyAttempts; ++attempt) {
        std::string key(1, '/');
        while (key.size() < kContinuationKeySize) key.push_back(static_cast<char>(code(random_)));
        const std::string indexKey = IndexKey(key);
        if (indexKey == avoid) continue;
        const ReadResult found = ReadChunk(indexKey, chunk);
        if (found == ReadResult::kAbsent) return key;
        if (found == ReadResult::kFailed) return {};
    }
    return {};
}

bool CacheDatabase::ConvertCacheDatabase() {
    if (!IsOpen()) return false;
    CommitStores();
    SqliteTransaction transaction(connection_);
    SqliteStatement next = connection_.Prepare(
        "SELECT rowid, IPNAME, substr(IPNUMBER, 1, 1) FROM ipcache WHERE rowid > ?1 "
        "ORDER BY rowid LIMIT 1");
    SqliteStatement remove = connection_.Prepare("DELETE FROM ipcache WHERE rowid = ?1");
    SqliteStatement rename = connection_.Prepare("UPDATE ipcache SET IPNAME = ?1 WHERE rowid = ?2");
    if (!transaction.IsActive() || !next.IsValid() || !remove.IsValid() || !rename.IsValid()) {
        return false;
    }
    auto run = [](SqliteStatement& statement) {
        const int rc = statement.Step();
        statement.Reset();
        return rc;
    };
    auto removeRow = [&](int64_t rowid) {
        return remove.BindInt(1, rowid) && run(remove) == SQLITE_DONE;
    };

    int counter = 0;
    bool changed = false;
    int64_t rowid = INT64_MIN;
    // One row per query, by rowid: the loop changes the table it walks.
    for (;;) {
        next.BindInt(1, rowid);
        const int rc = next.Step();
        if (rc != SQLITE_ROW) {
            next.Reset();
            if (rc != SQLITE_DONE) return false;
            break;
        }
        rowid = next.ColumnInt(0);
        const std::string name = next.ColumnBytes(1);
        const std::string mark = next.ColumnBytes(2);
        next.Reset();
        ++counter;

        bool done = true;
        if (name.size() < kShortestKey) {
            if (!HasPrefix(name, "/")) {
                changed = true;
                done = removeRow(rowid);
            }
        } else if (name.size() != kCacheKeySize) {
            changed = true;
            const bool spansRecords = !mark.empty() && mark[0] != kLastChunkMark;
            if (spansRecords || HasPrefix(IndexKey(name), "ARPA") || name.size() > kCacheKeySize) {
                done = removeRow(rowid);
            } else {
                std::string key = IndexKey(name);
                key.resize(kCacheKeySize - 1, ' ');
                key.push_back('A');
                done = rename.BindBytes(1, key) && rename.BindInt(2, rowid);
                const int renamed = done ? run(rename) : SQLITE_MISUSE;
                // The padded key may already hold a newer entry, which wins.
                if ((renamed & 0xff) == SQLITE_CONSTRAINT)
                    done = removeRow(rowid);
                else
                    done = done && renamed == SQLITE_DONE;
            }
        }
        if (!done) return false;
        if (!changed && counter > kConversionSample) break;
    }
    if (!transaction.Commit()) return false;
    // The pass rewrote keys behind the copy's back: read it afresh when it did.
    if (changed && mirrored_) mirrored_ = LoadRecords();
    return true;
}

std::vector<std::string> CacheDatabase::ListCacheEntries(std::string_view searchText,
                                                         std::string_view typeName) {
    std::vector<std::string> keys;
    if (!IsOpen()) return keys;
    // Plain octet comparisons on BLOBs: instr and substr give the texts no wildcard meaning
    // and stay exact for any octet, NUL included. The range test skips "/" names by index.
    SqliteStatement query = connection_.Prepare(
        "SELECT IPNAME FROM ipcache WHERE (IPNAME < x'2F' OR IPNAME >= x'30') "
        "AND length(IPNAME) >= length(?2) "
        "AND substr(IPNAME, length(IPNAME) - length(?2) + 1) = ?2 "
        "AND instr(substr(IPNAME, 1, length(IPNAME) - length(?2)), ?1) > 0 "
        "ORDER BY IPNAME");
    if (!query.IsValid() || !query.BindBytes(1, IndexKey(searchText)) ||
        !query.BindBytes(2, IndexKey(typeName))) {
        return keys;
    }
    while (query.Step() == SQLITE_ROW) keys.push_back(query.ColumnBytes(0));
    return keys;
}

}  // namespace quenda
