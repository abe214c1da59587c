// The cache tab's logic: what a search and a type select, and how the editor is opened.
#include "app/shell/cache_tab.h"

#include <gtest/gtest.h>

#include "app/relay/dns_codec.h"
#include "app/shell/mainform.h"
#include "tests/support/scripted_messages.h"
#include "tests/support/temp_directory.h"

namespace quenda::test {
namespace {

struct EditorWindow final : MainformWindow {
    void SetButtonFace(int, const ButtonFace&) override {}
    void SetStatusText(const std::string&) override {}
    void ShowOptions(bool, bool) override {}
    void ShowWindow() override {}
    void HideWindow() override {}
    void MinimiseWindow() override {}
    bool TrayIconShown() override { return false; }
    bool IsWindowVisible() override { return true; }
    bool IsMinimised() override { return false; }
    void SetTrayItems(bool, bool) override {}
    void FocusTabControl() override {}
    void UnloadOtherWindows() override {}
    void OpenTester() override {}
    void ShowCacheEntries(const CacheFilter& filter) override { shown.push_back(filter); }
    std::string SelectedCacheKey() override { return selected; }
    void OpenHostEditor(const HostEditorPreset& preset) override { opened.push_back(preset); }

    std::vector<CacheFilter> shown;
    std::string selected;
    std::vector<HostEditorPreset> opened;
};

class CacheTabTest : public ::testing::Test {
  protected:
    CacheTabTest() {
        cache.OpenCacheDatabase();
        tab.SetWindow(&window);
    }
    // The names the tab's filter selects now, in list order.
    std::vector<std::string> Listed() {
        std::vector<std::string> names;
        for (const std::string& key : ListCacheKeys(cache, tab.Filter(), "", 100).keys) {
            names.push_back(CacheKeyName(key) + " " + CacheKeyType(key));
        }
        return names;
    }

    TempDirectory dir;
    CacheDatabase cache{dir.Path(), {}};
    ScriptedMessages messages;
    EditorWindow window;
    CacheTab tab{cache, messages};
};

TEST_F(CacheTabTest, SearchTextAndTypeSelectEntriesAsData) {
    const std::vector<std::string> items = CacheTypeItems();
    ASSERT_EQ(items.size(), 22u);
    EXPECT_EQ(items.front(), "(Any)");
    EXPECT_EQ(items[15], "MX");
    EXPECT_EQ(items.back(), "RT");

    for (const auto& [name, type] :
         std::vector<std::pair<const char*, const char*>>{{"mail.example.com", "MX"},
                                                          {"example.com", "SOA"},
                                                          {"www.example.com", "A"},
                                                          {"100%_sure.org", "A"},
                                                          {"1000_sure.org", "A"},
                                                          {"quote's.org", "TXT"},
                                                          {"mx.example.net", "A"}}) {
        ASSERT_TRUE(cache.CacheStore(MakeCacheKey(name, type), std::string(300, 'r')));
    }
    struct Case {
        const char* search;
        const char* type;
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {"",
         "(Any)",
         {"100%_SURE.ORG A", "1000_SURE.ORG A", "EXAMPLE.COM SOA", "MAIL.EXAMPLE.COM MX",
          "MX.EXAMPLE.NET A", "QUOTE'S.ORG TXT", "WWW.EXAMPLE.COM A"}},
        {"Mail", "(Any)", {"MAIL.EXAMPLE.COM MX"}},
        {"", "MX", {"MAIL.EXAMPLE.COM MX"}},  // the type is the key's end, not any "MX"
        {"example", "A", {"EXAMPLE.COM SOA", "MX.EXAMPLE.NET A", "WWW.EXAMPLE.COM A"}},
        {"%_", "(Any)", {"100%_SURE.ORG A"}},
        {"_", "A", {"100%_SURE.ORG A", "1000_SURE.ORG A"}},
        {"*", "(Any)", {}},
        {"'s.org", "TXT", {"QUOTE'S.ORG TXT"}},
        {"') OR 1=1 --", "(Any)", {}},
    };
    for (const Case& c : cases) {
        tab.UpdateCacheSearch(c.search, c.type);
        EXPECT_EQ(Listed(), c.names) << c.search << " / " << c.type;
    }
    EXPECT_EQ(window.shown.size(), std::size(cases));
    EXPECT_EQ(window.shown.back(), (CacheFilter{"') OR 1=1 --", ""}));
}

TEST_F(CacheTabTest, TheEditorOpensForANewHostOrAnAOrMxEntryOnly) {
    tab.ButtonClicked(1);
    ASSERT_EQ(window.opened.size(), 1u);
    EXPECT_EQ(window.opened[0].name, "");
    EXPECT_EQ(window.opened[0].type, "");

    tab.ButtonClicked(2);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].title, "Nothing selected");
    EXPECT_EQ(messages.shown[0].text, "Please select an entry first.");
    EXPECT_FALSE(tab.MenuItemsEnabled());

    window.selected = MakeCacheKey("WWW.EXAMPLE.ORG", "CNAME");
    EXPECT_TRUE(tab.MenuItemsEnabled());
    tab.ButtonClicked(2);
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[1].title, "Sorry");
    EXPECT_EQ(messages.shown[1].text,
              "Quenda can only update A or MX records, and this is a CNAME record.");
    EXPECT_EQ(window.opened.size(), 1u);

    window.selected = MakeCacheKey("MAIL.EXAMPLE.ORG", "MX");
    tab.MenuUpdate();
    ASSERT_EQ(window.opened.size(), 2u);
    EXPECT_EQ(window.opened[1].name, "MAIL.EXAMPLE.ORG");
    EXPECT_EQ(window.opened[1].type, "MX");
    EXPECT_EQ(messages.shown.size(), 2u);
}

}  // namespace
}  // namespace quenda::test
