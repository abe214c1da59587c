// The update check's readers: proxy entries, the page's lines, versions and file names.
#include "app/shell/update_page.h"

#include <gtest/gtest.h>

namespace quenda::test {
namespace {

TEST(UpdatePage, ProxyEntriesGiveTheHostUpToTheColonAndThePortAfterIt) {
    struct Case {
        const char* setting;
        const char* host;
        int port;
    };
    const Case cases[] = {
        {"http=10.0.0.1:3128;https=10.0.0.2:443", "10.0.0.1", 3128},
        {"ftp=1.1.1.1:21;HTTP=192.168.1.5:8080", "192.168.1.5", 8080},
        {"Http=proxy.lan:80", "PROXY.LAN", 80},
        {"http=10.0.0.1", "10.0.0.1", 0},    // no ":" anywhere after it
        {"http=10.0.0.1:x", "10.0.0.1", 0},  // no number after the ":"
        {"http=10.0.0.1:70000", "10.0.0.1", 0},
        {"http=10.0.0.1:-8080", "10.0.0.1", 0},
        {"ftp=10.0.0.1:21", "", 0},
        {"", "", 0},
        {"http", "", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(GetProxyFromRegistryString(c.setting, "http"), c.host) << c.setting;
        EXPECT_EQ(GetProxyPortFromRegistryString(c.setting, "http"), c.port) << c.setting;
    }
    EXPECT_TRUE(IsProxyAddress("10.0.0.1"));
    EXPECT_TRUE(IsProxyAddress(""));
    EXPECT_FALSE(IsProxyAddress("PROXY.LAN"));
}

TEST(UpdatePage, RunsOfLineBreaksSeparateTheLinesAndTheRestIsInformation) {
    const UpdatePage page = ParseUpdatePage(
        "\r\n\r\nQuenda\n1.3.0\r\r\nhttps://l/\nhttps://d/q.deb\nq.deb\nNote\n1234\nA\r\n\r\nB");
    EXPECT_EQ(page.newestVersion, "1.3.0");
    EXPECT_EQ(page.linkAddress, "https://l/");
    EXPECT_EQ(page.downloadAddress, "https://d/q.deb");
    EXPECT_EQ(page.installerFileName, "q.deb");
    EXPECT_EQ(page.downloadNote, "Note");
    EXPECT_EQ(page.installerSize, 1234u);
    EXPECT_EQ(page.information, "A\r\nB\r\n");

    const UpdatePage shortPage = ParseUpdatePage("x\n2.0\nlink");
    EXPECT_EQ(shortPage.newestVersion, "2.0");
    EXPECT_EQ(shortPage.downloadAddress, "");
    EXPECT_EQ(shortPage.installerSize, 0u);
    EXPECT_EQ(shortPage.information, "");
    for (const char* size : {"12x", "-5", "99999999999", ""}) {
        EXPECT_EQ(ParseUpdatePage(std::string("1\n2\n3\n4\n5\n6\n") + size).installerSize, 0u)
            << size;
    }
}

TEST(UpdatePage, VersionsCompareTheirDigitsAsOneNumber) {
    EXPECT_TRUE(IsNewerVersion("1.2.10", "1.2.9"));
    EXPECT_FALSE(IsNewerVersion("1.2.3", "1.2.3"));
    EXPECT_FALSE(IsNewerVersion("1.2.9", "1.2.10"));
    EXPECT_FALSE(IsNewerVersion("v01.2.3", "1.2.3"));
    // Longer than any machine number.
    EXPECT_TRUE(IsNewerVersion("9.9.9.9.9.9.9.9.9.9.9.9.9.9.9.9.9.9.9.9.9", "9.9.9"));
}

TEST(UpdatePage, InstallerNamesArePlainNames) {
    EXPECT_EQ(PlainFileName("quenda_1.3.0_amd64.deb"), "quenda_1.3.0_amd64.deb");
    EXPECT_EQ(PlainFileName("../../.bashrc"), ".bashrc");
    EXPECT_EQ(PlainFileName("C:\\Temp\\setup.exe"), "setup.exe");
    EXPECT_EQ(PlainFileName("/etc/"), "");
    EXPECT_EQ(PlainFileName(".."), "");
    EXPECT_EQ(PlainFileName("a\nb"), "");
    EXPECT_TRUE(IsHttpsAddress("HTTPS://example.org/"));
    EXPECT_FALSE(IsHttpsAddress("http://example.org/"));
    EXPECT_FALSE(IsHttpsAddress("https://"));
}

}  // namespace
}  // namespace quenda::test
