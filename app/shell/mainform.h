// The main window's logic without widgets: tab numbers, the hidden and quit flags, the status
// line, the buttons of each tab, show and hide, the quit paths, help, and Timer1's duties.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "app/shell/cache_tab.h"
#include "app/shell/help_host.h"
#include "app/shell/log_window.h"
#include "app/shell/session.h"
#include "platform/ui/message_service.h"

namespace quenda {

// The tab shown, and 5 while the window is hidden.
inline constexpr int kSystemTab = 0;
inline constexpr int kServerTab = 1;
inline constexpr int kLogTab = 2;
inline constexpr int kCacheTab = 3;
inline constexpr int kAboutTab = 4;
inline constexpr int kHiddenTab = 5;
inline constexpr int kTabCount = 5;
inline constexpr int16_t kSweepTicksWrap = 10000;

// Help contexts of the pages that are not tabs.
inline constexpr int kHelpIndex = 0;
inline constexpr int kHelpTester = 1025;

// One of the buttons b1 to b4 as a tab lays it out. picture is the name of the image the
// button shows beside its caption ("IClear", "IRefresh", ...).
struct ButtonFace {
    std::string caption;
    std::string picture;
    bool visible = false;
};

// Why the main window is being unloaded.
enum class UnloadReason { kUserClosed, kCode, kSessionEnding, kTaskManager };

// The widgets' side of the main window. Every call is made on the loop's thread.
class MainformWindow {
  public:
    virtual ~MainformWindow() = default;
    // button is 1 to 4.
    virtual void SetButtonFace(int button, const ButtonFace& face) = 0;
    virtual void SetStatusText(const std::string& text) = 0;
    // The option boxes as loaded from the settings, set without counting as clicks.
    virtual void ShowOptions(bool cacheDisabled, bool startupInTray) = 0;
    // Shows the window in its normal state with the focus, in front of the others, without
    // moving or sizing it.
    virtual void ShowWindow() = 0;
    virtual void HideWindow() = 0;
    // Minimises the window to the desktop's task bar or dock (shown minimised when hidden).
    virtual void MinimiseWindow() = 0;
    // A tray icon is shown now, so a hidden window can be brought back through it.
    virtual bool TrayIconShown() = 0;
    // The window is on screen: shown and not minimised.
    virtual bool IsWindowVisible() = 0;
    virtual bool IsMinimised() = 0;
    virtual void SetTrayItems(bool showEnabled, bool hideEnabled) = 0;
    virtual void FocusTabControl() = 0;
    // Hides the tray icon, then unloads the other windows in their order.
    virtual void UnloadOtherWindows() = 0;
    // The About tab's "Update": the update check, modal; returns when it is closed.
    virtual void OpenUpdateCheck() {}
    // The cache tab's list: reads the entries the filter selects again, from the top.
    virtual void ShowCacheEntries(const CacheFilter&) {}
    // The key of the entry selected in the cache list; "" when none is.
    virtual std::string SelectedCacheKey() { return {}; }
    // Shows the host entry editor, modal, closing one already open first.
    virtual void OpenHostEditor(const HostEditorPreset&) {}
    // Shows the name-server tester modally; returns when it is closed.
    virtual void OpenTester() = 0;
    // The "Configure Log" dialog, modal.
    virtual void OpenLogSettings() {}
    // Opens the separate log window, or closes it while it is shown.
    virtual void ToggleLogWindow() {}
    // The main window's and the screen's sizes, for the separate log window's defaults.
    virtual WindowRoom LogWindowRoom() { return {}; }
};

// Opens addresses in the desktop's default programs (the browser for web pages and help).
class Desktop {
  public:
    virtual ~Desktop() = default;
    virtual void OpenUrl(const std::string& url) = 0;
};

// The question asked before the program quits from the "E&xit" button or the tray.
inline constexpr const char* kQuitTitle = "QUIT";
inline constexpr const char* kQuitText =
    "Are you sure you want to exit?\n\rThis will disable your DNS system and your Internet "
    "access may not work!";

// Where the form's links lead.
struct MainformLinks {
    std::string helpDirectory;  // ends in "/": the help pages
    std::string webAddress;     // the maker's web page
    std::string updateAddress;  // the page the update check asks, unless QUENDA.INI names one
};

class Mainform final : public HelpHost {
  public:
    Mainform(Session& session, MessageService& messages, Desktop* desktop, MainformLinks links)
        : session_(session),
          messages_(messages),
          desktop_(desktop),
          links_(std::move(links)),
          cacheTab_(session.Cache(), messages),
          logWindow_(session, [this] { LogWindowChanged(); }) {}

    // The window the form drives; nullptr runs without one.
    void SetWindow(MainformWindow* window) {
        window_ = window;
        cacheTab_.SetWindow(window);
    }
    // The cache tab's search, buttons and menu.
    CacheTab& Cache() { return cacheTab_; }

    // The session's start-up; then the separate log window's geometry defaults are applied,
    // tab 0 is laid out and the window shown, or kept hidden when "Startup in System Tray" is
    // ticked. A failed start sets the quit flag.
    StartOutcome Load();

    // Every 2 s: unloads once a quit was asked for; otherwise the periodic chores (the server
    // table every third tick while shown, all settings every 60th), the sweep, the statistics
    // and the cache commit.
    void Timer1Tick();

    // The unload check: a session end or the task manager sets the quit flag. With the flag
    // set the other windows are unloaded, everything is saved and true is returned (the
    // program ends); otherwise the window goes to the tray and false is returned.
    bool QueryUnload(UnloadReason reason);

    // Called to unload the main window by code (the quit paths).
    void SetUnloadHandler(std::function<void()> unload) { unload_ = std::move(unload); }
    // Sets the quit flag; the next Timer1 tick unloads.
    void RequestQuit() { quit_ = true; }
    bool QuitRequested() const { return quit_; }

    // Lays out b1 to b4 for the current tab, refreshing the server table first on its tab.
    void TabUpdate();
    // The user picked a tab (0 to 4).
    void TabSelected(int tab);
    // b1 to b7 clicked.
    void ButtonClicked(int button);
    // The status line: "b1" to "b7" give the current tab's text (nothing while minimised);
    // a window name ("Quenda_...") clears the line; anything else is the text itself.
    void ShowStatus(const std::string& textOrName);
    // Hides a shown window into the tray, or shows a hidden one again on the tab it left.
    // Without a tray icon to come back through, the window is minimised instead; the hidden
    // flag, the saved tab and the tray items behave the same.
    void ShowHide();
    // The user brought a minimised window back by the desktop's own means.
    void WindowRestored();

    // The tray icon and its menu.
    void TrayIconClicked() { ShowHide(); }
    void TrayShow();
    void TrayHide();
    void TrayQuit() { QuitQuestion(); }
    // The File menu's "&Exit": quits without asking.
    void FileExit();
    // "E&xit": asks, and quits on OK.
    void QuitQuestion();
    // F1, "H&elp!" and "Help (F1)": the help page of the current tab (the index while hidden)
    // or of the dialog that set its own.
    // The link label and "Morvale &Webpage".
    void OpenWebPage();
    // The check boxes of the System tab, clicked.
    void CacheBoxClicked(bool ticked) { session_.SetCacheDisabled(ticked); }
    void TrayBoxClicked(bool ticked) { session_.SetStartupInTray(ticked); }

    // The separate log window's state, which its widgets report to.
    LogWindowForm& LogWindow() { return logWindow_; }

    int CurrentTab() const { return currentTab_; }
    bool WindowHidden() const { return windowHidden_; }
    const std::string& StatusText() const { return lastStatus_; }
    // The help page F1 opens: the current tab's, unless a dialog set its own.
    int HelpContext() const override;
    // A dialog's help context, until the dialog sets another or a tab is picked; the tab's
    // own context follows the tab again.
    void SetHelpContext(int context) override {
        helpContext_ = context == HelpContextOf(currentTab_) ? -1 : context;
    }
    void OpenHelp() override;
    MessageService& Messages() const { return messages_; }
    const std::string& WebAddress() const { return links_.webAddress; }
    const MainformLinks& Links() const { return links_; }
    // For the dialogs the form opens.
    Desktop* DesktopLinks() const { return desktop_; }

    // The layout of b1 to b4 on a tab; hidden on tab 5 and for any button outside 1 to 4.
    static ButtonFace Face(int tab, int button);
    // The status text of b1 to b7 on a tab ("" where it has none).
    static std::string ButtonStatusText(int tab, int button, bool logWindowOpen);
    // The status text of the other controls by object name; nullptr for controls without one.
    static const char* ControlStatusText(const std::string& objectName);
    static int HelpContextOf(int tab);
    // The page file of a help context; the index for an unknown context.
    static std::string HelpPage(int context);
    // "file://" + the help directory + the page.
    std::string HelpUrl(int context) const;

  private:
    void Unload();
    void PutWindowAway();
    // The b3 text on the status line follows the separate window being opened or closed.
    void LogWindowChanged();

    Session& session_;
    MessageService& messages_;
    Desktop* desktop_;
    MainformLinks links_;
    MainformWindow* window_ = nullptr;
    std::function<void()> unload_;
    CacheTab cacheTab_;
    LogWindowForm logWindow_;

    bool quit_ = false;
    bool windowHidden_ = false;
    int currentTab_ = kSystemTab;
    int savedTab_ = kSystemTab;
    std::string lastStatus_;
    int16_t sweepTicks_ = 0;
    int helpContext_ = -1;  // set by a dialog; -1 follows the tab
};

}  // namespace quenda
