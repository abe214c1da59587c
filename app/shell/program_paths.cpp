// The program's directories.
#include "app/shell/program_paths.h"

#include <dlfcn.h>
#include <link.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace quenda {
namespace {

std::string WithSlash(std::string directory) {
    if (directory.empty() || directory.back() != '/') directory += '/';
    return directory;
}

// $variable when set to an absolute path, else $HOME/fallback.
std::optional<std::string> XdgDirectory(const char* variable, const char* fallback) {
    const char* value = std::getenv(variable);
    if (value != nullptr && value[0] == '/') return std::string(value);
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] != '/') return std::nullopt;
    return std::string(home) + "/" + fallback;
}

}  // namespace

std::optional<ProgramPaths> FindProgramPaths(const std::string& home) {
    if (!home.empty()) {
        std::error_code ec;
        const std::string absolute = std::filesystem::absolute(home, ec).string();
        if (ec) return std::nullopt;
        return ProgramPaths{WithSlash(absolute), WithSlash(absolute)};
    }
    const auto data = XdgDirectory("XDG_DATA_HOME", ".local/share");
    const auto config = XdgDirectory("XDG_CONFIG_HOME", ".config");
    if (!data || !config) return std::nullopt;
    return ProgramPaths{WithSlash(*data + "/quenda"), WithSlash(*config + "/quenda")};
}

std::string ExecutableDirectory() {
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return "";
    return WithSlash(self.parent_path().string());
}

std::string LoadedLibraryDirectory(const char* soname) {
    void* handle = dlopen(soname, RTLD_LAZY | RTLD_NOLOAD);
    if (handle == nullptr) return "";
    link_map* map = nullptr;
    std::string directory;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) == 0 && map != nullptr && map->l_name[0] == '/') {
        std::error_code ec;
        const auto file = std::filesystem::weakly_canonical(map->l_name, ec);
        if (!ec) directory = WithSlash(file.parent_path().string());
    }
    dlclose(handle);
    return directory;
}

bool InstallBundledSeed(const ProgramPaths& paths, const std::string& bundledSeed) {
    std::error_code ec;
    if (std::filesystem::exists(paths.SettingsFile(), ec) || ec) return false;
    if (std::filesystem::exists(paths.dataDirectory + "DNSIP.DAT", ec) || ec) return false;
    return std::filesystem::copy_file(bundledSeed, paths.dataDirectory + "DNSIP.DAT", ec) && !ec;
}

bool CreateProgramDirectories(const ProgramPaths& paths) {
    std::error_code ec;
    std::filesystem::create_directories(paths.dataDirectory, ec);
    if (ec) return false;
    std::filesystem::create_directories(paths.configDirectory, ec);
    return !ec;
}

}  // namespace quenda
