// The main window's widgets: tabs, the System and About pages, the log page's box, buttons
// b1 to b7, the status line, the menus and the tray menu, mapped onto the form's logic and
// the session's notices.
#pragma once

#include <QLabel>
#include <QMainWindow>
#include <QPointer>
#include <array>
#include <functional>
#include <memory>
#include <string>

#include "app/shell/mainform.h"
#include "app/shell/mainform_tray.h"
#include "app/shell/session.h"

class QAction;
class QCheckBox;
class QGroupBox;
class QMenu;

namespace quenda {

class Button3D;
class CachePage;
class HostEditorDialog;
class LogPage;
class LogSettingsDialog;
class LogWindowView;
class Panel3D;
class ServerPage;
class TabbedDialog;

class MainformView final : public QMainWindow, public MainformWindow, public SessionObserver {
    Q_OBJECT

  public:
    // The view registers itself with the form and the session; both must outlive it.
    MainformView(Session& session, Mainform& form);
    ~MainformView() override;

    // Where a close of the window goes: the program's unload check.
    void SetCloseHandler(std::function<void(UnloadReason)> unload) { unload_ = std::move(unload); }

    // The pop-up menu of the tray icon ("Menu": "&Quit", "&Show", "&Hide").
    QMenu* TrayMenu() const { return sMenu_; }
    // Puts the tray icon (null: none could be made) on the window with the picture in
    // pictureFile; it stays until the window unloads. False when no icon could be asked for.
    bool PlaceTrayIcon(std::unique_ptr<TrayIcon> icon, const std::string& pictureFile);

    // MainformWindow
    void SetButtonFace(int button, const ButtonFace& face) override;
    void SetStatusText(const std::string& text) override;
    void ShowOptions(bool cacheDisabled, bool startupInTray) override;
    void ShowWindow() override;
    void HideWindow() override;
    void MinimiseWindow() override;
    bool TrayIconShown() override { return tray_ != nullptr && tray_->IconShown(); }
    // A minimised window is out of the user's sight as much as a hidden one.
    bool IsWindowVisible() override { return isVisible() && !isMinimized(); }
    bool IsMinimised() override { return isMinimized(); }
    void SetTrayItems(bool showEnabled, bool hideEnabled) override;
    void FocusTabControl() override;
    void UnloadOtherWindows() override;
    void OpenUpdateCheck() override;
    void ShowCacheEntries(const CacheFilter& filter) override;
    std::string SelectedCacheKey() override;
    void OpenHostEditor(const HostEditorPreset& preset) override;
    void OpenTester() override;
    void OpenLogSettings() override;
    void ToggleLogWindow() override;
    WindowRoom LogWindowRoom() override;

    // SessionObserver
    void ShareChanged(ShareBar bar, int percent) override;
    void WaitingChanged(const std::string& text) override;
    void TimeGainedChanged(const std::string& text) override;

  protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QWidget* MakeSystemPage();
    QWidget* MakeServerPage();
    QWidget* MakeLogPage();
    QWidget* MakeCachePage();
    QWidget* MakeAboutPage();
    void MakeMenus();
    void MakeTrayMenu();
    // The tray menu at the pointer, right-aligned to it, until it closes.
    void PopUpTrayMenu();
    // Shows the status text of the control the mouse is over (nullptr: none of ours).
    void StatusForWidget(QWidget* widget);
    void WatchMouse(QWidget* widget);

    Session& session_;
    Mainform& form_;
    TabbedDialog* tabs_ = nullptr;
    ServerPage* serverPage_ = nullptr;
    std::array<Button3D*, 7> buttons_{};
    std::array<Panel3D*, 3> bars_{};
    Panel3D* waiting_ = nullptr;
    Panel3D* gain_ = nullptr;
    QCheckBox* check2_ = nullptr;
    QCheckBox* check3_ = nullptr;
    LogPage* logPage_ = nullptr;
    QPointer<LogSettingsDialog> logSettings_;  // while "Configure Log" is open
    QPointer<LogWindowView> logWindow_;        // while the separate log window is shown
    QLabel* hlp_ = nullptr;
    QLabel* webLink_ = nullptr;
    QMenu* sMenu_ = nullptr;
    QAction* sShow_ = nullptr;
    QAction* sHide_ = nullptr;
    std::function<void(UnloadReason)> unload_;
    std::unique_ptr<MainformTray> tray_;
    CachePage* cachePage_ = nullptr;
    QPointer<HostEditorDialog> hostEditor_;  // the open host entry editor, if any
    bool pingRefusalLogged_ = false;         // why the tester cannot ping was logged
};

}  // namespace quenda
