// The update check's logic: fetch, compare, show, download, check, hand over.
#include "app/shell/update_check.h"

#include <filesystem>
#include <string_view>
#include <system_error>
#include <utility>

#include "platform/profile/profile_file.h"
#include "platform/registry/registry.h"

namespace quenda {
namespace {

constexpr size_t kMaxUrlLength = 2048;

struct ControlText {
    std::string_view name;
    const char* text;
};

constexpr ControlText kStatusTexts[] = {
    {"b5", "Open help system"},
    {"DProgress", "Download progress"},
    {"Label3", "Download updatefile with your browser"},
    {"SSCommand1", "Close window"},
    {"SSCommand2", "Download and install the new version of Quenda"},
    {"Text1", "Information about the new version"},
};

}  // namespace

UpdateCheckSettings LoadUpdateCheckSettings(const ProgramPaths& paths,
                                            const std::string& defaultPageAddress) {
    UpdateCheckSettings settings;
    settings.downloadDirectory = paths.dataDirectory + "update/";
    // Read only: the key is the administrator's to add, never written by the program.
    settings.pageAddress =
        GetPrivateProfileString("UPDATE", "URL", "", kMaxUrlLength, paths.SettingsFile());
    if (settings.pageAddress.empty()) settings.pageAddress = defaultPageAddress;
    std::string proxy;
    if (Registry(paths.RegistryFile())
            .QueryString(RegRoot::kCurrentUser, kInternetSettingsKey, "ProxyServer", &proxy) ==
        RegStatus::kOk) {
        settings.proxyServer = proxy;
    }
    return settings;
}

UpdateCheck::UpdateCheck(UpdateCheckSettings settings, MessageService& messages, Desktop* desktop,
                         InstallerOpener& opener)
    : settings_(std::move(settings)),
      messages_(messages),
      desktop_(desktop),
      opener_(opener),
      http_(*this) {
    face_.message = "Please wait...";
}

UpdateCheck::~UpdateCheck() {
    http_.SetAction(0);
}

void UpdateCheck::SetWindow(UpdateCheckWindow* window) {
    window_ = window;
    Show();
}

const char* UpdateCheck::StatusTextOf(const std::string& objectName) {
    for (const ControlText& control : kStatusTexts) {
        if (control.name == objectName) return control.text;
    }
    return " ";
}

void UpdateCheck::Activate() {
    if (activated_) return;
    activated_ = true;
    if (settings_.proxyServer) {
        // A proxy given by name is not used: the page is then fetched directly.
        const std::string host = GetProxyFromRegistryString(*settings_.proxyServer, "http");
        if (IsProxyAddress(host)) {
            http_.SetProxyPort(GetProxyPortFromRegistryString(*settings_.proxyServer, "http"));
            http_.SetProxyServer(host);
        } else {
            http_.SetProxyPort(0);
            http_.SetProxyServer("");
        }
    }
    http_.SetFollowRedirects(true);
    http_.SetURL(settings_.pageAddress);
    face_.status = "Connecting...";
    Show();
    // Whatever the page says decides what the user downloads and runs: never in the clear.
    if (!IsHttpsAddress(settings_.pageAddress)) {
        ConnectionFailed();
        return;
    }
    http_.SetMaxTransfer(kHttpDefaultMaxTransfer);
    http_.SetAction(1);
}

void UpdateCheck::Connected(int statusCode, const std::string& description) {
    if (statusCode != 0) {
        // In download mode the reason is worth telling; the page's failure has fixed texts.
        Error(statusCode, downloadMode_ ? description : "");
        return;
    }
    if (downloadMode_) return;
    face_.status = "Checking for update...";
    Show();
}

void UpdateCheck::Transfer(int64_t length, const std::string& text) {
    if (!downloadMode_) {
        pageBuffer_ += text;
        return;
    }
    received_ += length;
    if (page_.installerSize == 0) return;
    const int64_t percent = received_ * 100 / page_.installerSize;
    face_.progress = static_cast<int>(percent > 100 ? 100 : percent);
    Show();
}

void UpdateCheck::EndTransfer() {
    if (downloadMode_) {
        downloadEnded_ = true;
        return;
    }
    PageArrived();
}

void UpdateCheck::Disconnected() {
    if (downloadMode_) DownloadClosed();
}

void UpdateCheck::Error(int, const std::string& description) {
    if (downloadMode_) {
        DownloadFailed(description);
        return;
    }
    ConnectionFailed();
}

void UpdateCheck::PageArrived() {
    if (pageDone_) return;
    pageDone_ = true;
    page_ = ParseUpdatePage(pageBuffer_);
    pageBuffer_.clear();
    ChangeToClose();
    // A page without any version (an error page of a portal in between) tells nothing.
    if (VersionDigits(page_.newestVersion).empty()) {
        pageDone_ = false;
        ConnectionFailed();
        return;
    }
    if (!IsNewerVersion(page_.newestVersion, settings_.programVersion)) {
        face_.message = "There is no new version available!";
        face_.status.clear();
        Show();
        return;
    }
    // Only an address that cannot be tampered with on the way is offered to the browser.
    linkAddress_ = IsHttpsAddress(page_.linkAddress) ? page_.linkAddress : settings_.webAddress;
    face_.message = "New version available";
    face_.status = "Your version: " + settings_.programVersion;
    face_.label4 = "Current Version: " + page_.newestVersion;
    face_.link = linkAddress_;
    face_.information = page_.information;
    face_.downloadVisible = true;
    face_.label5 = page_.downloadNote;
    Show();
}

void UpdateCheck::ConnectionFailed() {
    if (pageDone_) return;
    pageDone_ = true;
    http_.SetAction(0);
    linkAddress_ = settings_.webAddress;
    face_.message = "Connection failed";
    face_.status = "Your version :" + settings_.programVersion;
    face_.label4 = "Could not check for new version.";
    face_.label2 = "Please visit our website to check for the latest version:";
    face_.link = linkAddress_;
    ChangeToClose();
    Show();
}

void UpdateCheck::ChangeToClose() {
    face_.closeCaption = "&Close";
    face_.closePicture = true;
}

void UpdateCheck::DownloadClicked() {
    if (downloadMode_ || !face_.downloadVisible || !face_.downloadEnabled) return;
    const std::string name = PlainFileName(page_.installerFileName);
    std::string refused;
    if (!IsHttpsAddress(page_.downloadAddress)) {
        refused = "the download address " + page_.downloadAddress + " is not an https address";
    } else if (name.empty()) {
        refused = "the update page names no usable file name";
    } else if (page_.installerSize == 0) {
        refused = "the update page gives no file size";
    }
    if (!refused.empty()) {
        face_.downloadEnabled = false;
        Show();
        messages_.Inform(MessageIcon::Information, kAutoUpdateTitle, kAutoUpdateFailed + refused);
        return;
    }
    face_.downloadEnabled = false;
    face_.progressVisible = true;
    face_.progress = 0;
    face_.label5 = "Downloading update file, please wait...";
    Show();

    installerPath_ = settings_.downloadDirectory + name;
    std::error_code ignored;
    // A folder that cannot be made fails the download when its file cannot be opened.
    std::filesystem::create_directories(settings_.downloadDirectory, ignored);
    std::filesystem::remove(installerPath_, ignored);
    downloadMode_ = true;
    downloadEnded_ = false;
    received_ = 0;
    http_.SetAction(0);
    http_.SetLocalFile(installerPath_);
    http_.SetURL(page_.downloadAddress);
    http_.SetMaxTransfer(static_cast<int64_t>(page_.installerSize) + kDownloadMargin);
    http_.SetAction(1);
}

void UpdateCheck::DownloadFailed(const std::string& reason) {
    downloadMode_ = false;
    http_.SetAction(0);
    std::error_code ignored;
    std::filesystem::remove(installerPath_, ignored);
    face_.progressVisible = false;
    face_.downloadEnabled = true;
    face_.label5 = page_.downloadNote;
    Show();
    messages_.Inform(MessageIcon::Information, kAutoUpdateTitle, kAutoUpdateFailed + reason);
}

void UpdateCheck::DownloadClosed() {
    if (!downloadEnded_) {
        DownloadFailed("the download ended early");
        return;
    }
    std::error_code error;
    const uintmax_t size = std::filesystem::file_size(installerPath_, error);
    if (error || size != page_.installerSize) {
        DownloadFailed("the file received has " + std::to_string(error ? 0 : size) +
                       " bytes, the update page announced " + std::to_string(page_.installerSize));
        return;
    }
    downloadMode_ = false;
    if (!opener_.OpenInstaller(installerPath_)) {
        messages_.Inform(MessageIcon::Information, kAutoUpdateTitle, kCannotExecute);
    }
    Close();
}

void UpdateCheck::CloseClicked() {
    if (downloadMode_) {
        const MessageAnswer answer =
            messages_.ShowMessage(MessageIcon::Question, MessageButtons::OkCancel, kCancelTitle,
                                  kCancelText, MessageAnswer::Cancel);
        if (answer != MessageAnswer::Ok) return;
        // The download may have ended while the question was open.
        if (closed_) return;
    }
    Close();
}

void UpdateCheck::Escape() {
    Close();
}

void UpdateCheck::Close() {
    if (closed_) return;
    closed_ = true;
    http_.SetAction(0);
    if (downloadMode_) {
        downloadMode_ = false;
        std::error_code ignored;
        std::filesystem::remove(installerPath_, ignored);
    }
    if (window_ != nullptr) window_->CloseDialog();
}

void UpdateCheck::OpenHelp() {
    if (desktop_ != nullptr) desktop_->OpenUrl(settings_.helpUrl);
}

void UpdateCheck::LinkClicked() {
    if (desktop_ != nullptr && !linkAddress_.empty()) desktop_->OpenUrl(linkAddress_);
}

void UpdateCheck::ShowStatus(const std::string& objectName) {
    const std::string text = StatusTextOf(objectName);
    if (text == lastStatusLine_) return;
    lastStatusLine_ = text;
    if (window_ != nullptr) window_->SetStatusLine(text);
}

void UpdateCheck::Show() {
    if (window_ != nullptr) window_->ShowFace(face_);
}

}  // namespace quenda
