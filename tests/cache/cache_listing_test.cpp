// The cache listing in steps: one after another they give the whole filtered listing, in key
// order, without continuation records, however small the steps.
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
    // Every key the filter selects, in steps of up to `size` keys kept and `scan` looked at.
    std::vector<std::string> Stepped(const CacheFilter& filter, size_t size,
                                     size_t scan = SIZE_MAX) {
        std::vector<std::string> all;
        std::string after;
        for (int steps = 0; steps < 1000; ++steps) {
            CacheListingStep step = ListCacheKeys(*cache_, filter, after, size, scan);
            EXPECT_LE(step.keys.size(), size);
            all.insert(all.end(), step.keys.begin(), step.keys.end());
            if (step.atEnd) return all;
            EXPECT_GT(step.resumeAfter, after);  // every step moves on
            after = step.resumeAfter;
        }
        ADD_FAILURE() << "the listing never ended";
        return all;
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
        for (const size_t size : {1u, 3u, 200u}) {
            for (const size_t scan : {1u, 7u, 1000u}) {
                EXPECT_EQ(Stepped(filter, size, scan), whole)
                    << filter.searchText << "/" << filter.typeName << " " << size << "/" << scan;
            }
        }
        EXPECT_TRUE(std::is_sorted(whole.begin(), whole.end()));
    }
    const std::vector<std::string> all = Stepped({}, 50);
    ASSERT_EQ(all.size(), 41u);
    for (const std::string& key : all) EXPECT_NE(key.front(), '/');
    // Nothing to keep or nothing to look at is a step that ends nothing.
    EXPECT_FALSE(ListCacheKeys(*cache_, {}, "", 0).atEnd);
    EXPECT_TRUE(ListCacheKeys(*cache_, {}, all.back(), 5).atEnd);

    // A closed cache lists nothing, and says so.
    CacheDatabase closed(dir_.Path() / "nowhere", {});
    const CacheListingStep none = ListCacheKeys(closed, {}, "", 10);
    EXPECT_TRUE(none.keys.empty());
    EXPECT_TRUE(none.atEnd);
}

}  // namespace
}  // namespace quenda::test
