// The name-server tester in the real program with its windows, in a private X server with a
// system tray, testing a fake name server on 127.0.0.2 in a private network namespace. Saves
// pictures of the dialog before, during and after a test under the build's screenshots/.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <thread>

#include "tests/support/temp_directory.h"
#include "tests/system/desktop_fixture.h"
#include "tests/system/fake_upstream.h"
#include "tests/system/quenda_process.h"

extern char** environ;

namespace quenda::test {
namespace {

using namespace std::chrono_literals;

class TesterDesktopTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (geteuid() != 0 || std::getenv("QUENDA_NETNS") == nullptr ||
            std::getenv("DISPLAY") == nullptr) {
            GTEST_SKIP() << "needs root in a private network namespace and an X server (run "
                            "through ctest as root, with xvfb-run installed)";
        }
        dir.WriteFile("QUENDA.INI",
                      "[NAMESERVER]\nDNS_0_NAME=127.0.0.2\nDNS_0_ENABLED=Yes\nDNS_0_DESC=fake "
                      "name server\nDNS_1_NAME=192.0.2.53\nDNS_1_DESC=documentation\n");
        upstream = std::make_unique<FakeUpstream>("127.0.0.2");
        ASSERT_TRUE(upstream->Ok());
        char* tray[] = {const_cast<char*>("trayer"), const_cast<char*>("--edge"),
                        const_cast<char*>("top"), nullptr};
        if (posix_spawnp(&trayPid, "trayer", nullptr, nullptr, tray, environ) != 0) trayPid = -1;
        ASSERT_TRUE(WaitFor([] { return !VisibleWindow("^panel$").empty(); }));
        std::this_thread::sleep_for(300ms);
    }

    void TearDown() override {
        if (trayPid > 0) {
            kill(trayPid, SIGTERM);
            waitpid(trayPid, nullptr, 0);
        }
    }

    void Grab(const std::string& window, const std::string& name) {
        const std::filesystem::path pictures = QUENDA_SCREENSHOTS;
        std::filesystem::create_directories(pictures);
        const std::filesystem::path file = pictures / ("quenda-tester-" + name + ".png");
        std::filesystem::remove(file);
        RunCommand(std::string(QUENDA_GRAB_WINDOW) + " " + window + " " + file.string());
        EXPECT_GT(std::filesystem::exists(file) ? std::filesystem::file_size(file) : 0u, 1000u)
            << file;
    }

    TempDirectory dir;
    std::unique_ptr<FakeUpstream> upstream;
    pid_t trayPid = -1;
};

TEST_F(TesterDesktopTest, TheTestButtonOpensTheTesterWhichShowsBothTimes) {
    QuendaProcess quenda(dir.Path().string(), kPort, QuendaProcess::Stdout::kFile, true);
    std::string window;
    ASSERT_TRUE(WaitFor([&] { return !(window = VisibleQuendaWindow()).empty(); }, 20s))
        << quenda.Errors();
    Keys(window, "alt+r");
    RunCommand("xdotool key alt+t");
    std::string dialog;
    ASSERT_TRUE(WaitFor([&] { return !(dialog = VisibleWindow("^DNS server test$")).empty(); }));
    std::this_thread::sleep_for(500ms);
    Grab(dialog, "1-before");

    // The name server takes its time, so the picture in between shows the lookup waiting.
    upstream->SetDelayMs(2500);
    Keys(dialog, "Down alt+s");
    // The pointer over "Stop!" shows its tip.
    RunCommand("xdotool mousemove --window " + dialog + " 150 10 sleep 0.2 mousemove --window " +
               dialog + " 140 282");
    std::this_thread::sleep_for(600ms);
    Grab(dialog, "2-during");
    EXPECT_TRUE(WaitFor([&] { return upstream->Queries().size() == 1; }));
    std::this_thread::sleep_for(3s);
    // Over "&Start!" the tip names the server it would test.
    RunCommand("xdotool mousemove --window " + dialog + " 50 282");
    std::this_thread::sleep_for(400ms);
    Grab(dialog, "3-after");

    Keys(dialog, "alt+c");
    EXPECT_TRUE(WaitFor([] { return VisibleWindow("^DNS server test$").empty(); }));
    EXPECT_EQ(quenda.Stop(SIGTERM), 0);
}

}  // namespace
}  // namespace quenda::test
