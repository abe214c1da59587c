// The main form's start-up, timer, quit path and relay wiring.
#include "app/shell/mainform.h"

#include <cstdlib>
#include <ctime>
#include <utility>

#include "app/config/seed_import.h"
#include "app/relay/number_text.h"

namespace quenda {

// The cache database as the relay sees it; nothing is read or written while it is disabled,
// which the relay itself checks.
class Mainform::CacheAdapter final : public RelayCache {
  public:
    explicit CacheAdapter(CacheDatabase& cache) : cache_(cache) {}
    std::string CacheLookup(const std::string& key) override { return cache_.CacheLookup(key); }
    void CacheStore(const std::string& key, std::string_view reply) override {
        cache_.CacheStore(key, reply);
    }

  private:
    CacheDatabase& cache_;
};

Mainform::Mainform(const MainformParts& parts)
    : parts_(parts),
      log_(options_),
      settings_(parts.paths.SettingsFile(), parts.paths.dataDirectory, local_,
                {options_, servers_, counters_}, [this] { return table_.WaitingCount(); }),
      cache_(
          parts.paths.dataDirectory,
          [this](const std::string& text, int level) { log_.WriteLog(text, level); },
          parts.processPendingMessages),
      cacheAdapter_(std::make_unique<CacheAdapter>(cache_)),
      statistics_(counters_, servers_, table_, *this),
      environment_{table_,         servers_,       counters_,         statistics_, options_,
                   parts.UDPPort1, parts.UDPPort2, *cacheAdapter_,    log_,        parts.clock,
                   *this,          ids_,           parts.upstreamPort},
      relay_(environment_),
      sweep_(environment_, relay_, *this),
      tcp_(parts.IPDaemon, parts.IPPort, relay_, servers_, log_, *this, parts.clock,
           parts.upstreamPort) {
    settings_.SetFailureReport([this](const std::string& text) { log_.WriteLog(text, 1); });
}

Mainform::~Mainform() = default;

StartOutcome Mainform::Load() {
    // A first opening, failures ignored: the second one below decides.
    OpenUdpEndpoints(parts_.UDPPort1, parts_.UDPPort2, parts_.servicePort, parts_.serviceAddress);
    ImportSeedFile(parts_.paths.dataDirectory, parts_.paths.SettingsFile());
    quit_ = false;

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
    MakeListView();
    currentTab_ = 0;
    windowHidden_ = options_.SYSTRAY == 1;
    serving_ = true;
    return StartOutcome::kRunning;
}

int Mainform::Initialise() {
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

void Mainform::LogNameServers() {
    log_.WriteLog("INIT: Add DNS server: ", 2);
    for (int n = 0; n < kUsedNameServers; ++n) {
        const NameServer& server = servers_[n];
        if (!ValidateAddress(server.address, local_).empty()) continue;
        const char* marker = server.enabled ? "     * " : "       ";
        log_.WriteLog(marker + server.address + " / " + server.description, 2);
    }
}

void Mainform::LogReceiveBuffers() {
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

void Mainform::StartUpFailed(int error) {
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
    quit_ = true;
    startFailed_ = true;
}

void Mainform::Timer1Tick() {
    sweep_.Timer1Tick();
    cache_.CommitStores();
    tcp_.CloseIdleConnections();
}

bool Mainform::QueryUnload(UnloadReason reason) {
    if (reason == UnloadReason::kSessionEnding || reason == UnloadReason::kTaskManager) {
        quit_ = true;
    }
    if (!quit_) {
        windowHidden_ = true;  // closing the window only puts it in the tray
        return false;
    }
    // A start that failed leaves the settings file as it found it.
    if (!startFailed_) settings_.SaveAllSettings();
    cache_.CommitStores();
    return true;
}

void Mainform::UnloadMainform() {
    if (unload_) unload_();
}

void Mainform::UDPPort1DataIn(std::string_view datagram, const std::string& address,
                              uint16_t port) {
    // Start-up lets messages run (the cache's repair and compaction) before the settings, the
    // server list and the cache are there to relay with.
    if (!serving_) {
        log_.WriteLog("Dropped reply from " + address + ":" + std::to_string(port), 3);
        return;
    }
    relay_.HandleServerReply(datagram, address, port);
}

void Mainform::UDPPort2DataIn(std::string_view datagram, const std::string& address,
                              uint16_t port) {
    if (!serving_) {
        log_.WriteLog("Dropped request from " + address + ":" + std::to_string(port), 3);
        return;
    }
    relay_.HandleClientRequest(datagram, address, port);
}

void Mainform::UDPPortError(const std::string& control, int code, const std::string& description) {
    log_.WriteLog(control + " error " + std::to_string(code) + ": " + description, 3);
}

void Mainform::MakeListView() {
    AgeServerWins(servers_);
}

void Mainform::ProcessPendingMessages() {
    if (parts_.processPendingMessages) parts_.processPendingMessages();
}

bool Mainform::UpdateEntryDataNameserver(std::string_view) {
    return false;
}

void Mainform::ShowCriticalError(const std::string& title, const std::string& text) {
    parts_.messages.Inform(MessageIcon::Critical, title, text);
}

}  // namespace quenda
