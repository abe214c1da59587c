// INI reading and writing with the profile functions' rules.
#include "platform/profile/profile_file.h"

#include <gtest/gtest.h>

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
    EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
}

TEST(ProfileFile, FailedWriteLeavesTheFileAsItWas) {
    test::TempDirectory dir;
    const std::string path = dir.WriteFile("QUENDA.INI", "[S]\nk=old\n").string();
    std::filesystem::create_directory(path + ".tmp");  // the temporary file cannot be made
    EXPECT_FALSE(WritePrivateProfileString("S", "k", "new", path));
    EXPECT_EQ(GetPrivateProfileString("S", "k", "", 80, path), "old");
}

TEST(ProfileFile, SaveFailsCleanlyWhenTheDirectoryIsMissing) {
    test::TempDirectory dir;
    ProfileFile profile;
    profile.Set("S", "k", "v");
    EXPECT_FALSE(profile.Save((dir.Path() / "missing" / "QUENDA.INI").string()));
}

}  // namespace
}  // namespace quenda
