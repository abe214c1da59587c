// Pages of the cached questions for the cache view.
#include "app/cache/cache_listing.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "app/cache/cache_record.h"

namespace quenda {

std::vector<std::string> ListCachePage(CacheDatabase& cache, const CacheFilter& filter,
                                       std::string_view after, size_t count) {
    std::vector<std::string> keys;
    if (count == 0) return keys;
    // Plain octet comparisons on BLOBs: instr and substr give the texts no wildcard meaning
    // and stay exact for any octet, NUL included. The range tests walk the index from the
    // last key shown and skip the "/" names; the scan ends at the page's last match.
    SqliteStatement query = cache.PrepareListing(
        "SELECT IPNAME FROM ipcache WHERE IPNAME > ?3 AND (IPNAME < x'2F' OR IPNAME >= x'30') "
        "AND length(IPNAME) >= length(?2) "
        "AND substr(IPNAME, length(IPNAME) - length(?2) + 1) = ?2 "
        "AND instr(substr(IPNAME, 1, length(IPNAME) - length(?2)), ?1) > 0 "
        "ORDER BY IPNAME LIMIT ?4");
    const auto limit = static_cast<int64_t>(
        std::min<size_t>(count, static_cast<size_t>(std::numeric_limits<int64_t>::max())));
    if (!query.IsValid() || !query.BindBytes(1, IndexKey(filter.searchText)) ||
        !query.BindBytes(2, IndexKey(filter.typeName)) || !query.BindBytes(3, IndexKey(after)) ||
        !query.BindInt(4, limit)) {
        return keys;
    }
    keys.reserve(count < 1024 ? count : 1024);
    while (query.Step() == SQLITE_ROW) keys.push_back(query.ColumnBytes(0));
    return keys;
}

}  // namespace quenda
