// Runs self-registration scripts (nested keys in braces) against a registry tree.
#include "platform/registry/registry_script.h"

#include <optional>

namespace quenda {
namespace {

struct Token {
    std::string text;     // the word, or the quoted text without its quotes
    bool quoted = false;  // written in single quotes (never a keyword or punctuation)
    int line = 0;         // where it starts, for error texts
};

enum class KeyFlag { kNone, kNoRemove, kForceRemove, kDelete };

struct ScriptKey {
    std::string name;
    KeyFlag flag = KeyFlag::kNone;
    std::optional<std::string> defaultValue;                   // "= s 'text'" after the name
    std::vector<std::pair<std::string, std::string>> values;  // "val name = s 'text'" entries
    std::vector<ScriptKey> subkeys;
};

struct ScriptRoot {
    RegRoot root;
    std::vector<ScriptKey> keys;
};

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

class Parser {
public:
    Parser(std::string_view script, const std::vector<ScriptReplacement>& replacements)
        : script_(script), replacements_(replacements) {}

    bool Parse(std::vector<ScriptRoot>* roots) {
        if (!Tokenize()) return false;
        while (pos_ < tokens_.size()) {
            const Token& rootToken = tokens_[pos_++];
            std::optional<RegRoot> root = rootToken.quoted ? std::nullopt : ParseRegRoot(rootToken.text);
            if (!root) return Fail(rootToken.line, "expected a root key name, found '" + rootToken.text + "'");
            ScriptRoot scriptRoot{*root, {}};
            if (!Expect("{")) return false;
            if (!ParseBody(&scriptRoot.keys, nullptr, 1)) return false;
            roots->push_back(std::move(scriptRoot));
        }
        return true;
    }

    const std::string& Error() const { return error_; }

private:
    bool Fail(int line, const std::string& reason) {
        error_ = "registry script line " + std::to_string(line) + ": " + reason;
        return false;
    }

    bool IsPunct(const Token& t, std::string_view p) const { return !t.quoted && t.text == p; }
    bool IsKeyword(const Token& t, std::string_view k) const { return !t.quoted && RegNamesEqual(t.text, k); }

    int CurrentLine() const { return pos_ < tokens_.size() ? tokens_[pos_].line : lastLine_; }

    bool Expect(std::string_view punct) {
        if (pos_ >= tokens_.size() || !IsPunct(tokens_[pos_], punct)) {
            return Fail(CurrentLine(), "expected '" + std::string(punct) + "'");
        }
        ++pos_;
        return true;
    }

    // Reads "= s 'text'" (the '=' already consumed) into *value.
    bool ParseStringValue(std::string* value) {
        if (pos_ >= tokens_.size() || !IsKeyword(tokens_[pos_], "s")) {
            return Fail(CurrentLine(), "only string values (s) are supported");
        }
        ++pos_;
        if (pos_ >= tokens_.size() || IsPunct(tokens_[pos_], "{") || IsPunct(tokens_[pos_], "}")) {
            return Fail(CurrentLine(), "missing value text");
        }
        *value = tokens_[pos_++].text;
        return true;
    }

    bool ReadName(std::string* name, bool key) {
        if (pos_ >= tokens_.size()) return Fail(CurrentLine(), "unexpected end of script");
        const Token& t = tokens_[pos_];
        if (IsPunct(t, "{") || IsPunct(t, "}") || IsPunct(t, "=")) return Fail(t.line, "expected a name");
        bool valid = key ? IsValidRegKeyName(t.text) : !t.text.empty() && t.text.size() <= kMaxRegNameLength;
        if (!valid) return Fail(t.line, "invalid name '" + t.text + "'");
        *name = t.text;
        ++pos_;
        return true;
    }

    // Parses entries up to and including the closing brace.
    bool ParseBody(std::vector<ScriptKey>* keys, ScriptKey* owner, int depth) {
        if (depth > kMaxRegKeyDepth) return Fail(CurrentLine(), "keys nested too deeply");
        while (true) {
            if (pos_ >= tokens_.size()) return Fail(lastLine_, "missing '}'");
            const Token& t = tokens_[pos_];
            if (IsPunct(t, "}")) {
                ++pos_;
                return true;
            }
            if (IsKeyword(t, "val")) {
                if (owner == nullptr) return Fail(t.line, "a value needs an enclosing key");
                ++pos_;
                std::string name;
                std::string value;
                if (!ReadName(&name, false) || !Expect("=") || !ParseStringValue(&value)) return false;
                owner->values.emplace_back(std::move(name), std::move(value));
                continue;
            }
            ScriptKey key;
            if (IsKeyword(t, "NoRemove")) {
                key.flag = KeyFlag::kNoRemove;
                ++pos_;
            } else if (IsKeyword(t, "ForceRemove")) {
                key.flag = KeyFlag::kForceRemove;
                ++pos_;
            } else if (IsKeyword(t, "Delete")) {
                key.flag = KeyFlag::kDelete;
                ++pos_;
            }
            if (!ReadName(&key.name, true)) return false;
            if (pos_ < tokens_.size() && IsPunct(tokens_[pos_], "=")) {
                ++pos_;
                std::string value;
                if (!ParseStringValue(&value)) return false;
                key.defaultValue = std::move(value);
            }
            if (pos_ < tokens_.size() && IsPunct(tokens_[pos_], "{")) {
                ++pos_;
                if (!ParseBody(&key.subkeys, &key, depth + 1)) return false;
            }
            keys->push_back(std::move(key));
        }
    }

    bool Substitute(std::string_view raw, int line, std::string* out) {
        out->clear();
        size_t i = 0;
        while (i < raw.size()) {
            if (raw[i] != '%') {
                out->push_back(raw[i++]);
                continue;
            }
            size_t close = raw.find('%', i + 1);
            if (close == std::string_view::npos) return Fail(line, "unterminated '%' placeholder");
            std::string_view name = raw.substr(i + 1, close - i - 1);
            if (name.empty()) {
                out->push_back('%');
            } else {
                const ScriptReplacement* found = nullptr;
                for (const ScriptReplacement& r : replacements_) {
                    if (RegNamesEqual(r.first, name)) found = &r;
                }
                if (found == nullptr) return Fail(line, "unknown placeholder %" + std::string(name) + "%");
                out->append(found->second);
            }
            i = close + 1;
        }
        return true;
    }

    bool Tokenize() {
        int line = 1;
        size_t i = 0;
        while (i < script_.size()) {
            char c = script_[i];
            if (c == '\n') ++line;
            if (IsSpace(c)) {
                ++i;
                continue;
            }
            Token token;
            token.line = line;
            std::string raw;
            if (c == '\'') {
                token.quoted = true;
                ++i;
                bool closed = false;
                while (i < script_.size()) {
                    char q = script_[i++];
                    if (q == '\'') {
                        if (i < script_.size() && script_[i] == '\'') {
                            raw.push_back('\'');
                            ++i;
                            continue;
                        }
                        closed = true;
                        break;
                    }
                    if (q == '\n') ++line;
                    raw.push_back(q);
                }
                if (!closed) return Fail(token.line, "unterminated quoted text");
            } else if (c == '=') {
                raw = "=";
                ++i;
            } else {
                while (i < script_.size() && !IsSpace(script_[i]) && script_[i] != '=' && script_[i] != '\'') {
                    raw.push_back(script_[i++]);
                }
            }
            if (!Substitute(raw, token.line, &token.text)) return false;
            tokens_.push_back(std::move(token));
        }
        lastLine_ = line;
        return true;
    }

    std::string_view script_;
    const std::vector<ScriptReplacement>& replacements_;
    std::vector<Token> tokens_;
    size_t pos_ = 0;
    int lastLine_ = 1;
    std::string error_;
};

// The shared parents every registration lives under.
bool IsProtected(const std::string& name, bool directlyUnderRoot) {
    return directlyUnderRoot && (RegNamesEqual(name, "CLSID") || RegNamesEqual(name, "TypeLib"));
}

void Register(RegistryKey& parent, const ScriptKey& key, bool underRoot) {
    bool isProtected = IsProtected(key.name, underRoot);
    if (key.flag == KeyFlag::kDelete) {
        if (!isProtected) parent.DeleteSubkey(key.name);
        return;
    }
    if (key.flag == KeyFlag::kForceRemove && !isProtected) parent.DeleteSubkey(key.name);
    RegistryKey* target = parent.CreateSubkey(key.name);
    if (target == nullptr) return;  // names were checked while parsing
    if (key.defaultValue) target->SetValue("", *key.defaultValue);
    for (const auto& [name, value] : key.values) target->SetValue(name, value);
    for (const ScriptKey& child : key.subkeys) Register(*target, child, false);
}

void Unregister(RegistryKey& parent, const ScriptKey& key, bool underRoot) {
    RegistryKey* target = parent.FindSubkey(key.name);
    if (target == nullptr || key.flag == KeyFlag::kDelete) return;
    bool keep = key.flag == KeyFlag::kNoRemove || IsProtected(key.name, underRoot);
    if (key.flag == KeyFlag::kForceRemove && !keep) {
        parent.DeleteSubkey(key.name);
        return;
    }
    for (const ScriptKey& child : key.subkeys) Unregister(*target, child, false);
    if (keep) return;
    if (key.defaultValue) target->DeleteValue("");
    for (const auto& [name, value] : key.values) target->DeleteValue(name);
    if (target->SubkeyMap().empty() && target->ValueMap().empty()) parent.DeleteSubkey(key.name);
}

}  // namespace

bool RunRegistryScript(std::string_view script, const std::vector<ScriptReplacement>& replacements,
                       ScriptMode mode, RegistryTree* tree, std::string* error) {
    Parser parser(script, replacements);
    std::vector<ScriptRoot> roots;
    if (!parser.Parse(&roots)) {
        if (error != nullptr) *error = parser.Error();
        return false;
    }
    for (const ScriptRoot& root : roots) {
        RegistryKey& rootKey = tree->Root(root.root);
        for (const ScriptKey& key : root.keys) {
            if (mode == ScriptMode::kRegister) {
                Register(rootKey, key, true);
            } else {
                Unregister(rootKey, key, true);
            }
        }
    }
    return true;
}

}  // namespace quenda
