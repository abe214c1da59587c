// The cache tab and the host entry editor's dialog under the offscreen platform: the list,
// search, delete, "Del &all", the pop-up menu, and adding and updating a host.
#include "app/views/cache_page.h"

#include <QAbstractItemModel>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QTreeView>

#include "app/relay/dns_codec.h"
#include "app/shell/random_message_ids.h"
#include "app/views/cache_list_model.h"
#include "tests/support/dns_builder.h"
#include "tests/support/qt_loop.h"
#include "tests/support/widget_fixture.h"

namespace quenda::test {
namespace {

class CachePageTest : public WidgetTest {
  protected:
    // Starts with one enabled name server and three entries, the big one spanning records.
    void StartWithEntries() {
        dir.WriteFile("QUENDA.INI", "[NAMESERVER]\nDNS_0_NAME=10.0.0.1\nDNS_0_ENABLED=Yes\n");
        Start();
        CacheDatabase& cache = session->Cache();
        ASSERT_TRUE(cache.CacheStore(kBig, std::string(700, 'b')));
        ASSERT_TRUE(cache.CacheStore(kMail, "m"));
        ASSERT_TRUE(cache.CacheStore(kWww, "w"));
        Find<QTabWidget>("SSTab1")->setCurrentIndex(kCacheTab);
        list = Find<QTreeView>("DBList1");
    }
    int Rows() { return list->model()->rowCount(); }
    QString Row(int row, int column = 0) {
        return list->model()->index(row, column).data().toString();
    }
    void Select(int row) { list->setCurrentIndex(list->model()->index(row, 0)); }
    // Records in the table, continuation records included.
    int64_t Records() {
        SqliteStatement count = session->Cache().PrepareListing("SELECT count(*) FROM ipcache");
        return count.Step() == SQLITE_ROW ? count.ColumnInt(0) : -1;
    }
    void Click(const char* button) { QTest::mouseClick(Find<QPushButton>(button), Qt::LeftButton); }

    const std::string kBig = MakeCacheKey("big.example.org", "A");
    const std::string kMail = MakeCacheKey("mail.example.org", "MX");
    const std::string kWww = MakeCacheKey("www.example.org", "A");
    QTreeView* list = nullptr;
};

TEST_F(CachePageTest, TheListSearchesDeletesOneEntryAndDeletesAllAfterConfirming) {
    StartWithEntries();
    ASSERT_EQ(Rows(), 3);
    EXPECT_EQ(Row(0), "BIG.EXAMPLE.ORG");
    EXPECT_EQ(Row(1, 1), "MX");
    EXPECT_EQ(Find<QComboBox>("SType")->count(), 22);

    Click("b2");
    Click("b3");
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[1].title, "Nothing selected");
    EXPECT_EQ(Records(), 5);

    QTest::keyClicks(Find<QLineEdit>("SSearch"), "Big");
    ASSERT_EQ(Rows(), 1);
    Select(0);
    Click("b3");
    EXPECT_EQ(session->Cache().CacheLookup(kBig), "");
    EXPECT_EQ(Records(), 2);  // its continuation records went with it
    EXPECT_EQ(Rows(), 0);

    Find<QLineEdit>("SSearch")->clear();
    Find<QComboBox>("SType")->setCurrentText("MX");
    ASSERT_EQ(Rows(), 1);
    EXPECT_EQ(Row(0), "MAIL.EXAMPLE.ORG");

    messages.Answer(MessageAnswer::Cancel);
    Click("b4");
    ASSERT_EQ(messages.shown.size(), 3u);
    EXPECT_EQ(messages.shown[2].title, "Confirm");
    EXPECT_EQ(messages.shown[2].text, "Are you sure? All entries will be lost!");
    EXPECT_EQ(messages.shown[2].buttons, MessageButtons::OkCancel);
    EXPECT_EQ(Records(), 2);
    messages.Answer(MessageAnswer::Ok);
    Click("b4");
    EXPECT_EQ(Records(), 0);
    EXPECT_EQ(Rows(), 0);
}

TEST_F(CachePageTest, ThePopUpMenuOffersItsItemsOnlyWithASelection) {
    StartWithEntries();
    auto* menu = Find<QMenu>("dataMenu");
    auto* remove = menu->findChild<QAction*>("dataDelete");
    auto* update = menu->findChild<QAction*>("dataUpdate");
    ASSERT_NE(update, nullptr);
    std::vector<std::pair<bool, bool>> states;
    auto popUp = [&] {
        QTimer::singleShot(0, menu, [&] {
            states.emplace_back(remove->isEnabled(), update->isEnabled());
            menu->close();
        });
        emit list->customContextMenuRequested(QPoint(4, 4));
    };
    popUp();
    Select(2);
    popUp();
    EXPECT_EQ(states, (std::vector<std::pair<bool, bool>>{{false, false}, {true, true}}));
    remove->trigger();
    EXPECT_EQ(session->Cache().CacheLookup(kWww), "");
    EXPECT_EQ(Rows(), 2);

    // The search label speaks when clicked, the list when the mouse is over it.
    QTest::mouseClick(Find<QLabel>("LabelSearch"), Qt::LeftButton);
    EXPECT_EQ(Find<QLabel>("hlp")->text(), "Finds an entry in the cache");
    QEvent enter(QEvent::Enter);
    QCoreApplication::sendEvent(list->viewport(), &enter);
    EXPECT_EQ(Find<QLabel>("hlp")->text(), "A list of all cache entries");
}

TEST_F(CachePageTest, TheEditorAddsAHostAndUpdatesAnEntryWithItsNameAndTypeLocked) {
    StartWithEntries();
    Click("b1");
    auto* dialog = window->findChild<QDialog*>("Quenda_UpdateEntry");
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->windowTitle(), "Add an entry");
    auto* text1 = dialog->findChild<QLineEdit*>("Text1");
    auto* theType = dialog->findChild<QComboBox*>("TheType");
    auto* start = dialog->findChild<QPushButton*>("SSCommand2");
    ASSERT_TRUE(text1 && theType && start);
    EXPECT_TRUE(text1->isEnabled());
    EXPECT_TRUE(theType->isEnabled());
    EXPECT_EQ(theType->currentText(), "A");
    QTest::mouseClick(start, Qt::LeftButton);
    EXPECT_EQ(messages.shown.back().title, "No domain name");

    QTest::keyClicks(text1, "new.example.org");
    QTest::mouseClick(start, Qt::LeftButton);
    ASSERT_EQ(udp1.sent.size(), 1u);
    EXPECT_EQ(IdOf(udp1.sent[0].data), kHostEditorMessageId);
    EXPECT_FALSE(start->isEnabled());
    session->UDPPort1DataIn(GoodReply("new.example.org", 1, kHostEditorMessageId), "10.0.0.1", 53);
    EXPECT_EQ(dialog->findChild<QLabel*>("Addstatus")->text(), "Got reply! Entry is updated!");
    EXPECT_EQ(Rows(), 4);  // the list was read again
    EXPECT_NE(session->Cache().CacheLookup(MakeCacheKey("new.example.org", "A")), "");
    QTest::keyClick(text1, Qt::Key_Backspace);
    EXPECT_TRUE(start->isEnabled());
    QTest::mouseClick(dialog->findChild<QPushButton*>("SSCommand1"), Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(window->findChild<QDialog*>("Quenda_UpdateEntry"), nullptr);
    EXPECT_FALSE(session->Editor().Loaded());

    Select(1);  // MAIL.EXAMPLE.ORG MX
    Click("b2");
    dialog = window->findChild<QDialog*>("Quenda_UpdateEntry");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), "Update entry.");
    EXPECT_EQ(dialog->findChild<QLineEdit*>("Text1")->text(), "MAIL.EXAMPLE.ORG");
    EXPECT_FALSE(dialog->findChild<QLineEdit*>("Text1")->isEnabled());
    EXPECT_EQ(dialog->findChild<QComboBox*>("TheType")->currentText(), "MX");
    EXPECT_FALSE(dialog->findChild<QComboBox*>("TheType")->isEnabled());
    ASSERT_EQ(udp1.sent.size(), 2u);  // asked at once
    EXPECT_EQ(GetQueryType(udp1.sent[1].data), "MX");
    EXPECT_TRUE(session->Editor().Waiting());
}

TEST(CacheListModelTest, ASearchWalksOnBetweenEventsUntilAPageIsThere) {
    TempDirectory dir;
    CacheDatabase cache(dir.Path(), {});
    cache.OpenCacheDatabase();
    for (int i = 0; i < 12; ++i) {
        const std::string name = (i % 3 == 2 ? "mail" : "alpha") + std::to_string(10 + i);
        ASSERT_TRUE(cache.CacheStore(MakeCacheKey(name + ".example", "A"), "r"));
    }
    // Pages of 3 rows, 2 keys looked at per step.
    CacheListModel model(cache, nullptr, 3, 2);
    model.ShowEntries({"mail", ""});
    EXPECT_EQ(model.rowCount(), 0);  // the "MAIL" keys sort after the first step's keys
    EXPECT_TRUE(model.Searching());
    EXPECT_FALSE(model.canFetchMore({}));
    ASSERT_TRUE(RunLoopUntil([&] { return !model.Searching(); }));
    ASSERT_EQ(model.rowCount(), 3);
    EXPECT_EQ(model.KeyAt(0), MakeCacheKey("MAIL12.EXAMPLE", "A"));
    EXPECT_TRUE(model.canFetchMore({}));
    model.fetchMore({});
    ASSERT_TRUE(RunLoopUntil([&] { return !model.Searching(); }));
    EXPECT_EQ(model.rowCount(), 4);
    EXPECT_FALSE(model.canFetchMore({}));

    // A new search while one walks: the old walk stops, its rows never come.
    model.ShowEntries({"mail2", ""});
    model.ShowEntries({"alpha", ""});
    ASSERT_TRUE(RunLoopUntil([&] { return !model.Searching(); }));
    EXPECT_EQ(model.rowCount(), 3);
    EXPECT_EQ(model.data(model.index(0, 0)).toString(), "ALPHA10.EXAMPLE");
    EXPECT_EQ(model.data(model.index(0, 1)).toString(), "A");
}

}  // namespace
}  // namespace quenda::test
