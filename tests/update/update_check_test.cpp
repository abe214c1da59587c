// The update check against a local HTTPS server: the page's outcomes, the proxy choice, the
// failures, and the download from refusal to the hand-over of a whole file.
#include "app/shell/update_check.h"

#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <optional>

#include <gtest/gtest.h>

#include "platform/profile/profile_file.h"
#include "platform/registry/registry.h"
#include "tests/support/qt_loop.h"
#include "tests/support/scripted_messages.h"
#include "tests/update/https_fixture.h"
#include "tests/update/update_test_support.h"

namespace quenda::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kProgramVersion = "1.2.9";
constexpr const char* kWeb = "https://quenda.invalid/";
// Nothing listens on port 1 of the loopback: a proxy there refuses every connection.
constexpr const char* kDeadProxy = "http://127.0.0.1:1";

class UpdateCheckTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(server.Ok()) << "openssl and python3 are needed";
        server.Trust(true);
        for (const char* name : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY",
                                 "all_proxy", "ALL_PROXY", "no_proxy", "NO_PROXY"}) {
            unsetenv(name);
        }
        fs::create_directory(data / "data");
        settings.pageAddress = server.Address("update.txt");
        settings.webAddress = kWeb;
        settings.helpUrl = "file:///help/index.html";
        settings.programVersion = kProgramVersion;
        settings.downloadDirectory = (data / "data").string() + "/";
    }

    // Opens the check as the dialog does and waits until the page's outcome is shown.
    UpdateCheck& Open() {
        check = std::make_unique<UpdateCheck>(settings, messages, &links, opener);
        check->SetWindow(&window);
        check->Activate();
        EXPECT_TRUE(RunLoopUntil([&] { return window.face.message != "Please wait..."; }, 20000));
        return *check;
    }

    // Presses "Download" and waits until the download is over one way or another.
    void Download() {
        check->DownloadClicked();
        RunLoopUntil([&] { return !check->DownloadMode(); }, 20000);
    }

    void ExpectConnectionFailed() const {
        EXPECT_EQ(window.face.message, "Connection failed");
        EXPECT_EQ(window.face.status, "Your version :1.2.9");
        EXPECT_EQ(window.face.label4, "Could not check for new version.");
        EXPECT_EQ(window.face.label2, "Please visit our website to check for the latest version:");
        EXPECT_EQ(window.face.link, kWeb);
        EXPECT_EQ(window.face.closeCaption, "&Close");
        EXPECT_FALSE(window.face.downloadVisible);
        EXPECT_TRUE(messages.shown.empty());
    }

    std::vector<std::string> DataFiles() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(data / "data")) {
            names.push_back(entry.path().filename().string());
        }
        return names;
    }

    HttpsServer server;
    TempDirectory data;
    UpdateCheckSettings settings;
    ScriptedMessages messages;
    RecordingLinks links;
    RecordingOpener opener;
    RecordingUpdateWindow window;
    std::unique_ptr<UpdateCheck> check;
};

TEST_F(UpdateCheckTest, ThePageDecidesBetweenANewVersionAndNone) {
    // 1.2.10 is newer than the program's 1.2.9 (1210 > 129); 1.2.9 and 1.2.8 are not.
    server.Serve("update.txt", UpdatePageText("1.2.10", "https://x/q.deb", "q.deb", "3"));
    Open();
    EXPECT_EQ(window.face.message, "New version available");
    EXPECT_EQ(window.face.status, "Your version: 1.2.9");
    EXPECT_EQ(window.face.label4, "Current Version: 1.2.10");
    EXPECT_EQ(window.face.link, "https://quenda.invalid/news");
    EXPECT_EQ(window.face.information, "Faster cache\r\nFewer clicks\r\n");
    EXPECT_EQ(window.face.label5, "The download takes a minute.");
    EXPECT_TRUE(window.face.downloadVisible);
    EXPECT_EQ(window.face.closeCaption, "&Close");
    EXPECT_TRUE(window.face.closePicture);
    check->LinkClicked();
    EXPECT_EQ(links.opened, std::vector<std::string>{"https://quenda.invalid/news"});

    for (const char* version : {"1.2.9", "1.2.8"}) {
        server.Serve("update.txt", UpdatePageText(version, "https://x/q.deb", "q.deb", "3"));
        window = {};
        Open();
        EXPECT_EQ(window.face.message, "There is no new version available!") << version;
        EXPECT_EQ(window.face.status, "");
        EXPECT_EQ(window.face.closeCaption, "&Close");
        EXPECT_FALSE(window.face.downloadVisible);
    }
}

// (the Internet settings' ProxyServer value, fetched at all, the case)
using ProxyCase = std::tuple<std::optional<std::string>, bool, const char*>;
class ProxyChoice : public UpdateCheckTest, public ::testing::WithParamInterface<ProxyCase> {};

TEST_P(ProxyChoice, TheRegistryNamesTheProxyAndOnlyItsAbsenceLeavesItToTheDesktop) {
    // The desktop's proxy is one that refuses: only a fetch that bypasses it succeeds.
    setenv("https_proxy", kDeadProxy, 1);
    setenv("http_proxy", kDeadProxy, 1);
    const auto& [proxyServer, reached, name] = GetParam();
    settings.proxyServer = proxyServer;
    server.Serve("update.txt", UpdatePageText("1.2.9", "https://x/q.deb", "q.deb", "3"));
    Open();
    EXPECT_EQ(window.face.message,
              reached ? "There is no new version available!" : "Connection failed");
}

INSTANTIATE_TEST_SUITE_P(
    Update, ProxyChoice,
    ::testing::Values(ProxyCase{std::nullopt, false, "DesktopProxy"},
                      ProxyCase{"http=proxy.invalid:3128;https=proxy.invalid:3128", true,
                                "ProxyGivenByNameIsNotUsed"},
                      ProxyCase{"ftp=10.1.1.1:21", true, "NoHttpEntryMeansNoProxy"},
                      ProxyCase{"http=127.0.0.1:1", false, "ProxyGivenByAddressIsUsed"}),
    [](const auto& info) { return std::string(std::get<2>(info.param)); });

TEST_F(UpdateCheckTest, EveryFailureShowsConnectionFailedAndTheWebAddress) {
    server.Serve("update.txt", UpdatePageText("9.9.9", "https://x/q.deb", "q.deb", "3"));
    server.Serve("portal.html", "<html><body>Please log in</body></html>");
    server.Serve("huge.txt", UpdatePageText("9.9.9", "https://x/q.deb", "q.deb", "3") +
                                 std::string(1 << 20, 'x'));
    // Each of these would work in the clear.
    const std::string plain = server.PlainAddress("update.txt");
    const std::pair<std::string, std::string> failures[] = {
        {"nothing listens", "https://127.0.0.1:1/update.txt"},
        {"page in the clear", plain},
        {"no such page", server.Address("missing.txt")},
        {"redirect into the clear", server.Address("redirect/" + plain)},
        {"a page without a version", server.Address("portal.html")},
        {"a page over 1 MiB", server.Address("huge.txt")},
    };
    for (const auto& [why, address] : failures) {
        SCOPED_TRACE(why);
        settings.pageAddress = address;
        window = {};
        Open();
        ExpectConnectionFailed();
    }
    // A certificate nobody vouches for is an error, not a warning.
    server.Trust(false);
    settings.pageAddress = server.Address("update.txt");
    window = {};
    Open();
    ExpectConnectionFailed();
}

TEST_F(UpdateCheckTest, AWholeDownloadIsSavedUnderAPlainNameAndHandedToTheDesktop) {
    // Through a redirect to another https address, which is followed.
    const std::string installer(200000, 'Q');
    server.Serve("setup.deb", installer);
    server.Serve("update.txt",
                 UpdatePageText("2.0.0", server.Address("redirect/" + server.Address("setup.deb")),
                                "../../etc/quenda-setup.deb", std::to_string(installer.size())));
    TempDirectory::WriteText(data / "data" / "quenda-setup.deb", "an older download");
    Open();
    Download();
    const std::string saved = settings.downloadDirectory + "quenda-setup.deb";
    EXPECT_EQ(opener.opened, std::vector<std::string>{saved});
    EXPECT_EQ(TempDirectory::ReadText(saved), installer);
    EXPECT_EQ(window.face.progress, 100);
    EXPECT_EQ(window.closed, 1);
    EXPECT_TRUE(messages.shown.empty());

    // A desktop that cannot open it is told of.
    opener.works = false;
    window = {};
    Open();
    Download();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].title, "Auto-Update");
    EXPECT_EQ(messages.shown[0].text, "Could not execute program to update Quenda");
    EXPECT_EQ(window.closed, 1);
}

TEST_F(UpdateCheckTest, ADownloadThatIsNotHttpsOrNotTheAnnouncedSizeIsNeverHandedOver) {
    server.Serve("setup.deb", "twelve bytes");
    server.Serve("huge.deb", std::string(200000, 'H'));
    const std::string plain = server.PlainAddress("setup.deb");
    const std::pair<std::string, std::string> refusals[] = {
        {UpdatePageText("2.0.0", plain, "setup.deb", "12"),
         "the download address " + plain + " is not an https address"},
        {UpdatePageText("2.0.0", server.Address("setup.deb"), "setup.deb", "10"),
         "the file received has 12 bytes, the update page announced 10"},
        {UpdatePageText("2.0.0", server.Address("redirect/" + plain), "setup.deb", "12"),
         "Redirect to " + plain + " refused"},
        {UpdatePageText("2.0.0", server.Address("huge.deb"), "setup.deb", "12"),
         "The answer announces 200000 bytes, more than 65548"},
        {UpdatePageText("2.0.0", server.Address("setup.deb"), "..", "12"),
         "the update page names no usable file name"},
    };
    for (const auto& [page, reason] : refusals) {
        SCOPED_TRACE(reason);
        server.Serve("update.txt", page);
        messages.shown.clear();
        window = {};
        Open();
        Download();
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(messages.shown[0].icon, MessageIcon::Information);
        EXPECT_EQ(messages.shown[0].title, "Auto-Update");
        EXPECT_EQ(messages.shown[0].text,
                  "Sorry, can not Auto-Update Quenda. Please update manualy: " + reason);
        EXPECT_EQ(window.closed, 0);
        EXPECT_TRUE(DataFiles().empty());
    }
    EXPECT_TRUE(opener.opened.empty());
}

TEST_F(UpdateCheckTest, CancelAsksDuringTheDownloadAndOkLeavesNoFileBehind) {
    server.Serve("big.deb", std::string(100000, 'B'));
    server.Serve("update.txt",
                 UpdatePageText("2.0.0", server.Address("slow/big.deb"), "big.deb", "100000"));
    Open();
    check->DownloadClicked();
    ASSERT_TRUE(RunLoopUntil([&] { return window.face.progress >= 50; }, 10000));
    EXPECT_EQ(window.face.label5, "Downloading update file, please wait...");
    EXPECT_FALSE(window.face.downloadEnabled);

    messages.Answer(MessageAnswer::Cancel);
    check->CloseClicked();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].title, "Cancel update");
    EXPECT_EQ(messages.shown[0].text,
              "Your are downloading the update of Quenda. Sure you want to cancel?");
    EXPECT_EQ(messages.shown[0].buttons, MessageButtons::OkCancel);
    EXPECT_TRUE(check->DownloadMode());
    EXPECT_EQ(window.closed, 0);

    messages.Answer(MessageAnswer::Ok);
    check->CloseClicked();
    EXPECT_EQ(window.closed, 1);
    RunLoopFor(200);
    EXPECT_TRUE(DataFiles().empty());
    EXPECT_TRUE(opener.opened.empty());
}

TEST_F(UpdateCheckTest, SettingsComeFromTheIniWhenPresentAndTheCurrentUsersRegistry) {
    ProgramPaths paths{(data / "data").string() + "/", data.Path().string() + "/"};
    const std::string defaultPage = "https://quenda.invalid/update/";
    EXPECT_EQ(LoadUpdateCheckSettings(paths, defaultPage).pageAddress, defaultPage);
    EXPECT_FALSE(LoadUpdateCheckSettings(paths, defaultPage).proxyServer.has_value());
    EXPECT_FALSE(fs::exists(paths.SettingsFile()));  // never written

    const std::string ini = "[OPTIONS]\r\nNOCACHE=No\r\n[update]\r\nurl=https://mirror.lan/u\r\n";
    TempDirectory::WriteText(paths.SettingsFile(), ini);
    Registry registry(paths.RegistryFile());
    ASSERT_EQ(registry.SetString(RegRoot::kCurrentUser, kInternetSettingsKey, "ProxyServer",
                                 "http=10.0.0.8:3128"),
              RegStatus::kOk);
    const UpdateCheckSettings loaded = LoadUpdateCheckSettings(paths, defaultPage);
    EXPECT_EQ(loaded.pageAddress, "https://mirror.lan/u");
    EXPECT_EQ(loaded.proxyServer, "http=10.0.0.8:3128");
    EXPECT_EQ(loaded.downloadDirectory, paths.dataDirectory + "update/");
    EXPECT_EQ(TempDirectory::ReadText(paths.SettingsFile()), ini);
}

}  // namespace
}  // namespace quenda::test
