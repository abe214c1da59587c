// The tester's dialog under the offscreen platform: what it shows, what assistive technology
// sees, its buttons and timer driving the logic, and closing giving the help back.
#include "app/views/tester_dialog.h"

#include <QAccessible>
#include <QComboBox>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "app/views/panel3d.h"
#include "tests/support/dns_builder.h"
#include "tests/support/fake_tester_parts.h"
#include "tests/support/session_fixture.h"

namespace quenda::test {
namespace {

TEST(TesterDialogTest, ShowsTheServersNamesEveryControlAndDrivesTheTestUntilClosed) {
    NameServerList servers;
    servers[0].address = "127.0.0.2";
    servers[0].description = "fake";
    servers[2].address = "192.0.2.53";
    LocalAddresses local;
    FakeUdpControl udp;
    FakeIcmpControl icmp;
    ScriptedMessages messages;
    FakeLog log;
    FakeClock clock;
    FakeMessageIds random;
    FakeHelp help;
    bool refusalLogged = false;
    TesterForm form(
        {servers, local, &udp, &icmp, messages, log, clock, random, help, refusalLogged});
    TesterDialog dialog(form);

    bool checked = false;
    QTimer::singleShot(0, &dialog, [&] {
        checked = true;
        EXPECT_TRUE(dialog.isModal());
        EXPECT_EQ(dialog.windowTitle(), "DNS server test");
        EXPECT_EQ(help.context, 1025);
        for (QWidget* widget : dialog.findChildren<QWidget*>()) {
            if (widget->objectName().isEmpty() || widget->objectName().startsWith("qt_")) {
                continue;
            }
            QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
            const QString name = accessible ? accessible->text(QAccessible::Name) : QString();
            EXPECT_FALSE(name.isEmpty()) << widget->objectName().toStdString();
            EXPECT_FALSE(name.contains('&')) << name.toStdString();
        }
        auto* combo = dialog.findChild<QComboBox*>("Combo1");
        ASSERT_TRUE(combo);
        EXPECT_EQ(combo->count(), 2);
        EXPECT_EQ(combo->itemText(0), "127.0.0.2       fake");
        EXPECT_EQ(combo->itemText(1), "192.0.2.53      ");
        EXPECT_EQ(combo->currentText(), "");
        EXPECT_TRUE(QFontInfo(combo->font()).fixedPitch());
        EXPECT_EQ(dialog.findChild<QLineEdit*>("Text2")->text(), kTesterDefaultDomain);
        auto* start = dialog.findChild<QPushButton*>("SSCommand2");
        auto* stop = dialog.findChild<QPushButton*>("SSCommand4");
        auto* lookupBar = dialog.findChild<Panel3D*>("PLookup");
        EXPECT_FALSE(stop->isEnabled());
        EXPECT_FALSE(lookupBar->isVisible());

        QTest::mouseClick(start, Qt::LeftButton);
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(messages.shown[0].text, "Could not send request: Please specify a nameserver");
        combo->setCurrentIndex(0);
        QTest::mouseClick(start, Qt::LeftButton);
        ASSERT_EQ(udp.sent.size(), 1u);
        EXPECT_EQ(udp.sent[0].host, "127.0.0.2");
        EXPECT_FALSE(start->isEnabled());
        EXPECT_TRUE(stop->isEnabled());
        EXPECT_TRUE(lookupBar->isVisible());
        EXPECT_EQ(dialog.findChild<QLabel*>("Status")->text(),
                  "Reqest sent, waiting for answer...");
        clock.Advance(7);
        form.LookupDataIn(GoodReply(kTesterDefaultDomain, 1, IdOf(udp.sent[0].data)));
        dialog.Refresh();
        EXPECT_EQ(dialog.findChild<Panel3D*>("LTime")->Caption(), "7ms");
        EXPECT_FALSE(lookupBar->isVisible());
        QTest::mouseClick(stop, Qt::LeftButton);
        // The timer gives Start back.
        EXPECT_TRUE(QTest::qWaitFor([&] { return start->isEnabled(); }, 2000));
        EXPECT_FALSE(stop->isEnabled());
        QTest::mouseClick(dialog.findChild<QPushButton*>("SSCommand1"), Qt::LeftButton);
    });
    dialog.Run();
    EXPECT_TRUE(checked);
    EXPECT_EQ(help.context, 1006);
    EXPECT_FALSE(form.Face().timerEnabled);
}

}  // namespace
}  // namespace quenda::test
