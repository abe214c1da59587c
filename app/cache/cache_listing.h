// The cached questions for the cache view, filtered by search text and type, read in key order
// through the cache's own connection a bounded step at a time.
#pragma once

#include <cstddef>
#include <limits>
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

// What one step of a listing found.
struct CacheListingStep {
    std::vector<std::string> keys;  // the keys the filter selects, in key order
    std::string resumeAfter;        // the last key looked at: the next step starts after it
    bool atEnd = false;             // no key sorts after resumeAfter (or the cache failed)
};

// Walks the keys that sort after `after` (octet order of their stored, upper-cased form; ""
// = from the first) and keeps those the filter selects, until count are kept or scanLimit keys
// were looked at. Continuation records (names beginning with "/") are never looked at. A
// closed cache or a failure ends the listing (atEnd, no keys). Each key looked at costs one
// step along the index, so a step's cost is bounded by scanLimit whatever the table's size.
CacheListingStep ListCacheKeys(CacheDatabase& cache, const CacheFilter& filter,
                               std::string_view after, size_t count,
                               size_t scanLimit = std::numeric_limits<size_t>::max());

}  // namespace quenda
