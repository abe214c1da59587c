// Owns SQLite connections and prepared statements, and moves byte strings in and out as BLOBs.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quenda {

// What SQLite said about the last call that failed.
struct SqliteError {
    int code = SQLITE_OK;  // extended result code; SQLITE_OK when nothing failed
    std::string message;   // SQLite's own description of the failure
};

// One prepared statement; finalized when destroyed. Moves, never copies.
class SqliteStatement {
  public:
    SqliteStatement() = default;
    explicit SqliteStatement(sqlite3_stmt* statement) : statement_(statement) {}
    ~SqliteStatement();
    SqliteStatement(SqliteStatement&& other) noexcept;
    SqliteStatement& operator=(SqliteStatement&& other) noexcept;
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    bool IsValid() const { return statement_ != nullptr; }

    // Binds bytes (any octets, NUL included) as a BLOB to the 1-based parameter index; SQLite
    // keeps its own copy. An empty string binds an empty BLOB, never NULL.
    bool BindBytes(int index, std::string_view bytes);
    bool BindText(int index, std::string_view text);
    bool BindInt(int index, int64_t value);

    // Runs one step: SQLITE_ROW, SQLITE_DONE or an error code.
    int Step();

    // The column of the current row as bytes; NULL reads as "".
    std::string ColumnBytes(int column);
    // The same without a copy: valid until the next Step, Reset or column call.
    std::string_view ColumnView(int column);
    int64_t ColumnInt(int column);

    // Makes the statement ready to run again and drops its bindings. Until this runs after a
    // step, a read statement holds its snapshot open.
    void Reset();

  private:
    sqlite3_stmt* statement_ = nullptr;  // owned; null when not prepared
};

// One connection to a database file; closed when destroyed. Moves, never copies.
class SqliteConnection {
  public:
    SqliteConnection() = default;
    ~SqliteConnection();
    SqliteConnection(SqliteConnection&& other) noexcept;
    SqliteConnection& operator=(SqliteConnection&& other) noexcept;
    SqliteConnection(const SqliteConnection&) = delete;
    SqliteConnection& operator=(const SqliteConnection&) = delete;

    // Opens file with SQLITE_OPEN_* flags, closing any connection held before. Returns the
    // result code; on failure nothing stays open and LastError() says why.
    int Open(const std::filesystem::path& file, int flags);
    // Closes the connection; statements prepared on it must be gone first.
    void Close();
    bool IsOpen() const { return db_ != nullptr; }
    // Whether the file could be opened for reading only (SQLite falls back silently).
    bool IsReadOnly() const { return db_ != nullptr && sqlite3_db_readonly(db_, "main") == 1; }

    // Runs SQL that returns no rows we need; the result code.
    int Execute(const char* sql);
    // Execute for one statement run again and again (transaction control): prepared on its
    // first run and kept with the connection.
    int ExecuteReused(const char* sql);
    // Prepares one statement; an invalid statement on failure (see LastError()).
    SqliteStatement Prepare(std::string_view sql);
    // Whether no transaction is open on this connection.
    bool IsAutocommit() const;

    // The failure of the last call, or the failure kept from a failed Open().
    SqliteError LastError() const;

  private:
    sqlite3* db_ = nullptr;  // owned; null when closed
    SqliteError openError_;  // why the last Open() failed, kept after the handle is gone
    std::vector<std::pair<std::string, sqlite3_stmt*>> reused_;  // ExecuteReused's, owned
};

// A transaction that rolls back unless committed. Inside a transaction already open on the
// connection it is a savepoint of that one: still all-or-nothing by itself, made durable only
// when the outer transaction commits.
class SqliteTransaction {
  public:
    explicit SqliteTransaction(SqliteConnection& connection);
    ~SqliteTransaction();
    SqliteTransaction(const SqliteTransaction&) = delete;
    SqliteTransaction& operator=(const SqliteTransaction&) = delete;

    // Whether the transaction could begin.
    bool IsActive() const { return active_; }
    // Commits (or releases the savepoint); false when that failed or nothing was begun.
    bool Commit();

  private:
    SqliteConnection& connection_;  // the connection the transaction runs on
    bool nested_ = false;           // a savepoint inside an outer transaction
    bool active_ = false;           // begun and neither committed nor rolled back
};

}  // namespace quenda
