// The main window's logic without widgets: buttons and status texts per tab, show and hide,
// the quit paths, help, and the sweep timer's chores.
#include "app/shell/mainform.h"

#include <gtest/gtest.h>

#include <memory>

#include "app/shell/mainform_tray.h"
#include "platform/profile/profile_file.h"
#include "tests/support/dns_builder.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/session_fixture.h"

namespace quenda::test {
namespace {

// Records what the form asks of its widgets.
struct FakeWindow final : MainformWindow {
    void SetButtonFace(int button, const ButtonFace& face) override { faces[button - 1] = face; }
    void SetStatusText(const std::string& text) override { statusWrites.push_back(text); }
    void ShowOptions(bool cache, bool tray) override {
        cacheBox = cache;
        trayBox = tray;
    }
    void ShowWindow() override {
        visible = true;
        minimised = false;
        ++shows;
    }
    void HideWindow() override { visible = false; }
    void MinimiseWindow() override { minimised = true; }
    bool TrayIconShown() override { return tray != nullptr ? tray->IconShown() : trayIcon; }
    bool IsWindowVisible() override { return visible && !minimised; }
    bool IsMinimised() override { return minimised; }
    void SetTrayItems(bool show, bool hide) override {
        showEnabled = show;
        hideEnabled = hide;
    }
    void FocusTabControl() override { ++focus; }
    void UnloadOtherWindows() override { ++unloads; }
    void OpenTester() override { ++testers; }
    void OpenUpdateCheck() override { ++updateChecks; }
    void OpenLogSettings() override { ++logSettings; }
    void ToggleLogWindow() override { ++logWindowToggles; }
    WindowRoom LogWindowRoom() override { return room; }

    ButtonFace faces[4];
    std::vector<std::string> statusWrites;
    bool cacheBox = false, trayBox = false;
    bool visible = false, minimised = false, trayIcon = true;
    bool showEnabled = false, hideEnabled = false;
    int shows = 0, focus = 0, unloads = 0, testers = 0, updateChecks = 0;
    int logSettings = 0, logWindowToggles = 0;
    WindowRoom room{600, 440, 1280, 800};
    MainformTray* tray = nullptr;  // answers TrayIconShown when set
};

// A tray control that shows its icon while a tray exists; the test releases its buttons.
struct FakeTrayIcon final : TrayIcon {
    bool Show(const std::string& picture, const std::string& text) override {
        pictureFile = picture;
        tip = text;
        wanted = !picture.empty();
        return wanted;
    }
    void Remove() override { wanted = false; }
    bool Shown() override { return wanted && trayExists; }
    void Release(int16_t button) { RaiseMouseUp(button); }

    std::string pictureFile, tip;
    bool wanted = false, trayExists = true;
};

struct RecordingDesktop final : Desktop {
    void OpenUrl(const std::string& url) override { opened.push_back(url); }
    std::vector<std::string> opened;
};

struct ServerListWatch final : SessionObserver {
    void ServersChanged() override { ++refreshes; }
    int refreshes = 0;
};

class MainformTest : public SessionTest {
  protected:
    // Starts a session and the form over it, with the window unless windowless.
    void Start(bool windowless = false) {
        session = Make();
        session->AddObserver(&serverList);
        form = std::make_unique<Mainform>(
            *session, messages, &desktop,
            MainformLinks{"/usr/share/quenda/help/", "https://x.invalid/"});
        if (!windowless) form->SetWindow(&window);
        form->SetUnloadHandler([this] { ended += form->QueryUnload(UnloadReason::kCode) ? 1 : 0; });
        ASSERT_EQ(form->Load(), StartOutcome::kRunning);
    }
    std::vector<std::string> Captions() const {
        std::vector<std::string> shown;
        for (const ButtonFace& face : window.faces)
            shown.push_back(face.visible ? face.caption : "");
        return shown;
    }

    FakeWindow window;
    RecordingDesktop desktop;
    ServerListWatch serverList;
    std::unique_ptr<Session> session;
    std::unique_ptr<Mainform> form;
    int ended = 0;
};

TEST_F(MainformTest, EachTabLaysOutItsButtons) {
    Start();
    using V = std::vector<std::string>;
    const V expected[] = {{"&Clear", "", "", ""},
                          {"&Clear", "&Test", "", ""},
                          {"&Clear", "&Settings", "&Window", ""},
                          {"&Add", "&Update", "&Delete", "Del &all"},
                          {"Update", "", "", ""}};
    const char* pictures[] = {"IClear", "IRefresh", "IClear", "IAdd", "IAdd"};
    for (int tab : {3, 0, 4, 2, 1}) {
        const int refreshes = serverList.refreshes;
        form->TabSelected(tab);
        EXPECT_EQ(Captions(), expected[tab]) << "tab " << tab;
        EXPECT_EQ(window.faces[0].picture, pictures[tab]);
        EXPECT_EQ(serverList.refreshes - refreshes, tab == kServerTab ? 1 : 0);
    }
    EXPECT_EQ(window.faces[1].picture, "ITest");
    form->TabSelected(kCacheTab);
    EXPECT_EQ(window.faces[3].picture, "IDelete");
    form->TabSelected(7);  // not a tab: nothing changes
    EXPECT_EQ(form->CurrentTab(), kCacheTab);
    // "Update" opens the update check; b1 of the other tabs never does.
    form->ButtonClicked(1);
    EXPECT_EQ(window.updateChecks, 0);
    form->TabSelected(kAboutTab);
    form->ButtonClicked(1);
    EXPECT_EQ(window.updateChecks, 1);
}

TEST_F(MainformTest, StatusLineTextsAreWrittenOnlyWhenTheyChange) {
    Start();
    form->TabSelected(kCacheTab);
    form->ShowStatus("b2");
    EXPECT_EQ(form->StatusText(), "Update this host by sending a request to a nameserver");
    form->ShowStatus("b2");
    EXPECT_EQ(window.statusWrites.size(), 1u);
    form->ShowStatus("b7");
    EXPECT_EQ(window.statusWrites.back(), "Exit program");
    form->TabSelected(kLogTab);
    form->ShowStatus("b3");
    EXPECT_EQ(form->StatusText(), "View log in a seperate window");
    form->ShowStatus("Quenda_Mainform");  // a window's name clears the line
    EXPECT_EQ(form->StatusText(), "");
    form->ShowStatus("Quenda event log");
    EXPECT_EQ(form->StatusText(), "Quenda event log");
    form->TabSelected(kAboutTab);
    form->ShowStatus("b2");  // no text for it on this tab
    EXPECT_EQ(form->StatusText(), "");

    window.minimised = true;
    form->ShowStatus("b1");
    EXPECT_EQ(form->StatusText(), "");
    form->ShowStatus("Visit the Morvale web page");  // other texts still pass
    EXPECT_EQ(form->StatusText(), "Visit the Morvale web page");
    EXPECT_STREQ(Mainform::ControlStatusText("BarLost"),
                 "Percentage of DNS Requests which were lost or not answered");
    EXPECT_EQ(Mainform::ControlStatusText("nothing"), nullptr);
}

TEST_F(MainformTest, TheLogTabsButtonsOpenItsWindowsWhoseGeometryIsKeptAndSaved) {
    dir.WriteFile("QUENDA.INI", "[OPTIONS]\nLOG_WINDOWX=1500\nLOG_WINDOWY=120\n");
    Start();
    // Defaults from the main window and the screen, once at start-up.
    const WindowGeometry first{980, 120, 600, 220};
    EXPECT_EQ(session->LogWindowGeometry(), first);
    form->ButtonClicked(3);  // "&Delete" on the System tab: not the log window
    form->ButtonClicked(2);
    EXPECT_EQ(window.logWindowToggles + window.logSettings, 0);
    form->TabSelected(kLogTab);
    form->ButtonClicked(2);
    EXPECT_EQ(window.logSettings, 1);
    form->ButtonClicked(3);
    EXPECT_EQ(window.logWindowToggles, 1);

    // The window's widgets report its opening and closing; b3's text follows, also while
    // the pointer rests on it.
    LogWindowForm& logWindow = form->LogWindow();
    form->ShowStatus("b3");
    EXPECT_EQ(form->StatusText(), "View log in a seperate window");
    LogWindowForm::Placement placement = logWindow.Open();
    EXPECT_FALSE(placement.maximised);
    EXPECT_EQ(placement.geometry, first);
    EXPECT_EQ(form->StatusText(), "Close the seperate log window");

    const WindowGeometry moved{10, 20, 300, 400};
    logWindow.Closed(false, moved);
    EXPECT_EQ(form->StatusText(), "View log in a seperate window");
    EXPECT_EQ(logWindow.Open().geometry, moved);
    logWindow.Closed(true, {0, 0, 1280, 800});  // maximised
    EXPECT_FALSE(logWindow.Shown());
    placement = logWindow.Open();
    EXPECT_TRUE(placement.maximised);
    EXPECT_EQ(placement.geometry, moved);
    logWindow.Closed(false, first);
    EXPECT_FALSE(logWindow.Open().maximised);
    logWindow.Closed(false, moved);
    logWindow.Closed(false, first);  // not shown: nothing to store

    ASSERT_TRUE(session->SaveAllSettings());
    EXPECT_EQ(GetPrivateProfileString("OPTIONS", "LOG_WINDOWX", "", 20, Ini()), "10");
    EXPECT_EQ(GetPrivateProfileString("OPTIONS", "LOG_WINDOWY", "", 20, Ini()), "20");
    EXPECT_EQ(GetPrivateProfileString("OPTIONS", "LOG_WINDOWW", "", 20, Ini()), "300");
    EXPECT_EQ(GetPrivateProfileString("OPTIONS", "LOG_WINDOWH", "", 20, Ini()), "400");
}

TEST_F(MainformTest, HidingFromTheServerTabComesBackThereAndStopsTableRefreshes) {
    Start();
    EXPECT_TRUE(window.visible);
    EXPECT_FALSE(window.showEnabled);
    EXPECT_TRUE(window.hideEnabled);
    form->TabSelected(kServerTab);
    form->ButtonClicked(6);  // "&Hide"
    EXPECT_TRUE(form->WindowHidden());
    EXPECT_FALSE(window.visible);
    EXPECT_EQ(form->CurrentTab(), kHiddenTab);
    EXPECT_TRUE(window.showEnabled);
    EXPECT_FALSE(window.hideEnabled);

    const int refreshes = serverList.refreshes;
    for (int i = 0; i < 6; ++i) form->Timer1Tick();
    EXPECT_EQ(serverList.refreshes, refreshes);

    form->TrayHide();  // already hidden: nothing
    EXPECT_TRUE(form->WindowHidden());
    form->TrayShow();
    EXPECT_FALSE(form->WindowHidden());
    EXPECT_TRUE(window.visible);
    EXPECT_EQ(form->CurrentTab(), kServerTab);
    EXPECT_FALSE(window.showEnabled);
    EXPECT_TRUE(window.hideEnabled);
    for (int i = 0; i < 6; ++i) form->Timer1Tick();
    EXPECT_EQ(serverList.refreshes, refreshes + 2);  // every third tick while shown

    // Closing the window hides it too, and the tray icon brings it back.
    EXPECT_FALSE(form->QueryUnload(UnloadReason::kUserClosed));
    EXPECT_FALSE(window.visible);
    form->TrayIconClicked();
    EXPECT_TRUE(window.visible);
    EXPECT_EQ(ended, 0);
}

TEST_F(MainformTest, WithoutATrayIconTheWindowIsMinimisedInsteadOfHidden) {
    dir.WriteFile("QUENDA.INI", "[OPTIONS]\nSYSTRAY=Yes\n");
    window.trayIcon = false;
    Start();
    EXPECT_TRUE(form->WindowHidden());
    EXPECT_TRUE(window.minimised);  // starts minimised, not gone
    EXPECT_FALSE(window.visible);
    form->WindowRestored();  // from the task bar
    EXPECT_FALSE(form->WindowHidden());
    EXPECT_FALSE(window.minimised);
    EXPECT_FALSE(window.showEnabled);

    form->TabSelected(kLogTab);
    EXPECT_FALSE(form->QueryUnload(UnloadReason::kUserClosed));  // the close box
    EXPECT_TRUE(window.minimised);
    EXPECT_TRUE(window.visible);
    EXPECT_EQ(form->CurrentTab(), kHiddenTab);
    EXPECT_TRUE(window.showEnabled);

    // A tray that appears later takes the next hide.
    form->ShowHide();
    EXPECT_EQ(form->CurrentTab(), kLogTab);
    window.trayIcon = true;
    form->ShowHide();
    EXPECT_FALSE(window.visible);
    EXPECT_TRUE(form->WindowHidden());
}

TEST_F(MainformTest, TrayButtonsShowAndHideTheWindowOrOpenTheMenuAndNoTrayMinimises) {
    Start();
    auto icon = std::make_unique<FakeTrayIcon>();
    FakeTrayIcon& fake = *icon;
    int menus = 0;
    MainformTray tray(*form, std::move(icon), [&] { ++menus; });
    window.tray = &tray;
    EXPECT_FALSE(tray.IconShown());
    ASSERT_TRUE(tray.Show("/share/quenda/icons/quenda-tray.svg"));
    EXPECT_EQ(fake.tip, "Quenda");
    EXPECT_EQ(fake.pictureFile, "/share/quenda/icons/quenda-tray.svg");

    form->TabSelected(kCacheTab);
    fake.Release(kTrayLeftButton);
    EXPECT_TRUE(form->WindowHidden());
    EXPECT_FALSE(window.visible);
    EXPECT_FALSE(window.minimised);  // in the tray, not on the task bar
    EXPECT_TRUE(window.showEnabled);
    fake.Release(kTrayRightButton);
    fake.Release(kTrayMiddleButton);
    EXPECT_EQ(menus, 1);
    EXPECT_TRUE(form->WindowHidden());
    fake.Release(kTrayLeftButton);
    EXPECT_FALSE(form->WindowHidden());
    EXPECT_TRUE(window.visible);
    EXPECT_EQ(form->CurrentTab(), kCacheTab);
    EXPECT_TRUE(window.hideEnabled);
    EXPECT_FALSE(window.showEnabled);

    // The panel with the tray went away: Esc minimises, and the tray's return takes the next.
    fake.trayExists = false;
    form->ShowHide();
    EXPECT_TRUE(window.minimised);
    EXPECT_TRUE(form->WindowHidden());
    form->WindowRestored();
    fake.trayExists = true;
    form->ShowHide();
    EXPECT_FALSE(window.visible);
    EXPECT_FALSE(window.minimised);
    tray.Remove();
    EXPECT_FALSE(tray.IconShown());
    window.tray = nullptr;
}

TEST_F(MainformTest, TrayStartupKeepsTheWindowHiddenWithShowOffered) {
    dir.WriteFile("QUENDA.INI", "[OPTIONS]\nSYSTRAY=Yes\nNOCACHE=Yes\nLOG_DETAIL=2\n");
    Start();
    EXPECT_TRUE(form->WindowHidden());
    EXPECT_EQ(window.shows, 0);
    EXPECT_TRUE(window.showEnabled);
    EXPECT_FALSE(window.hideEnabled);
    EXPECT_TRUE(window.trayBox);
    EXPECT_TRUE(window.cacheBox);
    EXPECT_NE(session->LogBox().find(" * Cache disabled"), std::string::npos);
    form->TrayShow();
    EXPECT_EQ(form->CurrentTab(), kSystemTab);
}

TEST_F(MainformTest, QuitQuestionCancelKeepsRunningAndOkQuitsAndSaves) {
    dir.WriteFile("DNSIP.DAT", "seed\n10.0.0.1,first,1,0\n");
    Start();
    messages.Answer(MessageAnswer::Cancel);
    form->ButtonClicked(7);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].icon, MessageIcon::Question);
    EXPECT_EQ(messages.shown[0].buttons, MessageButtons::OkCancel);
    EXPECT_EQ(messages.shown[0].title, "QUIT");
    EXPECT_EQ(messages.shown[0].text,
              "Are you sure you want to exit?\n\rThis will disable your DNS system and your "
              "Internet access may not work!");
    EXPECT_FALSE(form->QuitRequested());
    EXPECT_EQ(ended, 0);

    session->UDPPort2DataIn(Query("q.example", 1, 9), "192.0.2.50", 40000);
    session->UDPPort1DataIn(GoodReply("q.example", 1, IdOf(udp1.sent.back().data)), "10.0.0.1", 53);
    messages.Answer(MessageAnswer::Ok);
    form->TrayQuit();
    EXPECT_EQ(ended, 1);
    EXPECT_EQ(window.unloads, 1);
    EXPECT_EQ(GetPrivateProfileString("STATISTICS", "ADNS", "", 20, Ini()), "1");
}

TEST_F(MainformTest, FileExitAndSessionEndQuitWithoutAsking) {
    Start();
    form->FileExit();
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(ended, 1);
    EXPECT_TRUE(std::filesystem::exists(Ini()));

    std::filesystem::remove(Ini());
    Start(true);  // without windows, as headless
    EXPECT_FALSE(form->QueryUnload(UnloadReason::kUserClosed));
    EXPECT_TRUE(form->WindowHidden());
    EXPECT_FALSE(std::filesystem::exists(Ini()));
    EXPECT_TRUE(form->QueryUnload(UnloadReason::kSessionEnding));
    EXPECT_TRUE(std::filesystem::exists(Ini()));
}

TEST_F(MainformTest, AFailedStartQuitsWithoutSaving) {
    udp2.failOpen = kAddressInUse;
    session = Make();
    Mainform failed(*session, messages, &desktop, {});
    EXPECT_EQ(failed.Load(), StartOutcome::kFailed);
    EXPECT_TRUE(failed.QuitRequested());
    EXPECT_TRUE(failed.QueryUnload(UnloadReason::kCode));
    EXPECT_FALSE(std::filesystem::exists(Ini()));
}

TEST_F(MainformTest, HelpOpensThePageOfTheTabOrOfTheTesterAndTheIndexWhileHidden) {
    Start();
    form->ButtonClicked(5);
    form->ButtonClicked(2);  // no "&Test" on the System tab
    form->TabSelected(kServerTab);
    form->OpenHelp();
    form->ButtonClicked(2);
    EXPECT_EQ(window.testers, 1);
    // The tester sets its own context while open and gives back the one it found.
    const int saved = form->HelpContext();
    form->SetHelpContext(kHelpTester);
    form->OpenHelp();
    form->SetHelpContext(saved);
    form->ShowHide();
    form->OpenHelp();
    form->OpenWebPage();
    EXPECT_EQ(desktop.opened,
              (std::vector<std::string>{"file:///usr/share/quenda/help/system.html",
                                        "file:///usr/share/quenda/help/servers.html",
                                        "file:///usr/share/quenda/help/tester.html",
                                        "file:///usr/share/quenda/help/index.html",
                                        "https://x.invalid/"}));
    EXPECT_EQ(Mainform::HelpPage(kHelpTester), "tester.html");
}

TEST_F(MainformTest, TimerChoresRunByTheTickCountAndUnloadOnQuit) {
    Start();
    form->TabSelected(kServerTab);
    int saves = 0;
    const int refreshes = serverList.refreshes;
    for (int i = 0; i < 200; ++i) {
        std::filesystem::remove(Ini());
        form->Timer1Tick();
        saves += std::filesystem::exists(Ini()) ? 1 : 0;
    }
    EXPECT_EQ(serverList.refreshes - refreshes, 67);  // ticks 0, 3, ..., 198
    EXPECT_EQ(saves, 3);                              // ticks 20, 80, 140

    // A request left unanswered is swept after its life time and counted.
    session->UDPPort2DataIn(Query("lost.example"), "192.0.2.50", 40000);
    clock.Advance(36000);
    form->RequestQuit();
    form->Timer1Tick();  // the quit comes first: no sweep
    EXPECT_EQ(ended, 1);
    EXPECT_EQ(session->Table().PendingCount(), 1);
}

TEST_F(MainformTest, AFullDiskIsLoggedOncePerStreakAndWritingIsTriedAgainAtTheNextSave) {
    dir.WriteFile("QUENDA.INI", "[OPTIONS]\nLOG_TOFILE=Yes\nLOG_FILE=/dev/full\n");
    Start(true);  // its lines fail to reach the log file
    const auto count = [&](const std::string& text) {
        const std::string& box = session->LogBox();
        int found = 0;
        for (size_t at = box.find(text); at != std::string::npos; at = box.find(text, at + 1))
            ++found;
        return found;
    };
    const auto tick = [&](int times) {
        for (int i = 0; i < times; ++i) form->Timer1Tick();
    };
    const std::string logFull = " Error writing logfile /dev/full: No space left on device";
    const std::string settingsFull =
        " Error saving settings: cannot write " + Ini() + ": File too large\r\n";
    EXPECT_EQ(count(logFull), 1);
    EXPECT_FALSE(session->Log().LogFileOpen());
    {
        const FileSizeLimit full(16);
        tick(21);  // the first periodic save
        EXPECT_EQ(count(settingsFull), 1);
        EXPECT_TRUE(session->Log().LogFileOpen());  // tried again...
        session->Log().WriteLog("line", 1);
        EXPECT_FALSE(session->Log().LogFileOpen());  // ...and failed again, without a word
        tick(60);
        EXPECT_EQ(count(settingsFull), 1);
        EXPECT_EQ(count(logFull), 1);
    }
    tick(60);  // saved: the streak is over
    EXPECT_EQ(GetPrivateProfileString("OPTIONS", "LOG_FILE", "", 80, Ini()), "/dev/full");
    const FileSizeLimit full(16);
    EXPECT_TRUE(form->QueryUnload(UnloadReason::kSessionEnding));
    EXPECT_EQ(count(settingsFull), 2);
}

}  // namespace
}  // namespace quenda::test
