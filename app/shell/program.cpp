// The program's set-up and event loop wiring, moved out of main so that a windowed and a
// headless front end share it.
#include "app/shell/program.h"

#include <systemd/sd-daemon.h>

#include <QAbstractEventDispatcher>
#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdio>
#include <string>

#include "app/shell/control_libraries.h"
#include "app/shell/instance_lock.h"
#include "app/shell/local_interfaces.h"
#include "app/shell/program_paths.h"
#include "app/shell/session_signals.h"
#include "app/shell/show_request.h"
#include "app/shell/tcp_dispatch_controls.h"
#include "app/shell/udp_port_control.h"
#include "controls/icmpport/icmpport_interface.h"
#include "controls/tray/pindletray_interface.h"
#include "platform/registry/registry.h"
#include "platform/tick/tick.h"
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

}  // namespace

int RunProgram(const CommandLine& line, int argc, char** argv, FrontEnd* frontEnd) {
    const auto paths = FindProgramPaths(line.home);
    if (!paths) return Fail("cannot tell where to keep the files: set HOME or use --home DIR");
    if (!CreateProgramDirectories(*paths)) {
        return Fail("cannot create " + paths->dataDirectory + " or " + paths->configDirectory);
    }
    // A second copy ends at once, changing nothing; started for its windows, it first asks
    // the running copy to show its own.
    InstanceLock lock(paths->dataDirectory);
    if (lock.HeldElsewhere()) {
        if (frontEnd != nullptr) AskRunningCopyToShow(ShowRequestPath(paths->dataDirectory));
        return 0;
    }
    if (!lock.Held()) return Fail(lock.Error());

    // The component libraries are registered from wherever the linked libraries were found,
    // so an installed program never registers a build tree's copies, nor the other way round.
    const std::string libraryDirectory = LoadedLibraryDirectory("libquenda_winmsg.so");
    if (libraryDirectory.empty()) return Fail("cannot tell where the program's libraries are");
    const std::string shareDirectory = ExecutableDirectory() + "../share/quenda/";
    InstallBundledSeed(*paths, shareDirectory + "DNSIP.DAT");
    Registry::SetProcessPath(paths->RegistryFile());

    // Qt's own event dispatcher rather than GLib's: GLib's writes its wake-up descriptor for
    // every posted event and every socket watch re-armed, several system calls per query.
    qputenv("QT_NO_GLIB", "1");
    const std::unique_ptr<QCoreApplication> application =
        frontEnd != nullptr ? frontEnd->CreateApplication(argc, argv)
                            : std::make_unique<QCoreApplication>(argc, argv);
    if (!CatchSessionEndSignals()) return Fail("cannot catch SIGTERM, SIGINT and SIGHUP");

    Session* running = nullptr;
    HeadlessMessages headlessMessages([&running](const std::string& text) {
        if (running != nullptr) running->Log().WriteLog(text, 1);
    });
    MessageService& messages = frontEnd != nullptr ? frontEnd->Messages() : headlessMessages;

    HRESULT created = S_OK;
    auto upstream = UdpPortControl::Create(libraryDirectory + "libtarnel.so", &created);
    auto service =
        upstream ? UdpPortControl::Create(libraryDirectory + "libtarnel.so", &created) : nullptr;
    if (!upstream || !service) {
        return Fail("cannot create the UDPPort control from " + libraryDirectory +
                    "libtarnel.so (error " + std::to_string(created & 0xFFFF) + ")");
    }
    // The tray control is created by the main window and the ICMP control by the name-server
    // tester; their libraries are registered here, on first start, like Tarnel's.
    ControlMessages controlMessages(messages);
    const std::pair<LPCOLESTR, const char*> bundled[] = {
        {kPindleTrayProgId, kPindleTrayLibraryName}, {kIcmpPortProgId, kIcmpPortLibraryName}};
    for (const auto& [progId, name] : bundled) {
        const std::string library = libraryDirectory + name;
        const HRESULT registered = RegisterBundledLibrary(progId, library);
        if (FAILED(registered)) {
            std::fprintf(stderr, "quenda: cannot register %s (error %d)\n", library.c_str(),
                         static_cast<int>(registered & 0xFFFF));
        }
    }
    TcpDispatchControls tcp;
    tcp.ListenOn(line.listen);

    WinsockApi winsock;
    std::string winsockError;
    const bool winsockLoaded =
        LoadWinsockApi(libraryDirectory + kWinsockLibraryName, &winsock, &winsockError);

    SystemClock clock;
    SessionParts parts{*paths,
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
    Session session(parts);
    running = &session;
    Mainform form(session, messages, frontEnd != nullptr ? &frontEnd->DesktopLinks() : nullptr,
                  {shareDirectory + "help/", QUENDA_WEB_ADDRESS});
    // Without windows the log goes to standard output.
    if (frontEnd == nullptr) session.Log().SetMirror(stdout);
    tcp.Bind(&session.Tcp());
    upstream->SetDataInHandler(
        [&](std::string_view datagram, const std::string& address, uint16_t port) {
            session.UDPPort1DataIn(datagram, address, port);
        });
    service->SetDataInHandler(
        [&](std::string_view datagram, const std::string& address, uint16_t port) {
            session.UDPPort2DataIn(datagram, address, port);
        });
    upstream->SetErrorHandler([&](int code, const std::string& description) {
        session.UDPPortError("UDPPort1", code, description);
    });
    service->SetErrorHandler([&](int code, const std::string& description) {
        session.UDPPortError("UDPPort2", code, description);
    });

    bool ended = false;
    const auto quit = [&](UnloadReason reason) {
        if (ended || !form.QueryUnload(reason)) return;
        ended = true;
        sd_notify(0, "STOPPING=1");
        QCoreApplication::exit(0);
    };
    form.SetUnloadHandler([&] { quit(UnloadReason::kCode); });
    const bool windowsMade = frontEnd == nullptr || frontEnd->CreateWindows(session, form, quit);

    int status = 1;
    if (windowsMade && form.Load() == StartOutcome::kRunning) {
        // Both DNS ports are open: a service manager waiting for us may start what depends on us.
        sd_notify(0, "READY=1");
        QSocketNotifier sessionEnd(SessionEndDescriptor(), QSocketNotifier::Read);
        QObject::connect(&sessionEnd, &QSocketNotifier::activated, [&] {
            if (TakeSessionEndSignal() != 0) quit(UnloadReason::kSessionEnding);
        });
        // Headless, there is no window to show: nobody listens, and a second start just ends.
        std::unique_ptr<ShowRequests> showRequests;
        if (frontEnd != nullptr) {
            showRequests =
                std::make_unique<ShowRequests>(ShowRequestPath(paths->dataDirectory), [&] {
                    session.Log().WriteLog("Window shown at the request of a second start", 3);
                    form.TrayShow();
                });
        }
        QTimer timer1;
        QObject::connect(&timer1, &QTimer::timeout, [&] { form.Timer1Tick(); });
        timer1.start(kTimer1IntervalMs);
        // Log lines leave in one write per second at most, when the loop is about to wait; the
        // timer's ticks wake it, so no line waits longer than two seconds. (A terminal gets
        // every line at once: standard output is line-buffered there.)
        session.Log().DeferFlush(true);
        QElapsedTimer sinceFlush;
        sinceFlush.start();
        QObject::connect(QAbstractEventDispatcher::instance(),
                         &QAbstractEventDispatcher::aboutToBlock, [&] {
                             if (sinceFlush.elapsed() < kLogFlushIntervalMs) return;
                             session.Log().Flush();
                             sinceFlush.restart();
                         });
        status = application->exec();
    }
    // The windows and the session go first: nothing may reach them from the controls after.
    if (frontEnd != nullptr) frontEnd->DestroyWindows();
    tcp.Bind(nullptr);
    upstream->SetDataInHandler({});
    service->SetDataInHandler({});
    upstream->SetErrorHandler({});
    service->SetErrorHandler({});
    running = nullptr;
    return status;
}

}  // namespace quenda
