// The main window over a session with fake controls, for widget tests under the offscreen
// platform: widgets are found by object name, message boxes are answered by a script, and
// addresses the window would open in the browser are recorded.
#pragma once

#include <QApplication>
#include <QTest>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "app/shell/mainform.h"
#include "app/views/mainform_view.h"
#include "tests/support/session_fixture.h"

namespace quenda::test {

struct RecordingDesktop final : Desktop {
    void OpenUrl(const std::string& url) override { opened.push_back(url); }
    std::vector<std::string> opened;
};

class WidgetTest : public SessionTest {
  protected:
    // Starts the session and the form with the window shown (unless the settings keep it in
    // the tray) and waits until the window is on screen.
    void Start() {
        session = Make();
        form = std::make_unique<Mainform>(*session, messages, &desktop,
                                          MainformLinks{"/help/", "https://quenda.invalid/"});
        window = std::make_unique<MainformView>(*session, *form);
        window->SetCloseHandler(
            [this](UnloadReason reason) { ended += form->QueryUnload(reason) ? 1 : 0; });
        form->SetUnloadHandler([this] { ended += form->QueryUnload(UnloadReason::kCode) ? 1 : 0; });
        ASSERT_EQ(form->Load(), StartOutcome::kRunning);
        if (!form->WindowHidden()) {
            ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        }
    }

    ~WidgetTest() override {
        window.reset();  // before the form and the session it watches
    }

    // The window's widget of this object name and type; fails the test when there is none.
    template <typename Widget = QWidget>
    Widget* Find(const char* name) {
        auto* found = window->findChild<Widget*>(QLatin1String(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    RecordingDesktop desktop;
    std::unique_ptr<Session> session;
    std::unique_ptr<Mainform> form;
    std::unique_ptr<MainformView> window;
    int ended = 0;
};

}  // namespace quenda::test
