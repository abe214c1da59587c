// The running program's model and services behind one door: options, name servers, counters,
// pending table, log, settings, cache, statistics, relay, sweep and TCP service. Windows read
// it through read-only views, change it through commands and hear of changes as notices.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

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
#include "app/shell/host_editor.h"
#include "app/shell/program_paths.h"
#include "app/shell/random_message_ids.h"
#include "app/shell/udp_control.h"
#include "platform/tick/tick.h"
#include "platform/ui/message_service.h"

namespace quenda {

// What the session is given by the program that hosts it.
struct SessionParts {
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

// What the statistics panel shows now.
struct StatisticsPanel {
    int shares[3] = {0, 0, 0};  // by ShareBar: cache, name server, lost
    std::string waiting;        // e.g. " 3"; "" until the first redraw
    std::string timeGained;     // e.g. "1.5 min"; "" until the first redraw
};

// The log keys the "Configure Log" dialog sets.
struct LogOptions {
    int16_t detail = 2;   // LOG_DETAIL
    bool date = false;    // LOG_DATE
    bool time = true;     // LOG_TIME
    bool toFile = false;  // LOG_TOFILE
    std::string file;     // LOG_FILE
};

// The separate log window's stored place, in pixels (LOG_WINDOWX, Y, W, H).
struct WindowGeometry {
    int32_t left = 0;
    int32_t top = 0;
    int32_t width = 0;
    int32_t height = 0;
    bool operator==(const WindowGeometry&) const = default;
};

// Changes a window may want to draw; every notice is optional. Each statistics notice comes
// only when its shown value changed.
class SessionObserver {
  public:
    virtual ~SessionObserver() = default;
    virtual void ShareChanged(ShareBar, int) {}
    virtual void WaitingChanged(const std::string&) {}
    virtual void TimeGainedChanged(const std::string&) {}
    // Flags, counts or addresses of the name-server list changed.
    virtual void ServersChanged() {}
    // The log box dropped `trimmed` characters from its start, then got `line` (with "\r\n").
    virtual void LogLineAppended(size_t, const std::string&) {}
    virtual void LogCleared() {}
    virtual void LogCaptionChanged(const std::string&) {}
    // Replies were stored in the cache since the last notice.
    virtual void CacheChanged() {}
};

class Session final : private RelayHooks, private StatisticsView, private LogDisplay {
  public:
    explicit Session(const SessionParts& parts);
    ~Session() override;
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // The start-up sequence: sockets, seed file, local addresses, settings, TCP service, cache,
    // log. A DNS port in use (UDP or TCP) shows its message, any other socket failure logs its
    // number; both end as kFailed, and Quit then saves nothing.
    StartOutcome Load();
    bool StartFailed() const { return startFailed_; }

    // The two UDP controls' DataIn events. Until start-up has loaded the settings and the
    // cache, datagrams are logged at level 3 and dropped.
    void UDPPort1DataIn(std::string_view datagram, const std::string& address, uint16_t port);
    void UDPPort2DataIn(std::string_view datagram, const std::string& address, uint16_t port);
    // A UDP control's Error event (a failure while receiving): logged at level 3.
    void UDPPortError(const std::string& control, int code, const std::string& description);

    // Observers are not owned; each stays registered until removed.
    void AddObserver(SessionObserver* observer);
    void RemoveObserver(SessionObserver* observer);

    // Read-only views.
    const Options& GetOptions() const { return options_; }
    const NameServerList& Servers() const { return servers_; }
    const RequestCounters& Counters() const { return counters_; }
    const PendingTable& Table() const { return table_; }
    const LocalAddresses& Local() const { return local_; }
    const StatisticsPanel& Panel() const { return panel_; }
    const std::string& LogBox() const { return log_.LogBox(); }
    const std::string& LogCaption() const { return log_.LogCaption(); }
    const std::string& ProgramVersion() const { return parts_.programVersion; }
    const ProgramPaths& Paths() const { return parts_.paths; }
    // Where every window's message boxes and questions go.
    MessageService& Messages() { return parts_.messages; }

    // The log every part reports through.
    EventLog& Log() { return log_; }
    // The cache as the cache view works on it.
    CacheDatabase& Cache() { return cache_; }
    // The TCP service, for the controls' events.
    TcpService& Tcp() { return tcp_; }
    // The host entry editor, which the relay offers every upstream datagram first.
    HostEditor& Editor() { return editor_; }

    // Commands.
    // Ticks or clears the "Disable Cache" box: the cache is skipped while ticked; logged.
    void SetCacheDisabled(bool disabled);
    // The "Startup in System Tray" box; read at the next start.
    void SetStartupInTray(bool inTray);
    // The enabled flag of position 0 to 9; the table is not redrawn for it.
    void EnableServer(int position, bool enabled);
    // True when position 0 to 9 holds an address that passes the address check.
    bool IsValidServer(int position) const;
    // Stores an address already checked by the caller at position 0 to 9.
    void SetServerAddress(int position, const std::string& address);
    // Empties position 0 to 9: no address, no description, disabled, and its first answers
    // taken off the total. Not written to the file until the next save.
    void ClearServer(int position);
    void SetServerDescription(int position, const std::string& description);
    // Writes the name-server sections of the settings file; false when it could not.
    bool SaveNameServers();
    // Clears the request counters (waiting requests stay counted) and redraws the panel.
    void ClearCacheStatistics();
    // Clears every server's first answers, reply times and responded flag.
    void ResetServerStatistics();
    // Ages the first-answer counts and tells the windows the list is to be redrawn.
    void RefreshServers();
    void ClearLog();
    // The log's options: set ones count from the next line; the log file is opened or closed
    // only by OpenLogFile, which is false when it could not be opened.
    LogOptions GetLogOptions() const;
    void SetLogOptions(const LogOptions& log);
    bool OpenLogFile() { return log_.OpenLogFile(); }
    // The separate log window's geometry, saved with the options.
    WindowGeometry LogWindowGeometry() const;
    void SetLogWindowGeometry(const WindowGeometry& geometry);
    // Saves the options alone; false when the file could not be written.
    bool SaveOptions() { return settings_.SaveOptions(); }
    // Ages the counters and redraws the statistics panel.
    void UpdateStatistics();
    // One pass of the sweep over the pending requests.
    void SweepPending();
    // Writes the replies stored since the last commit; tells the windows when there were some.
    void CommitCache();
    // The periodic save of every setting; false when the file could not be written. A log
    // file closed by a failed write is opened again.
    bool SaveAllSettings();
    // Closes TCP connections that stayed silent too long.
    void CloseIdleConnections();
    // The final save before the end: everything, unless the start failed; then the cache.
    void SaveForQuit();
    // Lets pending window messages and socket events run.
    void ProcessPendingMessages() override;

  private:
    class CacheAdapter;

    // RelayHooks
    void ServersChanged() override;
    bool UpdateEntryDataNameserver(std::string_view datagram) override;
    void ShowCriticalError(const std::string& title, const std::string& text) override;
    // StatisticsView
    void ShowShare(ShareBar bar, int percent) override;
    void ShowWaiting(const std::string& text) override;
    void ShowTimeGained(const std::string& text) override;
    // LogDisplay
    void LogLineAppended(size_t trimmed, const std::string& line) override;
    void LogBoxCleared() override;
    void SetLogCaption(const std::string& caption) override;

    template <typename Notice>
    void Notify(Notice notice) {
        // An observer may remove itself while being told.
        const std::vector<SessionObserver*> observers = observers_;
        for (SessionObserver* observer : observers) notice(*observer);
    }

    // The rest of the start-up; 0, or the error number of a TCP service that cannot listen.
    int Initialise();
    void LogNameServers();
    // Logs, at detail 3, the receive buffer each open UDP endpoint was granted.
    void LogReceiveBuffers();
    void StartUpFailed(int error);

    SessionParts parts_;
    bool startFailed_ = false;
    bool serving_ = false;      // start-up is done: datagrams reach the relay
    bool cacheStored_ = false;  // replies stored since the last CommitCache
    std::vector<SessionObserver*> observers_;
    StatisticsPanel panel_;

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
    HostEditor editor_;
};

}  // namespace quenda
