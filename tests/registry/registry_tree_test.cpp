// Checks the in-memory registry: names, paths and the text form read back from damaged input.
#include "platform/registry/registry_tree.h"

#include <gtest/gtest.h>

#include <string>

namespace quenda {
namespace {

TEST(RegistryTreeTest, RootNamesShortLongAndCaseBlind) {
    EXPECT_EQ(ParseRegRoot("HKCR"), RegRoot::kClassesRoot);
    EXPECT_EQ(ParseRegRoot("hkey_classes_root"), RegRoot::kClassesRoot);
    EXPECT_EQ(ParseRegRoot("HKU"), RegRoot::kUsers);
    EXPECT_EQ(ParseRegRoot("HKEY_USERS"), RegRoot::kUsers);
    EXPECT_EQ(ParseRegRoot("hkpd"), RegRoot::kPerformanceData);
    EXPECT_EQ(ParseRegRoot("HKDD"), RegRoot::kDynData);
    EXPECT_EQ(ParseRegRoot("HKEY_CURRENT_CONFIG"), RegRoot::kCurrentConfig);
    EXPECT_EQ(ParseRegRoot("HKLM"), RegRoot::kLocalMachine);
    EXPECT_EQ(ParseRegRoot("HKEY_CURRENT_USER"), RegRoot::kCurrentUser);
    EXPECT_FALSE(ParseRegRoot("HKXX"));
    EXPECT_FALSE(ParseRegRoot(""));
}

TEST(RegistryTreeTest, KeysAndValuesAreCaseBlindAndKeepTheirFirstSpelling) {
    RegistryTree tree;
    RegistryKey* key = tree.Create(RegRoot::kClassesRoot, "CLSID\\{ABC}\\InprocServer32");
    ASSERT_NE(key, nullptr);
    ASSERT_TRUE(key->SetValue("ThreadingModel", "Apartment"));
    EXPECT_EQ(tree.Find(RegRoot::kClassesRoot, "clsid\\{abc}\\INPROCSERVER32"), key);
    ASSERT_NE(key->FindValue("threadingmodel"), nullptr);
    EXPECT_EQ(*key->FindValue("THREADINGMODEL"), "Apartment");
    // Writing with another spelling updates the same value.
    key->SetValue("THREADINGMODEL", "Both");
    EXPECT_EQ(key->ValueMap().size(), 1u);
    EXPECT_EQ(key->ValueMap().begin()->first, "ThreadingModel");
    EXPECT_EQ(tree.Root(RegRoot::kClassesRoot).SubkeyMap().begin()->first, "CLSID");
    EXPECT_EQ(tree.Find(RegRoot::kCurrentUser, "CLSID"), nullptr);
}

TEST(RegistryTreeTest, MalformedPathsCreateNothing) {
    RegistryTree tree;
    EXPECT_EQ(tree.Create(RegRoot::kClassesRoot, "A\\\\B"), nullptr);
    EXPECT_EQ(tree.Create(RegRoot::kClassesRoot, "A\\"), nullptr);
    EXPECT_EQ(tree.Create(RegRoot::kClassesRoot, "\\A"), nullptr);
    EXPECT_EQ(tree.Create(RegRoot::kClassesRoot, std::string("A\nB")), nullptr);
    EXPECT_EQ(tree.Create(RegRoot::kClassesRoot, std::string(256, 'x')), nullptr);
    std::string deep;
    for (int i = 0; i <= kMaxRegKeyDepth; ++i) deep += (i ? "\\k" : "k");
    EXPECT_EQ(tree.Create(RegRoot::kClassesRoot, deep), nullptr);
    EXPECT_TRUE(tree.Root(RegRoot::kClassesRoot).SubkeyMap().empty());
    EXPECT_FALSE(tree.Delete(RegRoot::kClassesRoot, ""));
}

TEST(RegistryTreeTest, DeleteRemovesTheWholeSubtreeOnly) {
    RegistryTree tree;
    tree.Create(RegRoot::kClassesRoot, "A\\B\\C");
    tree.Create(RegRoot::kClassesRoot, "A\\D");
    EXPECT_TRUE(tree.Delete(RegRoot::kClassesRoot, "a\\b"));
    EXPECT_EQ(tree.Find(RegRoot::kClassesRoot, "A\\B\\C"), nullptr);
    EXPECT_NE(tree.Find(RegRoot::kClassesRoot, "A\\D"), nullptr);
    EXPECT_FALSE(tree.Delete(RegRoot::kClassesRoot, "A\\B"));
}

TEST(RegistryTreeTest, TextFormRoundTripsAwkwardValues) {
    RegistryTree tree;
    RegistryKey* key = tree.Create(RegRoot::kLocalMachine, "Software\\Odd [name] \"q\"");
    ASSERT_NE(key, nullptr);
    key->SetValue("", "default with \"quotes\" and \\backslash\\");
    key->SetValue("multi", std::string("line1\nline2\r\t\x01\x7f end"));
    key->SetValue("utf8",
                  "gr\xC3\xBC\xC3\x9F"
                  "e");
    key->SetValue("empty", "");
    tree.Create(RegRoot::kLocalMachine, "Software\\EmptyKey");
    tree.Root(RegRoot::kUsers).SetValue("rootvalue", "r");

    std::string text = tree.Serialize();
    RegistryTree back;
    std::string error;
    ASSERT_TRUE(RegistryTree::Parse(text, &back, &error)) << error;
    EXPECT_EQ(back.Serialize(), text);
    const RegistryKey* read = back.Find(RegRoot::kLocalMachine, "Software\\Odd [name] \"q\"");
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(*read->FindValue(""), "default with \"quotes\" and \\backslash\\");
    EXPECT_EQ(*read->FindValue("multi"), std::string("line1\nline2\r\t\x01\x7f end"));
    EXPECT_EQ(*read->FindValue("utf8"),
              "gr\xC3\xBC\xC3\x9F"
              "e");
    EXPECT_EQ(*read->FindValue("empty"), "");
    EXPECT_NE(back.Find(RegRoot::kLocalMachine, "Software\\EmptyKey"), nullptr);
    EXPECT_EQ(*back.Root(RegRoot::kUsers).FindValue("rootvalue"), "r");
    // One value per line: an embedded line break must not split a record.
    EXPECT_EQ(text.find("line1\nline2"), std::string::npos);
}

TEST(RegistryTreeTest, DamagedTextIsRefusedWithLineAndLeavesTheTargetAlone) {
    const std::string header = "QUENDA REGISTRY 1\n";
    const char* bad[] = {
        "",                                        // no header
        "REGEDIT4\n[HKEY_CLASSES_ROOT\\A]\n",      // another format
        "[HKEY_CLASSES_ROOT\\A",                   // no closing bracket
        "[HKCR\\A]\n",                             // short root names are not written by us
        "[HKEY_NOWHERE\\A]\n",                     // unknown root
        "[HKEY_CLASSES_ROOT\\A\\\\B]\n",           // empty key name
        "[HKEY_CLASSES_ROOT\\]\n",                 // empty key name
        "@=\"x\"\n",                               // value before any key
        "[HKEY_CLASSES_ROOT\\A]\n@=\"open\n",      // unterminated text
        "[HKEY_CLASSES_ROOT\\A]\n@=\"x\" tail\n",  // text after the value
        "[HKEY_CLASSES_ROOT\\A]\n\"n\"\"x\"\n",    // no '='
        "[HKEY_CLASSES_ROOT\\A]\n\"\"=\"x\"\n",    // empty name written in quotes
        "[HKEY_CLASSES_ROOT\\A]\n@=\"\\q\"\n",     // unknown escape
        "[HKEY_CLASSES_ROOT\\A]\n@=\"\\x4\"\n",    // short hex escape
        "[HKEY_CLASSES_ROOT\\A]\n@=\"\\xZZ\"\n",   // bad hex escape
        "[HKEY_CLASSES_ROOT\\A]\n@=\"trailing backslash\\",
        "[HKEY_CLASSES_ROOT\\A]\nname=\"x\"\n",        // unquoted name
        "[HKEY_CLASSES_ROOT\\A]\n\"a\\x01\"=\"x\"\n",  // control character in a name
    };
    for (size_t i = 0; i < sizeof bad / sizeof bad[0]; ++i) {
        std::string text = (i < 2) ? std::string(bad[i]) : header + bad[i];
        RegistryTree target;
        target.Create(RegRoot::kClassesRoot, "Keep");
        std::string error;
        EXPECT_FALSE(RegistryTree::Parse(text, &target, &error)) << "case " << i;
        EXPECT_NE(error.find("line "), std::string::npos) << "case " << i << ": " << error;
        EXPECT_NE(target.Find(RegRoot::kClassesRoot, "Keep"), nullptr) << "case " << i;
    }
}

}  // namespace
}  // namespace quenda
