// Fuzzes the cache's record chains: any records, damaged chains among them, then lookups,
// stores, deletes and the old-format conversion. A lookup never gives more than the largest
// message, a store reads back, a delete leaves nothing to find.
#include <memory>
#include <string>

#include "app/cache/cache_database.h"
#include "app/cache/cache_record.h"
#include "fuzz/fuzz_support.h"

using namespace quenda;

namespace {

// What each record does, by tag modulo kOperations. Bodies start with a key length octet, then
// the key, then the rest (a chunk or a value).
enum Operation { kAddRecord, kLookup, kStore, kDelete, kConvert, kOperations };

CacheDatabase& Cache() {
    static const std::unique_ptr<CacheDatabase> cache = [] {
        auto opened = std::make_unique<CacheDatabase>(fuzz::ScratchDirectory(),
                                                      [](const std::string&, int) {});
        FUZZ_CHECK(opened->OpenCacheDatabase() == CacheFileOutcome::kCreated);
        return opened;
    }();
    return *cache;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CacheDatabase& cache = Cache();
    FUZZ_CHECK(cache.CacheDeleteAll());
    fuzz::RecordReader records(fuzz::AsText(data, size));
    uint8_t tag = 0;
    std::string_view body;
    while (records.Next(&tag, &body)) {
        const size_t keyLength =
            body.empty() ? 0 : std::min<size_t>(body[0] & 0xFF, body.size() - 1);
        const std::string_view key = body.substr(body.empty() ? 0 : 1, keyLength);
        const std::string_view rest = body.substr(std::min(body.size(), 1 + keyLength));
        switch (tag % kOperations) {
            case kAddRecord:
                FUZZ_CHECK(cache.CacheAddRecord(key, rest) == !key.empty());
                break;
            case kLookup:
                FUZZ_CHECK(cache.CacheLookup(key).size() <= kMaxCachedValueSize);
                break;
            case kStore:
                if (cache.CacheStore(key, rest)) FUZZ_CHECK(cache.CacheLookup(key) == rest);
                break;
            case kDelete:
                FUZZ_CHECK(cache.CacheDeleteEntry(key) == !key.empty());
                FUZZ_CHECK(cache.CacheLookup(key).empty());
                break;
            case kConvert:
                FUZZ_CHECK(cache.ConvertCacheDatabase());
                break;
        }
    }
    return 0;
}
