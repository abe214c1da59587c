// The main form's logic without widgets: the program's state, its start-up sequence, the
// sweep timer's duties, the quit path, and the wiring of relay, cache, settings and log.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/cache/cache_database.h"
#include "app/config/address_check.h"
#include "app/config/name_server_list.h"
#include "app/config/options.h"
#include "app/config/request_counters.h"
#include "app/config/settings_file.h"
#include "app/log/event_log.h"
#include "app/relay/pending_sweep.h"
#include "app/relay/pending_table.h"
#include "app/relay/statistics.h"
#include "app/relay/tcp_service.h"
#include "app/relay/udp_relay.h"
#include "app/shell/program_paths.h"
#include "app/shell/random_message_ids.h"
#include "app/shell/udp_control.h"
#include "platform/tick/tick.h"
#include "platform/ui/message_service.h"

namespace quenda {

// What the main form is given by the program that hosts it.
struct MainformParts {
    ProgramPaths paths;
    std::string programVersion;  // "major.minor.revision"
    uint16_t servicePort = 53;   // the DNS service's UDP and TCP port
    uint16_t upstreamPort = 53;  // where name servers are asked
    UdpControl& UDPPort1;        // upstream traffic
    UdpControl& UDPPort2;        // clients
    TcpServerControl& IPDaemon;
    TcpClientArray& IPPort;
    MessageService& messages;
    Clock& clock;
    std::function<void()> processPendingMessages;
    // Appends this host's addresses to the list, logging its own failures.
    std::function<void(LocalAddresses&, LogSink&)> collectLocalAddresses;
    std::string serviceAddress;  // the one address the DNS service binds, "" = every address
};

// How the start-up sequence ended.
enum class StartOutcome { kRunning, kFailed };

// Why the main window is being unloaded.
enum class UnloadReason { kUserClosed, kCode, kSessionEnding, kTaskManager };

class Mainform final : private RelayHooks, private SweepHooks, private StatisticsView {
  public:
    explicit Mainform(const MainformParts& parts);
    ~Mainform() override;

    // The start-up sequence: sockets, seed file, local addresses, settings, TCP service, cache,
    // log. A DNS port in use (UDP or TCP) shows its message, any other socket failure logs its
    // number; both end as kFailed, and the quit that follows saves nothing.
    StartOutcome Load();

    // Every 2 s: unloads once a quit was asked for, otherwise sweeps the pending table.
    void Timer1Tick();

    // The unload check: a session end or the task manager asks the program to quit. With the
    // quit flag set all settings are saved and true is returned (the program ends); otherwise
    // the window only goes to the tray and false is returned.
    bool QueryUnload(UnloadReason reason);

    // Sets the quit flag; the next Timer1 tick ends the program.
    void RequestQuit() { quit_ = true; }
    bool QuitRequested() const { return quit_; }

    // The two UDP controls' DataIn events. Until start-up has loaded the settings and the
    // cache, datagrams are logged at level 3 and dropped.
    void UDPPort1DataIn(std::string_view datagram, const std::string& address, uint16_t port);
    void UDPPort2DataIn(std::string_view datagram, const std::string& address, uint16_t port);
    // A UDP control's Error event (a failure while receiving): logged at level 3.
    void UDPPortError(const std::string& control, int code, const std::string& description);

    // Ages the first-answer counts, then redraws the name-server list when there is one.
    void MakeListView() override;

    // Called when the main window is to be unloaded by code (the quit path of Timer1).
    void SetUnloadHandler(std::function<void()> unload) { unload_ = std::move(unload); }

    EventLog& Log() { return log_; }
    TcpService& Tcp() { return tcp_; }
    Options& GetOptions() { return options_; }
    NameServerList& Servers() { return servers_; }
    RequestCounters& Counters() { return counters_; }
    const PendingTable& Table() const { return table_; }
    const LocalAddresses& Local() const { return local_; }
    SettingsFile& Settings() { return settings_; }
    CacheDatabase& Cache() { return cache_; }
    bool WindowHidden() const { return windowHidden_; }
    int CurrentTab() const { return currentTab_; }

  private:
    class CacheAdapter;

    // RelayHooks
    void ProcessPendingMessages() override;
    bool UpdateEntryDataNameserver(std::string_view datagram) override;
    void ShowCriticalError(const std::string& title, const std::string& text) override;
    // SweepHooks
    bool IsQuitRequested() override { return quit_; }
    void UnloadMainform() override;
    bool IsServerTabShown() override { return currentTab_ == 1; }
    // The periodic save; a log file closed by a failed write is tried again with it.
    void SaveAllSettings() override {
        settings_.SaveAllSettings();
        log_.RetryLogFile();
    }
    // StatisticsView: nothing to draw without windows.
    void ShowShare(ShareBar, int) override {}
    void ShowWaiting(const std::string&) override {}
    void ShowTimeGained(const std::string&) override {}

    // The rest of the start-up; 0, or the error number of a TCP service that cannot listen.
    int Initialise();
    void LogNameServers();
    // Logs, at detail 3, the receive buffer each open UDP endpoint was granted.
    void LogReceiveBuffers();
    void StartUpFailed(int error);

    MainformParts parts_;
    bool quit_ = false;
    bool startFailed_ = false;
    bool serving_ = false;  // start-up is done: datagrams reach the relay
    bool windowHidden_ = false;
    int currentTab_ = 0;
    std::function<void()> unload_;

    Options options_;
    NameServerList servers_;
    RequestCounters counters_;
    PendingTable table_;
    LocalAddresses local_;
    EventLog log_;
    SettingsFile settings_;
    CacheDatabase cache_;
    std::unique_ptr<CacheAdapter> cacheAdapter_;
    Statistics statistics_;
    RandomMessageIds ids_;
    RelayEnvironment environment_;
    UdpRelay relay_;
    PendingSweep sweep_;
    TcpService tcp_;
};

}  // namespace quenda
