// The session's start-up, commands, notices and relay wiring.
#include "app/shell/session.h"

#include <algorithm>

#include <cstdlib>
#include <ctime>
#include <utility>

#include "app/config/seed_import.h"
#include "app/relay/counter_math.h"
#include "app/relay/number_text.h"

namespace quenda {

// The cache database as the relay sees it; nothing is read or written while it is disabled,
// which the relay itself checks.
class Session::CacheAdapter final : public RelayCache {
  public:
    CacheAdapter(CacheDatabase& cache, bool& stored) : cache_(cache), stored_(stored) {}
    std::string CacheLookup(const std::string& key) override { return cache_.CacheLookup(key); }
    void CacheStore(const std::string& key, std::string_view reply) override {
        cache_.CacheStore(key, reply);
        stored_ = true;
    }

  private:
    CacheDatabase& cache_;
    bool& stored_;
};

Session::Session(const SessionParts& parts)
    : parts_(parts),
      log_(options_),
      settings_(parts.paths.SettingsFile(), parts.paths.dataDirectory, local_,
                {options_, servers_, counters_}, [this] { return table_.WaitingCount(); }),
      cache_(
          parts.paths.dataDirectory,
          [this](const std::string& text, int level) { log_.WriteLog(text, level); },
          parts.processPendingMessages),
      cacheAdapter_(std::make_unique<CacheAdapter>(cache_, cacheStored_)),
      statistics_(counters_, servers_, table_, *this),
      environment_{table_,         servers_,       counters_,         statistics_, options_,
                   parts.UDPPort1, parts.UDPPort2, *cacheAdapter_,    log_,        parts.clock,
                   *this,          ids_,           parts.upstreamPort},
      relay_(environment_),
      sweep_(environment_, relay_),
      tcp_(parts.IPDaemon, parts.IPPort, relay_, servers_, log_, *this, parts.clock,
           parts.upstreamPort),
      editor_(cache_, parts.messages,
              [this](std::string_view query) { relay_.SendToAllServers(query); }) {
    settings_.SetFailureReport([this](const std::string& text) { log_.WriteLog(text, 1); });
}

Session::~Session() {
    log_.SetDisplay(nullptr);
}

StartOutcome Session::Load() {
    // A first opening, failures ignored: the second one below decides.
    OpenUdpEndpoints(parts_.UDPPort1, parts_.UDPPort2, parts_.servicePort, parts_.serviceAddress);
    ImportSeedFile(parts_.paths.dataDirectory, parts_.paths.SettingsFile());

    local_ = LocalAddresses();
    if (parts_.collectLocalAddresses) parts_.collectLocalAddresses(local_, log_);

    if (const int error = OpenUdpEndpoints(parts_.UDPPort1, parts_.UDPPort2, parts_.servicePort,
                                           parts_.serviceAddress)) {
        StartUpFailed(error);
        return StartOutcome::kFailed;
    }
    if (const int error = Initialise()) {
        StartUpFailed(error);
        return StartOutcome::kFailed;
    }
    RefreshServers();
    serving_ = true;
    return StartOutcome::kRunning;
}

int Session::Initialise() {
    for (NameServer& server : servers_.servers) {
        server.WINNING = 0;
        server.responded = false;
    }
    settings_.LoadAllSettings();
    if (const int error = tcp_.StartTcpService(parts_.servicePort)) return error;
    cache_.OpenCacheDatabase();
    // Replies arrive in bursts; one commit per timer tick instead of one per reply.
    cache_.SetStoreBatching(true);
    // Only a finished conversion is recorded, so a cache that could not be opened now is
    // converted at a later start.
    if (parts_.programVersion != options_.DATABASE_VERSION && cache_.ConvertCacheDatabase()) {
        options_.DATABASE_VERSION = parts_.programVersion;
    }
    log_.OpenLogFile();
    LogNameServers();
    LogReceiveBuffers();
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    return 0;
}

void Session::LogNameServers() {
    log_.WriteLog("INIT: Add DNS server: ", 2);
    for (int n = 0; n < kUsedNameServers; ++n) {
        const NameServer& server = servers_[n];
        if (!quenda::IsValidServer(servers_, n, local_)) continue;
        const char* marker = server.enabled ? "     * " : "       ";
        log_.WriteLog(marker + server.address + " / " + server.description, 2);
    }
}

void Session::LogReceiveBuffers() {
    // Without privilege the system may have granted less than was asked for.
    const std::pair<const char*, UdpControl*> ports[] = {{"UDPPort1", &parts_.UDPPort1},
                                                         {"UDPPort2", &parts_.UDPPort2}};
    for (const auto& [name, port] : ports) {
        const int32_t granted = port->GrantedInBufferSize();
        if (granted < 0) continue;
        log_.WriteLog(
            std::string("INIT: ") + name + " receive buffer: " + std::to_string(granted) + " bytes",
            3);
    }
}

void Session::StartUpFailed(int error) {
    if (error == kAddressInUse) {
        // With one address, the port on that address is what is taken.
        const std::string where =
            (parts_.serviceAddress.empty() ? "" : parts_.serviceAddress + ":") +
            std::to_string(parts_.servicePort);
        parts_.messages.Inform(MessageIcon::Exclamation, "Error",
                               "Your localport " + where +
                                   " (DNS) is already in use! Make sure that no other "
                                   "application is using this port.");
    } else {
        log_.WriteLog(
            "Initialisation error: " + SpacedNumber(error) + ", please check your TCP/IP setup.",
            1);
    }
    startFailed_ = true;
}

void Session::UDPPort1DataIn(std::string_view datagram, const std::string& address, uint16_t port) {
    // Start-up lets messages run (the cache's repair and compaction) before the settings, the
    // server list and the cache are there to relay with.
    if (!serving_) {
        log_.WriteLog("Dropped reply from " + address + ":" + std::to_string(port), 3);
        return;
    }
    relay_.HandleServerReply(datagram, address, port);
}

void Session::UDPPort2DataIn(std::string_view datagram, const std::string& address, uint16_t port) {
    if (!serving_) {
        log_.WriteLog("Dropped request from " + address + ":" + std::to_string(port), 3);
        return;
    }
    relay_.HandleClientRequest(datagram, address, port);
}

void Session::UDPPortError(const std::string& control, int code, const std::string& description) {
    log_.WriteLog(control + " error " + std::to_string(code) + ": " + description, 3);
}

void Session::AddObserver(SessionObserver* observer) {
    observers_.push_back(observer);
    // Without anyone watching, the log does not make copies of its lines for nobody.
    log_.SetDisplay(this);
}

void Session::RemoveObserver(SessionObserver* observer) {
    std::erase(observers_, observer);
    if (observers_.empty()) log_.SetDisplay(nullptr);
}

void Session::SetCacheDisabled(bool disabled) {
    options_.NOCACHE = disabled ? 1 : 0;
    options_.cacheDisabled = disabled;
    log_.WriteLog(disabled ? " * Cache disabled" : " * Cache enabled", 2);
}

void Session::SetStartupInTray(bool inTray) {
    options_.SYSTRAY = inTray ? 1 : 0;
}

void Session::EnableServer(int position, bool enabled) {
    if (position < 0 || position >= kUsedNameServers) return;
    servers_[position].enabled = enabled;
}

bool Session::IsValidServer(int position) const {
    return position >= 0 && position < kUsedNameServers &&
           quenda::IsValidServer(servers_, position, local_);
}

void Session::SetServerAddress(int position, const std::string& address) {
    if (position < 0 || position >= kUsedNameServers) return;
    servers_[position].address = address;
}

void Session::ClearServer(int position) {
    if (position < 0 || position >= kUsedNameServers) return;
    NameServer& server = servers_[position];
    server.address.clear();
    server.description.clear();
    server.enabled = false;
    // Counts read from a hand-edited file need not add up: a total that would leave 16 bits
    // stays as it is.
    AddIfFits(servers_.NDNS, -int64_t{server.WINNING});
    server.WINNING = 0;
}

void Session::SetServerDescription(int position, const std::string& description) {
    if (position < 0 || position >= kUsedNameServers) return;
    servers_[position].description = description;
}

bool Session::SaveNameServers() {
    return settings_.SaveNameServers();
}

void Session::ClearCacheStatistics() {
    statistics_.ResetStatistics();
}

void Session::ResetServerStatistics() {
    for (int n = 0; n < kUsedNameServers; ++n) {
        NameServer& server = servers_[n];
        server.responded = false;
        server.WINNING = 0;
        server.ATIME = 0;
        server.NATIME = 0;
    }
    servers_.NDNS = 0;
    RefreshServers();
}

void Session::RefreshServers() {
    AgeServerWins(servers_);
    ServersChanged();
}

void Session::ClearLog() {
    log_.ClearLogBox();
}

LogOptions Session::GetLogOptions() const {
    return {options_.LOG_DETAIL, options_.LOG_DATE, options_.LOG_TIME, options_.LOG_TOFILE,
            options_.LOG_FILE};
}

void Session::SetLogOptions(const LogOptions& log) {
    options_.LOG_DETAIL = log.detail;
    options_.LOG_DATE = log.date;
    options_.LOG_TIME = log.time;
    options_.LOG_TOFILE = log.toFile;
    options_.LOG_FILE = log.file;
}

WindowGeometry Session::LogWindowGeometry() const {
    return {options_.LOG_WINDOWX, options_.LOG_WINDOWY, options_.LOG_WINDOWW, options_.LOG_WINDOWH};
}

void Session::SetLogWindowGeometry(const WindowGeometry& geometry) {
    options_.LOG_WINDOWX = geometry.left;
    options_.LOG_WINDOWY = geometry.top;
    options_.LOG_WINDOWW = geometry.width;
    options_.LOG_WINDOWH = geometry.height;
}

void Session::UpdateStatistics() {
    statistics_.UpDateStatistic();
}

void Session::SweepPending() {
    sweep_.SweepPending();
}

void Session::CommitCache() {
    cache_.CommitStores();
    if (!cacheStored_) return;
    cacheStored_ = false;
    Notify([](SessionObserver& o) { o.CacheChanged(); });
}

bool Session::SaveAllSettings() {
    const bool saved = settings_.SaveAllSettings();
    // A log file closed by a failed write is tried again with the periodic save.
    log_.RetryLogFile();
    return saved;
}

void Session::CloseIdleConnections() {
    tcp_.CloseIdleConnections();
}

void Session::SaveForQuit() {
    // A start that failed leaves the settings file as it found it.
    if (!startFailed_) settings_.SaveAllSettings();
    cache_.CommitStores();
}

void Session::ServersChanged() {
    Notify([](SessionObserver& o) { o.ServersChanged(); });
}

void Session::ShowShare(ShareBar bar, int percent) {
    panel_.shares[static_cast<int>(bar)] = percent;
    Notify([&](SessionObserver& o) { o.ShareChanged(bar, percent); });
}

void Session::ShowWaiting(const std::string& text) {
    panel_.waiting = text;
    Notify([&](SessionObserver& o) { o.WaitingChanged(text); });
}

void Session::ShowTimeGained(const std::string& text) {
    panel_.timeGained = text;
    Notify([&](SessionObserver& o) { o.TimeGainedChanged(text); });
}

void Session::LogLineAppended(size_t trimmed, const std::string& line) {
    Notify([&](SessionObserver& o) { o.LogLineAppended(trimmed, line); });
}

void Session::LogBoxCleared() {
    Notify([](SessionObserver& o) { o.LogCleared(); });
}

void Session::SetLogCaption(const std::string& caption) {
    Notify([&](SessionObserver& o) { o.LogCaptionChanged(caption); });
}

void Session::ProcessPendingMessages() {
    if (parts_.processPendingMessages) parts_.processPendingMessages();
}

bool Session::UpdateEntryDataNameserver(std::string_view datagram) {
    return editor_.UpdateEntry_Data_Nameserver(datagram);
}

void Session::ShowCriticalError(const std::string& title, const std::string& text) {
    parts_.messages.Inform(MessageIcon::Critical, title, text);
}

}  // namespace quenda
