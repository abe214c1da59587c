// The command line, the program's directories and the second-copy lock.
#include "app/shell/command_line.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "app/shell/instance_lock.h"
#include "app/shell/program_paths.h"
#include "tests/support/temp_directory.h"

namespace quenda {
namespace {

TEST(CommandLine, TakesKnownOptionsAndRefusesTheRest) {
    CommandLine line = ParseCommandLine(
        {"--headless", "--home", "/tmp/q", "--port", "5353", "--listen", "127.0.0.1"});
    EXPECT_TRUE(line.error.empty());
    EXPECT_TRUE(line.headless);
    EXPECT_EQ(line.home, "/tmp/q");
    EXPECT_EQ(line.port, 5353);
    EXPECT_EQ(line.listen, "127.0.0.1");
    EXPECT_EQ(ParseCommandLine({}).port, 53);
    EXPECT_EQ(ParseCommandLine({}).listen, "");
    EXPECT_TRUE(ParseCommandLine({"--version"}).version);
    EXPECT_TRUE(ParseCommandLine({"--help"}).help);
    for (const auto& bad : std::vector<std::vector<std::string>>{{"--port"},
                                                                 {"--port", "0"},
                                                                 {"--port", "65536"},
                                                                 {"--port", "53x"},
                                                                 {"--home"},
                                                                 {"--home", ""},
                                                                 {"--listen"},
                                                                 {"--listen", ""},
                                                                 {"--listen", "localhost"},
                                                                 {"--listen", "::1"},
                                                                 {"--listen", "127.0.0.1:53"},
                                                                 {"-x"}}) {
        EXPECT_FALSE(ParseCommandLine(bad).error.empty()) << bad[0];
    }
}

TEST(ProgramPaths, HomePutsEverythingInOneDirectory) {
    const auto paths = FindProgramPaths("/srv/quenda");
    ASSERT_TRUE(paths);
    EXPECT_EQ(paths->dataDirectory, "/srv/quenda/");
    EXPECT_EQ(paths->SettingsFile(), "/srv/quenda/QUENDA.INI");
    EXPECT_EQ(paths->RegistryFile(), "/srv/quenda/registry");

    setenv("XDG_DATA_HOME", "/x/data", 1);
    setenv("XDG_CONFIG_HOME", "relative/is/ignored", 1);
    setenv("HOME", "/home/u", 1);
    const auto xdg = FindProgramPaths("");
    ASSERT_TRUE(xdg);
    EXPECT_EQ(xdg->dataDirectory, "/x/data/quenda/");
    EXPECT_EQ(xdg->configDirectory, "/home/u/.config/quenda/");
}

TEST(ProgramPaths, BundledSeedOnlyBeforeTheFirstStart) {
    test::TempDirectory bundle, home;
    const std::string seed = bundle.WriteFile("DNSIP.DAT", "x\n9.9.9.9,Quad9,1,0\n").string();
    const ProgramPaths paths{home.Path().string() + "/", home.Path().string() + "/"};
    EXPECT_TRUE(InstallBundledSeed(paths, seed));
    EXPECT_TRUE(std::filesystem::exists(home.Path() / "DNSIP.DAT"));
    EXPECT_FALSE(InstallBundledSeed(paths, seed));  // the user's own seed file stays
    std::filesystem::remove(home.Path() / "DNSIP.DAT");
    home.WriteFile("QUENDA.INI", "");
    EXPECT_FALSE(InstallBundledSeed(paths, seed));  // not the first start
    EXPECT_FALSE(std::filesystem::exists(home.Path() / "DNSIP.DAT"));
    EXPECT_FALSE(ExecutableDirectory().empty());
}

TEST(InstanceLock, OnlyOneHolderAtATime) {
    test::TempDirectory dir;
    const std::string directory = dir.Path().string() + "/";
    {
        InstanceLock first(directory);
        EXPECT_TRUE(first.Held());
        InstanceLock second(directory);
        EXPECT_FALSE(second.Held());
        EXPECT_TRUE(second.HeldElsewhere());  // a second copy: silent
        EXPECT_EQ(second.Error(), "");
    }
    InstanceLock after(directory);
    EXPECT_TRUE(after.Held());
    EXPECT_FALSE(after.HeldElsewhere());

    // A lock file that cannot be made is no second copy but a failure with its reason.
    const std::string missing = directory + "missing/";
    InstanceLock failed(missing);
    EXPECT_FALSE(failed.Held());
    EXPECT_FALSE(failed.HeldElsewhere());
    EXPECT_EQ(failed.Error(), "cannot lock " + missing + "quenda.lock: No such file or directory");
}

}  // namespace
}  // namespace quenda
