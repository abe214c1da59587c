// The main window's logic: button layout and status texts per tab, show and hide, quit paths.
#include "app/shell/mainform.h"

#include <array>
#include <string_view>

namespace quenda {
namespace {

struct TabButtons {
    std::array<ButtonFace, 4> faces;         // b1 to b4
    std::array<const char*, 4> statusTexts;  // b1 to b4; "" where none
};

const std::array<TabButtons, kTabCount> kTabs = {{
    {{{{"&Clear", "IClear", true}, {}, {}, {}}}, {"Clear cache statistics", "", "", ""}},
    {{{{"&Clear", "IRefresh", true}, {"&Test", "ITest", true}, {}, {}}},
     {"Reset name server statistics", "Test a nameserver", "", ""}},
    {{{{"&Clear", "IClear", true},
       {"&Settings", "ILogConf", true},
       {"&Window", "ILogwin", true},
       {}}},
     {"Clear the log window", "Configure log output", "", ""}},
    {{{{"&Add", "IAdd", true},
       {"&Update", "IEdit", true},
       {"&Delete", "IMuell", true},
       {"Del &all", "IDelete", true}}},
     {"Add a new host", "Update this host by sending a request to a nameserver",
      "Delete selected entry", "Delete all entries from cache!"}},
    {{{{"Update", "IAdd", true}, {}, {}, {}}}, {"Check for Quenda updates", "", "", ""}},
}};

constexpr std::array<int, kTabCount> kTabHelp = {1021, 1006, 1015, 1000, 1004};

struct ControlText {
    std::string_view name;
    const char* text;
};

// Keyed by the widgets' object names.
constexpr ControlText kControlTexts[] = {
    {"Check2", "Keep Quenda in the system tray at start up."},
    {"Check3", "DNS requests will not be served from cache if this is selected"},
    {"LabelCache", "Percentage of DNS requests which were answered from the cache"},
    {"BarCache", "Percentage of DNS requests which were answered from the cache"},
    {"LabelNameServer", "Percentage of DNS requests which were answered by a name server"},
    {"BarNameServer", "Percentage of DNS requests which were answered by a name server"},
    {"LabelLost", "Percentage of DNS requests which were lost or not answered"},
    {"BarLost", "Percentage of DNS Requests which were lost or not answered"},
    {"LabelGain", "This is the total time gained by the cache system"},
    {"Gain", "This is the total time gained by the cache system"},
    {"LabelWaiting", "Number of DNS requests still waiting for an answer"},
    {"Waiting", "Number of DNS requests still waiting for an answer"},
    {"Text5", "Quenda event log"},
    {"WebLink", "Visit the Morvale web page"},
    {"FrameStatistics", ""},
    {"FrameOptions", ""},
    {"FrameAbout", ""},
    {"FrameCache", ""},
    {"LabelType", "Type of DNS request"},
    {"SSearch", "Find an entry in the cache"},
    {"DBList1", "A list of all cache entries"},
};

constexpr std::string_view kWindowPrefix = "Quenda_";

// "b1" to "b7" as 1 to 7; 0 for anything else.
int ButtonNumber(std::string_view name) {
    if (name.size() != 2 || name[0] != 'b' || name[1] < '1' || name[1] > '7') return 0;
    return name[1] - '0';
}

}  // namespace

ButtonFace Mainform::Face(int tab, int button) {
    if (tab < 0 || tab >= kTabCount || button < 1 || button > 4) return {};
    return kTabs[static_cast<size_t>(tab)].faces[static_cast<size_t>(button - 1)];
}

std::string Mainform::ButtonStatusText(int tab, int button, bool logWindowOpen) {
    switch (button) {
        case 5:
            return "Open help system";
        case 6:
            return "Hide this window";
        case 7:
            return "Exit program";
        default:
            break;
    }
    if (tab < 0 || tab >= kTabCount || button < 1 || button > 4) return "";
    if (tab == kLogTab && button == 3) {
        return logWindowOpen ? "Close the seperate log window" : "View log in a seperate window";
    }
    return kTabs[static_cast<size_t>(tab)].statusTexts[static_cast<size_t>(button - 1)];
}

const char* Mainform::ControlStatusText(const std::string& objectName) {
    for (const ControlText& control : kControlTexts) {
        if (control.name == objectName) return control.text;
    }
    return nullptr;
}

int Mainform::HelpContextOf(int tab) {
    if (tab < 0 || tab >= kTabCount) return kHelpIndex;
    return kTabHelp[static_cast<size_t>(tab)];
}

std::string Mainform::HelpPage(int context) {
    switch (context) {
        case 1000:
            return "cache.html";
        case 1004:
            return "about.html";
        case 1006:
            return "servers.html";
        case 1015:
            return "log.html";
        case 1021:
            return "system.html";
        case kHelpTester:
            return "tester.html";
        default:
            return "index.html";
    }
}

std::string Mainform::HelpUrl(int context) const {
    return "file://" + links_.helpDirectory + HelpPage(context);
}

StartOutcome Mainform::Load() {
    quit_ = false;
    if (session_.Load() != StartOutcome::kRunning) {
        quit_ = true;
        return StartOutcome::kFailed;
    }
    currentTab_ = kSystemTab;
    if (window_ != nullptr) {
        session_.SetLogWindowGeometry(
            LogWindowDefaults(session_.LogWindowGeometry(), window_->LogWindowRoom()));
    }
    const Options& options = session_.GetOptions();
    const bool inTray = options.SYSTRAY == 1;
    if (window_ == nullptr) {
        windowHidden_ = inTray;
        return StartOutcome::kRunning;
    }
    // Setting the box from the file counts as a click: it logs the cache's state.
    window_->ShowOptions(options.NOCACHE == 1, inTray);
    session_.SetCacheDisabled(options.NOCACHE == 1);
    TabUpdate();
    // The panel shows figures from the start, not after the first request or tick.
    session_.UpdateStatistics();
    windowHidden_ = inTray;
    window_->SetTrayItems(inTray, !inTray);
    if (inTray) {
        PutWindowAway();
    } else {
        window_->ShowWindow();
    }
    return StartOutcome::kRunning;
}

void Mainform::Timer1Tick() {
    if (quit_) {
        Unload();
        return;
    }
    // The table is only redrawn where it can be seen.
    if (sweepTicks_ % 3 == 0 && currentTab_ == kServerTab) session_.RefreshServers();
    if ((sweepTicks_ - 20) % 60 == 0) session_.SaveAllSettings();
    if (++sweepTicks_ >= kSweepTicksWrap) sweepTicks_ = 0;
    session_.SweepPending();
    session_.UpdateStatistics();
    session_.CommitCache();
    session_.CloseIdleConnections();
}

bool Mainform::QueryUnload(UnloadReason reason) {
    if (reason == UnloadReason::kSessionEnding || reason == UnloadReason::kTaskManager) {
        quit_ = true;
    }
    if (!quit_) {
        // Closing the window only puts it in the tray.
        if (!windowHidden_) ShowHide();
        return false;
    }
    if (window_ != nullptr) window_->UnloadOtherWindows();
    session_.SaveForQuit();
    return true;
}

void Mainform::Unload() {
    if (unload_) unload_();
}

void Mainform::TabUpdate() {
    if (currentTab_ == kServerTab) session_.RefreshServers();
    if (window_ == nullptr) return;
    for (int button = 1; button <= 4; ++button) {
        window_->SetButtonFace(button, Face(currentTab_, button));
    }
    window_->FocusTabControl();
}

int Mainform::HelpContext() const {
    return helpContext_ >= 0 ? helpContext_ : HelpContextOf(currentTab_);
}

void Mainform::TabSelected(int tab) {
    if (tab < 0 || tab >= kTabCount) return;
    currentTab_ = tab;
    if (tab == kCacheTab) cacheTab_.Refresh();
    helpContext_ = -1;
    TabUpdate();
}

void Mainform::ButtonClicked(int button) {
    if (currentTab_ == kCacheTab) cacheTab_.ButtonClicked(button);
    switch (button) {
        case 1:
            if (currentTab_ == kSystemTab) session_.ClearCacheStatistics();
            if (currentTab_ == kServerTab) session_.ResetServerStatistics();
            if (currentTab_ == kLogTab) session_.ClearLog();
            if (currentTab_ == kAboutTab && window_ != nullptr) window_->OpenUpdateCheck();
            break;
        case 2:
            if (currentTab_ == kServerTab && window_ != nullptr) window_->OpenTester();
            if (currentTab_ == kLogTab && window_ != nullptr) window_->OpenLogSettings();
            break;
        case 3:
            if (currentTab_ == kLogTab && window_ != nullptr) window_->ToggleLogWindow();
            break;
        case 5:
            OpenHelp();
            break;
        case 6:
            ShowHide();
            return;
        case 7:
            QuitQuestion();
            if (quit_) return;
            break;
        default:
            break;
    }
    if (button != 4 && window_ != nullptr) window_->FocusTabControl();
}

void Mainform::ShowStatus(const std::string& textOrName) {
    std::string text;
    if (const int button = ButtonNumber(textOrName)) {
        if (window_ != nullptr && window_->IsMinimised()) return;
        text = ButtonStatusText(currentTab_, button, logWindow_.Shown());
    } else if (!textOrName.starts_with(kWindowPrefix)) {
        text = textOrName;
    }
    if (text == lastStatus_) return;
    lastStatus_ = text;
    if (window_ != nullptr) window_->SetStatusText(text);
}

void Mainform::ShowHide() {
    if (windowHidden_) {
        windowHidden_ = false;
        if (window_ != nullptr) window_->ShowWindow();
        session_.ProcessPendingMessages();
        currentTab_ = savedTab_;
        if (window_ == nullptr) return;
        window_->SetTrayItems(false, true);
        if (window_->IsWindowVisible()) window_->FocusTabControl();
        return;
    }
    savedTab_ = currentTab_;
    currentTab_ = kHiddenTab;
    PutWindowAway();
    windowHidden_ = true;
    if (window_ != nullptr) window_->SetTrayItems(true, false);
}

void Mainform::PutWindowAway() {
    if (window_ == nullptr) return;
    // A window hidden with no tray icon could never be found again.
    if (window_->TrayIconShown()) {
        window_->HideWindow();
    } else {
        window_->MinimiseWindow();
    }
}

void Mainform::LogWindowChanged() {
    // The pointer may still rest on the button that did it.
    if (currentTab_ == kLogTab &&
        lastStatus_ == ButtonStatusText(kLogTab, 3, !logWindow_.Shown())) {
        ShowStatus("b3");
    }
}

void Mainform::WindowRestored() {
    if (windowHidden_) ShowHide();
}

void Mainform::TrayShow() {
    if (window_ == nullptr) return;
    if (!window_->IsWindowVisible()) ShowHide();
    window_->FocusTabControl();
}

void Mainform::TrayHide() {
    if (window_ != nullptr && window_->IsWindowVisible()) ShowHide();
}

void Mainform::FileExit() {
    quit_ = true;
    Unload();
}

void Mainform::QuitQuestion() {
    const MessageAnswer answer =
        messages_.ShowMessage(MessageIcon::Question, MessageButtons::OkCancel, kQuitTitle,
                              kQuitText, MessageAnswer::Cancel);
    if (answer != MessageAnswer::Ok) return;
    quit_ = true;
    Unload();
}

void Mainform::OpenHelp() {
    if (desktop_ != nullptr) desktop_->OpenUrl(HelpUrl(HelpContext()));
}

void Mainform::OpenWebPage() {
    if (desktop_ != nullptr) desktop_->OpenUrl(links_.webAddress);
}

}  // namespace quenda
