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

// The folder of the running program, ending in "/" ("" when it cannot be told). The bundled
// files are in its ../share/quenda/.
std::string ExecutableDirectory();

// The folder, ending in "/", from which the dynamic linker loaded the shared library with this
// soname into the process: where the program's RUNPATH led, so the build tree's lib/ for a
// program run there and the private library folder for an installed one. "" when no library
// of that soname is loaded.
std::string LoadedLibraryDirectory(const char* soname);

// Before the very first start (no settings file yet, no seed file of the user's own), puts the
// bundled seed file into the data directory, so a new install starts with working name
// servers. False when nothing was copied.
bool InstallBundledSeed(const ProgramPaths& paths, const std::string& bundledSeed);

// Creates both directories (and their parents) when missing; false when that fails.
bool CreateProgramDirectories(const ProgramPaths& paths);

}  // namespace quenda
