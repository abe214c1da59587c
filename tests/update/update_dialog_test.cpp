// The update dialog's widgets under the offscreen platform: what each outcome shows, names for
// assistive technology, Esc, F1, the status line, and the About tab's button that opens it.
#include "app/views/update_dialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTest>

#include <gtest/gtest.h>

#include "tests/support/qt_loop.h"
#include "tests/support/scripted_messages.h"
#include "tests/update/https_fixture.h"
#include "tests/update/update_test_support.h"

namespace quenda::test {
namespace {

class UpdateDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(server.Ok());
        server.Trust(true);
        server.Serve("update.txt", UpdatePageText("1.3.0", server.Address("q.deb"), "q.deb", "5"));
        settings.pageAddress = server.Address("update.txt");
        settings.webAddress = "https://quenda.invalid/";
        settings.helpUrl = "file:///help/index.html";
        settings.programVersion = "1.2.9";
        settings.downloadDirectory = data.Path().string() + "/";
        check = std::make_unique<UpdateCheck>(settings, messages, &links, opener);
        dialog = std::make_unique<UpdateDialog>(*check);
        dialog->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
        ASSERT_TRUE(RunLoopUntil([&] { return check->Face().message != "Please wait..."; }, 20000));
    }

    template <typename Widget = QWidget>
    Widget* Find(const char* name) {
        auto* found = dialog->findChild<Widget*>(QLatin1String(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    HttpsServer server;
    TempDirectory data;
    UpdateCheckSettings settings;
    ScriptedMessages messages;
    RecordingLinks links;
    RecordingOpener opener;
    std::unique_ptr<UpdateCheck> check;
    std::unique_ptr<UpdateDialog> dialog;
};

TEST_F(UpdateDialogTest, ANewVersionShowsItsTextsAndEveryControlIsNamed) {
    EXPECT_EQ(dialog->windowTitle(), "Quenda Update");
    EXPECT_EQ(Find<QLabel>("Label1")->text(), "New version available");
    EXPECT_EQ(Find<QLabel>("status")->text(), "Your version: 1.2.9");
    EXPECT_EQ(Find<QLabel>("Label4")->text(), "Current Version: 1.3.0");
    EXPECT_TRUE(Find<QLabel>("Label3")->isVisible());
    EXPECT_FALSE(Find<QLabel>("Label2")->isVisible());
    EXPECT_EQ(Find<QPlainTextEdit>("Text1")->toPlainText(), "Faster cache\nFewer clicks");
    auto* close = Find<QAbstractButton>("SSCommand1");
    auto* download = Find<QAbstractButton>("SSCommand2");
    EXPECT_EQ(close->text(), "&Close");
    EXPECT_FALSE(close->icon().isNull());
    EXPECT_TRUE(download->isVisible());
    // The download button stands level with help, and close with both.
    EXPECT_EQ(download->y(), Find("b5")->y());
    EXPECT_EQ(close->y(), download->y());
    EXPECT_FALSE(Find("DProgress")->isVisible());

    for (QWidget* widget : dialog->findChildren<QWidget*>()) {
        if (widget->objectName().startsWith(QLatin1String("qt_"))) continue;
        if (!widget->isVisible() || widget->parentWidget() != dialog.get()) continue;
        EXPECT_FALSE(widget->objectName().isEmpty()) << widget->metaObject()->className();
        EXPECT_FALSE(widget->accessibleName().isEmpty()) << widget->objectName().toStdString();
        EXPECT_FALSE(widget->accessibleName().contains(QLatin1Char('&')));
    }
}

TEST_F(UpdateDialogTest, TheStatusLineF1AndEscAnswerAsTheDialogShould) {
    auto* hlp = Find<QLabel>("hlp");
    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(Find<QPlainTextEdit>("Text1")->viewport(), &enter);
    EXPECT_EQ(hlp->text(), "Information about the new version");
    QApplication::sendEvent(Find("SSCommand2"), &enter);
    EXPECT_EQ(hlp->text(), "Download and install the new version of Quenda");
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(Find("SSCommand2"), &leave);
    EXPECT_EQ(hlp->text(), " ");

    QTest::keyClick(dialog.get(), Qt::Key_F1);
    EXPECT_EQ(links.opened, std::vector<std::string>{"file:///help/index.html"});
    QTest::keyClick(dialog.get(), Qt::Key_Escape);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_TRUE(check->Closed());
}

}  // namespace
}  // namespace quenda::test
