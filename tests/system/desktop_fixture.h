// The real program with its windows in a private X server with a system tray (trayer),
// between real DNS clients and a fake name server on 127.0.0.2, in a private network
// namespace: the fixture of every desktop test file, and the helpers they share.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/profile/profile_file.h"
#include "tests/support/dns_builder.h"
#include "tests/support/temp_directory.h"
#include "tests/system/fake_upstream.h"
#include "tests/system/quenda_process.h"

extern char** environ;

namespace quenda::test {

using namespace std::chrono_literals;

inline constexpr uint16_t kPort = 5353;

template <typename Condition>
inline bool WaitFor(Condition condition, std::chrono::milliseconds timeout = 10s) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!condition() && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(50ms);
    }
    return condition();
}

// A helper program running beside the test, ended with it.
class Helper {
  public:
    explicit Helper(std::vector<std::string> arguments) {
        std::vector<char*> argv;
        for (std::string& argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);
        if (posix_spawnp(&pid_, argv[0], nullptr, nullptr, argv.data(), environ) != 0) pid_ = -1;
    }
    ~Helper() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    bool Running() const { return pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == 0; }

  private:
    pid_t pid_ = -1;
};

// The first visible top-level window whose title matches the regular expression (its X id),
// or "".
inline std::string VisibleWindow(const std::string& title) {
    std::string found =
        RunCommand("xdotool search --onlyvisible --name '" + title + "' 2>/dev/null");
    const size_t end = found.find('\n');
    return end == std::string::npos ? found : found.substr(0, end);
}

// The visible top-level window titled exactly "Quenda" (its X id), or "".
inline std::string VisibleQuendaWindow() {
    return VisibleWindow("^Quenda$");
}

// Saves a picture of the window (its X id in decimal) as name.png in the screenshots folder;
// the file's path.
inline std::filesystem::path Screenshot(const std::string& window, const std::string& name) {
    const std::filesystem::path pictures = QUENDA_SCREENSHOTS;
    std::filesystem::create_directories(pictures);
    const std::filesystem::path file = pictures / (name + ".png");
    std::filesystem::remove(file);
    RunCommand(std::string(QUENDA_GRAB_WINDOW) + " " + window + " " + file.string());
    return file;
}

inline void Keys(const std::string& window, const std::string& keys) {
    RunCommand("xdotool windowfocus --sync " + window + " key --delay 80 " + keys + " 2>&1");
    std::this_thread::sleep_for(400ms);
}

class DesktopTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (geteuid() != 0 || std::getenv("QUENDA_NETNS") == nullptr ||
            std::getenv("DISPLAY") == nullptr) {
            GTEST_SKIP() << "needs root in a private network namespace and an X server (run "
                            "through ctest as root, with xvfb-run installed)";
        }
        home = dir.Path().string();
        dir.WriteFile("QUENDA.INI",
                      "[NAMESERVER]\nDNS_0_NAME=127.0.0.2\nDNS_0_ENABLED=Yes\nDNS_0_DESC=fake\n");
        upstream = std::make_unique<FakeUpstream>("127.0.0.2");
        ASSERT_TRUE(upstream->Ok());
        tray = std::make_unique<Helper>(
            std::vector<std::string>{"trayer", "--edge", "top", "--align", "right", "--widthtype",
                                     "request", "--height", "24", "--SetDockType", "true"});
        // The program looks for the tray once, at start-up.
        ASSERT_TRUE(WaitFor([] { return !RunCommand("xdotool search --name '^panel$'").empty(); }));
        std::this_thread::sleep_for(300ms);
    }

    void TearDown() override {
        if (!HasFailure() || home.empty()) return;
        std::printf("--- quenda errors ---\n%s\n", ReadFile(home + "/stderr.txt").c_str());
    }

    // Starts the program and waits for its window.
    std::unique_ptr<QuendaProcess> Start() {
        auto quenda =
            std::make_unique<QuendaProcess>(home, kPort, QuendaProcess::Stdout::kFile, true);
        EXPECT_TRUE(WaitFor([&] { return !(window = VisibleQuendaWindow()).empty(); }, 20s))
            << ReadFile(home + "/stderr.txt");
        return quenda;
    }

    bool Answered(uint16_t id) {
        return WaitFor(
            [&] { return AskUdp(Query("www.example.org", 1, id), kPort, 1s).has_value(); });
    }

    std::string Setting(const char* section, const char* key) {
        return GetPrivateProfileString(section, key, "<absent>", 100, home + "/QUENDA.INI");
    }

    TempDirectory dir;
    std::string home;
    std::string window;
    std::unique_ptr<FakeUpstream> upstream;
    std::unique_ptr<Helper> tray;
};

}  // namespace quenda::test
