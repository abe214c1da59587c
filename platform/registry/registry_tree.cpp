// The registry held in memory: predefined roots, keys and string values, and its text form.
#include "platform/registry/registry_tree.h"

#include <cstdio>
#include <vector>

namespace quenda {
namespace {

constexpr std::string_view kFileHeader = "QUENDA REGISTRY 1";

struct RootNames {
    RegRoot root;
    std::string_view shortName;
    std::string_view longName;
};

constexpr RootNames kRootNames[kRegRootCount] = {
    {RegRoot::kClassesRoot, "HKCR", "HKEY_CLASSES_ROOT"},
    {RegRoot::kCurrentUser, "HKCU", "HKEY_CURRENT_USER"},
    {RegRoot::kLocalMachine, "HKLM", "HKEY_LOCAL_MACHINE"},
    {RegRoot::kUsers, "HKU", "HKEY_USERS"},
    {RegRoot::kPerformanceData, "HKPD", "HKEY_PERFORMANCE_DATA"},
    {RegRoot::kDynData, "HKDD", "HKEY_DYN_DATA"},
    {RegRoot::kCurrentConfig, "HKCC", "HKEY_CURRENT_CONFIG"},
};

char FoldCase(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

bool IsValidValueName(std::string_view name) {
    if (name.size() > kMaxRegNameLength) return false;
    for (unsigned char c : name) {
        if (IsControl(c)) return false;
    }
    return true;
}

// Splits "A\B\C" into its parts; false when a part is invalid or there are too many.
bool SplitPath(std::string_view path, std::vector<std::string_view>* parts) {
    parts->clear();
    if (path.empty()) return true;
    size_t start = 0;
    while (true) {
        size_t end = path.find('\\', start);
        std::string_view part = path.substr(start, end == std::string_view::npos ? end : end - start);
        if (!IsValidRegKeyName(part)) return false;
        parts->push_back(part);
        if (parts->size() > static_cast<size_t>(kMaxRegKeyDepth)) return false;
        if (end == std::string_view::npos) return true;
        start = end + 1;
    }
}

void AppendQuoted(std::string* out, std::string_view text) {
    out->push_back('"');
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out->push_back('\\');
            out->push_back(static_cast<char>(c));
        } else if (IsControl(c)) {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out->append(hex);
        } else {
            out->push_back(static_cast<char>(c));
        }
    }
    out->push_back('"');
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = FoldCase(c);
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads a quoted text at text[*pos]; moves *pos past the closing quote.
bool ReadQuoted(std::string_view text, size_t* pos, std::string* out) {
    out->clear();
    size_t i = *pos;
    if (i >= text.size() || text[i] != '"') return false;
    ++i;
    while (i < text.size()) {
        char c = text[i++];
        if (c == '"') {
            *pos = i;
            return true;
        }
        if (c != '\\') {
            out->push_back(c);
            continue;
        }
        if (i >= text.size()) return false;
        char e = text[i++];
        if (e == '\\' || e == '"') {
            out->push_back(e);
        } else if (e == 'x') {
            if (i + 2 > text.size()) return false;
            int hi = HexDigit(text[i]);
            int lo = HexDigit(text[i + 1]);
            if (hi < 0 || lo < 0) return false;
            out->push_back(static_cast<char>(hi * 16 + lo));
            i += 2;
        } else {
            return false;
        }
    }
    return false;
}

// A root's line is written only when the root holds values; its subkeys name it anyway.
void SerializeKey(const RegistryKey& key, const std::string& path, bool isRoot, std::string* out) {
    if (!isRoot || !key.ValueMap().empty()) {
        out->push_back('[');
        out->append(path);
        out->append("]\n");
    }
    for (const auto& [name, value] : key.ValueMap()) {
        if (name.empty()) {
            out->push_back('@');
        } else {
            AppendQuoted(out, name);
        }
        out->push_back('=');
        AppendQuoted(out, value);
        out->push_back('\n');
    }
    for (const auto& [name, child] : key.SubkeyMap()) {
        SerializeKey(*child, path + "\\" + name, false, out);
    }
}

}  // namespace

std::optional<RegRoot> ParseRegRoot(std::string_view name) {
    for (const RootNames& r : kRootNames) {
        if (RegNamesEqual(name, r.shortName) || RegNamesEqual(name, r.longName)) return r.root;
    }
    return std::nullopt;
}

std::string_view RegRootName(RegRoot root) { return kRootNames[static_cast<size_t>(root)].longName; }

bool RegNamesEqual(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (FoldCase(a[i]) != FoldCase(b[i])) return false;
    }
    return true;
}

bool IsValidRegKeyName(std::string_view name) {
    if (name.empty() || name.size() > kMaxRegNameLength) return false;
    for (unsigned char c : name) {
        if (c == '\\' || IsControl(c)) return false;
    }
    return true;
}

bool RegNameLess::operator()(std::string_view a, std::string_view b) const {
    size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        char x = FoldCase(a[i]);
        char y = FoldCase(b[i]);
        if (x != y) return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
    }
    return a.size() < b.size();
}

RegistryKey* RegistryKey::FindSubkey(std::string_view name) {
    auto it = subkeys_.find(name);
    return it == subkeys_.end() ? nullptr : it->second.get();
}

const RegistryKey* RegistryKey::FindSubkey(std::string_view name) const {
    auto it = subkeys_.find(name);
    return it == subkeys_.end() ? nullptr : it->second.get();
}

RegistryKey* RegistryKey::CreateSubkey(std::string_view name) {
    if (!IsValidRegKeyName(name)) return nullptr;
    auto it = subkeys_.find(name);
    if (it != subkeys_.end()) return it->second.get();
    auto inserted = subkeys_.emplace(std::string(name), std::make_unique<RegistryKey>());
    return inserted.first->second.get();
}

bool RegistryKey::DeleteSubkey(std::string_view name) {
    auto it = subkeys_.find(name);
    if (it == subkeys_.end()) return false;
    subkeys_.erase(it);
    return true;
}

const std::string* RegistryKey::FindValue(std::string_view name) const {
    auto it = values_.find(name);
    return it == values_.end() ? nullptr : &it->second;
}

bool RegistryKey::SetValue(std::string_view name, std::string_view value) {
    if (!IsValidValueName(name)) return false;
    auto it = values_.find(name);
    if (it != values_.end()) {
        it->second.assign(value);
    } else {
        values_.emplace(std::string(name), std::string(value));
    }
    return true;
}

bool RegistryKey::DeleteValue(std::string_view name) {
    auto it = values_.find(name);
    if (it == values_.end()) return false;
    values_.erase(it);
    return true;
}

RegistryKey* RegistryTree::Find(RegRoot root, std::string_view path) {
    return const_cast<RegistryKey*>(static_cast<const RegistryTree*>(this)->Find(root, path));
}

const RegistryKey* RegistryTree::Find(RegRoot root, std::string_view path) const {
    std::vector<std::string_view> parts;
    if (!SplitPath(path, &parts)) return nullptr;
    const RegistryKey* key = &Root(root);
    for (std::string_view part : parts) {
        key = key->FindSubkey(part);
        if (key == nullptr) return nullptr;
    }
    return key;
}

RegistryKey* RegistryTree::Create(RegRoot root, std::string_view path) {
    std::vector<std::string_view> parts;
    if (!SplitPath(path, &parts)) return nullptr;
    RegistryKey* key = &Root(root);
    for (std::string_view part : parts) {
        key = key->CreateSubkey(part);
    }
    return key;
}

bool RegistryTree::Delete(RegRoot root, std::string_view path) {
    std::vector<std::string_view> parts;
    if (!SplitPath(path, &parts) || parts.empty()) return false;
    std::string_view last = parts.back();
    parts.pop_back();
    RegistryKey* parent = &Root(root);
    for (std::string_view part : parts) {
        parent = parent->FindSubkey(part);
        if (parent == nullptr) return false;
    }
    return parent->DeleteSubkey(last);
}

std::string RegistryTree::Serialize() const {
    std::string out(kFileHeader);
    out.push_back('\n');
    for (const RootNames& r : kRootNames) {
        SerializeKey(Root(r.root), std::string(r.longName), true, &out);
    }
    return out;
}

bool RegistryTree::Parse(std::string_view text, RegistryTree* out, std::string* error) {
    RegistryTree tree;
    RegistryKey* current = nullptr;
    size_t lineNumber = 0;
    size_t pos = 0;
    auto fail = [&](const char* reason) {
        if (error != nullptr) *error = "line " + std::to_string(lineNumber) + ": " + reason;
        return false;
    };
    bool headerSeen = false;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        std::string_view line = text.substr(pos, end == std::string_view::npos ? end : end - pos);
        pos = end == std::string_view::npos ? text.size() : end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (!headerSeen) {
            if (line != kFileHeader) return fail("not a registry file (header missing)");
            headerSeen = true;
            continue;
        }
        if (line.empty()) continue;
        if (line.front() == '[') {
            if (line.size() < 2 || line.back() != ']') return fail("key line without closing bracket");
            std::string_view path = line.substr(1, line.size() - 2);
            size_t slash = path.find('\\');
            std::string_view rootName = path.substr(0, slash);
            std::optional<RegRoot> root = ParseRegRoot(rootName);
            if (!root || !RegNamesEqual(rootName, RegRootName(*root))) return fail("key line does not start with a root name");
            std::string_view rest = slash == std::string_view::npos ? std::string_view() : path.substr(slash + 1);
            if (slash != std::string_view::npos && rest.empty()) return fail("empty key name");
            current = tree.Create(*root, rest);
            if (current == nullptr) return fail("invalid key name");
            continue;
        }
        if (current == nullptr) return fail("value outside of any key");
        std::string name;
        size_t i = 0;
        if (line.front() == '@') {
            i = 1;
        } else if (!ReadQuoted(line, &i, &name)) {
            return fail("malformed value name");
        }
        if (i >= line.size() || line[i] != '=') return fail("missing '=' after value name");
        ++i;
        std::string value;
        if (!ReadQuoted(line, &i, &value)) return fail("malformed value text");
        if (i != line.size()) return fail("text after value");
        if (line.front() != '@' && name.empty()) return fail("empty value name");
        if (!current->SetValue(name, value)) return fail("invalid value name");
    }
    if (!headerSeen) {
        lineNumber = 1;
        return fail("not a registry file (header missing)");
    }
    *out = std::move(tree);
    return true;
}

}  // namespace quenda
