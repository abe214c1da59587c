// Runs self-registration scripts (nested keys in braces) against a registry tree.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/registry/registry_tree.h"

namespace quenda {

enum class ScriptMode {
    kRegister,    // create keys and set values
    kUnregister,  // remove what the script creates
};

// A "%NAME%" placeholder and the text that replaces it (the name without the percent signs).
using ScriptReplacement = std::pair<std::string, std::string>;

// Runs script against tree.
//
// Grammar: one or more `ROOT { ... }` blocks (ROOT: HKCR, HKCU, HKLM, HKU, HKPD, HKDD, HKCC or
// their long names). Inside braces, entries are
//   [NoRemove|ForceRemove|Delete] name [= s 'text'] [{ ... }]   a key, its default value and subkeys
//   val name = s 'text'                                         a named value of the enclosing key
// Tokens are separated by white space; '{', '}' and '=' stand alone; a name is a word or a text
// in single quotes ('' inside quotes is one quote). Keywords are case-blind. In names and texts,
// "%NAME%" becomes its replacement and "%%" a single percent sign.
//
// Register mode: ForceRemove deletes the key with its subtree before writing it; Delete only
// deletes the key. Unregister mode: ForceRemove keys go with their subtree; other keys lose the
// values the script sets and go when nothing else remains in them; NoRemove keys stay (their
// subkeys are still processed); Delete keys are left alone. The shared parents "CLSID" and
// "TypeLib" directly under a root are never deleted in either mode.
//
// The whole script is parsed before anything changes: a script that does not parse, an
// unknown placeholder or nesting deeper than kMaxRegKeyDepth returns false with *tree
// unchanged and a reason with the line number in *error.
bool RunRegistryScript(std::string_view script, const std::vector<ScriptReplacement>& replacements,
                       ScriptMode mode, RegistryTree* tree, std::string* error);

}  // namespace quenda
