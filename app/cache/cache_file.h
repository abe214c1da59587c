// Makes DNSCACHE.MDB ready at start-up: creates it when missing, checks it, replaces a damaged
// one, compacts it through TEMP.MDB, and hands back an open connection.
#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include "app/cache/sqlite_handle.h"

namespace quenda {

inline constexpr char kCacheFileName[] = "DNSCACHE.MDB";
inline constexpr char kCompactionFileName[] = "TEMP.MDB";

// Receives log lines: text and detail level (1 is always written).
using CacheLogSink = std::function<void(const std::string& text, int level)>;
// Lets pending window messages run once; may be empty.
using CacheMessagePump = std::function<void()>;

// How start-up left the cache file.
enum class CacheFileOutcome {
    kOpened,       // the file was sound and is open as it was (compaction did not happen)
    kCompacted,    // the file was sound, compacted and replaced, and is open
    kCreated,      // no file was there; a new, empty one is open
    kRecreated,    // the file was damaged; it was deleted and a new, empty one is open
    kUnavailable,  // no usable file; failure logged, the cache works as always empty
};

// The open cache file after start-up.
struct PreparedCacheFile {
    SqliteConnection connection;  // open with table ipcache, unless kUnavailable
    CacheFileOutcome outcome = CacheFileOutcome::kUnavailable;
};

// Creates a cache file at file with table ipcache (IPNUMBER, then IPNAME) and the unique index
// IPIndex on IPNAME, in WAL mode. A sound file already there keeps its records (only missing
// schema parts are added). Returns the failure, code SQLITE_OK on success.
SqliteError CreateCacheDatabase(const std::filesystem::path& file);

// Writes the start-up failure line "Error opening Database!! " + number + ": " + description
// at level 1.
void LogCacheOpenFailure(const CacheLogSink& log, const SqliteError& error);

// Runs the start-up sequence in directory:
//  - creates DNSCACHE.MDB when it is missing;
//  - checks it (open, schema, integrity check); a file whose content is damaged or is not a
//    cache database is deleted and created anew, while a file that cannot be reached (no
//    permission, read-only directory, busy, I/O error) is kept untouched and left unused;
//  - removes a stale TEMP.MDB, compacts into TEMP.MDB, and renames it over DNSCACHE.MDB only
//    after it is complete on disk; if any compaction step fails the old file is opened as is.
// Failures that leave the cache unusable are logged at level 1 as "Error opening Database!! "
// + error number + ": " + description. pump runs twice, as window messages would.
PreparedCacheFile PrepareCacheFile(const std::filesystem::path& directory, const CacheLogSink& log,
                                   const CacheMessagePump& pump);

}  // namespace quenda
