// Checks the registry file: reading back, damaged files left alone, and writers in parallel.
#include "platform/registry/registry.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "tests/support/temp_directory.h"

namespace quenda {
namespace {

using test::TempDirectory;

TEST(RegistryFileTest, MissingFileIsAnEmptyRegistryAndValuesSurviveANewReader) {
    TempDirectory dir;
    Registry registry(dir / "sub/registry");
    RegistryTree tree;
    EXPECT_EQ(registry.Read(&tree), RegStatus::kOk);
    std::string value;
    EXPECT_EQ(registry.QueryString(RegRoot::kClassesRoot, "A", "", &value), RegStatus::kNotFound);

    ASSERT_EQ(registry.SetString(RegRoot::kClassesRoot, "A\\B", "", "default"), RegStatus::kOk);
    ASSERT_EQ(registry.SetString(RegRoot::kClassesRoot, "A\\B", "Named", "n"), RegStatus::kOk);

    Registry other(dir / "sub/registry");
    ASSERT_EQ(other.QueryString(RegRoot::kClassesRoot, "a\\b", "", &value), RegStatus::kOk);
    EXPECT_EQ(value, "default");
    ASSERT_EQ(other.QueryString(RegRoot::kClassesRoot, "A\\B", "named", &value), RegStatus::kOk);
    EXPECT_EQ(value, "n");
    EXPECT_EQ(other.QueryString(RegRoot::kClassesRoot, "A\\B", "other", &value), RegStatus::kNotFound);

    EXPECT_EQ(other.DeleteKey(RegRoot::kClassesRoot, "A"), RegStatus::kOk);
    EXPECT_EQ(registry.QueryString(RegRoot::kClassesRoot, "A\\B", "", &value), RegStatus::kNotFound);
    EXPECT_EQ(registry.DeleteKey(RegRoot::kClassesRoot, "A"), RegStatus::kNotFound);
    EXPECT_EQ(registry.SetString(RegRoot::kClassesRoot, "A\\\\B", "", "x"), RegStatus::kInvalidArgument);

    // Nothing but the file and its lock is left behind.
    int entries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir / "sub")) {
        std::string name = entry.path().filename().string();
        EXPECT_TRUE(name == "registry" || name == "registry.lock") << name;
        ++entries;
    }
    EXPECT_EQ(entries, 2);
}

TEST(RegistryFileTest, DamagedFileIsReportedAndNeverOverwritten) {
    TempDirectory dir;
    std::filesystem::path file = dir / "registry";
    std::string garbage = "QUENDA REGISTRY 1\n[HKEY_CLASSES_ROOT\\A]\n@=\"unterminated\n";
    garbage += '\0';
    garbage += '\xff';
    TempDirectory::WriteText(file, garbage);
    Registry registry(file);

    RegistryTree tree;
    tree.Create(RegRoot::kClassesRoot, "Stale");
    std::string error;
    EXPECT_EQ(registry.Read(&tree, &error), RegStatus::kDamaged);
    EXPECT_EQ(tree.Find(RegRoot::kClassesRoot, "Stale"), nullptr);
    EXPECT_NE(error.find(file.string()), std::string::npos) << error;
    EXPECT_NE(error.find("line 3"), std::string::npos) << error;

    bool called = false;
    EXPECT_EQ(registry.Update([&](RegistryTree&) { return called = true; }, &error), RegStatus::kDamaged);
    EXPECT_FALSE(called);
    EXPECT_EQ(registry.SetString(RegRoot::kClassesRoot, "B", "", "x"), RegStatus::kDamaged);
    EXPECT_EQ(TempDirectory::ReadText(file), garbage);
}

TEST(RegistryFileTest, OversizedOrNonRegularFilesAreDamaged) {
    TempDirectory dir;
    std::filesystem::path big = dir / "big";
    TempDirectory::WriteText(big, "QUENDA REGISTRY 1\n" + std::string(kMaxRegistryFileSize, '\n'));
    RegistryTree tree;
    EXPECT_EQ(Registry(big).Read(&tree), RegStatus::kDamaged);
    std::filesystem::create_directory(dir / "folder");
    EXPECT_EQ(Registry(dir / "folder").Read(&tree), RegStatus::kDamaged);
    // A FIFO nobody writes to must not stall the reader.
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    EXPECT_EQ(Registry(dir / "fifo").Read(&tree), RegStatus::kDamaged);
}

TEST(RegistryFileTest, UpdateThatDeclinesWritesNothing) {
    TempDirectory dir;
    Registry registry(dir / "registry");
    ASSERT_EQ(registry.Update([](RegistryTree& t) {
                  t.Create(RegRoot::kClassesRoot, "X");
                  return false;
              }),
              RegStatus::kOk);
    EXPECT_FALSE(std::filesystem::exists(dir / "registry"));
}

TEST(RegistryFileTest, DefaultPathFollowsTheEnvironment) {
    const char* saved = std::getenv(kRegistryPathVariable);
    std::string savedValue = saved ? saved : "";
    ::unsetenv(kRegistryPathVariable);
    ::setenv("XDG_CONFIG_HOME", "/cfg", 1);
    EXPECT_EQ(Registry::DefaultPath(), std::filesystem::path("/cfg/quenda/registry"));
    Registry::SetProcessPath("/elsewhere/reg");
    EXPECT_EQ(Registry::DefaultPath(), std::filesystem::path("/elsewhere/reg"));
    if (saved) {
        ::setenv(kRegistryPathVariable, savedValue.c_str(), 1);
    } else {
        ::unsetenv(kRegistryPathVariable);
    }
}

TEST(RegistryFileTest, ParallelWritersInSeveralProcessesLoseNothing) {
    TempDirectory dir;
    std::filesystem::path file = dir / "registry";
    constexpr int kProcesses = 4;
    constexpr int kWrites = 25;
    pid_t children[kProcesses];
    for (int p = 0; p < kProcesses; ++p) {
        children[p] = ::fork();
        ASSERT_GE(children[p], 0);
        if (children[p] == 0) {
            Registry registry(file);
            int failures = 0;
            for (int i = 0; i < kWrites; ++i) {
                std::string key = "P" + std::to_string(p) + "\\K" + std::to_string(i);
                if (registry.SetString(RegRoot::kCurrentUser, key, "", "v") != RegStatus::kOk) ++failures;
            }
            ::_exit(failures == 0 ? 0 : 1);
        }
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    RegistryTree tree;
    ASSERT_EQ(Registry(file).Read(&tree), RegStatus::kOk);
    for (int p = 0; p < kProcesses; ++p) {
        for (int i = 0; i < kWrites; ++i) {
            std::string key = "P" + std::to_string(p) + "\\K" + std::to_string(i);
            EXPECT_NE(tree.Find(RegRoot::kCurrentUser, key), nullptr) << key;
        }
    }
}

}  // namespace
}  // namespace quenda
