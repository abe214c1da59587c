// The "Quenda Update" dialog's logic without widgets: the proxy look-up, the page fetch and its
// three outcomes, the download over HTTPS into the data directory, the size check, handing the
// installer to the desktop, the cancel question, help, the link and the status line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "app/shell/mainform.h"
#include "app/shell/program_paths.h"
#include "app/shell/update_page.h"
#include "platform/http/http_control.h"
#include "platform/ui/message_service.h"

namespace quenda {

// Everything the dialog shows; the window draws it as it is.
struct UpdateFace {
    std::string status;                    // `status`, the line under the main message
    std::string message;                   // `Label1`
    std::string label2;                    // "Please visit our website ..." after a failure
    std::string link;                      // `Label3`, the link label; hidden while ""
    std::string label4;                    // "Current Version: ..." or "Could not check ..."
    std::string label5;                    // the download note
    std::string information;               // `Text1`; hidden while ""
    std::string closeCaption = "&Cancel";  // `SSCommand1`
    bool closePicture = false;             // `SSCommand1` shows the main window's "E&xit" picture
    bool downloadVisible = false;          // `SSCommand2`
    bool downloadEnabled = true;
    bool progressVisible = false;  // `DProgress`
    int progress = 0;              // 0 to 100
};

// The widgets' side of the dialog. Every call is made on the loop's thread.
class UpdateCheckWindow {
  public:
    virtual ~UpdateCheckWindow() = default;
    virtual void ShowFace(const UpdateFace& face) = 0;
    // The dialog's own status line (what the mouse is over).
    virtual void SetStatusLine(const std::string& text) = 0;
    virtual void CloseDialog() = 0;
};

// Hands a saved file to the desktop's default handler for its type (a package opens in the
// software installer). False when nothing could take it.
class InstallerOpener {
  public:
    virtual ~InstallerOpener() = default;
    virtual bool OpenInstaller(const std::string& path) = 0;
};

// Where the dialog looks and what it compares with.
struct UpdateCheckSettings {
    std::string pageAddress;     // the update page
    std::string webAddress;      // the maker's web page, shown after a failure
    std::string helpUrl;         // the help page F1 and "Help" open
    std::string programVersion;  // "major.minor.revision"
    // Ends in "/": where the installer is saved, a folder of its own in the data directory so
    // that no name from the page can stand for one of the program's own files.
    std::string downloadDirectory;
    // The Internet settings' ProxyServer value; std::nullopt when there is none, and the
    // desktop's proxy settings are used.
    std::optional<std::string> proxyServer;
};

// Registry key of the current user's Internet settings.
inline constexpr const char* kInternetSettingsKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

// Reads the settings: the page address from QUENDA.INI's [UPDATE] URL= when that is present and
// not empty, else defaultPageAddress; ProxyServer from the current user's registry key.
UpdateCheckSettings LoadUpdateCheckSettings(const ProgramPaths& paths,
                                            const std::string& defaultPageAddress);

// Texts the dialog shows.
inline constexpr const char* kAutoUpdateTitle = "Auto-Update";
inline constexpr const char* kAutoUpdateFailed =
    "Sorry, can not Auto-Update Quenda. Please update manualy: ";
inline constexpr const char* kCannotExecute = "Could not execute program to update Quenda";
inline constexpr const char* kCancelTitle = "Cancel update";
inline constexpr const char* kCancelText =
    "Your are downloading the update of Quenda. Sure you want to cancel?";
// Bytes a download may run over the page's size before it is cut off; the file is then
// refused anyway, since its size must match exactly.
inline constexpr int64_t kDownloadMargin = 64 * 1024;

class UpdateCheck final : private HttpEvents {
  public:
    // Everything given must outlive the check.
    UpdateCheck(UpdateCheckSettings settings, MessageService& messages, Desktop* desktop,
                InstallerOpener& opener);
    ~UpdateCheck() override;

    void SetWindow(UpdateCheckWindow* window);

    // The dialog became active: the first time, sets the proxy and fetches the page.
    void Activate();
    // `SSCommand1`: in download mode asks first; then aborts and closes.
    void CloseClicked();
    // `SSCommand2`: downloads the installer (HTTPS only) into the data directory.
    void DownloadClicked();
    // Esc and the window's own close: aborts and closes without asking.
    void Escape();
    // F1 and `b5`.
    void OpenHelp();
    // A click on the link label: its address in the browser.
    void LinkClicked();
    // The mouse is over the control of this object name (the dialog's own name, or any
    // other, for the background).
    void ShowStatus(const std::string& objectName);

    const UpdateFace& Face() const { return face_; }
    bool DownloadMode() const { return downloadMode_; }
    const std::string& LinkAddress() const { return linkAddress_; }
    const UpdatePage& Page() const { return page_; }
    // Where the installer is saved; "" until a download started.
    const std::string& InstallerPath() const { return installerPath_; }
    bool Closed() const { return closed_; }

    // The status line's text for a control by object name (" " for anything else).
    static const char* StatusTextOf(const std::string& objectName);

  private:
    // HttpEvents
    void Connected(int statusCode, const std::string& description) override;
    void Transfer(int64_t length, const std::string& text) override;
    void EndTransfer() override;
    void Disconnected() override;
    void Error(int code, const std::string& description) override;

    void PageArrived();
    void ConnectionFailed();
    void DownloadFailed(const std::string& reason);
    void DownloadClosed();
    void ChangeToClose();
    void Close();
    void Show();

    UpdateCheckSettings settings_;
    MessageService& messages_;
    Desktop* desktop_;
    InstallerOpener& opener_;
    HttpControl http_;
    UpdateCheckWindow* window_ = nullptr;
    UpdateFace face_;
    std::string lastStatusLine_;

    bool activated_ = false;
    bool pageDone_ = false;  // the page's outcome is shown
    bool downloadMode_ = false;
    bool downloadEnded_ = false;  // the installer arrived whole
    bool closed_ = false;
    std::string pageBuffer_;
    UpdatePage page_;
    std::string linkAddress_;
    std::string installerPath_;
    int64_t received_ = 0;
};

}  // namespace quenda
