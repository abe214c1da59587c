// The update check in the real program with its windows, in a private X server: the About
// tab's "Update" against a local HTTPS page, saving a picture of each of the three outcomes.
// The program trusts the test's certificate because, in a mount namespace of this test's own,
// the system's certificate folder holds only that certificate.
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <thread>

#include "tests/support/temp_directory.h"
#include "tests/system/desktop_fixture.h"
#include "tests/system/quenda_process.h"

namespace quenda::test {
namespace {

using namespace std::chrono_literals;

constexpr const char* kPageAddress = "https://127.0.0.1:8443/update.txt";

std::string UpdatePage(const std::string& version) {
    return "Quenda update\r\n" + version +
           "\r\nhttps://quenda.invalid/news\r\nhttps://127.0.0.1:8443/quenda.deb\r\n"
           "quenda.deb\r\nThe package opens in your software installer.\r\n5\r\n"
           "Answers negative replies from the cache\r\nA quicker start\r\nThe update check "
           "fetches over HTTPS only\r\n";
}

class UpdateDesktopTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (geteuid() != 0 || std::getenv("QUENDA_NETNS") == nullptr ||
            std::getenv("DISPLAY") == nullptr) {
            GTEST_SKIP() << "needs root in a private network namespace and an X server (run "
                            "through ctest as root, with xvfb-run installed)";
        }
        home = dir.Path().string();
        std::filesystem::create_directory(dir / "www");
        ASSERT_EQ(std::system(("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "
                               "/CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 -keyout " +
                               home + "/key.pem -out " + home + "/cert.pem >/dev/null 2>&1")
                                  .c_str()),
                  0);
        ASSERT_EQ(std::system(("mkdir " + home + "/ca && cp " + home + "/cert.pem " + home +
                               "/ca/ && openssl rehash " + home + "/ca")
                                  .c_str()),
                  0);
        ASSERT_EQ(unshare(CLONE_NEWNS), 0);
        ASSERT_EQ(mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0);
        ASSERT_EQ(mount((home + "/ca").c_str(), "/etc/ssl/certs", nullptr, MS_BIND, nullptr), 0);
        server = std::make_unique<Helper>(
            std::vector<std::string>{"python3", QUENDA_HTTPS_SERVER, home + "/www",
                                     home + "/cert.pem", home + "/key.pem", "8443"});
        dir.WriteFile("QUENDA.INI", std::string("[NAMESERVER]\nDNS_0_NAME=127.0.0.2\n"
                                                "DNS_0_ENABLED=Yes\n[UPDATE]\nURL=") +
                                        kPageAddress + "\n");
        tray = std::make_unique<Helper>(
            std::vector<std::string>{"trayer", "--edge", "top", "--align", "right", "--widthtype",
                                     "request", "--height", "24", "--SetDockType", "true"});
        ASSERT_TRUE(WaitFor([] { return !RunCommand("xdotool search --name '^panel$'").empty(); }));
        std::this_thread::sleep_for(300ms);
    }

    void TearDown() override {
        if (!HasFailure() || home.empty()) return;
        std::printf("--- quenda errors ---\n%s\n", ReadFile(home + "/stderr.txt").c_str());
    }

    // Presses the About tab's "Update", waits for the outcome and saves the dialog's picture.
    void OpenAndPicture(const std::string& window, const std::string& name) {
        Keys(window, "alt+a");
        // "Update" has no access key: a click on it, first in the row of buttons at the bottom
        // left of the 600 x 440 window.
        RunCommand("xdotool mousemove --window " + window + " 40 396 sleep 0.3 click 1");
        std::string dialog;
        ASSERT_TRUE(WaitFor([&] { return !(dialog = VisibleWindow("^Quenda Update$")).empty(); }))
            << name;
        std::this_thread::sleep_for(2s);  // the page comes over loopback
        const std::filesystem::path pictures = QUENDA_SCREENSHOTS;
        std::filesystem::create_directories(pictures);
        const std::filesystem::path file = pictures / ("quenda-update-" + name + ".png");
        std::filesystem::remove(file);
        RunCommand(std::string(QUENDA_GRAB_WINDOW) + " " + dialog + " " + file.string());
        EXPECT_GT(std::filesystem::exists(file) ? std::filesystem::file_size(file) : 0u, 1000u);
        Keys(dialog, "Escape");
        EXPECT_TRUE(WaitFor([] { return VisibleWindow("^Quenda Update$").empty(); })) << name;
    }

    TempDirectory dir;
    std::string home;
    std::unique_ptr<Helper> server;
    std::unique_ptr<Helper> tray;
};

TEST_F(UpdateDesktopTest, UpdateShowsANewVersionNoNewVersionAndAFailedConnection) {
    dir.WriteFile("www/update.txt", UpdatePage("99.0.0"));
    QuendaProcess quenda(home, kPort, QuendaProcess::Stdout::kFile, true);
    std::string window;
    ASSERT_TRUE(WaitFor([&] { return !(window = VisibleQuendaWindow()).empty(); }, 20s))
        << ReadFile(home + "/stderr.txt");

    OpenAndPicture(window, "new-version");
    dir.WriteFile("www/update.txt", UpdatePage(QUENDA_VERSION));
    OpenAndPicture(window, "no-new-version");
    std::filesystem::remove(dir / "www" / "update.txt");
    OpenAndPicture(window, "connection-failed");
    EXPECT_EQ(quenda.Stop(SIGTERM), 0);
}

}  // namespace
}  // namespace quenda::test
