// Pages of the cached questions for the cache view, filtered by search text and type, read in
// key order through the cache's own connection.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "app/cache/cache_database.h"

namespace quenda {

// Which cache keys the cache view lists. Both texts are data: no character of them has a
// special meaning, and ASCII letters match either case.
struct CacheFilter {
    std::string searchText;  // found anywhere in the key before its type; "" = any key
    std::string typeName;    // the key's last octets; "" = any type (so "A" also takes "SOA")
    bool operator==(const CacheFilter&) const = default;
};

// Up to count cache keys that the filter selects and that sort after `after` (octet order of
// their stored, upper-cased form; "" = from the first), in that order. Continuation records
// (names beginning with "/") are never listed. Empty when the cache is closed, on a failure,
// or past the last key. Costs one index range scan that stops at the count-th match, so a
// page near the top is cheap however large the table is.
std::vector<std::string> ListCachePage(CacheDatabase& cache, const CacheFilter& filter,
                                       std::string_view after, size_t count);

}  // namespace quenda
