// The cached questions for the cache view, a step at a time.
#include "app/cache/cache_listing.h"

#include "app/cache/cache_record.h"

namespace quenda {
namespace {

// Matches stored keys, which are upper case already, against a filter folded the same way.
class KeyMatcher {
  public:
    explicit KeyMatcher(const CacheFilter& filter)
        : search_(IndexKey(filter.searchText)), type_(IndexKey(filter.typeName)) {}

    bool operator()(std::string_view key) const {
        if (key.size() < type_.size() || !key.ends_with(type_)) return false;
        const std::string_view head = key.substr(0, key.size() - type_.size());
        return head.find(search_) != std::string_view::npos;
    }

  private:
    std::string search_;  // upper case, as the keys are stored
    std::string type_;
};

}  // namespace

CacheListingStep ListCacheKeys(CacheDatabase& cache, const CacheFilter& filter,
                               std::string_view after, size_t count, size_t scanLimit) {
    CacheListingStep step;
    step.resumeAfter = std::string(after);
    step.atEnd = true;
    if (count == 0 || scanLimit == 0) {
        step.atEnd = false;
        return step;
    }
    // The index is walked from the last key looked at; the range test skips the "/" names.
    // Matching happens here rather than in SQL: a plain walk of the covering index is the
    // cheapest step SQLite offers, and the texts stay data.
    SqliteStatement query = cache.PrepareListing(
        "SELECT IPNAME FROM ipcache WHERE IPNAME > ?1 AND (IPNAME < x'2F' OR IPNAME >= x'30') "
        "ORDER BY IPNAME");
    if (!query.IsValid() || !query.BindBytes(1, IndexKey(after))) return step;
    const KeyMatcher matches(filter);
    size_t looked = 0;
    std::string_view last = after;  // valid until the next step of the query
    while (step.keys.size() < count && looked < scanLimit) {
        if (query.Step() != SQLITE_ROW) return step;
        const std::string_view key = query.ColumnView(0);
        ++looked;
        if (matches(key)) step.keys.emplace_back(key);
        last = key;
    }
    step.resumeAfter = std::string(last);
    step.atEnd = false;
    return step;
}

}  // namespace quenda
