// Checks registration scripts: what registering writes, what unregistering takes away.
#include "platform/registry/registry_script.h"

#include <gtest/gtest.h>

#include <string>

namespace quenda {
namespace {

// Shaped like a control library's own script.
const char kScript[] = R"(
HKCR
{
    Test.Control.1 = s 'Test Control'
    {
        CLSID = s '{11111111-2222-3333-4444-555555555555}'
        'Insertable'
    }
    Test.Control = s 'Test Control'
    {
        CLSID = s '{11111111-2222-3333-4444-555555555555}'
        CurVer = s 'Test.Control.1'
    }
    NoRemove CLSID
    {
        ForceRemove {11111111-2222-3333-4444-555555555555} = s 'Test Control'
        {
            ProgID = s 'Test.Control.1'
            ForceRemove 'Programmable'
            InprocServer32 = s '%MODULE%'
            {
                val ThreadingModel = s 'Apartment'
            }
            ForceRemove 'ToolboxBitmap32' = s '%MODULE%, 101'
            'MiscStatus' = s '0'
            {
                '1' = s '132497'
            }
        }
    }
}
)";

const char kClassKey[] = "CLSID\\{11111111-2222-3333-4444-555555555555}";

bool RunScript(std::string_view script, ScriptMode mode, RegistryTree* tree,
               std::string* error = nullptr, std::string module = "/opt/lib/libtest.so") {
    std::string ignored;
    return RunRegistryScript(script, {{"MODULE", module}}, mode, tree, error ? error : &ignored);
}

std::string Value(const RegistryTree& tree, std::string_view path, std::string_view name = "") {
    const RegistryKey* key = tree.Find(RegRoot::kClassesRoot, path);
    const std::string* value = key ? key->FindValue(name) : nullptr;
    return value ? *value : "<missing>";
}

TEST(RegistryScriptTest, RegisterWritesKeysValuesAndModulePath) {
    RegistryTree tree;
    std::string error;
    ASSERT_TRUE(RunScript(kScript, ScriptMode::kRegister, &tree, &error, "/a dir/it's%lib.so"))
        << error;
    EXPECT_EQ(Value(tree, "Test.Control.1"), "Test Control");
    EXPECT_EQ(Value(tree, "Test.Control.1\\CLSID"), "{11111111-2222-3333-4444-555555555555}");
    EXPECT_NE(tree.Find(RegRoot::kClassesRoot, "Test.Control.1\\Insertable"), nullptr);
    EXPECT_EQ(Value(tree, "Test.Control\\CurVer"), "Test.Control.1");
    std::string cls = kClassKey;
    EXPECT_EQ(Value(tree, cls), "Test Control");
    // The path is substituted after quoting, so quotes and percent signs in it survive.
    EXPECT_EQ(Value(tree, cls + "\\InprocServer32"), "/a dir/it's%lib.so");
    EXPECT_EQ(Value(tree, cls + "\\InprocServer32", "ThreadingModel"), "Apartment");
    EXPECT_EQ(Value(tree, cls + "\\ToolboxBitmap32"), "/a dir/it's%lib.so, 101");
    EXPECT_EQ(Value(tree, cls + "\\MiscStatus\\1"), "132497");
    EXPECT_NE(tree.Find(RegRoot::kClassesRoot, cls + "\\Programmable"), nullptr);
}

TEST(RegistryScriptTest, ForceRemoveClearsStaleContentBeforeWriting) {
    RegistryTree tree;
    std::string cls = kClassKey;
    tree.Create(RegRoot::kClassesRoot, cls + "\\Stale\\Deep");
    tree.Create(RegRoot::kClassesRoot, "Test.Control.1\\Extra");
    ASSERT_TRUE(RunScript(kScript, ScriptMode::kRegister, &tree));
    EXPECT_EQ(tree.Find(RegRoot::kClassesRoot, cls + "\\Stale"), nullptr);
    // Plain keys are merged, not cleared.
    EXPECT_NE(tree.Find(RegRoot::kClassesRoot, "Test.Control.1\\Extra"), nullptr);
}

TEST(RegistryScriptTest, UnregisterRemovesTheClassButKeepsSharedAndForeignKeys) {
    RegistryTree tree;
    tree.Create(RegRoot::kClassesRoot, "CLSID\\{OTHER}")->SetValue("", "Other");
    tree.Create(RegRoot::kClassesRoot, "Test.Control")->SetValue("Foreign", "kept");
    ASSERT_TRUE(RunScript(kScript, ScriptMode::kRegister, &tree));
    ASSERT_TRUE(RunScript(kScript, ScriptMode::kUnregister, &tree));

    EXPECT_EQ(tree.Find(RegRoot::kClassesRoot, "Test.Control.1"), nullptr);
    EXPECT_EQ(tree.Find(RegRoot::kClassesRoot, kClassKey), nullptr);
    EXPECT_NE(tree.Find(RegRoot::kClassesRoot, "CLSID"), nullptr);
    EXPECT_EQ(Value(tree, "CLSID\\{OTHER}"), "Other");
    // A value the script never wrote keeps its key alive; the script's own parts are gone.
    EXPECT_EQ(Value(tree, "Test.Control", "Foreign"), "kept");
    EXPECT_EQ(Value(tree, "Test.Control"), "<missing>");
    EXPECT_EQ(tree.Find(RegRoot::kClassesRoot, "Test.Control\\CurVer"), nullptr);

    // Unregistering what is not there is harmless.
    ASSERT_TRUE(RunScript(kScript, ScriptMode::kUnregister, &tree));
    EXPECT_NE(tree.Find(RegRoot::kClassesRoot, "CLSID\\{OTHER}"), nullptr);
}

TEST(RegistryScriptTest, SharedParentsSurviveScriptsThatForgetNoRemove) {
    RegistryTree tree;
    tree.Create(RegRoot::kClassesRoot, "CLSID\\{OTHER}");
    tree.Create(RegRoot::kClassesRoot, "TypeLib\\{LIB}");
    const char script[] =
        "HKCR { ForceRemove CLSID { ForceRemove {MINE} = s 'x' } Delete TypeLib }";
    ASSERT_TRUE(RunScript(script, ScriptMode::kRegister, &tree));
    EXPECT_NE(tree.Find(RegRoot::kClassesRoot, "CLSID\\{OTHER}"), nullptr);
    EXPECT_NE(tree.Find(RegRoot::kClassesRoot, "CLSID\\{MINE}"), nullptr);
    EXPECT_NE(tree.Find(RegRoot::kClassesRoot, "TypeLib\\{LIB}"), nullptr);
    ASSERT_TRUE(RunScript(script, ScriptMode::kUnregister, &tree));
    EXPECT_NE(tree.Find(RegRoot::kClassesRoot, "CLSID\\{OTHER}"), nullptr);
    EXPECT_EQ(tree.Find(RegRoot::kClassesRoot, "CLSID\\{MINE}"), nullptr);
}

TEST(RegistryScriptTest, DeleteKeywordAndOtherRoots) {
    RegistryTree tree;
    tree.Create(RegRoot::kCurrentUser, "Software\\Old\\Sub");
    const char script[] =
        "HKEY_CURRENT_USER { Software { delete Old\n New = s 'it''s' { val 'a b' = S 'c' } } }";
    ASSERT_TRUE(RunScript(script, ScriptMode::kRegister, &tree));
    EXPECT_EQ(tree.Find(RegRoot::kCurrentUser, "Software\\Old"), nullptr);
    const RegistryKey* added = tree.Find(RegRoot::kCurrentUser, "Software\\New");
    ASSERT_NE(added, nullptr);
    EXPECT_EQ(*added->FindValue(""), "it's");
    EXPECT_EQ(*added->FindValue("a b"), "c");
    ASSERT_TRUE(RunScript(script, ScriptMode::kUnregister, &tree));
    EXPECT_EQ(tree.Find(RegRoot::kCurrentUser, "Software"), nullptr);
}

TEST(RegistryScriptTest, BrokenScriptsChangeNothingAndSayWhere) {
    struct Case {
        const char* script;
        const char* where;
    } cases[] = {
        {"HKCR { A = s 'x' } HKXX { }", "line 1"},
        {"HKCR\n{\n  A = s 'x'\n", "missing '}'"},
        {"HKCR { A = d '5' }", "only string values"},
        {"HKCR { A = s }", "missing value text"},
        {"HKCR { A = s 'open }", "unterminated"},
        {"HKCR { val x = s 'y' }", "enclosing key"},
        {"HKCR { A = s '%NOPE%' }", "unknown placeholder"},
        {"HKCR { A = s '%MODULE' }", "unterminated '%'"},
        {"HKCR { 'a\\b' }", "invalid name"},
        {"HKCR { = }", "expected a name"},
        {"HKCR A", "expected '{'"},
        {"{ }", "root key name"},
        {"HKCR\n{\n  A\n  {\n    B = s 'x' =\n  }\n}", "line 5"},
    };
    for (const Case& c : cases) {
        RegistryTree tree;
        tree.Create(RegRoot::kClassesRoot, "Keep");
        std::string error;
        EXPECT_FALSE(RunScript(c.script, ScriptMode::kRegister, &tree, &error)) << c.script;
        EXPECT_NE(error.find(c.where), std::string::npos) << c.script << " -> " << error;
        EXPECT_EQ(tree.Root(RegRoot::kClassesRoot).SubkeyMap().size(), 1u) << c.script;
    }
}

TEST(RegistryScriptTest, DeepNestingIsRefusedNotRecursedInto) {
    std::string script = "HKCR ";
    for (int i = 0; i < 5000; ++i) script += "{ k ";
    RegistryTree tree;
    std::string error;
    EXPECT_FALSE(RunScript(script, ScriptMode::kRegister, &tree, &error));
    EXPECT_TRUE(tree.Root(RegRoot::kClassesRoot).SubkeyMap().empty());
}

}  // namespace
}  // namespace quenda
