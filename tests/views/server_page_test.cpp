// The "Se&rver" tab's table and the "Correct" dialog under the offscreen platform: adding,
// editing, disabling and removing servers through the widgets, and the dialog's two answers.
#include "app/views/server_page.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <functional>

#include "app/views/correct_dialog.h"
#include "app/views/panel3d.h"
#include "platform/profile/profile_file.h"
#include "tests/support/dns_builder.h"
#include "tests/support/widget_fixture.h"

namespace quenda::test {
namespace {

class ServerPageTest : public WidgetTest {
  protected:
    // Starts with one enabled server and the Server tab shown in an active window.
    void StartOnServerTab() {
        dir.WriteFile("QUENDA.INI",
                      "[NAMESERVER]\nDNS_0_NAME=10.0.0.1\nDNS_0_DESC=first\nDNS_0_ENABLED=Yes\n");
        // Letting events run is real here, as in the program.
        pump = [] { QCoreApplication::processEvents(); };
        Start();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        Find<QTabWidget>("SSTab1")->setCurrentIndex(kServerTab);
    }
    std::string Saved(int slot, const char* key) {
        return GetPrivateProfileString("NAMESERVER", "DNS_" + std::to_string(slot) + key,
                                       "<absent>", 100, Ini());
    }
    // Replaces what a field holds by typing, as the user does.
    void Type(QLineEdit* field, const QString& text) {
        field->setFocus(Qt::MouseFocusReason);
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Backspace);
        QTest::keyClicks(field, text);
    }
    // Runs answer on the dialog once it is open.
    void WhenDialogOpens(std::function<void(CorrectDialog*)> answer) {
        auto* poll = new QTimer(window.get());
        QObject::connect(poll, &QTimer::timeout, poll, [poll, answer = std::move(answer)] {
            auto* dialog = qobject_cast<CorrectDialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr) return;
            poll->deleteLater();
            poll->stop();
            answer(dialog);
        });
        poll->start(10);
    }
    // Lets the checks that follow a focus change run.
    static void Settle() { QTest::qWait(30); }
    void Enter(QWidget* widget) {
        QEvent enter(QEvent::Enter);
        QCoreApplication::sendEvent(widget, &enter);
    }
};

TEST_F(ServerPageTest, CorrectGoesBackIntoTheFieldOnItsTabAndCancelPutsTheStoredAddressBack) {
    StartOnServerTab();
    auto* text1 = Find<QLineEdit>("Text(1)");
    Type(text1, "10.0.0.a");
    QString caption, label;
    WhenDialogOpens([&](CorrectDialog* dialog) {
        caption = dialog->windowTitle();
        label = dialog->findChild<QLabel*>("Label1")->text();
        EXPECT_EQ(dialog->objectName(), "Quenda_Correct");
        dialog->findChild<QPushButton*>("bCorrect")->click();
    });
    // Leaving by another tab: the field goes out of sight and loses the focus.
    Find<QTabWidget>("SSTab1")->setCurrentIndex(kSystemTab);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !caption.isEmpty(); }));
    EXPECT_EQ(caption, "Invalid characters");
    EXPECT_EQ(label, "Cannot add '10.0.0.a' to the list of name servers.");
    EXPECT_EQ(form->CurrentTab(), kServerTab);
    // The window comes back in front (here nobody else activates it), its tab strip takes the
    // focus as always, and then the field takes it back.
    window->activateWindow();
    EXPECT_TRUE(QTest::qWaitFor([&] { return text1->hasFocus(); }));
    EXPECT_EQ(text1->selectedText(), "10.0.0.a");
    EXPECT_EQ(session->Servers()[1].address, "");

    // Corrected and left, the address is taken.
    QTest::keyClicks(text1, "10.0.0.5");
    Find("Desc(0)")->setFocus(Qt::MouseFocusReason);
    EXPECT_TRUE(QTest::qWaitFor([&] { return session->Servers()[1].address == "10.0.0.5"; }));

    // F1 asks for the help; "C&ancel" brings the stored address back.
    Type(text1, "1.2.3");
    WhenDialogOpens([&](CorrectDialog* dialog) {
        caption = dialog->windowTitle();
        EXPECT_EQ(dialog->findChild<QPushButton*>("bCorrect")->text(), "&Correct!");
        auto* cancel = dialog->findChild<QPushButton*>("bCancel");
        EXPECT_EQ(cancel->text(), "C&ancel");
        EXPECT_EQ(cancel->accessibleName(), "Cancel");
        QTest::keyClick(dialog, Qt::Key_F1);
        cancel->click();
    });
    caption.clear();
    Find("Desc(0)")->setFocus(Qt::MouseFocusReason);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !caption.isEmpty(); }));
    EXPECT_EQ(caption, "Format error");
    EXPECT_EQ(text1->text(), "10.0.0.5");
    EXPECT_EQ(session->Servers()[1].address, "10.0.0.5");
    EXPECT_EQ(desktop.opened, std::vector<std::string>{"file:///help/servers.html"});
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(ServerPageTest, ServersAreAddedEditedDisabledAndRemovedInTheTableAndSaved) {
    StartOnServerTab();
    auto* check0 = Find<QCheckBox>("Check(0)");
    auto* check1 = Find<QCheckBox>("Check(1)");
    auto* text0 = Find<QLineEdit>("Text(0)");
    auto* text1 = Find<QLineEdit>("Text(1)");
    auto* desc1 = Find<QLineEdit>("Desc(1)");
    EXPECT_EQ(text0->text(), "10.0.0.1");
    EXPECT_EQ(Find<QLineEdit>("Desc(0)")->text(), "first");
    EXPECT_TRUE(check0->isChecked() && check0->isEnabled());
    EXPECT_FALSE(check1->isChecked() || check1->isEnabled());
    EXPECT_EQ(Find<QLineEdit>("ATime(0)")->text(), "---");
    EXPECT_EQ(Find<Panel3D>("Proz(0)")->Caption(), "0%");
    EXPECT_EQ(Find("CheckI(0)")->toolTip(), "No answer yet from Nameserver");
    EXPECT_EQ(text1->accessibleName(), "Name server 2 address");
    EXPECT_NE(desc1->palette().color(QPalette::Base), QColor(255, 255, 255));
    for (int row = 0; row < kUsedNameServers; ++row) {
        const QString n = QString::number(row);
        for (const char* control : {"pic", "Check", "CheckI", "Text", "Desc", "Proz", "ATime"}) {
            auto* widget = window->findChild<QWidget*>(QString("%1(%2)").arg(control, n));
            ASSERT_NE(widget, nullptr) << control << row;
            EXPECT_FALSE(widget->accessibleName().isEmpty()) << control << row;
        }
    }

    // Added: typed into an empty row, left, then described.
    Type(text1, " 10.0.0.2");
    QTest::keyClick(text1, Qt::Key_Tab);
    Settle();
    EXPECT_EQ(Saved(1, "_NAME"), "10.0.0.2");
    EXPECT_EQ(Saved(1, "_ENABLED"), "Yes");
    EXPECT_EQ(text1->text(), "10.0.0.2");
    EXPECT_TRUE(check1->isChecked() && check1->isEnabled());
    EXPECT_EQ(desc1->palette().color(QPalette::Base), QColor(255, 255, 255));
    desc1->setFocus(Qt::MouseFocusReason);
    QTest::keyClicks(desc1, "second");
    text0->setFocus(Qt::MouseFocusReason);
    Settle();
    ASSERT_TRUE(session->SaveAllSettings());
    EXPECT_EQ(Saved(1, "_DESC"), "second");

    // Edited: Esc puts the address back without hiding the window, Tab stores the new one.
    Type(text0, "10.0.0.9");
    QTest::keyClick(text0, Qt::Key_Escape);
    EXPECT_EQ(text0->text(), "10.0.0.1");
    EXPECT_FALSE(form->WindowHidden());
    Type(text0, "10.0.0.9");
    QTest::keyClick(text0, Qt::Key_Tab);
    Settle();
    EXPECT_EQ(Saved(0, "_NAME"), "10.0.0.9");

    // Disabled: the row greys; clearing the last box warns.
    check1->click();
    EXPECT_FALSE(session->Servers()[1].enabled);
    EXPECT_FALSE(desc1->isEnabled());
    EXPECT_TRUE(text1->isEnabled());
    EXPECT_FALSE(Find("CheckI(1)")->isVisibleTo(window.get()));
    EXPECT_TRUE(messages.shown.empty());
    check0->click();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].title, "No Nameserver?!");
    Enter(check0);
    EXPECT_EQ(Find<QLabel>("hlp")->text(), "Enable this name server");
    check0->click();

    // Removed: an emptied address empties the row and the slot.
    Type(text1, "");
    text0->setFocus(Qt::MouseFocusReason);
    Settle();
    EXPECT_EQ(session->Servers()[1].address, "");
    EXPECT_EQ(desc1->text(), "");
    EXPECT_FALSE(check1->isEnabled());
    ASSERT_TRUE(session->SaveAllSettings());
    EXPECT_EQ(Saved(1, "_NAME"), "");
    EXPECT_EQ(Saved(1, "_DESC"), "");

    // An answer shows the green image; "&Clear" resets the figures.
    session->UDPPort2DataIn(Query("a.example", 1, 1), "192.0.2.50", 40000);
    session->UDPPort1DataIn(GoodReply("a.example", 1, IdOf(udp1.sent.back().data)), "10.0.0.9", 53);
    session->RefreshServers();
    EXPECT_EQ(Find("CheckI(0)")->toolTip(), "This Nameservers is working!");
    EXPECT_EQ(Find<Panel3D>("Proz(0)")->Caption(), "100%");
    EXPECT_NE(Find<QLineEdit>("ATime(0)")->text(), "---");
    Enter(Find("Proz(0)"));
    EXPECT_EQ(Find<QLabel>("hlp")->text(),
              "This server was the first to answer for 100% of all requests");
    QTest::mouseClick(Find<QPushButton>("b1"), Qt::LeftButton);
    EXPECT_EQ(Find("CheckI(0)")->toolTip(), "No answer yet from Nameserver");
    EXPECT_EQ(Find<QLineEdit>("ATime(0)")->text(), "---");
    EXPECT_EQ(messages.shown.size(), 1u);
}

}  // namespace
}  // namespace quenda::test
