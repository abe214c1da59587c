// Start-up of the cache file: creation, compaction, damaged files, leftovers, unreachable files.
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "tests/cache/cache_fixture.h"

namespace quenda::test {
namespace {

namespace fs = std::filesystem;

std::string ReadBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class CacheFileTest : public CacheFixture {
  protected:
    fs::path CacheFile() const { return dir_.Path() / kCacheFileName; }

    // A cache file holding count entries of 700 octets, closed again.
    void FillCache(int count) {
        auto cache = MakeCache();
        ASSERT_NE(cache->OpenCacheDatabase(), CacheFileOutcome::kUnavailable);
        for (int i = 0; i < count; ++i) {
            ASSERT_TRUE(cache->CacheStore(CacheKey(std::to_string(i)), EveryByte(700, i)));
        }
    }

    void ExpectEntries(CacheDatabase& cache, int count) {
        for (int i = 0; i < count; ++i) {
            EXPECT_EQ(cache.CacheLookup(CacheKey(std::to_string(i))), EveryByte(700, i)) << i;
        }
    }
};

TEST_F(CacheFileTest, CreatesMissingFileAndKeepsEntriesThroughCompaction) {
    FillCache(20);
    int pumps = 0;
    std::string seenDuringStartUp = "not run";
    CacheDatabase* self = nullptr;
    auto cache = MakeCache([&] {
        ++pumps;
        seenDuringStartUp = self->CacheLookup(CacheKey("0"));
    });
    self = cache.get();
    EXPECT_EQ(cache->OpenCacheDatabase(), CacheFileOutcome::kCompacted);
    EXPECT_EQ(pumps, 2);
    EXPECT_EQ(seenDuringStartUp, "");  // not open yet while messages run
    ExpectEntries(*cache, 20);
    EXPECT_EQ(Records().size(), 60u);
    EXPECT_FALSE(fs::exists(dir_.Path() / kCompactionFileName));
    EXPECT_TRUE(log_.empty());
}

TEST_F(CacheFileTest, CommittedStoresSurviveAProcessThatNeverClosedTheFile) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        auto cache = MakeCache();
        bool stored = cache->OpenCacheDatabase() == CacheFileOutcome::kCreated;
        for (int i = 0; stored && i < 30; ++i) {
            stored = cache->CacheStore(CacheKey(std::to_string(i)), EveryByte(700, i));
        }
        // A batch still open when the process dies is lost whole, the file stays sound.
        cache->SetStoreBatching(true);
        for (int i = 30; stored && i < 40; ++i) {
            stored = cache->CacheStore(CacheKey(std::to_string(i)), EveryByte(700, i));
        }
        _exit(stored ? 0 : 1);  // no destructors: the write-ahead log stays behind
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_EQ(status, 0);
    ASSERT_TRUE(fs::exists(fs::path(CacheFile()).concat("-wal")));

    auto cache = MakeCache();
    EXPECT_EQ(cache->OpenCacheDatabase(), CacheFileOutcome::kCompacted);
    ExpectEntries(*cache, 30);
    EXPECT_EQ(cache->CacheLookup(CacheKey("30")), "");
    EXPECT_EQ(Records().size(), 90u);
}

TEST_F(CacheFileTest, DamagedFileIsReplacedByAnEmptyCache) {
    std::mt19937 random(7);
    std::string noise(65536, '\0');
    for (char& c : noise) c = static_cast<char>(random());
    FillCache(50);
    std::string torn = ReadBytes(CacheFile());
    std::fill(torn.begin() + 4096, torn.end(), '\x5a');

    for (const std::string& bytes : {noise, std::string("SQLite format 3\0", 16) + noise, torn}) {
        dir_.WriteFile(kCacheFileName, bytes);
        auto cache = MakeCache();
        EXPECT_EQ(cache->OpenCacheDatabase(), CacheFileOutcome::kRecreated);
        EXPECT_TRUE(Records().empty());
        EXPECT_TRUE(cache->CacheStore(CacheKey("NEW"), "value"));
        EXPECT_EQ(cache->CacheLookup(CacheKey("NEW")), "value");
    }

    dir_.WriteFile(kCacheFileName, "");  // an empty file is an empty database
    auto cache = MakeCache();
    EXPECT_EQ(cache->OpenCacheDatabase(), CacheFileOutcome::kCompacted);
    EXPECT_TRUE(cache->CacheStore(CacheKey("NEW"), "value"));
    EXPECT_TRUE(log_.empty());
}

TEST_F(CacheFileTest, LeftoverTempFileGoesAndFailedCompactionKeepsTheFile) {
    FillCache(10);
    dir_.WriteFile(kCompactionFileName, "left from a crash");
    auto cache = MakeCache();
    EXPECT_EQ(cache->OpenCacheDatabase(), CacheFileOutcome::kCompacted);
    EXPECT_FALSE(fs::exists(dir_.Path() / kCompactionFileName));

    // A directory in TEMP.MDB's place cannot be removed or written.
    fs::create_directories(dir_.Path() / kCompactionFileName / "inside");
    EXPECT_EQ(cache->OpenCacheDatabase(), CacheFileOutcome::kOpened);
    ExpectEntries(*cache, 10);
    EXPECT_TRUE(cache->CacheStore(CacheKey("AFTER"), "stored"));
}

// In a directory the program may not write, nothing is deleted or changed, the failure is
// logged, and the cache acts as empty. Root ignores permissions, so root runs the checks as
// the unprivileged user "nobody".
TEST_F(CacheFileTest, ReadOnlyDirectoryLeavesTheFileAloneAndTheCacheEmpty) {
    FillCache(5);
    fs::create_directory(dir_.Path() / "empty");
    const std::string before = ReadBytes(CacheFile());
    const bool root = geteuid() == 0;
    constexpr uid_t kNobody = 65534;
    constexpr int kCannotDropRoot = 100;
    const auto readOnly = fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                          fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec;
    fs::permissions(dir_.Path(), readOnly);
    fs::permissions(dir_.Path() / "empty", readOnly);
    if (root) {
        ASSERT_EQ(chown(CacheFile().c_str(), kNobody, kNobody), 0);
    }

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (root && (setgid(kNobody) != 0 || setuid(kNobody) != 0)) _exit(kCannotDropRoot);
        auto cache = MakeCache();
        int failures = 0;
        failures |= cache->OpenCacheDatabase() != CacheFileOutcome::kUnavailable ? 1 : 0;
        failures |= cache->CacheLookup(CacheKey("0")) != "" ? 2 : 0;
        failures |= cache->CacheStore(CacheKey("0"), "x") ? 4 : 0;
        failures |= cache->ListCacheEntries("", "").empty() ? 0 : 8;
        CacheDatabase nothingThere(dir_.Path() / "empty", {});
        failures |= nothingThere.OpenCacheDatabase() != CacheFileOutcome::kUnavailable ? 16 : 0;
        const bool logged = log_.size() == 1 && log_[0].second == 1 &&
                            log_[0].first.rfind("Error opening Database!! ", 0) == 0;
        failures |= logged ? 0 : 32;
        _exit(failures);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == kCannotDropRoot) {
        GTEST_SKIP() << "root privileges cannot be dropped here";
    }
    EXPECT_EQ(WEXITSTATUS(status), 0);

    EXPECT_EQ(ReadBytes(CacheFile()), before);
    fs::permissions(dir_.Path(), fs::perms::owner_all, fs::perm_options::add);
    auto cache = MakeCache();
    EXPECT_EQ(cache->OpenCacheDatabase(), CacheFileOutcome::kCompacted);
    ExpectEntries(*cache, 5);
}

}  // namespace
}  // namespace quenda::test
