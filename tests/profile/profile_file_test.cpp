// INI reading and writing with the profile functions' rules.
#include "platform/profile/profile_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "tests/support/file_size_limit.h"
#include "tests/support/temp_directory.h"

namespace quenda {
namespace {

TEST(ProfileFile, ReadsCaseBlindTrimmedAndUnquoted) {
    const ProfileFile profile = ProfileFile::Parse(
        "; comment\r\n[Options]\r\n  Log_Detail =  3  \r\nquoted=\"  a b \"\r\nempty=\r\n"
        "[OPTIONS]\r\nlog_detail=9\r\n[other]\r\nx=1\r\n");
    EXPECT_EQ(profile.Get("OPTIONS", "LOG_DETAIL"), "3");  // first section, first key
    EXPECT_EQ(profile.Get("options", "QUOTED"), "  a b ");
    EXPECT_EQ(profile.Get("OPTIONS", "EMPTY"), "");
    EXPECT_EQ(profile.Get("OPTIONS", "x"), std::nullopt);  // keys stay in their section
    EXPECT_EQ(profile.Get("missing", "x"), std::nullopt);
    EXPECT_EQ(profile.Get("Other", "X"), "1");
}

TEST(ProfileFile, WritesInPlaceAppendsToSectionOrAddsSection) {
    ProfileFile profile = ProfileFile::Parse("[A]\nk1=1\nk2=2\n\n[B]\nz=9\n");
    profile.Set("a", "K1", "one");
    profile.Set("A", "k3", "3");
    profile.Set("C", "new", "x y");
    EXPECT_EQ(profile.Text(), "[A]\nK1=one\nk2=2\nk3=3\n\n[B]\nz=9\n\n[C]\nnew=x y\n");
    EXPECT_EQ(ProfileFile::Parse("[A]\r\nk=1\r\n").Text(), "[A]\r\nk=1\r\n");  // keeps CRLF
    // Doubled carriage returns end the line too, so the value reads the same after a save.
    const ProfileFile doubled = ProfileFile::Parse("[A]\nk=1\r\r\n");
    EXPECT_EQ(doubled.Get("A", "k"), "1");
    EXPECT_EQ(doubled.Text(), "[A]\nk=1\n");

    ProfileFile fresh;
    fresh.Set("S", "k", "v");
    EXPECT_EQ(fresh.Text(), "[S]\nk=v\n");
}

TEST(ProfileFile, KeyByKeyFunctionsUseTheFileAtOnce) {
    test::TempDirectory dir;
    const std::string path = (dir.Path() / "QUENDA.INI").string();
    EXPECT_EQ(GetPrivateProfileString("S", "k", "default", 80, path), "default");  // no file
    ASSERT_TRUE(WritePrivateProfileString("S", "k", "0123456789012345678901234", path));
    EXPECT_EQ(GetPrivateProfileString("s", "K", "", 80, path), "0123456789012345678901234");
    EXPECT_EQ(GetPrivateProfileString("S", "k", "", 20, path), "0123456789012345678");  // cut
    EXPECT_EQ(GetPrivateProfileString("S", "k", "", 0, path), "");
    // Nothing is left beside it but the writers' lock.
    int entries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        ++entries;
        EXPECT_TRUE(entry.path().filename() == "QUENDA.INI" ||
                    entry.path().filename() == "QUENDA.INI.lock")
            << entry.path();
    }
    EXPECT_EQ(entries, 2);
}

TEST(ProfileFile, FailedWriteLeavesTheFileAsItWas) {
    test::TempDirectory dir;
    const std::string path = dir.WriteFile("QUENDA.INI", "[S]\nk=old\n").string();
    {
        const test::FileSizeLimit full(8);  // the new text does not fit
        std::string error;
        EXPECT_FALSE(ProfileFile::Update(
            path, [](ProfileFile& profile) { profile.Set("S", "k", "new"); }, &error));
        EXPECT_EQ(error, "cannot write " + path + ": File too large");
    }
    EXPECT_EQ(GetPrivateProfileString("S", "k", "", 80, path), "old");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()),
                            std::filesystem::directory_iterator()),
              2);  // the file and its lock: no temporary file is left
}

TEST(ProfileFile, WritersInSeveralProcessesTakeTurnsAndLoseNothing) {
    test::TempDirectory dir;
    const std::string path = (dir / "QUENDA.INI").string();
    constexpr int kProcesses = 4;
    constexpr int kWrites = 30;
    pid_t children[kProcesses];
    for (int p = 0; p < kProcesses; ++p) {
        children[p] = fork();
        ASSERT_GE(children[p], 0);
        if (children[p] == 0) {
            int failures = 0;
            for (int i = 0; i < kWrites; ++i) {
                const std::string key = "K" + std::to_string(p) + "_" + std::to_string(i);
                if (!WritePrivateProfileString("S", key, "v", path)) ++failures;
            }
            _exit(failures == 0 ? 0 : 1);
        }
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const auto profile = ProfileFile::Load(path);
    ASSERT_TRUE(profile);
    for (int p = 0; p < kProcesses; ++p) {
        for (int i = 0; i < kWrites; ++i) {
            const std::string key = "K" + std::to_string(p) + "_" + std::to_string(i);
            EXPECT_EQ(profile->Get("S", key), "v") << key;
        }
    }
}

TEST(ProfileFile, ALinkedFileIsWrittenThroughTheLinkKeepingItsMode) {
    test::TempDirectory dir;
    std::filesystem::create_directory(dir / "real");
    const std::string target = dir.WriteFile("real/settings.ini", "[S]\nk=old\n").string();
    ASSERT_EQ(chmod(target.c_str(), 0600), 0);
    std::filesystem::create_symlink("real/settings.ini", dir / "QUENDA.INI");
    const std::string path = (dir / "QUENDA.INI").string();

    ASSERT_TRUE(WritePrivateProfileString("S", "k", "new", path));
    EXPECT_TRUE(std::filesystem::is_symlink(path));
    EXPECT_EQ(test::TempDirectory::ReadText(target), "[S]\nk=new\n");
    struct stat st {};
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
}

TEST(ProfileFile, AFileThatCannotBeReadWholeIsNeverReplaced) {
    test::TempDirectory dir;
    const std::string path = (dir / "QUENDA.INI").string();
    std::filesystem::create_directory(path);  // opens, but every read fails
    std::string error;
    EXPECT_FALSE(ProfileFile::Load(path, &error));
    EXPECT_EQ(error, "cannot read " + path + ": not a regular file");
    EXPECT_FALSE(WritePrivateProfileString("S", "k", "v", path));
    EXPECT_TRUE(std::filesystem::is_directory(path));
}

TEST(ProfileFile, SaveFailsCleanlyWhenTheDirectoryIsMissing) {
    test::TempDirectory dir;
    ProfileFile profile;
    profile.Set("S", "k", "v");
    EXPECT_FALSE(profile.Save((dir.Path() / "missing" / "QUENDA.INI").string()));
}

}  // namespace
}  // namespace quenda
