// The windowed front end's application, fonts, windows and session end.
#include "app/views/front_end.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QSessionManager>
#include <QUrl>
#include <cstdlib>

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
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') return true;
    }
    return false;
}

}  // namespace quenda
