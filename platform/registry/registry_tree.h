// The registry held in memory: predefined roots, keys and string values, and its text form.
#pragma once

#include <array>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace quenda {

// The predefined roots, in the order they are written to the file.
enum class RegRoot : uint8_t {
    kClassesRoot,
    kCurrentUser,
    kLocalMachine,
    kUsers,
    kPerformanceData,
    kDynData,
    kCurrentConfig,
};
inline constexpr int kRegRootCount = 7;

// Longest key or value name accepted, and deepest key nesting below a root.
inline constexpr size_t kMaxRegNameLength = 255;
inline constexpr int kMaxRegKeyDepth = 128;

// Maps "HKCR"/"HKEY_CLASSES_ROOT", "HKU"/"HKEY_USERS", ... (letter case ignored) to its
// root; any other text gives nullopt.
std::optional<RegRoot> ParseRegRoot(std::string_view name);

// The long name of a root, e.g. "HKEY_CLASSES_ROOT".
std::string_view RegRootName(RegRoot root);

// True when a and b are equal ignoring ASCII letter case (registry names are case-blind).
bool RegNamesEqual(std::string_view a, std::string_view b);

// True when name may name a key: 1 to 255 characters, no backslash, no control character.
bool IsValidRegKeyName(std::string_view name);

// Orders names ignoring ASCII letter case.
struct RegNameLess {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const;
};

// One key: named string values (the name "" is the default value) and subkeys. Names keep
// the case they were first written with and are looked up case-blind.
class RegistryKey {
public:
    using Subkeys = std::map<std::string, std::unique_ptr<RegistryKey>, RegNameLess>;
    using Values = std::map<std::string, std::string, RegNameLess>;

    // The subkey called name, or nullptr.
    RegistryKey* FindSubkey(std::string_view name);
    const RegistryKey* FindSubkey(std::string_view name) const;

    // The subkey called name, created empty when missing; nullptr when the name is invalid.
    RegistryKey* CreateSubkey(std::string_view name);

    // Removes the subkey called name with everything below it; false when there was none.
    bool DeleteSubkey(std::string_view name);

    // The value called name ("" = default value), or nullptr when it is not set.
    const std::string* FindValue(std::string_view name) const;

    // Sets the value called name; false (nothing changed) when name is longer than 255
    // characters or holds a control character.
    bool SetValue(std::string_view name, std::string_view value);

    // Removes the value called name; false when it was not set.
    bool DeleteValue(std::string_view name);

    const Subkeys& SubkeyMap() const { return subkeys_; }
    const Values& ValueMap() const { return values_; }

private:
    Subkeys subkeys_;  // child keys by name
    Values values_;    // string values by name; "" is the default value
};

// The whole registry: one key tree per predefined root.
class RegistryTree {
public:
    RegistryKey& Root(RegRoot root) { return roots_[static_cast<size_t>(root)]; }
    const RegistryKey& Root(RegRoot root) const { return roots_[static_cast<size_t>(root)]; }

    // The key at path ("A\B\C", "" = the root itself), or nullptr when any part is missing
    // or the path is malformed.
    RegistryKey* Find(RegRoot root, std::string_view path);
    const RegistryKey* Find(RegRoot root, std::string_view path) const;

    // The key at path, creating missing parts; nullptr (nothing created) when a part is
    // empty or invalid or the path is deeper than kMaxRegKeyDepth.
    RegistryKey* Create(RegRoot root, std::string_view path);

    // Removes the key at path with its subtree; false when there was none. The root itself
    // cannot be deleted.
    bool Delete(RegRoot root, std::string_view path);

    // The text form written to the registry file.
    std::string Serialize() const;

    // Reads the text form. On any malformed line returns false, leaves *out unchanged and
    // puts a one-line reason (with the line number) into *error.
    static bool Parse(std::string_view text, RegistryTree* out, std::string* error);

private:
    std::array<RegistryKey, kRegRootCount> roots_;
};

}  // namespace quenda
