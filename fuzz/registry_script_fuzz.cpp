// Fuzzes the registry-script runner with whole scripts in both modes against a registry that
// already holds keys: a script that fails changes nothing, one that runs leaves a registry that
// writes and reads back the same.
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "platform/registry/registry_script.h"

using namespace quenda;

namespace {

const std::vector<ScriptReplacement> kReplacements = {
    {"MODULE", "/usr/lib/quenda/libtarnel.so"},
    {"CLSID", "{5E1A0001-7C3B-4D21-9A11-202612070001}"},
    {"EMPTY", ""},
};

RegistryTree StartingTree() {
    RegistryTree tree;
    tree.Create(RegRoot::kClassesRoot, "CLSID\\{00000000-0000-0000-0000-000000000001}")
        ->SetValue("", "Other");
    tree.Create(RegRoot::kClassesRoot, "Quenda.Port\\CLSID")->SetValue("", "old");
    tree.Create(RegRoot::kCurrentUser, "Software\\Quenda")->SetValue("Kept", "yes");
    return tree;
}

void RunOnce(std::string_view script, ScriptMode mode, RegistryTree* tree) {
    const std::string before = tree->Serialize();
    std::string error;
    if (!RunRegistryScript(script, kReplacements, mode, tree, &error)) {
        FUZZ_CHECK(!error.empty());
        FUZZ_CHECK(tree->Serialize() == before);
        return;
    }
    const std::string after = tree->Serialize();
    RegistryTree again;
    FUZZ_CHECK(RegistryTree::Parse(after, &again, &error));
    FUZZ_CHECK(again.Serialize() == after);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view script = fuzz::AsText(data, size);
    RegistryTree tree = StartingTree();
    RunOnce(script, ScriptMode::kRegister, &tree);
    RunOnce(script, ScriptMode::kUnregister, &tree);
    RegistryTree fresh = StartingTree();
    RunOnce(script, ScriptMode::kUnregister, &fresh);
    return 0;
}
