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
#include <functional>
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

// The X window id after "Parent window id: " in xwininfo's answer about window, or "".
std::string ParentOf(const std::string& window) {
    std::string tree = Output("xwininfo", {"-tree", "-id", QString::fromStdString(window)});
    const std::string label = "Parent window id: ";
    size_t at = tree.find(label);
    if (at == std::string::npos) return {};
    at += label.size();
    return tree.substr(at, tree.find_first_of(" \n", at) - at);
}

// The window the tray embedded for our icon: a window of our class whose grandparent is the
// tray's panel (trayer puts a socket window of its own between them). "" while there is none.
std::string EmbeddedIcon() {
    std::string found =
        Output("xdotool", {"search", "--classname", QCoreApplication::applicationName()});
    size_t start = 0;
    while (start < found.size()) {
        size_t end = found.find('\n', start);
        if (end == std::string::npos) end = found.size();
        std::string window = found.substr(start, end - start);
        start = end + 1;
        if (window.empty()) continue;
        std::string socket = ParentOf(window);
        std::string panel = socket.empty() ? std::string() : ParentOf(socket);
        if (panel.empty()) continue;
        std::string about = Output("xwininfo", {"-id", QString::fromStdString(panel)});
        if (about.find("\"panel\"") != std::string::npos) return window;
    }
    return {};
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

    std::string embedded;
    if (!WaitFor([&] { return !(embedded = EmbeddedIcon()).empty(); }, 10000)) {
        return Fail("the tray's panel did not get a window for the icon");
    }
    std::printf("the tray embedded the icon as window %s\n", embedded.c_str());

    // xdotool clicks where the pointer is: put it on the middle of the icon first.
    QString target = QString::fromStdString(embedded);
    QProcess::execute("xdotool", {"mousemove", "--window", target, "11", "11"});
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
    std::printf("events: a right and a left click each raised MouseDown, Click, MouseUp\n");

    QScreen* screen = QGuiApplication::primaryScreen();
    // The tray sits at the top right.
    QRect strip(screen->geometry().width() - 160, 0, 160, 40);
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
