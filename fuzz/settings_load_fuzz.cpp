// Fuzzes the settings load with whole QUENDA.INI files: whatever is loaded is saved so that
// the next load gives the very same settings.
#include <fstream>
#include <string>

#include "app/config/settings_file.h"
#include "fuzz/fuzz_support.h"

using namespace quenda;

namespace {

struct Settings {
    Options options;
    NameServerList servers;
    RequestCounters counters;
};

void Load(const std::string& path, Settings* into, bool save) {
    const LocalAddresses local;
    SettingsFile file(path, fuzz::ScratchDirectory(), local,
                      {into->options, into->servers, into->counters}, [] { return 0; });
    file.LoadAllSettings();
    if (save) FUZZ_CHECK(file.SaveAllSettings());
}

bool SameSettings(const Settings& a, const Settings& b) {
    const Options& x = a.options;
    const Options& y = b.options;
    if (x.SYSTRAY != y.SYSTRAY || x.NOCACHE != y.NOCACHE || x.cacheDisabled != y.cacheDisabled ||
        x.LOG_TOFILE != y.LOG_TOFILE || x.LOG_FILE != y.LOG_FILE || x.LOG_DATE != y.LOG_DATE ||
        x.LOG_TIME != y.LOG_TIME || x.LOG_DETAIL != y.LOG_DETAIL ||
        x.LOG_WINDOWX != y.LOG_WINDOWX || x.LOG_WINDOWY != y.LOG_WINDOWY ||
        x.LOG_WINDOWH != y.LOG_WINDOWH || x.LOG_WINDOWW != y.LOG_WINDOWW ||
        x.DATABASE_VERSION != y.DATABASE_VERSION) {
        return false;
    }
    if (a.servers.NDNS != b.servers.NDNS) return false;
    for (int n = 0; n < kUsedNameServers; ++n) {
        const NameServer& s = a.servers[n];
        const NameServer& t = b.servers[n];
        if (s.address != t.address || s.description != t.description || s.enabled != t.enabled ||
            s.WINNING != t.WINNING || s.ATIME != t.ATIME || s.NATIME != t.NATIME) {
            return false;
        }
    }
    const RequestCounters& c = a.counters;
    const RequestCounters& d = b.counters;
    return c.TOTALQ == d.TOTALQ && c.ACACHE == d.ACACHE && c.ADNS == d.ADNS &&
           c.NOTANSWERED == d.NOTANSWERED && c.WTIME == d.WTIME;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = fuzz::ScratchDirectory() + "QUENDA.INI";
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        FUZZ_CHECK(out.good());
    }
    Settings first;
    Load(path, &first, true);  // the save may fill in what the load left empty
    Settings second;
    Load(path, &second, false);
    FUZZ_CHECK(SameSettings(first, second));
    return 0;
}
