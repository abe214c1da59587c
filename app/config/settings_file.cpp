// The settings file's layout as tables of keys, and the load and save passes over them.
#include "app/config/settings_file.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <variant>

#include "app/config/settings_values.h"
#include "app/config/yes_no.h"
#include "platform/profile/profile_file.h"

namespace quenda {
namespace {

constexpr const char* kOptions = "OPTIONS";
constexpr const char* kServersSection = "N_SERVERS";
constexpr const char* kNameServer = "NAMESERVER";
constexpr const char* kStatistics = "STATISTICS";

// Room of the reads: values are cut to these lengths.
constexpr size_t kShortValue = 19;
constexpr size_t kServerValue = 79;
// The log file path is read with room for any path: a path cut short would send the log to a
// file nobody asked for.
constexpr size_t kPathValue = 4095;

// One key of a table: its name, default, read room and the variable it loads into. The
// variable's type gives the encoding: bool a Yes/No flag, text as is, 16- and 32-bit whole
// numbers, double a real number; an int marked as a check box holds Yes/No as 1 or 0.
template <typename Owner>
struct Key {
    using Field = std::variant<bool Owner::*, std::string Owner::*, int16_t Owner::*,
                               int32_t Owner::*, double Owner::*>;
    const char* name;
    const char* defaultValue;
    size_t room;
    Field field;
    bool checkBox = false;
};

const Key<Options> kOptionKeys[] = {
    {"SYSTRAY", "No", kShortValue, &Options::SYSTRAY, true},
    {"NOCACHE", "No", kShortValue, &Options::NOCACHE, true},
    {"LOG_TOFILE", "No", kShortValue, &Options::LOG_TOFILE},
    {"LOG_FILE", "", kPathValue, &Options::LOG_FILE},
    {"LOG_DATE", "No", kShortValue, &Options::LOG_DATE},
    {"LOG_TIME", "Yes", kShortValue, &Options::LOG_TIME},
    {"LOG_DETAIL", "2", kShortValue, &Options::LOG_DETAIL},
    {"LOG_WINDOWX", "200", kShortValue, &Options::LOG_WINDOWX},
    {"LOG_WINDOWY", "200", kShortValue, &Options::LOG_WINDOWY},
    {"LOG_WINDOWH", "0", kShortValue, &Options::LOG_WINDOWH},
    {"LOG_WINDOWW", "0", kShortValue, &Options::LOG_WINDOWW},
    {"DATABASE_VERSION", "0.0.0", kShortValue, &Options::DATABASE_VERSION},
};

// Per slot, after "DNS_" + slot number.
const Key<NameServer> kServerKeys[] = {
    {"_NAME", "", kServerValue, &NameServer::address},
    {"_DESC", "", kServerValue, &NameServer::description},
    {"_ENABLED", "No", kServerValue, &NameServer::enabled},
    {"_WINNING", "0", kServerValue, &NameServer::WINNING},
    {"_ATIME", "0", kServerValue, &NameServer::ATIME},
    {"_NATIME", "0", kServerValue, &NameServer::NATIME},
};

const Key<RequestCounters> kStatisticKeys[] = {
    {"WTIME", "0", kShortValue, &RequestCounters::WTIME},
    {"ADNS", "0", kShortValue, &RequestCounters::ADNS},
    {"ACACHE", "0", kShortValue, &RequestCounters::ACACHE},
    {"NOTANSWERED", "0", kShortValue, &RequestCounters::NOTANSWERED},
    {"TOTALQ", "0", kShortValue, &RequestCounters::TOTALQ},
};

template <typename Int>
void LoadWhole(const std::string& text, Int& into) {
    const auto value =
        ReadWholeNumber(text, std::numeric_limits<Int>::min(), std::numeric_limits<Int>::max());
    if (value) into = static_cast<Int>(*value);
}

struct Loader {
    const std::string& text;
    bool checkBox;
    void operator()(bool& flag) const { flag = IsYes(text); }
    void operator()(std::string& value) const { value = text; }
    void operator()(int16_t& value) const { LoadWhole(text, value); }
    void operator()(int32_t& value) const {
        if (checkBox) {
            value = ParseYesNo(text);
        } else {
            LoadWhole(text, value);
        }
    }
    void operator()(double& value) const {
        if (const auto number = ReadLeadingNumber(text)) value = *number;
    }
};

struct Writer {
    bool checkBox;
    std::string operator()(bool flag) const { return YesNoText(flag); }
    std::string operator()(const std::string& value) const { return value; }
    std::string operator()(int16_t value) const { return WholeNumberText(value); }
    std::string operator()(int32_t value) const {
        return checkBox ? YesNoText(value) : WholeNumberText(value);
    }
    std::string operator()(double value) const { return RealNumberText(value); }
};

}  // namespace

// The file between one read and one write, with the tables' typed access.
class SettingsFile::Profile {
  public:
    explicit Profile(ProfileFile& file) : file_(file) {}

    template <typename Owner>
    void Load(const char* section, const Key<Owner>& key, const std::string& name,
              Owner& owner) const {
        std::string text = file_.Get(section, name).value_or(key.defaultValue);
        if (text.size() > key.room) text.resize(key.room);
        std::visit([&](auto member) { Loader{text, key.checkBox}(owner.*member); }, key.field);
    }

    template <typename Owner>
    void Put(const char* section, const Key<Owner>& key, const std::string& name,
             const Owner& owner) {
        file_.Set(section, name,
                  std::visit([&](auto member) { return Writer{key.checkBox}(owner.*member); },
                             key.field));
    }

    ProfileFile& File() { return file_; }
    const ProfileFile& File() const { return file_; }

  private:
    ProfileFile& file_;
};

void SettingsFile::LoadAllSettings() {
    // An unreadable file loads like a missing one: every variable keeps its default. Saving
    // those defaults would then replace the user's settings, so nothing is saved.
    loadError_.clear();
    auto file = ProfileFile::Load(path_, &loadError_);
    if (!file && loadError_.empty()) loadError_ = "cannot read " + path_;
    ProfileFile loaded = std::move(file).value_or(ProfileFile());
    const Profile profile(loaded);
    LoadNameServers(profile);
    LoadStatistics(profile);
    LoadOptions(profile);
    settingsLoaded_ = true;
}

void SettingsFile::LoadNameServers(const Profile& profile) {
    NameServerList& servers = data_.servers;
    LoadWhole(profile.File().Get(kServersSection, "NDNS").value_or("0").substr(0, kServerValue),
              servers.NDNS);
    for (int n = 0; n < kUsedNameServers; ++n) {
        NameServer& server = servers[n];
        const std::string prefix = "DNS_" + std::to_string(n);
        for (const auto& key : kServerKeys)
            profile.Load(kNameServer, key, prefix + key.name, server);
        if (!ValidateAddress(server.address, local_).empty()) {
            server.address.clear();
            server.WINNING = 0;
            server.ATIME = 0;
            server.enabled = false;
        }
    }
}

void SettingsFile::LoadStatistics(const Profile& profile) {
    for (const auto& key : kStatisticKeys) profile.Load(kStatistics, key, key.name, data_.counters);
}

void SettingsFile::LoadOptions(const Profile& profile) {
    Options& options = data_.options;
    for (const auto& key : kOptionKeys) profile.Load(kOptions, key, key.name, options);
    if (options.LOG_DETAIL == 0) options.LOG_DETAIL = 2;
    options.cacheDisabled = options.NOCACHE == 1;
}

template <typename Put>
bool SettingsFile::Save(Put put) {
    if (!settingsLoaded_) return false;
    // Never replaces a file that could not be read whole, now or when the settings were loaded.
    std::string error = loadError_;
    const auto change = [&](ProfileFile& file) {
        Profile profile(file);
        put(profile);
    };
    const bool saved = error.empty() && ProfileFile::Update(path_, change, &error);
    if (!saved && !saveFailing_ && failureReport_)
        failureReport_("Error saving settings: " + error);
    saveFailing_ = !saved;
    return saved;
}

bool SettingsFile::SaveAllSettings() {
    return Save([this](Profile& profile) {
        PutOptions(profile);
        PutNameServers(profile);
        PutStatistics(profile);
    });
}

bool SettingsFile::SaveOptions() {
    return Save([this](Profile& profile) { PutOptions(profile); });
}

bool SettingsFile::SaveNameServers() {
    return Save([this](Profile& profile) { PutNameServers(profile); });
}

bool SettingsFile::SaveStatistics() {
    return Save([this](Profile& profile) { PutStatistics(profile); });
}

void SettingsFile::PutOptions(Profile& profile) {
    Options& options = data_.options;
    if (options.LOG_FILE.empty()) options.LOG_FILE = programDirectory_ + kLogFileName;
    for (const auto& key : kOptionKeys) profile.Put(kOptions, key, key.name, options);
}

void SettingsFile::PutNameServers(Profile& profile) {
    profile.File().Set(kServersSection, "NDNS", WholeNumberText(data_.servers.NDNS));
    for (int n = 0; n < kUsedNameServers; ++n) {
        const std::string prefix = "DNS_" + std::to_string(n);
        for (const auto& key : kServerKeys) {
            profile.Put(kNameServer, key, prefix + key.name, data_.servers[n]);
        }
    }
}

void SettingsFile::PutStatistics(Profile& profile) {
    // Requests still waiting are counted again when they are answered after a restart.
    for (const auto& key : kStatisticKeys) profile.Put(kStatistics, key, key.name, data_.counters);
    // What does not fit 16 bits would not load again: it is kept at the nearest end.
    const int waiting = waitingRequests_ ? waitingRequests_() : 0;
    const int64_t total = std::clamp<int64_t>(int64_t{data_.counters.TOTALQ} - waiting,
                                              std::numeric_limits<int16_t>::min(),
                                              std::numeric_limits<int16_t>::max());
    profile.File().Set(kStatistics, "TOTALQ", WholeNumberText(total));
}

}  // namespace quenda
