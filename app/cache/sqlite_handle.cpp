// Owns SQLite connections and prepared statements, and moves byte strings in and out as BLOBs.
#include "app/cache/sqlite_handle.h"

#include <utility>

namespace quenda {

SqliteStatement::~SqliteStatement() {
    sqlite3_finalize(statement_);
}

SqliteStatement::SqliteStatement(SqliteStatement&& other) noexcept
    : statement_(std::exchange(other.statement_, nullptr)) {}

SqliteStatement& SqliteStatement::operator=(SqliteStatement&& other) noexcept {
    if (this != &other) {
        sqlite3_finalize(statement_);
        statement_ = std::exchange(other.statement_, nullptr);
    }
    return *this;
}

bool SqliteStatement::BindBytes(int index, std::string_view bytes) {
    // A null pointer would bind SQL NULL instead of an empty BLOB.
    const char* data = bytes.empty() ? "" : bytes.data();
    return sqlite3_bind_blob64(statement_, index, data, bytes.size(), SQLITE_TRANSIENT) ==
           SQLITE_OK;
}

bool SqliteStatement::BindText(int index, std::string_view text) {
    const char* data = text.empty() ? "" : text.data();
    return sqlite3_bind_text64(statement_, index, data, text.size(), SQLITE_TRANSIENT,
                               SQLITE_UTF8) == SQLITE_OK;
}

bool SqliteStatement::BindInt(int index, int64_t value) {
    return sqlite3_bind_int64(statement_, index, value) == SQLITE_OK;
}

int SqliteStatement::Step() {
    return statement_ == nullptr ? SQLITE_MISUSE : sqlite3_step(statement_);
}

std::string SqliteStatement::ColumnBytes(int column) {
    // Blob first, then the size: the size call must come after the conversion it reports on.
    const auto* data = static_cast<const char*>(sqlite3_column_blob(statement_, column));
    const int size = sqlite3_column_bytes(statement_, column);
    if (data == nullptr || size <= 0) return {};
    return std::string(data, static_cast<size_t>(size));
}

std::string_view SqliteStatement::ColumnView(int column) {
    const auto* data = static_cast<const char*>(sqlite3_column_blob(statement_, column));
    const int size = sqlite3_column_bytes(statement_, column);
    if (data == nullptr || size <= 0) return {};
    return {data, static_cast<size_t>(size)};
}

int64_t SqliteStatement::ColumnInt(int column) {
    return sqlite3_column_int64(statement_, column);
}

void SqliteStatement::Reset() {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
}

SqliteConnection::~SqliteConnection() {
    Close();
}

SqliteConnection::SqliteConnection(SqliteConnection&& other) noexcept
    : db_(std::exchange(other.db_, nullptr)),
      openError_(std::move(other.openError_)),
      reused_(std::exchange(other.reused_, {})) {}

SqliteConnection& SqliteConnection::operator=(SqliteConnection&& other) noexcept {
    if (this != &other) {
        Close();
        db_ = std::exchange(other.db_, nullptr);
        openError_ = std::move(other.openError_);
        reused_ = std::exchange(other.reused_, {});
    }
    return *this;
}

int SqliteConnection::Open(const std::filesystem::path& file, int flags) {
    Close();
    openError_ = {};
    sqlite3* db = nullptr;
    // A connection stays on the thread that opened it, so SQLite's per-call locking is waste.
    const int rc = sqlite3_open_v2(file.c_str(), &db,
                                   flags | SQLITE_OPEN_EXRESCODE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        openError_.code = rc;
        openError_.message = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
        sqlite3_close(db);
        return rc;
    }
    db_ = db;
    return rc;
}

void SqliteConnection::Close() {
    for (auto& [sql, statement] : reused_) sqlite3_finalize(statement);
    reused_.clear();
    // sqlite3_close (not _v2) fails rather than lingering when statements are left.
    if (db_ != nullptr) sqlite3_close(db_);
    db_ = nullptr;
}

int SqliteConnection::Execute(const char* sql) {
    if (db_ == nullptr) return SQLITE_MISUSE;
    return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
}

int SqliteConnection::ExecuteReused(const char* sql) {
    if (db_ == nullptr) return SQLITE_MISUSE;
    sqlite3_stmt* statement = nullptr;
    for (const auto& [text, prepared] : reused_) {
        if (text == sql) statement = prepared;
    }
    if (statement == nullptr) {
        const int rc =
            sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr);
        if (rc != SQLITE_OK) {
            sqlite3_finalize(statement);
            return rc;
        }
        reused_.emplace_back(sql, statement);
    }
    const int rc = sqlite3_step(statement);
    sqlite3_reset(statement);
    return rc == SQLITE_DONE || rc == SQLITE_ROW ? SQLITE_OK : rc;
}

SqliteStatement SqliteConnection::Prepare(std::string_view sql) {
    if (db_ == nullptr) return {};
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v3(db_, sql.data(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT,
                           &statement, nullptr) != SQLITE_OK) {
        sqlite3_finalize(statement);
        return {};
    }
    return SqliteStatement(statement);
}

bool SqliteConnection::IsAutocommit() const {
    return db_ == nullptr || sqlite3_get_autocommit(db_) != 0;
}

SqliteError SqliteConnection::LastError() const {
    if (db_ == nullptr) return openError_;
    return {sqlite3_extended_errcode(db_), sqlite3_errmsg(db_)};
}

SqliteTransaction::SqliteTransaction(SqliteConnection& connection) : connection_(connection) {
    if (!connection_.IsOpen()) return;
    nested_ = !connection_.IsAutocommit();
    // IMMEDIATE takes the write lock now, so a busy file fails here rather than halfway.
    active_ =
        connection_.ExecuteReused(nested_ ? "SAVEPOINT part" : "BEGIN IMMEDIATE") == SQLITE_OK;
}

SqliteTransaction::~SqliteTransaction() {
    if (!active_) return;
    if (!nested_) {
        connection_.ExecuteReused("ROLLBACK");
        return;
    }
    // Fails harmlessly when an error has already rolled the outer transaction back.
    if (connection_.ExecuteReused("ROLLBACK TO part") == SQLITE_OK) {
        connection_.ExecuteReused("RELEASE part");
    }
}

bool SqliteTransaction::Commit() {
    if (!active_) return false;
    if (connection_.ExecuteReused(nested_ ? "RELEASE part" : "COMMIT") != SQLITE_OK) return false;
    active_ = false;
    return true;
}

}  // namespace quenda
