// Loads and saves every setting of the program in the settings file QUENDA.INI.
#pragma once

#include <functional>
#include <string>

#include "app/config/address_check.h"
#include "app/config/name_server_list.h"
#include "app/config/options.h"
#include "app/config/request_counters.h"

namespace quenda {

inline constexpr const char* kLogFileName = "Quenda.LOG";

// What the settings file holds, owned elsewhere.
struct SettingsData {
    Options& options;
    NameServerList& servers;
    RequestCounters& counters;
};

// Each load reads the file once, each save reads and writes it once (atomically, holding the
// file's writers' lock). Nothing is saved before LoadAllSettings has run, so a start-up that
// ends early leaves the file as it was, nor after a load that could not read the file whole.
// A key that is missing or does not fit its variable leaves the variable as it was.
class SettingsFile {
  public:
    // path: the settings file; programDirectory ends in "/"; waitingRequests counts the
    // requests still waiting, which the saved TOTALQ leaves out.
    SettingsFile(std::string path, std::string programDirectory, const LocalAddresses& local,
                 SettingsData data, std::function<int()> waitingRequests)
        : path_(std::move(path)),
          programDirectory_(std::move(programDirectory)),
          local_(local),
          data_(data),
          waitingRequests_(std::move(waitingRequests)) {}

    const std::string& Path() const { return path_; }
    bool SettingsLoaded() const { return settingsLoaded_; }

    // Loads NAMESERVER and N_SERVERS, then STATISTICS, then OPTIONS; then the settings count
    // as loaded. A slot whose address fails the address check is emptied.
    void LoadAllSettings();

    // Each returns false when the file could not be read whole or written, or when nothing was
    // loaded yet or the load could not read the file.
    bool SaveAllSettings();
    // failed gets "Error saving settings: " and the reason at the first failed save of a
    // streak (a full disk fails every periodic save alike); a save that succeeds ends it.
    void SetFailureReport(std::function<void(const std::string& text)> failed) {
        failureReport_ = std::move(failed);
    }
    bool SaveOptions();
    bool SaveNameServers();
    bool SaveStatistics();

  private:
    class Profile;
    void LoadNameServers(const Profile& profile);
    void LoadStatistics(const Profile& profile);
    void LoadOptions(const Profile& profile);
    void PutOptions(Profile& profile);
    void PutNameServers(Profile& profile);
    void PutStatistics(Profile& profile);
    template <typename Put>
    bool Save(Put put);

    std::string path_;
    std::string programDirectory_;
    const LocalAddresses& local_;
    SettingsData data_;
    std::function<int()> waitingRequests_;
    bool settingsLoaded_ = false;
    std::string loadError_;  // why the load could not read the file; "" when it could
    std::function<void(const std::string&)> failureReport_;
    bool saveFailing_ = false;  // the last save failed (and was reported)
};

}  // namespace quenda
