// Runs a cache in a private directory and reads its table behind the cache's back.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/cache/cache_database.h"
#include "app/cache/cache_record.h"
#include "tests/support/temp_directory.h"

namespace quenda::test {

// A 255-octet question key: name, spaces, type.
inline std::string CacheKey(std::string_view name, std::string_view type = "A") {
    std::string key(name);
    key.resize(255 - type.size(), ' ');
    key.append(type);
    return key;
}

// size octets running through every value 0..255, starting at seed.
inline std::string EveryByte(size_t size, size_t seed = 0) {
    std::string value(size, '\0');
    for (size_t i = 0; i < size; ++i) value[i] = static_cast<char>((i + seed) & 0xff);
    return value;
}

// One row of ipcache as the file holds it.
struct RawRecord {
    int64_t rowid = 0;
    std::string name;   // IPNAME
    std::string chunk;  // IPNUMBER
};

class CacheFixture : public ::testing::Test {
  protected:
    // A cache on the test directory whose log lines land in log_.
    std::unique_ptr<CacheDatabase> MakeCache(CacheMessagePump pump = {}) {
        return std::make_unique<CacheDatabase>(
            dir_.Path(),
            [this](const std::string& text, int level) { log_.emplace_back(text, level); },
            std::move(pump));
    }

    // Every row in rowid order, read over a connection of its own.
    std::vector<RawRecord> Records() const {
        std::vector<RawRecord> records;
        SqliteConnection connection;
        connection.Open(dir_.Path() / kCacheFileName, SQLITE_OPEN_READONLY);
        SqliteStatement query =
            connection.Prepare("SELECT rowid, IPNAME, IPNUMBER FROM ipcache ORDER BY rowid");
        while (query.IsValid() && query.Step() == SQLITE_ROW) {
            records.push_back({query.ColumnInt(0), query.ColumnBytes(1), query.ColumnBytes(2)});
        }
        return records;
    }

    std::optional<RawRecord> Record(const std::string& name) const {
        for (RawRecord& record : Records()) {
            if (record.name == name) return record;
        }
        return std::nullopt;
    }

    TempDirectory dir_;
    std::vector<std::pair<std::string, int>> log_;  // text, level
};

}  // namespace quenda::test
