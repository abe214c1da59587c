// Loading and saving the settings file, the Yes/No and number encodings, the seed import.
#include "app/config/settings_file.h"

#include <gtest/gtest.h>

#include <tuple>

#include "app/config/seed_import.h"
#include "app/config/settings_values.h"
#include "app/config/yes_no.h"
#include "platform/profile/profile_file.h"
#include "tests/support/temp_directory.h"

namespace quenda {
namespace {

TEST(SettingsEncodings, YesNoAndNumbers) {
    for (const char* yes : {"Yes", "YES", "yes", "Y", "yellow"})
        EXPECT_EQ(ParseYesNo(yes), 1) << yes;
    for (const char* no : {"No", "", "1", " yes", "true"}) EXPECT_EQ(ParseYesNo(no), 0) << no;
    EXPECT_EQ(YesNoText(5), "Yes");
    EXPECT_EQ(YesNoText(0), "No");

    EXPECT_EQ(ReadWholeNumber("42abc", -32768, 32767), 42);
    EXPECT_EQ(ReadWholeNumber("abc", -32768, 32767), 0);
    EXPECT_EQ(ReadWholeNumber("", -32768, 32767), 0);
    EXPECT_EQ(ReadWholeNumber("-7", -32768, 32767), -7);
    EXPECT_EQ(ReadWholeNumber("+2.5", -32768, 32767), 2);  // halves to even
    EXPECT_EQ(ReadWholeNumber("3.5", -32768, 32767), 4);
    EXPECT_EQ(ReadWholeNumber("1e3x", -32768, 32767), 1000);
    EXPECT_EQ(ReadWholeNumber("1e", -32768, 32767), 1);
    EXPECT_EQ(ReadWholeNumber(".5", -32768, 32767), 0);
    EXPECT_EQ(ReadWholeNumber("32768", -32768, 32767), std::nullopt);
    EXPECT_EQ(ReadWholeNumber("1e999", -32768, 32767), std::nullopt);
    EXPECT_EQ(ReadLeadingNumber("12345.678"), 12345.678);
    EXPECT_EQ(ReadLeadingNumber(RealNumberText(0.1 + 0.2)), 0.1 + 0.2);
    EXPECT_EQ(RealNumberText(500), "500");
}

class SettingsFileTest : public ::testing::Test {
  protected:
    SettingsFile MakeFile() {
        return SettingsFile(Path(), dir.Path().string() + "/", local, {options, servers, counters},
                            [this] { return waiting; });
    }
    std::string Path() const { return (dir.Path() / "QUENDA.INI").string(); }
    std::string Read(const char* section, const std::string& key) {
        return GetPrivateProfileString(section, key, "<absent>", 200, Path());
    }

    test::TempDirectory dir;
    LocalAddresses local;
    Options options;
    NameServerList servers;
    RequestCounters counters;
    int waiting = 0;
};

TEST_F(SettingsFileTest, MissingFileLoadsDefaults) {
    SettingsFile file = MakeFile();
    EXPECT_FALSE(file.SaveAllSettings());  // nothing saved before loading
    EXPECT_FALSE(std::filesystem::exists(Path()));
    file.LoadAllSettings();
    EXPECT_TRUE(file.SettingsLoaded());
    EXPECT_EQ(options.SYSTRAY, 0);
    EXPECT_FALSE(options.cacheDisabled);
    EXPECT_FALSE(options.LOG_TOFILE);
    EXPECT_FALSE(options.LOG_DATE);
    EXPECT_TRUE(options.LOG_TIME);
    EXPECT_EQ(options.LOG_DETAIL, 2);
    EXPECT_EQ(options.LOG_WINDOWX, 200);
    EXPECT_EQ(options.LOG_WINDOWH, 0);
    EXPECT_EQ(options.DATABASE_VERSION, "0.0.0");
    EXPECT_EQ(servers[0].address, "");
    EXPECT_EQ(counters.TOTALQ, 0);
}

TEST_F(SettingsFileTest, LoadsWhatWasWrittenAndMendsBadValues) {
    dir.WriteFile(
        "QUENDA.INI",
        "[OPTIONS]\nSYSTRAY=yellow\nNOCACHE=Yes\nLOG_DETAIL=abc\nLOG_WINDOWX=99999999999\n"
        "LOG_FILE=/var/log/" +
            std::string(100, 'x') +
            "\n"
            "[N_SERVERS]\nNDNS=12\n"
            "[NAMESERVER]\nDNS_0_NAME=10.0.0.1\nDNS_0_DESC=first\nDNS_0_ENABLED=Yes\n"
            "DNS_0_WINNING=7\nDNS_0_ATIME=300\nDNS_0_NATIME=3\n"
            "DNS_3_NAME=10.0.0.300\nDNS_3_DESC=bad\nDNS_3_ENABLED=Yes\nDNS_3_WINNING=5\n"
            "DNS_3_ATIME=50\nDNS_3_NATIME=4\nDNS_4_NAME=127.0.0.1\nDNS_4_ENABLED=Yes\n"
            "[STATISTICS]\nWTIME=1234.5\nTOTALQ=40000\nADNS=17\n");
    options.LOG_WINDOWX = 1;
    counters.TOTALQ = 3;
    SettingsFile file = MakeFile();
    file.LoadAllSettings();
    EXPECT_EQ(options.SYSTRAY, 1);
    EXPECT_EQ(options.NOCACHE, 1);
    EXPECT_TRUE(options.cacheDisabled);
    EXPECT_EQ(options.LOG_DETAIL, 2);   // reads as 0
    EXPECT_EQ(options.LOG_WINDOWX, 1);  // does not fit: keeps its value
    EXPECT_EQ(options.LOG_FILE, "/var/log/" + std::string(100, 'x'));  // paths are not cut
    EXPECT_EQ(servers.NDNS, 12);
    EXPECT_EQ(servers[0].address, "10.0.0.1");
    EXPECT_EQ(servers[0].description, "first");
    EXPECT_TRUE(servers[0].enabled);
    EXPECT_EQ(servers[0].WINNING, 7);
    EXPECT_EQ(servers[0].ATIME, 300);
    EXPECT_EQ(servers[0].NATIME, 3);
    // An address that fails the check empties the slot but for its description and NATIME.
    EXPECT_EQ(servers[3].address, "");
    EXPECT_FALSE(servers[3].enabled);
    EXPECT_EQ(servers[3].WINNING, 0);
    EXPECT_EQ(servers[3].ATIME, 0);
    EXPECT_EQ(servers[3].NATIME, 4);
    EXPECT_EQ(servers[3].description, "bad");
    EXPECT_EQ(servers[4].address, "");  // this host itself
    EXPECT_EQ(counters.WTIME, 1234.5);
    EXPECT_EQ(counters.TOTALQ, 3);  // out of range: kept
    EXPECT_EQ(counters.ADNS, 17);
}

TEST_F(SettingsFileTest, SavesEveryKeyInOrderAndKeepsForeignLines) {
    dir.WriteFile("QUENDA.INI", "; my notes\n[OPTIONS]\nSYSTRAY=Yes\nUNKNOWN=keep\n");
    SettingsFile file = MakeFile();
    file.LoadAllSettings();
    servers[2].address = "9.9.9.9";
    servers[2].enabled = true;
    servers[2].WINNING = 4;
    counters.TOTALQ = 10;
    counters.WTIME = 0.25;
    waiting = 3;
    ASSERT_TRUE(file.SaveAllSettings());

    const std::string text = ProfileFile::Load(Path())->Text();
    EXPECT_EQ(text.rfind("; my notes\n[OPTIONS]\nSYSTRAY=Yes\nUNKNOWN=keep\nNOCACHE=No\n", 0), 0u);
    EXPECT_LT(text.find("[OPTIONS]"), text.find("[N_SERVERS]"));
    EXPECT_LT(text.find("[N_SERVERS]"), text.find("[NAMESERVER]"));
    EXPECT_LT(text.find("[NAMESERVER]"), text.find("[STATISTICS]"));
    EXPECT_LT(text.find("DNS_0_NATIME"), text.find("DNS_1_NAME"));
    EXPECT_EQ(Read("OPTIONS", "LOG_FILE"), dir.Path().string() + "/Quenda.LOG");
    EXPECT_EQ(options.LOG_FILE, dir.Path().string() + "/Quenda.LOG");
    EXPECT_EQ(Read("NAMESERVER", "DNS_9_NAME"), "");  // empty slots are written too
    EXPECT_EQ(Read("NAMESERVER", "DNS_2_ENABLED"), "Yes");
    EXPECT_EQ(Read("STATISTICS", "TOTALQ"), "7");  // waiting requests left out
    EXPECT_EQ(counters.TOTALQ, 10);
    EXPECT_EQ(Read("STATISTICS", "WTIME"), "0.25");

    // What was saved loads back the same.
    Options reloaded;
    NameServerList reloadedServers;
    RequestCounters reloadedCounters;
    SettingsFile again(Path(), "/", local, {reloaded, reloadedServers, reloadedCounters}, nullptr);
    again.LoadAllSettings();
    EXPECT_EQ(reloadedServers[2].address, "9.9.9.9");
    EXPECT_EQ(reloadedServers[2].WINNING, 4);
    EXPECT_EQ(reloaded.SYSTRAY, 1);
    EXPECT_EQ(reloadedCounters.WTIME, 0.25);
}

class SettingsTextTest : public SettingsFileTest,
                         public ::testing::WithParamInterface<const char*> {};

TEST_P(SettingsTextTest, TextValuesSurviveEverySaveAndLoadUnchanged) {
    const std::string text = GetParam();
    SettingsFile file = MakeFile();
    file.LoadAllSettings();
    for (int round = 0; round < 3; ++round) {  // the periodic save loads what it saved before
        options.LOG_FILE = text.empty() ? "/x" : text;
        servers[0].description = text;
        ASSERT_TRUE(file.SaveAllSettings());
        options.LOG_FILE.clear();
        servers[0].description.clear();
        MakeFile().LoadAllSettings();
        EXPECT_EQ(options.LOG_FILE, text.empty() ? "/x" : text);
        EXPECT_EQ(servers[0].description, text);
    }
}

INSTANTIATE_TEST_SUITE_P(BlanksAndQuotes, SettingsTextTest,
                         ::testing::Values("", "plain", "in side", " leading", "trailing ",
                                           "\ttab\t", "\"quoted\"", "'single'", "\"", "a\"",
                                           "'mixed\"", "\" both \""));

TEST_F(SettingsFileTest, SavedTotalLessTheWaitingStaysWithin16BitsAndLoadsBack) {
    SettingsFile file = MakeFile();
    file.LoadAllSettings();
    for (const auto& [total, waitingNow, saved] :
         {std::tuple{-32768, 5, "-32768"}, std::tuple{-32760, 5, "-32765"},
          std::tuple{32767, 0, "32767"}}) {
        counters.TOTALQ = static_cast<int16_t>(total);
        waiting = waitingNow;
        ASSERT_TRUE(file.SaveStatistics());
        EXPECT_EQ(Read("STATISTICS", "TOTALQ"), saved);
        counters.TOTALQ = 1;
        MakeFile().LoadAllSettings();
        EXPECT_EQ(counters.TOTALQ, std::stoi(saved));
    }
}

TEST_F(SettingsFileTest, ASettingsFileThatCouldNotBeReadIsNeverSavedOver) {
    std::filesystem::create_directory(Path());  // opens, but cannot be read
    SettingsFile file = MakeFile();
    file.LoadAllSettings();
    EXPECT_EQ(servers[0].address, "");  // defaults, as for a missing file

    // Readable again later: the user's servers must not give way to the defaults.
    std::filesystem::remove(Path());
    const std::string kept = "[NAMESERVER]\nDNS_0_NAME=10.0.0.1\nDNS_0_ENABLED=Yes\n";
    dir.WriteFile("QUENDA.INI", kept);
    EXPECT_FALSE(file.SaveAllSettings());
    EXPECT_FALSE(file.SaveNameServers());
    EXPECT_EQ(test::TempDirectory::ReadText(Path()), kept);
}

TEST_F(SettingsFileTest, SeedFileFillsSlotsOnceAndIsDeleted) {
    dir.WriteFile("dnsip.dat",
                  "\"header, ignored\"\n10.0.0.1, \"Provider, primary\" , 1 ,12\n"
                  "\n10.0.0.2,secondary,0,x\n10.0.0.3,cut short\n");
    EXPECT_EQ(ImportSeedFile(dir.Path().string() + "/", Path()), 3);
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / "dnsip.dat"));
    EXPECT_EQ(Read("NAMESERVER", "DNS_0_NAME"), "10.0.0.1");
    EXPECT_EQ(Read("NAMESERVER", "DNS_0_DESC"), "Provider, primary");
    EXPECT_EQ(Read("NAMESERVER", "DNS_0_ENABLED"), "Yes");
    EXPECT_EQ(Read("NAMESERVER", "DNS_0_WINNING"), "12");
    EXPECT_EQ(Read("NAMESERVER", "DNS_1_ENABLED"), "No");
    EXPECT_EQ(Read("NAMESERVER", "DNS_1_WINNING"), "0");
    EXPECT_EQ(Read("NAMESERVER", "DNS_2_DESC"), "cut short");
    EXPECT_EQ(Read("NAMESERVER", "DNS_2_ENABLED"), "No");
    EXPECT_EQ(Read("NAMESERVER", "DNS_0_ATIME"), "<absent>");
    EXPECT_EQ(ImportSeedFile(dir.Path().string() + "/", Path()), 0);  // gone: nothing more

    SettingsFile file = MakeFile();
    file.LoadAllSettings();
    EXPECT_TRUE(servers[0].enabled);
    EXPECT_EQ(servers[2].address, "10.0.0.3");
}

TEST_F(SettingsFileTest, SeedGroupsPastTheTenthSlotAreLeftOut) {
    std::string seed = "header\n";
    for (int n = 0; n < 5000; ++n)
        seed += "10.0." + std::to_string(n / 250) + "." + std::to_string(n % 250 + 1) + ",d,1,0\n";
    dir.WriteFile("DNSIP.DAT", seed);
    EXPECT_EQ(ImportSeedFile(dir.Path().string() + "/", Path()), 10);
    EXPECT_EQ(Read("NAMESERVER", "DNS_9_NAME"), "10.0.0.10");
    EXPECT_EQ(Read("NAMESERVER", "DNS_10_NAME"), "<absent>");
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / "DNSIP.DAT"));
}

TEST_F(SettingsFileTest, SeedFileStaysWhenTheSettingsCannotBeWritten) {
    dir.WriteFile("DNSIP.DAT", "x\n10.0.0.1,a,1,0\n");
    std::filesystem::create_directory(dir.Path() / "QUENDA.INI");  // unreadable as a file
    EXPECT_EQ(ImportSeedFile(dir.Path().string() + "/", Path()), 0);
    EXPECT_TRUE(std::filesystem::exists(dir.Path() / "DNSIP.DAT"));
}

TEST(SeedFields, SplitsLikeTheSeedFileFormat) {
    EXPECT_EQ(SeedFields(""), std::vector<std::string>{});
    EXPECT_EQ(SeedFields("a,b\r\nc"), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(SeedFields("a,\n,b"), (std::vector<std::string>{"a", "", "", "b"}));
    EXPECT_EQ(SeedFields("\" x, y \" junk ,z"), (std::vector<std::string>{" x, y ", "z"}));
    EXPECT_EQ(SeedFields("\"unclosed, q"), (std::vector<std::string>{"unclosed, q"}));
}

}  // namespace
}  // namespace quenda
