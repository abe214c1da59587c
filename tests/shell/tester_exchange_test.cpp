// The name-server tester with the real UDPPort and ICMPPort controls on loopback, in a private
// network namespace: a fake name server on 127.0.0.2:53 answers the lookup and the kernel
// answers the ping, as root and as an unprivileged user (a child process run as nobody) with
// ping sockets allowed or refused.
#include <grp.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

extern char** environ;

#include "app/shell/icmp_port_control.h"
#include "app/shell/tester_form.h"
#include "app/shell/udp_port_control.h"
#include "platform/registry/registry.h"
#include "tests/support/fake_relay_ports.h"
#include "tests/support/qt_loop.h"
#include "tests/support/scripted_messages.h"
#include "tests/support/temp_directory.h"
#include "tests/system/fake_upstream.h"

namespace quenda::test {
namespace {

constexpr char kChildMode[] = "QUENDA_TESTER_CHILD";
constexpr char kChildFilter[] = "--gtest_filter=TesterAsNobody.*";

// The system's clock, moved on by hand to reach a time-out at once.
struct SteppedClock final : Clock {
    Tick Now() override { return GetTickCount() + skipped; }
    uint32_t skipped = 0;
};

struct NoHelp final : HelpHost {
    int HelpContext() const override { return 0; }
    void SetHelpContext(int) override {}
    void OpenHelp() override {}
};

// The tester over real controls, created the way the program creates them.
class RealTester {
  public:
    explicit RealTester(const std::string& registry) {
        Registry::SetProcessPath(registry);
        tudp = UdpPortControl::Create(std::string(QUENDA_LIB_DIR) + "/libtarnel.so");
        icmp = IcmpPortControl::Create(std::string(QUENDA_LIB_DIR) + "/libpellin.so");
        servers[0].address = "127.0.0.2";
        form = std::make_unique<TesterForm>(TesterParts{servers, local, tudp.get(), icmp.get(),
                                                        messages, log, clock, random, help,
                                                        refusalLogged});
        if (tudp) {
            tudp->SetDataInHandler([this](std::string_view datagram, const std::string&, uint16_t) {
                form->LookupDataIn(datagram);
            });
        }
        if (icmp) {
            icmp->SetDataInHandler(
                [this](int type, int code, std::string_view data, bool intact, const std::string&) {
                    if (type == 0 && data == form->PingData()) replyIntact = intact;
                    form->PingDataIn(type, code, data);
                });
        }
        form->Load();
        form->SetServerText("127.0.0.2       fake");
    }

    bool Ready() const { return tudp && icmp; }

    // Starts a test and runs the loop until the lookup's result is shown, and the ping's too
    // unless told not to wait for it, or 5 s passed.
    void Test(bool waitForPing = true) {
        form->StartClicked();
        RunLoopUntil([this, waitForPing] {
            form->TimerTick();
            return !form->Face().lookupTime.empty() &&
                   (!waitForPing || !form->Face().pingTime.empty());
        });
    }

    // The kind of socket the ping went out on (SOCK_RAW or SOCK_DGRAM), 0 when none is open.
    int PingSocketType() const {
        int32_t handle = -1;
        int type = 0;
        socklen_t length = sizeof type;
        if (FAILED(icmp->Control()->get_SocketHandle(&handle)) || handle < 0 ||
            getsockopt(handle, SOL_SOCKET, SO_TYPE, &type, &length) != 0) {
            return 0;
        }
        return type;
    }

    int RefusalLines() const {
        int lines = 0;
        for (const auto& [level, text] : log.lines) {
            lines += level == 2 && text.find("the ping cannot be sent") != std::string::npos;
        }
        return lines;
    }

    NameServerList servers;
    LocalAddresses local;
    ScriptedMessages messages;
    FakeLog log;
    SteppedClock clock;
    FakeMessageIds random;
    NoHelp help;
    bool refusalLogged = false;
    bool replyIntact = false;
    std::unique_ptr<UdpPortControl> tudp;
    std::unique_ptr<IcmpPortControl> icmp;
    std::unique_ptr<TesterForm> form;
};

bool IsTime(const std::string& text) {
    return std::regex_match(text, std::regex("[0-9]+ms"));
}

class TesterExchangeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (geteuid() != 0 || std::getenv("QUENDA_NETNS") == nullptr) {
            GTEST_SKIP() << "needs root in a private network namespace (run through ctest as "
                            "root)";
        }
        upstream = std::make_unique<FakeUpstream>("127.0.0.2");
        ASSERT_TRUE(upstream->Ok());
    }

    // Lets the groups in pingGroups ("first last") open ping sockets in this namespace; false
    // where the setting cannot be written (a read-only /proc/sys).
    static bool SetPingGroups(const char* pingGroups) {
        std::ofstream range("/proc/sys/net/ipv4/ping_group_range");
        range << pingGroups << "\n";
        range.flush();
        return static_cast<bool>(range);
    }

    // Runs this program's TesterAsNobody cases as nobody; true when they passed.
    static bool PassesAsNobody(const char* mode, const passwd& nobody) {
        const uid_t uid = nobody.pw_uid;
        const gid_t gid = nobody.pw_gid;
        // Made before the fork: the fake name server's thread may hold malloc's lock then.
        std::vector<std::string> variables{std::string(kChildMode) + "=" + mode};
        for (char** variable = environ; *variable != nullptr; ++variable) {
            variables.emplace_back(*variable);
        }
        std::vector<char*> environment;
        for (std::string& variable : variables) environment.push_back(variable.data());
        environment.push_back(nullptr);
        const pid_t child = fork();
        if (child == 0) {
            if (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0) _exit(3);
            execle("/proc/self/exe", "tester_exchange_test", kChildFilter, nullptr,
                   environment.data());
            _exit(4);
        }
        int status = 0;
        return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
               WEXITSTATUS(status) == 0;
    }

    std::unique_ptr<FakeUpstream> upstream;
};

TEST_F(TesterExchangeTest, AsRootTheLookupAndThePingAreAnsweredAndTimed) {
    TempDirectory dir;
    RealTester tester((dir.Path() / "registry").string());
    ASSERT_TRUE(tester.Ready());
    tester.Test();
    EXPECT_TRUE(IsTime(tester.form->Face().lookupTime)) << tester.form->Face().lookupTime;
    EXPECT_TRUE(IsTime(tester.form->Face().pingTime)) << tester.form->Face().pingTime;
    EXPECT_EQ(tester.PingSocketType(), SOCK_RAW);
    EXPECT_TRUE(tester.replyIntact);
    EXPECT_EQ(upstream->Queries().size(), 1u);
}

TEST_F(TesterExchangeTest, AsAUserThePingGoesThroughAPingSocket) {
    const passwd* nobody = getpwnam("nobody");
    if (nobody == nullptr || !SetPingGroups("0 2147483647")) {
        GTEST_SKIP() << "needs the user nobody and a writable net.ipv4.ping_group_range";
    }
    EXPECT_TRUE(PassesAsNobody("allowed", *nobody));
}

TEST_F(TesterExchangeTest, AsAUserWithoutPingSocketsThePingTimesOutAndTheLogSaysWhyOnce) {
    const passwd* nobody = getpwnam("nobody");
    if (nobody == nullptr || !SetPingGroups("1 0")) {
        GTEST_SKIP() << "needs the user nobody and a writable net.ipv4.ping_group_range";
    }
    EXPECT_TRUE(PassesAsNobody("refused", *nobody));
}

// Run only as the child of the cases above.
TEST(TesterAsNobody, TestsTheServer) {
    const char* mode = std::getenv(kChildMode);
    if (mode == nullptr) GTEST_SKIP() << "run by TesterExchangeTest as nobody";
    ASSERT_NE(geteuid(), 0u);
    TempDirectory dir;
    RealTester tester((dir.Path() / "registry").string());
    ASSERT_TRUE(tester.Ready());
    if (std::string(mode) == "allowed") {
        tester.Test();
        EXPECT_TRUE(IsTime(tester.form->Face().lookupTime)) << tester.form->Face().lookupTime;
        EXPECT_TRUE(IsTime(tester.form->Face().pingTime)) << tester.form->Face().pingTime;
        EXPECT_EQ(tester.PingSocketType(), SOCK_DGRAM);
        EXPECT_TRUE(tester.replyIntact);
        EXPECT_EQ(tester.RefusalLines(), 0);
        return;
    }
    tester.Test(false);
    EXPECT_EQ(tester.form->Face().pingTime, "");
    tester.clock.skipped = kTesterTimeoutMs + 1;
    tester.form->TimerTick();
    EXPECT_TRUE(IsTime(tester.form->Face().lookupTime)) << tester.form->Face().lookupTime;
    EXPECT_EQ(tester.form->Face().pingTime, "Timeout");
    tester.Test(false);
    EXPECT_EQ(tester.RefusalLines(), 1);
    ASSERT_FALSE(tester.log.lines.empty());
    EXPECT_NE(tester.log.lines[0].second.find("error 25014"), std::string::npos)
        << tester.log.lines[0].second;
}

}  // namespace
}  // namespace quenda::test

// The controls' notifications need a QCoreApplication.
int main(int argc, char** argv) {
    return quenda::test::RunTestsWithCoreApplication(argc, argv);
}
