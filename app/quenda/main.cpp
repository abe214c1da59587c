// quenda: the caching DNS forwarder. Sets up the directories, the component runtime and the
// controls, then hands the event loop to the main form until a quit ends it.
#include <systemd/sd-daemon.h>
#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/shell/command_line.h"
#include "app/shell/control_libraries.h"
#include "app/shell/instance_lock.h"
#include "app/shell/local_interfaces.h"
#include "app/shell/mainform.h"
#include "app/shell/program_paths.h"
#include "app/shell/session_signals.h"
#include "app/shell/tcp_dispatch_controls.h"
#include "app/shell/udp_port_control.h"
#include "controls/tray/pindletray_interface.h"
#include "platform/registry/registry.h"
#include "platform/tick/tick.h"
#include "platform/ui/message_service.h"
#include "platform/winmsg/message_queue.h"
#include "platform/winsock/winsock_api.h"

namespace quenda {
namespace {

constexpr int kTimer1IntervalMs = 2000;
constexpr qint64 kLogFlushIntervalMs = 1000;

int Fail(const std::string& text) {
    std::fprintf(stderr, "quenda: %s\n", text.c_str());
    return 1;
}

int Run(const CommandLine& line, int argc, char** argv) {
    const auto paths = FindProgramPaths(line.home);
    if (!paths) return Fail("cannot tell where to keep the files: set HOME or use --home DIR");
    if (!CreateProgramDirectories(*paths)) {
        return Fail("cannot create " + paths->dataDirectory + " or " + paths->configDirectory);
    }
    // A second copy ends at once, changing nothing.
    InstanceLock lock(paths->dataDirectory);
    if (lock.HeldElsewhere()) return 0;
    if (!lock.Held()) return Fail(lock.Error());

    // The component libraries are registered from wherever the linked libraries were found,
    // so an installed program never registers a build tree's copies, nor the other way round.
    const std::string libraryDirectory = LoadedLibraryDirectory("libquenda_winmsg.so");
    if (libraryDirectory.empty()) return Fail("cannot tell where the program's libraries are");
    InstallBundledSeed(*paths, ExecutableDirectory() + "../share/quenda/DNSIP.DAT");
    Registry::SetProcessPath(paths->RegistryFile());

    // Qt's own event dispatcher rather than GLib's: GLib's writes its wake-up descriptor for
    // every posted event and every socket watch re-armed, several system calls per query.
    qputenv("QT_NO_GLIB", "1");
    QCoreApplication application(argc, argv);
    if (!CatchSessionEndSignals()) return Fail("cannot catch SIGTERM, SIGINT and SIGHUP");

    Mainform* form = nullptr;
    HeadlessMessages messages([&form](const std::string& text) {
        if (form != nullptr) form->Log().WriteLog(text, 1);
    });

    HRESULT created = S_OK;
    auto upstream = UdpPortControl::Create(libraryDirectory + "libtarnel.so", &created);
    auto service =
        upstream ? UdpPortControl::Create(libraryDirectory + "libtarnel.so", &created) : nullptr;
    if (!upstream || !service) {
        return Fail("cannot create the UDPPort control from " + libraryDirectory +
                    "libtarnel.so (error " + std::to_string(created & 0xFFFF) + ")");
    }
    // The tray control is created by the main window; its library is registered here, on first
    // start, like Tarnel's.
    ControlMessages controlMessages(messages);
    const std::string trayLibrary = libraryDirectory + kPindleTrayLibraryName;
    const HRESULT trayRegistered = RegisterBundledLibrary(kPindleTrayProgId, trayLibrary);
    if (FAILED(trayRegistered)) {
        std::fprintf(stderr, "quenda: cannot register %s (error %d)\n", trayLibrary.c_str(),
                     static_cast<int>(trayRegistered & 0xFFFF));
    }
    TcpDispatchControls tcp;
    tcp.ListenOn(line.listen);

    WinsockApi winsock;
    std::string winsockError;
    const bool winsockLoaded =
        LoadWinsockApi(libraryDirectory + kWinsockLibraryName, &winsock, &winsockError);

    SystemClock clock;
    MainformParts parts{*paths,
                        QUENDA_VERSION,
                        line.port,
                        kDnsPort,
                        *upstream,
                        *service,
                        tcp.Server(),
                        tcp.Clients(),
                        messages,
                        clock,
                        [] { ProcessPendingMessages(); },
                        [&](LocalAddresses& local, LogSink& log) {
                            CollectLocalAddresses(winsockLoaded ? &winsock : nullptr, local, log);
                        },
                        line.listen};
    Mainform mainform(parts);
    form = &mainform;
    // There are no windows yet: the log goes to standard output.
    mainform.Log().SetMirror(stdout);
    tcp.Bind(&mainform.Tcp());
    upstream->SetDataInHandler(
        [&](std::string_view datagram, const std::string& address, uint16_t port) {
            mainform.UDPPort1DataIn(datagram, address, port);
        });
    service->SetDataInHandler(
        [&](std::string_view datagram, const std::string& address, uint16_t port) {
            mainform.UDPPort2DataIn(datagram, address, port);
        });
    upstream->SetErrorHandler([&](int code, const std::string& description) {
        mainform.UDPPortError("UDPPort1", code, description);
    });
    service->SetErrorHandler([&](int code, const std::string& description) {
        mainform.UDPPortError("UDPPort2", code, description);
    });

    if (mainform.Load() != StartOutcome::kRunning) return 1;
    // Both DNS ports are open: a service manager waiting for us may start what depends on us.
    sd_notify(0, "READY=1");

    const auto quit = [&](UnloadReason reason) {
        if (!mainform.QueryUnload(reason)) return;
        sd_notify(0, "STOPPING=1");
        QCoreApplication::exit(0);
    };
    mainform.SetUnloadHandler([&] { quit(UnloadReason::kCode); });
    QSocketNotifier sessionEnd(SessionEndDescriptor(), QSocketNotifier::Read);
    QObject::connect(&sessionEnd, &QSocketNotifier::activated, [&] {
        if (TakeSessionEndSignal() != 0) quit(UnloadReason::kSessionEnding);
    });
    QTimer timer1;
    QObject::connect(&timer1, &QTimer::timeout, [&] { mainform.Timer1Tick(); });
    timer1.start(kTimer1IntervalMs);
    // Log lines leave in one write per second at most, when the loop is about to wait; the
    // timer's ticks wake it, so no line waits longer than two seconds. (A terminal gets every
    // line at once: standard output is line-buffered there.)
    mainform.Log().DeferFlush(true);
    QElapsedTimer sinceFlush;
    sinceFlush.start();
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock,
                     [&] {
                         if (sinceFlush.elapsed() < kLogFlushIntervalMs) return;
                         mainform.Log().Flush();
                         sinceFlush.restart();
                     });
    const int status = application.exec();
    // The form goes first: nothing may reach it from the controls after that.
    tcp.Bind(nullptr);
    upstream->SetDataInHandler({});
    service->SetDataInHandler({});
    upstream->SetErrorHandler({});
    service->SetErrorHandler({});
    return status;
}

}  // namespace
}  // namespace quenda

int main(int argc, char** argv) {
    using namespace quenda;
    const CommandLine line = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (!line.error.empty()) {
        std::fprintf(stderr, "quenda: %s\n\n%s", line.error.c_str(), UsageText().c_str());
        return 2;
    }
    if (line.help) {
        std::fputs(UsageText().c_str(), stdout);
        return 0;
    }
    if (line.version) {
        std::printf("quenda %s\n", QUENDA_VERSION);
        return 0;
    }
    return Run(line, argc, argv);
}
