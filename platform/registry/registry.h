// The registry kept in one text file: snapshots for reading, locked atomic updates.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "platform/registry/registry_tree.h"

namespace quenda {

enum class RegStatus {
    kOk,
    kNotFound,         // the key or value asked for does not exist
    kDamaged,          // the file exists but is not a registry file; it is left untouched
    kIoError,          // the file or its folder could not be read, locked or written
    kInvalidArgument,  // a malformed path or name, or a script that does not parse
};

// Environment variable that moves the registry file (one per process, seen by every library
// loaded into it).
inline constexpr const char* kRegistryPathVariable = "QUENDA_REGISTRY";

// Files larger than this are treated as damaged rather than read into memory.
inline constexpr std::uintmax_t kMaxRegistryFileSize = 16u << 20;

class Registry {
public:
    // The registry file of this process: $QUENDA_REGISTRY when set and not empty, else
    // $XDG_CONFIG_HOME/quenda/registry, else $HOME/.config/quenda/registry.
    static std::filesystem::path DefaultPath();

    // Makes path the registry file of this process and of the libraries and child processes
    // it starts (sets $QUENDA_REGISTRY).
    static void SetProcessPath(const std::filesystem::path& path);

    explicit Registry(std::filesystem::path file = DefaultPath());

    const std::filesystem::path& File() const { return file_; }

    // Reads the current contents into *tree. A missing file is an empty registry (kOk).
    // kDamaged or kIoError leave *tree empty and put a reason naming the file into *error.
    RegStatus Read(RegistryTree* tree, std::string* error = nullptr) const;

    // Locks the file against other writers, reads it, lets change edit the tree and writes
    // the result atomically (temporary file, then rename). When change returns false
    // nothing is written and the result is kOk. A damaged file is never replaced: the
    // result is kDamaged and change is not called.
    RegStatus Update(const std::function<bool(RegistryTree&)>& change, std::string* error = nullptr);

    // The value valueName ("" = default value) of the key at keyPath. kNotFound when the key
    // or value is missing.
    RegStatus QueryString(RegRoot root, std::string_view keyPath, std::string_view valueName,
                          std::string* value, std::string* error = nullptr) const;

    // Sets a value, creating the key and its parents as needed.
    RegStatus SetString(RegRoot root, std::string_view keyPath, std::string_view valueName,
                        std::string_view value, std::string* error = nullptr);

    // Removes a key and its subtree. kNotFound when it does not exist.
    RegStatus DeleteKey(RegRoot root, std::string_view keyPath, std::string* error = nullptr);

private:
    std::filesystem::path file_;  // the registry file; its lock file sits beside it
};

}  // namespace quenda
