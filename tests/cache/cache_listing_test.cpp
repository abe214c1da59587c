// Pages of the cache listing: read one after another they give the whole filtered listing,
// in key order, without continuation records.
#include "app/cache/cache_listing.h"

#include "tests/cache/cache_fixture.h"

namespace quenda::test {
namespace {

class CacheListingTest : public CacheFixture {
  protected:
    void SetUp() override {
        cache_ = MakeCache();
        ASSERT_NE(cache_->OpenCacheDatabase(), CacheFileOutcome::kUnavailable);
    }
    // Every key the filter selects, read `size` at a time.
    std::vector<std::string> Paged(const CacheFilter& filter, size_t size) {
        std::vector<std::string> all;
        for (;;) {
            const std::vector<std::string> page =
                ListCachePage(*cache_, filter, all.empty() ? "" : all.back(), size);
            EXPECT_LE(page.size(), size);
            all.insert(all.end(), page.begin(), page.end());
            if (page.size() < size) return all;
        }
    }
    std::unique_ptr<CacheDatabase> cache_;
};

TEST_F(CacheListingTest, PagesFollowEachOtherInKeyOrderAndMatchTheWholeListing) {
    // Long values give every entry continuation records, which sort before the keys.
    for (int i = 0; i < 40; ++i) {
        const std::string name = (i % 3 == 0 ? "mail" : "www") + std::to_string(i) + ".example";
        ASSERT_TRUE(cache_->CacheStore(CacheKey(name, i % 4 == 0 ? "MX" : "A"), EveryByte(600)));
    }
    ASSERT_TRUE(cache_->CacheStore(CacheKey("a.example", "SOA"), "x"));
    const CacheFilter filters[] = {{"", ""}, {"MAIL", ""}, {"", "a"}, {"ww", "MX"}, {"%", ""}};
    for (const CacheFilter& filter : filters) {
        const std::vector<std::string> whole =
            cache_->ListCacheEntries(filter.searchText, filter.typeName);
        for (const size_t size : {1u, 3u, 7u, 200u}) {
            EXPECT_EQ(Paged(filter, size), whole) << filter.searchText << "/" << filter.typeName;
        }
        EXPECT_TRUE(std::is_sorted(whole.begin(), whole.end()));
    }
    EXPECT_EQ(Paged({}, 5).size(), 41u);
    EXPECT_TRUE(ListCachePage(*cache_, {}, "", 0).empty());
    EXPECT_TRUE(ListCachePage(*cache_, {}, Paged({}, 50).back(), 5).empty());
    for (const std::string& key : Paged({}, 50)) EXPECT_NE(key.front(), '/');

    // A closed cache lists nothing and does not fail.
    CacheDatabase closed(dir_.Path() / "nowhere", {});
    EXPECT_TRUE(ListCachePage(closed, {}, "", 10).empty());
}

}  // namespace
}  // namespace quenda::test
