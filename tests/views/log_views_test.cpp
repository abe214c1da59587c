// The Log tab's windows under the offscreen platform: "Configure Log" and its answers, and
// the separate log window, its text, its closing and the geometry it keeps.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTextCursor>
#include <QTimer>

#include "app/views/log_settings_dialog.h"
#include "app/views/log_window.h"
#include "platform/profile/profile_file.h"
#include "tests/support/widget_fixture.h"

namespace quenda::test {
namespace {

template <typename Widget = QWidget>
Widget* Child(QWidget* parent, const char* name) {
    auto* found = parent->findChild<Widget*>(QLatin1String(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

// The separate log window while it is shown, else nullptr.
LogWindowView* ShownLogWindow() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* window = qobject_cast<LogWindowView*>(widget);
        if (window != nullptr && window->isVisible()) return window;
    }
    return nullptr;
}

class LogViewsTest : public WidgetTest {
  protected:
    void StartOnLogTab(const std::string& options) {
        dir.WriteFile("QUENDA.INI", "[OPTIONS]\n" + options);
        Start();
        Find<QTabWidget>("SSTab1")->setCurrentIndex(kLogTab);
    }
    // Clicks b2 and lets `inside` work the modal dialog it opens.
    void WithLogSettings(const std::function<void(QDialog*)>& inside) {
        bool ran = false;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            ran = true;
            inside(dialog);
            if (dialog->isVisible()) dialog->reject();
        });
        QTest::mouseClick(Find<QPushButton>("b2"), Qt::LeftButton);
        EXPECT_TRUE(ran);
    }
    std::string Saved(const char* key) const {
        return GetPrivateProfileString("OPTIONS", key, "<absent>", 200, Ini());
    }
};

bool White(QLineEdit* box) {
    return box->palette().color(QPalette::Base) == QColor(0xFF, 0xFF, 0xFF);
}

TEST_F(LogViewsTest, ConfigureLogCancelChangesNothingAndOkKeepsAnUnlistedDetail) {
    StartOnLogTab("LOG_DETAIL=5\nLOG_TIME=Yes\n");
    const std::string file = dir.Path().string() + "/chosen.log";
    WithLogSettings([&](QDialog* dialog) {
        EXPECT_EQ(dialog->objectName(), "Quenda_LogConf");
        EXPECT_EQ(dialog->windowTitle(), "Configure Log");
        for (const char* level : {"OptionLow", "OptionMedium", "OptionHigh"}) {
            EXPECT_FALSE(Child<QRadioButton>(dialog, level)->isChecked()) << level;
        }
        EXPECT_TRUE(Child<QCheckBox>(dialog, "CheckTime")->isChecked());
        auto* path = Child<QLineEdit>(dialog, "TextFile");
        EXPECT_EQ(path->text().toStdString(), paths.dataDirectory + "Quenda.LOG");
        EXPECT_FALSE(path->isEnabled());
        EXPECT_FALSE(White(path));
        EXPECT_EQ(path->palette().color(QPalette::Base), dialog->palette().color(QPalette::Window));
        Child<QCheckBox>(dialog, "CheckFile")->click();
        EXPECT_TRUE(path->isEnabled());
        EXPECT_FALSE(path->isReadOnly());
        EXPECT_TRUE(White(path));
        Child<QCheckBox>(dialog, "CheckDate")->click();
        QEvent enter(QEvent::Enter);
        QCoreApplication::sendEvent(Child(dialog, "CheckDate"), &enter);
        EXPECT_EQ(Child<QLabel>(dialog, "Tip")->text(), "Include Time/Date in the log");
        QTest::mouseClick(Child<QPushButton>(dialog, "Cancel"), Qt::LeftButton);
    });
    EXPECT_FALSE(session->GetOptions().LOG_DATE);
    EXPECT_FALSE(session->GetOptions().LOG_TOFILE);
    EXPECT_EQ(Saved("LOG_DATE"), "<absent>");

    WithLogSettings([&](QDialog* dialog) {
        EXPECT_FALSE(Child<QCheckBox>(dialog, "CheckDate")->isChecked());
        Child<QCheckBox>(dialog, "CheckDate")->click();
        Child<QCheckBox>(dialog, "CheckFile")->click();
        Child<QLineEdit>(dialog, "TextFile")->setText(QString::fromStdString(file));
        QTest::mouseClick(Child<QPushButton>(dialog, "OK"), Qt::LeftButton);
        EXPECT_FALSE(dialog->isVisible());
    });
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(session->GetOptions().LOG_DETAIL, 5);
    EXPECT_TRUE(session->GetOptions().LOG_DATE);
    EXPECT_TRUE(session->Log().LogFileOpen());
    EXPECT_EQ(Find<QGroupBox>("FrameLog")->title().toStdString(), "DNS Log: (" + file + ")");
    EXPECT_EQ(Saved("LOG_DETAIL"), "5");
    EXPECT_EQ(Saved("LOG_FILE"), file);
}

TEST_F(LogViewsTest, ALogFileInAMissingDirectoryAsksAndYesUnticksTheBox) {
    StartOnLogTab("");
    const std::string missing = dir.Path().string() + "/missing/Quenda.LOG";
    for (const MessageAnswer answer : {MessageAnswer::No, MessageAnswer::Yes}) {
        LogSettingsDialog dialog(*session, messages, window.get());
        dialog.show();
        auto* toFile = Child<QCheckBox>(&dialog, "CheckFile");
        if (!toFile->isChecked()) toFile->click();
        Child<QLineEdit>(&dialog, "TextFile")->setText(QString::fromStdString(missing));
        messages.Answer(answer);
        QTest::mouseClick(Child<QPushButton>(&dialog, "OK"), Qt::LeftButton);
        ASSERT_FALSE(messages.shown.empty());
        EXPECT_EQ(messages.shown.back().title, "Error with logfile");
        const bool yes = answer == MessageAnswer::Yes;
        EXPECT_EQ(toFile->isChecked(), !yes);
        EXPECT_EQ(Child<QLineEdit>(&dialog, "TextFile")->isEnabled(), !yes);
        EXPECT_EQ(session->GetOptions().LOG_TOFILE, !yes);
        EXPECT_EQ(Saved("LOG_TOFILE"), yes ? "No" : "Yes");
    }
    EXPECT_EQ(messages.shown.size(), 2u);
    EXPECT_FALSE(session->Log().LogFileOpen());
}

TEST_F(LogViewsTest, TheSeparateWindowFollowsTheLogAndReopensWhereAndHowItWasClosed) {
    StartOnLogTab("LOG_WINDOWX=40\nLOG_WINDOWY=50\nLOG_WINDOWW=420\nLOG_WINDOWH=260\n");
    auto* b3 = Find<QPushButton>("b3");
    EXPECT_EQ(b3->text(), "&Window");
    QTest::mouseMove(b3);
    form->ShowStatus("b3");
    EXPECT_EQ(Find<QLabel>("hlp")->text(), "View log in a seperate window");
    QTest::mouseClick(b3, Qt::LeftButton);
    LogWindowView* logWindow = ShownLogWindow();
    ASSERT_NE(logWindow, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(logWindow));
    EXPECT_EQ(Find<QLabel>("hlp")->text(), "Close the seperate log window");
    EXPECT_EQ(logWindow->windowTitle(), "Quenda Log");
    EXPECT_EQ(logWindow->pos(), QPoint(40, 50));
    EXPECT_EQ(logWindow->size(), QSize(420, 260));

    auto* text1 = Child<QPlainTextEdit>(logWindow, "Text1");
    auto* text5 = Find<QPlainTextEdit>("Text5");
    text1->moveCursor(QTextCursor::Start);  // every new line takes the caret to the end
    for (int i = 0; i < 300; ++i) session->Log().WriteLog("line " + std::to_string(i), 1);
    EXPECT_TRUE(QTest::qWaitFor([&] {
        return text1->toPlainText().endsWith(QStringLiteral(" line 299")) &&
               text1->toPlainText() == text5->toPlainText();
    }));
    EXPECT_TRUE(text1->textCursor().atEnd());
    QEvent enter(QEvent::Enter);
    QCoreApplication::sendEvent(Child(logWindow, "CloseButton"), &enter);
    EXPECT_EQ(Child<QLabel>(logWindow, "Tip")->text(), "Close this window");
    // The controls are laid out inside the window, the text above the button.
    auto* button = Child(logWindow, "CloseButton");
    EXPECT_LT(text1->geometry().bottom(), button->geometry().top());
    EXPECT_LE(Child(logWindow, "Tip")->geometry().bottom(), logWindow->height());

    // "&Clear" empties both.
    QTest::mouseClick(Find<QPushButton>("b1"), Qt::LeftButton);
    EXPECT_EQ(text1->toPlainText(), "");

    // Moved, resized and closed from the Log tab: it comes back there.
    logWindow->move(70, 80);
    logWindow->resize(500, 300);
    QTest::mouseClick(b3, Qt::LeftButton);
    EXPECT_EQ(ShownLogWindow(), nullptr);
    EXPECT_EQ(session->LogWindowGeometry(), (WindowGeometry{70, 80, 500, 300}));
    QTest::mouseClick(b3, Qt::LeftButton);
    logWindow = ShownLogWindow();
    ASSERT_NE(logWindow, nullptr);
    EXPECT_EQ(logWindow->pos(), QPoint(70, 80));
    EXPECT_EQ(logWindow->size(), QSize(500, 300));

    // Closed maximised by its own button: it opens maximised and the stored place stays.
    logWindow->showMaximized();
    QTest::mouseClick(Child<QPushButton>(logWindow, "CloseButton"), Qt::LeftButton);
    EXPECT_EQ(ShownLogWindow(), nullptr);
    EXPECT_EQ(session->LogWindowGeometry(), (WindowGeometry{70, 80, 500, 300}));
    QTest::mouseClick(b3, Qt::LeftButton);
    logWindow = ShownLogWindow();
    ASSERT_NE(logWindow, nullptr);
    EXPECT_TRUE(logWindow->isMaximized());
    // Its own close box closes it as well.
    logWindow->close();
    EXPECT_FALSE(form->LogWindow().Shown());
    QTest::mouseClick(b3, Qt::LeftButton);
    logWindow = ShownLogWindow();
    ASSERT_NE(logWindow, nullptr);
    logWindow->showNormal();
    logWindow->move(90, 100);

    // Quitting closes it first, so the place it had is saved.
    window->findChild<QAction*>("mnuQuit")->trigger();
    EXPECT_EQ(ended, 1);
    EXPECT_FALSE(form->LogWindow().Shown());
    EXPECT_EQ(Saved("LOG_WINDOWX"), "90");
    EXPECT_EQ(Saved("LOG_WINDOWY"), "100");
    EXPECT_EQ(Saved("LOG_WINDOWW"), "500");
}

}  // namespace
}  // namespace quenda::test
