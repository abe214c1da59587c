// tray_host: hosts PindleTray in a real X session with a system tray, as the program will.
// Creates the control by ProgID, gives it an icon and a tip, checks the tray took the icon,
// clicks it with xdotool and checks the events, and saves a screenshot of the tray.
//
//   tray_host LIBRARY ICON SCREENSHOT
//
// Exit status 0 when everything held, 1 with the reason on standard error otherwise.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QSystemTrayIcon>
#include <cstdio>
#include <string>
#include <vector>

#include "controls/tray/pindletray_interface.h"
#include "platform/com/com_library.h"
#include "platform/com/connection_point.h"
#include "platform/com/ole_interfaces.h"
#include "platform/registry/registry.h"
#include "platform/shell/picture.h"
#include "platform/winmsg/message_queue.h"

namespace quenda {
namespace {

// Records events as "Click", "MouseDown(2)", "DblClick(1)": the button is what this checks.
class Sink final : public IDispatch {
  public:
    HRESULT QueryInterface(REFIID iid, void** object) override {
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == DIID__PindleTrayEvents) {
            *object = static_cast<IDispatch*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
    HRESULT GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                   UINT*) override {
        static const char* const kNames[] = {"?",         "Click",     "DblClick",
                                             "MouseDown", "MouseMove", "MouseUp"};
        std::string text = id >= 1 && id <= 5 ? kNames[id] : "?";
        // The button is the first argument, which comes last.
        if (params->cArgs > 0 && params->rgvarg[params->cArgs - 1].vt == (VT_BYREF | VT_I2)) {
            text += "(" + std::to_string(*params->rgvarg[params->cArgs - 1].piVal) + ")";
        }
        if (id != kTrayEventMouseMove) events.push_back(text);
        return S_OK;
    }

    std::vector<std::string> events;
};

int Fail(const std::string& why) {
    std::fprintf(stderr, "tray_host: %s\n", why.c_str());
    return 1;
}

bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs) return false;
        ProcessPendingMessages();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

std::string Output(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(10000);
    return process.readAllStandardOutput().toStdString();
}

// How many windows the X server has: the tray embeds the icon as a window of its own.
int WindowCount() {
    std::string tree = Output("xwininfo", {"-root", "-tree"});
    int count = 0;
    for (size_t at = tree.find("0x"); at != std::string::npos;
         at = tree.find("\n", at), at = tree.find("0x", at)) {
        ++count;
    }
    return count;
}

std::string Joined(const std::vector<std::string>& events) {
    std::string text;
    for (const std::string& e : events) text += (text.empty() ? "" : " ") + e;
    return text.empty() ? "(none)" : text;
}

int Run(const char* library, const char* iconPath, const char* screenshot) {
    if (!WaitFor([] { return QSystemTrayIcon::isSystemTrayAvailable(); }, 10000))
        return Fail("no system tray appeared");
    QDir scratch = QDir::temp();
    QString registry = scratch.filePath(
        QStringLiteral("tray_host_registry_%1").arg(QCoreApplication::applicationPid()));
    Registry::SetProcessPath(registry.toStdString());
    if (FAILED(CoRegisterServerLibrary(library, 1)))
        return Fail(std::string("cannot register ") + library);

    CLSID clsid{};
    ComPtr<IPindleTray> tray;
    if (FAILED(CLSIDFromProgID(kPindleTrayProgId, &clsid)) ||
        FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IPindleTray,
                                tray.OutVoid()))) {
        return Fail("cannot create PindleTrayIcon.PindleTray");
    }
    ComPtr<IOleObject> ole;
    ComPtr<IOleClientSite> site;
    HostAmbients ambients;
    ambients.scaleUnits = u"Pixel";
    CreateHostSite(ambients, site.Out());
    tray.As(IID_IOleObject, &ole);
    ole->SetClientSite(site.Get());
    Sink sink;
    ComPtr<IConnectionPointContainer> container;
    ComPtr<IConnectionPoint> point;
    uint32_t cookie = 0;
    tray.As(IID_IConnectionPointContainer, &container);
    if (FAILED(container->FindConnectionPoint(DIID__PindleTrayEvents, point.Out())) ||
        FAILED(point->Advise(&sink, &cookie))) {
        return Fail("cannot connect to the events");
    }

    int windowsBefore = WindowCount();
    ComPtr<IShellPicture> icon;
    if (FAILED(LoadPictureFile(iconPath, icon.Out())))
        return Fail(std::string("cannot load ") + iconPath);
    Bstr tip(u"Quenda in the tray");
    VARIANT picture;
    VariantInit(&picture);
    picture.vt = VT_DISPATCH;
    picture.pdispVal = icon.Get();
    if (FAILED(tray->put_ToolTipText(tip.Get())) || FAILED(tray->putref_TrayIcon(picture))) {
        return Fail("cannot set the icon and tip");
    }

    ComPtr<IOleWindow> window;
    HWND hwnd = nullptr;
    tray.As(IID_IOleWindow, &window);
    window->GetWindow(&hwnd);
    NOTIFYICONIDENTIFIER which{sizeof(NOTIFYICONIDENTIFIER), hwnd, 1};
    RECT at{};
    if (!WaitFor(
            [&] {
                return Shell_NotifyIconGetRect(&which, &at) == 0 && WindowCount() > windowsBefore;
            },
            10000)) {
        return Fail("the tray did not take the icon");
    }
    std::printf("icon at %d,%d-%d,%d; windows %d -> %d\n", at.left, at.top, at.right, at.bottom,
                windowsBefore, WindowCount());

    QString x = QString::number((at.left + at.right) / 2),
            y = QString::number((at.top + at.bottom) / 2);
    QProcess::execute("xdotool", {"mousemove", "--sync", x, y});
    WaitFor([] { return false; }, 300);
    QProcess::execute("xdotool", {"click", "3"});
    std::vector<std::string> right = {"MouseDown(2)", "Click", "MouseUp(2)"};
    if (!WaitFor([&] { return sink.events.size() >= right.size(); }, 5000) ||
        sink.events != right) {
        return Fail("a right click raised " + Joined(sink.events));
    }
    sink.events.clear();
    QProcess::execute("xdotool", {"click", "1"});
    std::vector<std::string> left = {"MouseDown(1)", "Click", "MouseUp(1)"};
    if (!WaitFor([&] { return sink.events.size() >= left.size(); }, 5000) || sink.events != left) {
        return Fail("a left click raised " + Joined(sink.events));
    }
    std::printf("events: right click and left click raised MouseDown, Click, MouseUp\n");

    QScreen* screen = QGuiApplication::primaryScreen();
    QRect strip(0, 0, screen->geometry().width(), std::max(at.bottom + 8, 48));
    QDir().mkpath(QFileInfo(QString::fromUtf8(screenshot)).absolutePath());
    if (!screen->grabWindow(0, strip.x(), strip.y(), strip.width(), strip.height())
             .save(QString::fromUtf8(screenshot))) {
        return Fail(std::string("cannot save ") + screenshot);
    }
    std::printf("screenshot: %s\n", screenshot);

    point->Unadvise(cookie);
    ole->SetClientSite(nullptr);
    tray.Reset();
    QFile::remove(registry);
    return 0;
}

}  // namespace
}  // namespace quenda

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: tray_host LIBRARY ICON SCREENSHOT\n");
        return 2;
    }
    QApplication application(argc, argv);
    return quenda::Run(argv[1], argv[2], argv[3]);
}
