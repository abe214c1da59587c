// The real program with its windows, in a private X server with a system tray, in a private
// network namespace: the cache tab lists what was asked, and the host entry editor adds a host
// that a dig then gets from the cache at once. Saves pictures under screenshots/.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <thread>

#include "app/relay/dns_codec.h"
#include "tests/support/dns_builder.h"
#include "tests/support/temp_directory.h"
#include "tests/system/fake_upstream.h"
#include "tests/system/quenda_process.h"

extern char** environ;

namespace quenda::test {
namespace {

using namespace std::chrono_literals;

constexpr uint16_t kPort = 5353;

template <typename Condition>
bool WaitFor(Condition condition, std::chrono::milliseconds timeout = 10s) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!condition() && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(50ms);
    }
    return condition();
}

// The first visible window titled exactly title (its X id), or "".
std::string VisibleWindow(const std::string& title) {
    std::string found =
        RunCommand("xdotool search --onlyvisible --name '^" + title + "$' 2>/dev/null");
    return found.substr(0, found.find('\n'));
}

void Xdotool(const std::string& window, const std::string& action) {
    RunCommand("xdotool windowfocus --sync " + window + " " + action + " 2>&1");
    std::this_thread::sleep_for(400ms);
}

void Grab(const std::string& window, const std::string& name) {
    const std::filesystem::path pictures = QUENDA_SCREENSHOTS;
    std::filesystem::create_directories(pictures);
    const std::filesystem::path file = pictures / name;
    std::filesystem::remove(file);
    RunCommand(std::string(QUENDA_GRAB_WINDOW) + " " + window + " " + file.string());
    EXPECT_GT(std::filesystem::exists(file) ? std::filesystem::file_size(file) : 0u, 1000u) << file;
}

// The tray the program puts its icon in, so that it starts without asking about it.
class Tray {
  public:
    Tray() {
        std::vector<std::string> arguments{"trayer",  "--edge",        "top", "--align",
                                           "right",   "--height",      "24",  "--widthtype",
                                           "request", "--SetDockType", "true"};
        std::vector<char*> argv;
        for (std::string& argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);
        if (posix_spawnp(&pid_, argv[0], nullptr, nullptr, argv.data(), environ) != 0) pid_ = -1;
    }
    ~Tray() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }

  private:
    pid_t pid_ = -1;
};

class CacheDesktopTest : public ::testing::Test {
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
        tray = std::make_unique<Tray>();
        ASSERT_TRUE(WaitFor([] { return !RunCommand("xdotool search --name '^panel$'").empty(); }));
        std::this_thread::sleep_for(300ms);
    }

    void TearDown() override {
        if (!HasFailure() || home.empty()) return;
        std::printf("--- quenda errors ---\n%s\n", ReadFile(home + "/stderr.txt").c_str());
    }

    // What dig gets for name's A record from the program: the addresses, one a line.
    static std::string Dig(const std::string& name) {
        return RunCommand("dig @127.0.0.1 -p " + std::to_string(kPort) +
                          " +tries=1 +time=1 +short " + name + " A 2>&1");
    }

    TempDirectory dir;
    std::string home;
    std::unique_ptr<FakeUpstream> upstream;
    std::unique_ptr<Tray> tray;
};

TEST_F(CacheDesktopTest, TheEditorAddsAHostThatIsThenAnsweredFromTheCache) {
    QuendaProcess quenda(home, kPort, QuendaProcess::Stdout::kFile, true);
    std::string window;
    ASSERT_TRUE(WaitFor([&] { return !(window = VisibleWindow("Quenda")).empty(); }, 20s))
        << ReadFile(home + "/stderr.txt");
    for (const char* name : {"www.example.org", "mail.example.org", "ftp.example.net"}) {
        EXPECT_EQ(Dig(name), upstream->AnswerAddress() + "\n") << name;
    }

    Xdotool(window, "key alt+c");
    Grab(window, "quenda-cache-tab.png");
    // "&Add" shares its access key with the About tab: the first one after the tab strip.
    Xdotool(window, "key Tab Tab Tab Tab space");
    std::string editor;
    ASSERT_TRUE(WaitFor([&] { return !(editor = VisibleWindow("Add an entry")).empty(); }));
    Xdotool(editor, "type --delay 30 new.example.org");
    Xdotool(editor, "key alt+s");
    ASSERT_TRUE(WaitFor([&] {
        for (const std::string& query : upstream->Queries()) {
            if (IdOf(query) == 43775 && GetQueryName(query) == "new.example.org") return true;
        }
        return false;
    }));
    std::this_thread::sleep_for(500ms);
    Grab(editor, "quenda-host-editor.png");

    // Nobody upstream answers any more: only the cache can.
    upstream->SetMode(FakeUpstream::Mode::kSilent);
    EXPECT_EQ(Dig("new.example.org"), upstream->AnswerAddress() + "\n");
    EXPECT_NE(Dig("other.example.org").find("timed out"), std::string::npos);

    Xdotool(editor, "key Escape");
    EXPECT_TRUE(WaitFor([] { return VisibleWindow("Add an entry").empty(); }));
    Grab(window, "quenda-cache-tab-added.png");
    EXPECT_EQ(quenda.Stop(SIGTERM), 0);
}

}  // namespace
}  // namespace quenda::test
