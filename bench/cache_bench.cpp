// Cost of cache lookups (hit and miss) and stores of 100- and 700-octet replies in a cache that
// holds 100 000 entries, and what opening such a cache costs in time and memory.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/cache/cache_database.h"

namespace quenda {
namespace {

constexpr int kEntries = 100000;

std::string QuestionKey(const std::string& name) {
    std::string key = name;
    key.resize(254, ' ');
    return key + "A";
}

std::string Reply(size_t size, int seed) {
    std::string reply(size, '\0');
    for (size_t i = 0; i < size; ++i) reply[i] = static_cast<char>((i * 31 + seed) & 0xff);
    return reply;
}

// A cache file in a directory of its own, filled with kEntries replies of one size.
class FilledCache {
  public:
    explicit FilledCache(size_t replySize) {
        std::string pattern = (std::filesystem::temp_directory_path() / "quenda-bench-XXXXXX");
        if (::mkdtemp(pattern.data()) == nullptr) return;
        directory_ = pattern;
        cache_ = std::make_unique<CacheDatabase>(directory_, [](const std::string&, int) {});
        cache_->OpenCacheDatabase();
        for (int i = 0; i < kEntries; ++i) {
            hits_.push_back(QuestionKey("HOST" + std::to_string(i) + ".EXAMPLE.COM"));
            misses_.push_back(QuestionKey("ABSENT" + std::to_string(i) + ".EXAMPLE.NET"));
            cache_->CacheStore(hits_.back(), Reply(replySize, i));
        }
    }
    ~FilledCache() {
        cache_.reset();
        std::error_code ec;
        if (!directory_.empty()) std::filesystem::remove_all(directory_, ec);
    }

    static FilledCache& For(size_t replySize) {
        static std::map<size_t, std::unique_ptr<FilledCache>> caches;
        auto& cache = caches[replySize];
        if (!cache) cache = std::make_unique<FilledCache>(replySize);
        return *cache;
    }

    CacheDatabase& Cache() { return *cache_; }
    // Closes the cache and opens it again; the heap the open took besides SQLite's own.
    double Reopen() {
        cache_.reset();
        const size_t heap = mallinfo2().uordblks;
        const sqlite3_int64 sqlite = sqlite3_memory_used();
        cache_ = std::make_unique<CacheDatabase>(directory_, [](const std::string&, int) {});
        cache_->OpenCacheDatabase();
        const double grown = static_cast<double>(mallinfo2().uordblks) - static_cast<double>(heap);
        return grown - static_cast<double>(sqlite3_memory_used() - sqlite);
    }
    // Keys visited in a scattered order, as client traffic would.
    const std::string& Hit(int64_t n) const { return hits_[(n * 7919) % kEntries]; }
    const std::string& Miss(int64_t n) const { return misses_[(n * 7919) % kEntries]; }

  private:
    std::filesystem::path directory_;
    std::unique_ptr<CacheDatabase> cache_;
    std::vector<std::string> hits_;
    std::vector<std::string> misses_;
};

void LookupHit(benchmark::State& state) {
    const auto size = static_cast<size_t>(state.range(0));
    FilledCache& filled = FilledCache::For(size);
    int64_t n = 0;
    for (auto _ : state) {
        std::string reply = filled.Cache().CacheLookup(filled.Hit(n++));
        if (reply.size() != size) state.SkipWithError("lookup missed a stored entry");
        benchmark::DoNotOptimize(reply);
    }
}

void LookupMiss(benchmark::State& state) {
    FilledCache& filled = FilledCache::For(static_cast<size_t>(state.range(0)));
    int64_t n = 0;
    for (auto _ : state) {
        std::string reply = filled.Cache().CacheLookup(filled.Miss(n++));
        if (!reply.empty()) state.SkipWithError("lookup found an absent entry");
        benchmark::DoNotOptimize(reply);
    }
}

// Refreshes existing entries, which is what every upstream reply does.
void Store(benchmark::State& state) {
    const auto size = static_cast<size_t>(state.range(0));
    FilledCache& filled = FilledCache::For(size);
    const std::string replies[] = {Reply(size, 1), Reply(size, 2)};
    int64_t n = 0;
    for (auto _ : state) {
        if (!filled.Cache().CacheStore(filled.Hit(n), replies[n & 1])) {
            state.SkipWithError("store failed");
        }
        ++n;
    }
}

// Opening (repair, compaction and the copy in memory) of a cache of kEntries entries; the
// counters give the heap the copy in memory holds.
void Open(benchmark::State& state) {
    FilledCache& filled = FilledCache::For(static_cast<size_t>(state.range(0)));
    double copy = 0;
    for (auto _ : state) copy = filled.Reopen();
    state.counters["copy_MiB"] = copy / (1024 * 1024);
    state.counters["copy_B_per_entry"] = copy / kEntries;
}

BENCHMARK(Open)->Arg(100)->Arg(700)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(LookupHit)->Arg(100)->Arg(700)->Unit(benchmark::kMicrosecond);
BENCHMARK(LookupMiss)->Arg(100)->Arg(700)->Unit(benchmark::kMicrosecond);
BENCHMARK(Store)->Arg(100)->Arg(700)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace quenda

BENCHMARK_MAIN();
