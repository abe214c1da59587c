// The main window's widgets under the offscreen platform: tabs and buttons, keys, the tray
// menu, the quit paths, the statistics panel, the log box and what assistive technology sees.
#include "app/views/mainform_view.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QCheckBox>
#include <QGroupBox>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextCursor>

#include "app/views/panel3d.h"
#include "tests/support/dns_builder.h"
#include "tests/support/widget_fixture.h"

namespace quenda::test {
namespace {

// Counts the paint events a widget gets.
class PaintCounter final : public QObject {
  public:
    explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
    int paints = 0;

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
};

QString AccessibleName(QObject* object) {
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(object);
    return accessible != nullptr ? accessible->text(QAccessible::Name) : QString();
}

QAccessible::Role AccessibleRole(QObject* object) {
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(object);
    return accessible != nullptr ? accessible->role() : QAccessible::NoRole;
}

TEST_F(WidgetTest, TabsLayOutTheButtonsAndOnlyTheShownPageIsVisible) {
    Start();
    EXPECT_EQ(window->objectName(), "Quenda_Mainform");
    EXPECT_EQ(window->windowTitle(), "Quenda");
    auto* tabs = Find<QTabWidget>("SSTab1");
    ASSERT_EQ(tabs->count(), 5);
    EXPECT_EQ(tabs->tabText(1), "Se&rver");
    auto* b1 = Find<QPushButton>("b1");
    auto* b4 = Find<QPushButton>("b4");
    EXPECT_EQ(b1->text(), "&Clear");
    EXPECT_FALSE(b1->icon().isNull());
    EXPECT_FALSE(b4->isVisible());
    EXPECT_TRUE(Find("Check3")->isVisible());

    tabs->setCurrentIndex(kCacheTab);  // as a click on the tab does
    EXPECT_EQ(form->CurrentTab(), kCacheTab);
    EXPECT_TRUE(b4->isVisible());
    EXPECT_EQ(b4->text(), "Del &all");
    EXPECT_FALSE(Find("Check3")->isVisible());
    tabs->setCurrentIndex(kAboutTab);
    EXPECT_EQ(b1->text(), "Update");
    EXPECT_FALSE(Find("b2")->isVisible());
    EXPECT_TRUE(Find("WebLink")->isVisible());
    EXPECT_TRUE(Find("b7")->isVisible());
}

TEST_F(WidgetTest, EscHidesF1AsksForTheTabsHelpAndTheTrayMenuBringsItBack) {
    Start();
    auto* menu = Find<QMenu>("sMenu");
    auto* show = menu->findChild<QAction*>("sShow");
    auto* hide = menu->findChild<QAction*>("sHide");
    ASSERT_NE(show, nullptr);
    EXPECT_FALSE(show->isEnabled());
    EXPECT_TRUE(hide->isEnabled());

    QTest::keyClick(window.get(), Qt::Key_F1);
    ASSERT_EQ(desktop.opened.size(), 1u);
    EXPECT_EQ(desktop.opened[0], "file:///help/system.html");  // context 1021

    // No tray icon yet: the window goes to the task bar, where it can always be found.
    QTest::keyClick(window.get(), Qt::Key_Escape);
    EXPECT_TRUE(window->isMinimized());
    EXPECT_TRUE(form->WindowHidden());
    EXPECT_TRUE(show->isEnabled());
    EXPECT_FALSE(hide->isEnabled());

    show->trigger();
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->isMinimized());
    EXPECT_FALSE(form->WindowHidden());

    // The close box puts it away too; nothing ends. Restored from the task bar, the form
    // counts it as shown again.
    window->close();
    EXPECT_TRUE(window->isMinimized());
    EXPECT_EQ(ended, 0);
    window->showNormal();
    EXPECT_FALSE(form->WindowHidden());
    EXPECT_EQ(form->CurrentTab(), kSystemTab);
}

TEST_F(WidgetTest, ExitAsksAndFileExitDoesNot) {
    Start();
    messages.Answer(MessageAnswer::Cancel);
    QTest::mouseClick(Find<QPushButton>("b7"), Qt::LeftButton);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].title, "QUIT");
    EXPECT_EQ(ended, 0);
    EXPECT_TRUE(window->isVisible());

    auto* exit = window->findChild<QAction*>("mnuQuit");
    ASSERT_NE(exit, nullptr);
    exit->trigger();
    EXPECT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(ended, 1);
    EXPECT_TRUE(std::filesystem::exists(Ini()));
}

TEST_F(WidgetTest, StatisticsBarsRedrawOnlyWhenTheirValueChanges) {
    dir.WriteFile("DNSIP.DAT", "seed\n10.0.0.1,first,1,0\n");
    Start();
    auto* bar = Find<Panel3D>("BarNameServer");
    EXPECT_EQ(Find<Panel3D>("Waiting")->Caption(), " 0");
    EXPECT_EQ(Find<Panel3D>("Gain")->Caption(), "0 sec");

    session->UDPPort2DataIn(Query("a.example", 1, 1), "192.0.2.50", 40000);
    session->UDPPort1DataIn(GoodReply("a.example", 1, IdOf(udp1.sent.back().data)), "10.0.0.1", 53);
    session->UpdateStatistics();
    EXPECT_EQ(bar->Value(), 100);
    QTest::qWait(50);
    PaintCounter counter(bar);
    session->UpdateStatistics();
    bar->SetValue(100);
    QTest::qWait(50);
    EXPECT_EQ(counter.paints, 0);
    bar->SetValue(40);
    QTest::qWait(50);
    EXPECT_GT(counter.paints, 0);
}

TEST_F(WidgetTest, OptionBoxesFollowTheSettingsAndTheirClicksChangeTheSession) {
    dir.WriteFile("QUENDA.INI", "[OPTIONS]\nNOCACHE=Yes\n");
    Start();
    auto* check3 = Find<QCheckBox>("Check3");
    EXPECT_TRUE(check3->isChecked());
    check3->click();  // as the mouse or the space bar does
    EXPECT_FALSE(session->GetOptions().cacheDisabled);
    Find<QCheckBox>("Check2")->click();
    EXPECT_EQ(session->GetOptions().SYSTRAY, 1);

    // The mouse over a control shows its text on the status line.
    QEvent enter(QEvent::Enter);
    QCoreApplication::sendEvent(Find("Check2"), &enter);
    EXPECT_EQ(Find<QLabel>("hlp")->text(), "Keep Quenda in the system tray at start up.");
    QCoreApplication::sendEvent(Find("SSTab1"), &enter);
    EXPECT_EQ(Find<QLabel>("hlp")->text(), "");
}

TEST_F(WidgetTest, TheLogBoxFollowsTheSessionsLogThroughItsTrims) {
    Start();
    auto* text5 = Find<QPlainTextEdit>("Text5");
    const auto expected = [&] {
        QString box = QString::fromLatin1(session->LogBox());
        box.remove(QLatin1Char('\r'));
        box.chop(1);  // the last line end
        return box;
    };
    // Lines come in batches: trims of lines still waiting, then of lines already shown.
    const std::string filler(50, '.');
    for (int i = 0; i < 1000; ++i) session->Log().WriteLog("line " + std::to_string(i) + filler, 1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return text5->toPlainText() == expected(); }));
    for (int i = 0; i < 100; ++i) session->Log().WriteLog("more " + std::to_string(i) + filler, 1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return text5->toPlainText() == expected(); }));
    EXPECT_TRUE(text5->document()->firstBlock().text().contains(QStringLiteral(" line ")));
    // Selected, the tab shows the newest lines, wherever the caret was left.
    text5->moveCursor(QTextCursor::Start);
    Find<QTabWidget>("SSTab1")->setCurrentIndex(kLogTab);
    QTest::qWait(20);
    EXPECT_TRUE(text5->textCursor().atEnd());
    QScrollBar* scroll = text5->verticalScrollBar();
    EXPECT_GT(scroll->maximum(), 0);
    EXPECT_EQ(scroll->value(), scroll->maximum());
    QTest::mouseClick(Find<QTabWidget>("SSTab1"), Qt::LeftButton);
    form->TabSelected(kLogTab);
    form->ButtonClicked(1);  // "&Clear"
    EXPECT_EQ(text5->toPlainText(), "");
    EXPECT_EQ(Find<QGroupBox>("FrameLog")->title(), "DNS Log");
}

TEST_F(WidgetTest, AssistiveTechnologySeesRolesAndNamesWithoutAccessKeys) {
    Start();
    EXPECT_EQ(AccessibleRole(Find("b1")), QAccessible::Button);
    EXPECT_EQ(AccessibleName(Find("b1")), "Clear");
    EXPECT_EQ(AccessibleName(Find("b5")), "Help!");
    auto* bar = Find<Panel3D>("BarCache");
    EXPECT_EQ(AccessibleRole(bar), QAccessible::ProgressBar);
    EXPECT_EQ(AccessibleName(bar), "Served from cache");
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(bar);
    ASSERT_NE(accessible->valueInterface(), nullptr);
    EXPECT_EQ(accessible->valueInterface()->maximumValue().toInt(), 100);
    EXPECT_EQ(AccessibleRole(Find("Gain")), QAccessible::StaticText);
    EXPECT_EQ(AccessibleName(Find("Gain")), "Total gain");
    EXPECT_EQ(AccessibleRole(Find("SSTab1")), QAccessible::Client);
    QAccessibleInterface* tabs = QAccessible::queryAccessibleInterface(Find("SSTab1"));
    QStringList tabNames;
    for (int i = 0; i < tabs->childCount(); ++i) {
        QAccessibleInterface* child = tabs->child(i);
        if (child->role() != QAccessible::PageTabList) continue;
        for (int t = 0; t < child->childCount(); ++t) {
            if (child->child(t)->role() == QAccessible::PageTab) {
                tabNames << child->child(t)->text(QAccessible::Name);
            }
        }
    }
    EXPECT_EQ(tabNames, QStringList({"System", "Server", "Log", "Cache", "About"}));
}

}  // namespace
}  // namespace quenda::test
