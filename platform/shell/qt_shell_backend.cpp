// The shell backend on Qt: QSystemTrayIcon for the notification area (StatusNotifierItem or
// X11 embedding, whichever the desktop offers), QCursor, the keyboard modifiers and
// QMessageBox. Without a QApplication (headless) there is no tray, no cursor and no keys.
#include <QApplication>
#include <QCursor>
#include <QIcon>
#include <QMessageBox>
#include <QPixmap>
#include <QPointer>
#include <QSystemTrayIcon>
#include <cstdio>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "platform/shell/picture_table.h"
#include "platform/shell/shell_backend.h"
#include "platform/winmsg/message_queue.h"
#include "platform/winmsg/window.h"

namespace quenda {
namespace {

// Qt reports what was done to an icon (activations), not each button going down and up. Each
// activation becomes the mouse messages a window would have been given for it, in order.
std::vector<UINT> MouseMessagesOf(QSystemTrayIcon::ActivationReason reason) {
    switch (reason) {
        case QSystemTrayIcon::Trigger:
            return {WM_LBUTTONDOWN, WM_LBUTTONUP};
        case QSystemTrayIcon::DoubleClick:
            return {WM_LBUTTONDBLCLK};
        case QSystemTrayIcon::Context:
            return {WM_RBUTTONDOWN, WM_RBUTTONUP};
        case QSystemTrayIcon::MiddleClick:
            return {WM_MBUTTONDOWN, WM_MBUTTONUP};
        default:
            return {};
    }
}

// Gives window the mouse messages of one activation. A button goes up only after the window
// has taken its going down, as with a real mouse: the first message is sent, and only once its
// handlers are done (they may let pending messages run) are the others posted.
void DeliverMouseMessages(HWND window, UINT callback, UINT id,
                          QSystemTrayIcon::ActivationReason reason) {
    std::vector<UINT> messages = MouseMessagesOf(reason);
    for (size_t i = 0; i < messages.size(); ++i) {
        if (i == 0) {
            SendMessageA(window, callback, id, static_cast<LPARAM>(messages[i]));
        } else {
            PostMessageA(window, callback, id, static_cast<LPARAM>(messages[i]));
        }
    }
}

// The tip's text: up to its first NUL, at most the field's 64 characters, one byte each.
QString TipText(const NOTIFYICONDATAA& data) {
    size_t length = strnlen(data.szTip, kNotifyTipLength);
    return QString::fromLatin1(data.szTip, static_cast<qsizetype>(length));
}

bool HasWindows() {
    return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
}

// One icon in the tray and where its mouse activity goes. The icon is a child of the
// application, so it goes with it even when its owner never removed it.
struct TrayEntry {
    QPointer<QSystemTrayIcon> icon;
    UINT callbackMessage = 0;
    // Later, not at once: the icon may be inside its own activation signal.
    ~TrayEntry() {
        if (icon.isNull()) return;
        icon->hide();
        icon->deleteLater();
    }
};

class QtBackend final : public ShellBackend {
  public:
    BOOL NotifyIcon(DWORD message, const NOTIFYICONDATAA& data) override {
        auto key = std::make_pair(data.hWnd, data.uID);
        auto found = icons_.find(key);
        if (message == NIM_DELETE) {
            if (found == icons_.end()) return 0;
            icons_.erase(found);
            return 1;
        }
        if (message == NIM_MODIFY) {
            if (found == icons_.end()) return 0;
            return Apply(data, found->second.get()) ? 1 : 0;
        }
        if (found != icons_.end() || !TrayAvailable()) return 0;
        auto entry = std::make_unique<TrayEntry>();
        entry->icon = new QSystemTrayIcon(QCoreApplication::instance());
        // Assistive tools find the icon by its tip; the object name tells tests and people apart.
        entry->icon->setObjectName(QStringLiteral("notify-icon-%1").arg(data.uID));
        if (!(data.uFlags & NIF_ICON) || !Apply(data, entry.get())) return 0;
        TrayEntry* raw = entry.get();
        HWND window = data.hWnd;
        UINT id = data.uID;
        QObject::connect(raw->icon.data(), &QSystemTrayIcon::activated,
                         [raw, window, id](QSystemTrayIcon::ActivationReason reason) {
                             // Read before delivering: a handler may remove the icon.
                             UINT callback = raw->callbackMessage;
                             if (callback != 0) DeliverMouseMessages(window, callback, id, reason);
                         });
        raw->icon->show();
        icons_.emplace(key, std::move(entry));
        return 1;
    }

    bool TrayAvailable() override {
        return HasWindows() && QSystemTrayIcon::isSystemTrayAvailable();
    }

    bool CursorPos(POINT* point) override {
        if (!HasWindows()) return false;
        QPoint at = QCursor::pos();
        *point = POINT{at.x(), at.y()};
        return true;
    }

    bool KeyDown(int virtualKey) override {
        if (!HasWindows()) return false;
        Qt::KeyboardModifiers held = QGuiApplication::queryKeyboardModifiers();
        switch (virtualKey) {
            case VK_SHIFT:
                return held.testFlag(Qt::ShiftModifier);
            case VK_CONTROL:
                return held.testFlag(Qt::ControlModifier);
            case VK_MENU:
                return held.testFlag(Qt::AltModifier);
            default:
                return false;
        }
    }

    int MessageBox(HWND, const char* text, const char* caption, UINT type) override {
        if (handler_) {
            handler_(type, caption, text);
            return IDOK;
        }
        QString platform = QGuiApplication::platformName();
        if (!HasWindows() || platform == QLatin1String("offscreen") ||
            platform == QLatin1String("minimal")) {
            std::fprintf(stderr, "%s: %s\n", caption, text);
            return IDOK;
        }
        QMessageBox::Icon icon = QMessageBox::Information;
        if ((type & 0xF0) == MB_ICONERROR) icon = QMessageBox::Critical;
        if ((type & 0xF0) == MB_ICONEXCLAMATION) icon = QMessageBox::Warning;
        QMessageBox box(icon, QString::fromLatin1(caption), QString::fromLatin1(text),
                        QMessageBox::Ok);
        box.setAccessibleName(QString::fromLatin1(caption));
        box.exec();
        return IDOK;
    }

    void SetHandler(MessageBoxHandler handler) { handler_ = std::move(handler); }

  private:
    // Takes the fields data.uFlags names; false when the picture handle shows nothing.
    static bool Apply(const NOTIFYICONDATAA& data, TrayEntry* entry) {
        if (entry->icon.isNull()) return false;
        if (data.uFlags & NIF_MESSAGE) entry->callbackMessage = data.uCallbackMessage;
        if (data.uFlags & NIF_TIP) entry->icon->setToolTip(TipText(data));
        if (data.uFlags & NIF_ICON) {
            QImage image;
            if (!PictureImage(data.hIcon, &image)) return false;
            entry->icon->setIcon(QIcon(QPixmap::fromImage(image)));
        }
        return true;
    }

    std::map<std::pair<HWND, UINT>, std::unique_ptr<TrayEntry>> icons_;  // by (window, id)
    MessageBoxHandler handler_;  // the program's message service, if installed
};

QtBackend& TheQtBackend() {
    static QtBackend backend;
    return backend;
}

}  // namespace

ShellBackend& QtShellBackend() {
    return TheQtBackend();
}

void SetMessageBoxHandler(MessageBoxHandler handler) {
    TheQtBackend().SetHandler(std::move(handler));
}

}  // namespace quenda
