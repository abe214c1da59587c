// Makes DNSCACHE.MDB ready at start-up: creates it when missing, checks it, replaces a damaged
// one, compacts it through TEMP.MDB, and hands back an open connection.
#include "app/cache/cache_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <system_error>

namespace quenda {
namespace {

namespace fs = std::filesystem;

constexpr int kOpenExisting = SQLITE_OPEN_READWRITE;
constexpr int kOpenOrCreate = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;

// Errors that say the file's content is not a usable cache, so replacing it loses nothing
// that could be read. Everything else (permissions, locks, I/O, full disk) may pass, and a
// file that merely cannot be reached right now must never be deleted for it.
bool IsDamage(int code) {
    switch (code & 0xff) {
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB:
        case SQLITE_FORMAT:
        case SQLITE_ERROR:       // schema of another shape: no such table or column
        case SQLITE_CONSTRAINT:  // duplicate keys where the unique index should be
        case SQLITE_MISMATCH:
            return true;
        default:
            return false;
    }
}

SqliteError ErrorOf(const std::error_code& error) {
    return {error.value(), error.message()};
}

// Removes a database file and the side files SQLite keeps beside it. A stale WAL left next to
// a new file would be replayed into it, so the side files go too. True when the main file is
// gone (or was never there).
bool RemoveDatabaseFiles(const fs::path& file, SqliteError* error = nullptr) {
    std::error_code ec;
    for (const char* suffix : {"-wal", "-shm", "-journal"}) {
        fs::remove(fs::path(file).concat(suffix), ec);
    }
    fs::remove(file, ec);
    if (ec && error != nullptr) *error = ErrorOf(ec);
    return !ec;
}

// Flushes a file or directory to the disk.
bool SyncPath(const fs::path& path, bool isDirectory) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | (isDirectory ? O_DIRECTORY : 0));
    if (fd < 0) return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}

bool HasContent(const fs::path& file) {
    std::error_code ec;
    const auto size = fs::file_size(file, ec);
    return !ec && size > 0;
}

SqliteError FailureOf(const SqliteConnection& connection) {
    SqliteError error = connection.LastError();
    if (error.code == SQLITE_OK) error = {SQLITE_ERROR, "unknown error"};
    return error;
}

// WAL with synchronous=NORMAL: commits write the log without an fsync, and a crash can lose
// only the latest commits, never the file's consistency.
SqliteError ConfigureConnection(SqliteConnection& connection) {
    if (connection.IsReadOnly()) return {SQLITE_READONLY, "the cache file cannot be written"};
    if (connection.Execute("PRAGMA journal_mode=WAL") != SQLITE_OK) return FailureOf(connection);
    if (connection.Execute("PRAGMA synchronous=NORMAL") != SQLITE_OK) return FailureOf(connection);
    // Tuning only (failures change speed, not results): lookups seek at random over a file far
    // larger than the default 2 MB page cache, and rarer checkpoints mean rarer fsyncs at the
    // price of a log of up to 16 MB. No memory mapping: an I/O error there is a signal, not
    // an error code.
    connection.Execute("PRAGMA cache_size=-16384");
    connection.Execute("PRAGMA wal_autocheckpoint=4000");
    return {};
}

// Adds what is missing of the schema, then proves the fields are there.
SqliteError EnsureSchema(SqliteConnection& connection) {
    if (connection.Execute("CREATE TABLE IF NOT EXISTS ipcache (IPNUMBER BLOB, "
                           "IPNAME BLOB NOT NULL)") != SQLITE_OK ||
        connection.Execute("CREATE UNIQUE INDEX IF NOT EXISTS IPIndex ON ipcache (IPNAME)") !=
            SQLITE_OK ||
        !connection.Prepare("SELECT IPNUMBER, IPNAME FROM ipcache LIMIT 0").IsValid()) {
        return FailureOf(connection);
    }
    return {};
}

SqliteError CheckIntegrity(SqliteConnection& connection) {
    SqliteStatement check = connection.Prepare("PRAGMA integrity_check(1)");
    if (!check.IsValid()) return FailureOf(connection);
    const int rc = check.Step();
    if (rc != SQLITE_ROW) return FailureOf(connection);
    std::string verdict = check.ColumnBytes(0);
    if (verdict != "ok") return {SQLITE_CORRUPT, verdict};
    return {};
}

SqliteError OpenCacheFile(SqliteConnection& connection, const fs::path& file, bool checkIntegrity) {
    if (connection.Open(file, kOpenExisting) != SQLITE_OK) return connection.LastError();
    SqliteError error = ConfigureConnection(connection);
    if (error.code == SQLITE_OK) error = EnsureSchema(connection);
    if (error.code == SQLITE_OK && checkIntegrity) error = CheckIntegrity(connection);
    if (error.code != SQLITE_OK) connection.Close();
    return error;
}

// Opens the file; a file with damaged content is deleted and created anew. Sets outcome to
// kRecreated when that happened.
SqliteError OpenOrReplace(SqliteConnection& connection, const fs::path& file, bool checkIntegrity,
                          CacheFileOutcome& outcome) {
    SqliteError error = OpenCacheFile(connection, file, checkIntegrity);
    if (error.code == SQLITE_OK || !IsDamage(error.code)) return error;
    if (!RemoveDatabaseFiles(file, &error)) return error;
    error = CreateCacheDatabase(file);
    if (error.code == SQLITE_OK) error = OpenCacheFile(connection, file, false);
    if (error.code == SQLITE_OK) outcome = CacheFileOutcome::kRecreated;
    return error;
}

// Compacts the open file into temp and swaps it in. The swap is a rename done only when the
// copy is complete on disk and the original closed cleanly, so any failure leaves the
// original in place. On success the connection is closed (the caller reopens).
bool Compact(SqliteConnection& connection, const fs::path& file, const fs::path& temp) {
    bool written = false;
    {
        SqliteStatement vacuum = connection.Prepare("VACUUM INTO ?1");
        written =
            vacuum.IsValid() && vacuum.BindText(1, temp.native()) && vacuum.Step() == SQLITE_DONE;
    }
    if (!written || !SyncPath(temp, false)) {
        RemoveDatabaseFiles(temp);
        return false;
    }
    connection.Close();
    // A log the close could not fold back would be replayed onto the compacted copy.
    if (HasContent(fs::path(file).concat("-wal"))) {
        RemoveDatabaseFiles(temp);
        return false;
    }
    std::error_code ec;
    fs::rename(temp, file, ec);
    if (ec) {
        RemoveDatabaseFiles(temp);
        return false;
    }
    SyncPath(file.parent_path(), true);
    return true;
}

}  // namespace

void LogCacheOpenFailure(const CacheLogSink& log, const SqliteError& error) {
    if (log) {
        log("Error opening Database!! " + std::to_string(error.code) + ": " + error.message, 1);
    }
}

SqliteError CreateCacheDatabase(const fs::path& file) {
    SqliteConnection connection;
    if (connection.Open(file, kOpenOrCreate) != SQLITE_OK) return connection.LastError();
    SqliteError error = ConfigureConnection(connection);
    if (error.code == SQLITE_OK) error = EnsureSchema(connection);
    return error;
}

PreparedCacheFile PrepareCacheFile(const fs::path& directory, const CacheLogSink& log,
                                   const CacheMessagePump& pump) {
    PreparedCacheFile result;
    const fs::path file = directory / kCacheFileName;
    const fs::path temp = directory / kCompactionFileName;
    auto unavailable = [&](const SqliteError& error) {
        LogCacheOpenFailure(log, error);
        result.connection.Close();
        result.outcome = CacheFileOutcome::kUnavailable;
    };

    result.outcome = CacheFileOutcome::kOpened;
    std::error_code ec;
    bool isNew = false;
    if (!fs::exists(file, ec)) {
        const SqliteError error = CreateCacheDatabase(file);
        if (error.code != SQLITE_OK) {
            unavailable(error);
            return result;
        }
        result.outcome = CacheFileOutcome::kCreated;
        isNew = true;
    }

    SqliteError error = OpenOrReplace(result.connection, file, !isNew, result.outcome);
    if (error.code != SQLITE_OK) {
        unavailable(error);
        return result;
    }
    isNew = isNew || result.outcome == CacheFileOutcome::kRecreated;

    RemoveDatabaseFiles(temp);
    if (!isNew && Compact(result.connection, file, temp)) {
        result.outcome = CacheFileOutcome::kCompacted;
    }
    if (pump) pump();

    if (!result.connection.IsOpen()) {
        error = OpenOrReplace(result.connection, file, false, result.outcome);
        if (error.code != SQLITE_OK) {
            unavailable(error);
            return result;
        }
    }
    if (pump) pump();
    return result;
}

}  // namespace quenda
