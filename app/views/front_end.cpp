// The windowed front end's application, fonts, windows and session end.
#include "app/views/front_end.h"

#include <sys/stat.h>
#include <xcb/xcb.h>
#include <QApplication>
#include <QDesktopServices>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QSessionManager>
#include <QUrl>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/shell/program_paths.h"
#include "app/shell/tray_icon_control.h"
#include "app/views/mainform_view.h"
#include "app/views/pictures.h"
#include "app/views/qt_messages.h"

namespace quenda {
namespace {

// Opens addresses with the desktop's default programs.
class QtDesktop final : public Desktop {
  public:
    void OpenUrl(const std::string& url) override;
};

class WidgetsFrontEnd final : public FrontEnd {
  public:
    std::unique_ptr<QCoreApplication> CreateApplication(int& argc, char** argv) override;
    MessageService& Messages() override { return messages_; }
    Desktop& DesktopLinks() override { return desktop_; }
    bool CreateWindows(Session& session, Mainform& form,
                       std::function<void(UnloadReason)> unload) override;
    void DestroyWindows() override;

  private:
    QtMessages messages_;
    QtDesktop desktop_;
    std::unique_ptr<MainformView> window_;
};

void QtDesktop::OpenUrl(const std::string& url) {
    QDesktopServices::openUrl(QUrl(QString::fromStdString(url)));
}

std::unique_ptr<QCoreApplication> WidgetsFrontEnd::CreateApplication(int& argc, char** argv) {
    auto application = std::make_unique<QApplication>(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quenda"));
    QApplication::setApplicationDisplayName(QStringLiteral("Quenda"));
    QGuiApplication::setDesktopFileName(QStringLiteral("quenda"));
    QApplication::setWindowIcon(Logo());
    // Hidden into the tray, the program goes on without any window shown.
    QApplication::setQuitOnLastWindowClosed(false);
    return application;
}

bool WidgetsFrontEnd::CreateWindows(Session& session, Mainform& form,
                                    std::function<void(UnloadReason)> unload) {
    // Tahoma where it is installed, the desktop's own font elsewhere; only a system without
    // any font cannot show the windows.
    if (QFontDatabase::families().isEmpty()) {
        messages_.Inform(MessageIcon::Critical, "Quenda",
                         "Initialisation error, did you restart your system after you installed "
                         "Quenda?");
        return false;
    }
    window_ = std::make_unique<MainformView>(session, form);
    if (QFontDatabase::hasFamily(QStringLiteral("Tahoma"))) {
        window_->setFont(QFont(QStringLiteral("Tahoma")));
    }
    window_->SetCloseHandler(unload);
    HRESULT created = S_OK;
    std::unique_ptr<TrayIcon> tray = TrayIconControl::Create(&created);
    if (!tray) {
        std::fprintf(stderr, "quenda: cannot create the tray icon control (error %d)\n",
                     static_cast<int>(created & 0xFFFF));
    }
    const std::string picture = ExecutableDirectory() + "../share/quenda/icons/quenda-tray.svg";
    // Without it, hiding minimises the window instead.
    if (!window_->PlaceTrayIcon(std::move(tray), picture) && created == S_OK) {
        std::fprintf(stderr, "quenda: cannot show the tray icon from %s\n", picture.c_str());
    }
    messages_.SetParent(window_.get());
    // The desktop session ends: quit and save, as for a signal.
    auto* application = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    QObject::connect(application, &QGuiApplication::commitDataRequest, window_.get(),
                     [unload](QSessionManager&) { unload(UnloadReason::kSessionEnding); });
    // Ended by anyone else (a session manager's last word), it still saves; after the
    // program's own quit paths this changes nothing.
    QObject::connect(application, &QCoreApplication::aboutToQuit, window_.get(),
                     [unload] { unload(UnloadReason::kSessionEnding); });
    return true;
}

void WidgetsFrontEnd::DestroyWindows() {
    messages_.SetParent(nullptr);
    window_.reset();
}

}  // namespace

std::unique_ptr<FrontEnd> MakeWidgetsFrontEnd() {
    return std::make_unique<WidgetsFrontEnd>();
}

bool DisplayAvailable() {
    // A Wayland socket that exists, or an X server that takes a connection: a stale DISPLAY
    // (a closed ssh session) must not end the program in Qt's start-up.
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if (wayland != nullptr && *wayland != '\0') {
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        const std::string socket = wayland[0] == '/' || runtime == nullptr
                                       ? std::string(wayland)
                                       : std::string(runtime) + "/" + wayland;
        struct stat status {};
        if (stat(socket.c_str(), &status) == 0 && S_ISSOCK(status.st_mode)) return true;
    }
    const char* x11 = std::getenv("DISPLAY");
    if (x11 == nullptr || *x11 == '\0') return false;
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    const bool reached = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    return reached;
}

}  // namespace quenda
