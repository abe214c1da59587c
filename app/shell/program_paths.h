// Where the program keeps its files: the data directory (cache, log, seed file) and the
// settings directory (QUENDA.INI, registry).
#pragma once

#include <optional>
#include <string>

namespace quenda {

struct ProgramPaths {
    std::string dataDirectory;    // ends in "/": DNSCACHE.MDB, TEMP.MDB, DNSIP.DAT, Quenda.LOG
    std::string configDirectory;  // ends in "/": QUENDA.INI, registry

    std::string SettingsFile() const { return configDirectory + "QUENDA.INI"; }
    std::string RegistryFile() const { return configDirectory + "registry"; }
};

// With a home directory, everything lives there; otherwise $XDG_DATA_HOME/quenda/ and
// $XDG_CONFIG_HOME/quenda/ (defaults ~/.local/share and ~/.config). std::nullopt when no home
// can be found.
std::optional<ProgramPaths> FindProgramPaths(const std::string& home);

// Creates both directories (and their parents) when missing; false when that fails.
bool CreateProgramDirectories(const ProgramPaths& paths);

}  // namespace quenda
