// The installed program, run from a copy of its installed tree in a private network namespace:
// it finds its libraries and seed file there, registers its own component libraries, tells a
// service manager it is ready once both DNS ports are open, and answers.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "tests/support/dns_builder.h"
#include "tests/support/temp_directory.h"
#include "tests/system/fake_upstream.h"
#include "tests/system/quenda_process.h"

namespace quenda::test {
namespace {

using namespace std::chrono_literals;

constexpr uint16_t kPort = 5353;

// A socket standing in for the service manager's notification socket.
class NotifySocket {
  public:
    explicit NotifySocket(const std::string& path) : path_(path) {
        fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        path.copy(address.sun_path, sizeof address.sun_path - 1);
        bound_ = bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~NotifySocket() { close(fd_); }
    bool Ok() const { return bound_; }

    // The next message, "" when none came in time.
    std::string Receive(std::chrono::milliseconds timeout) const {
        pollfd fd{fd_, POLLIN, 0};
        if (poll(&fd, 1, static_cast<int>(timeout.count())) <= 0) return "";
        char buffer[512];
        const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
        return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : "";
    }

  private:
    std::string path_;
    int fd_ = -1;
    bool bound_ = false;
};

bool TcpPortOpen(uint16_t port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool open = connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0;
    close(fd);
    return open;
}

class InstallTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (geteuid() != 0 || std::getenv("QUENDA_NETNS") == nullptr) {
            GTEST_SKIP() << "needs root in a private network namespace (run through ctest as root)";
        }
        home = dir.Path().string();
    }

    void TearDown() override {
        if (!HasFailure() || home.empty()) return;
        std::printf("--- quenda output ---\n%s\n--- errors ---\n%s\n",
                    ReadFile(home + "/stdout.txt").c_str(), ReadFile(home + "/stderr.txt").c_str());
    }

    TempDirectory dir;
    std::string home;
};

TEST_F(InstallTest, TheInstalledTreeRunsWhereverItIs) {
    // The bundled seed names 9.9.9.9 first: here a fake name server on loopback, reached
    // through a local route (an interface address would make it one of the host's own
    // addresses, which are refused as name servers).
    RunCommand("ip route add local 9.9.9.9/32 dev lo");
    FakeUpstream quad9("9.9.9.9");
    ASSERT_TRUE(quad9.Ok());
    NotifySocket manager(home + "/notify");
    ASSERT_TRUE(manager.Ok());

    setenv("NOTIFY_SOCKET", (home + "/notify").c_str(), 1);
    QuendaProcess quenda(home, kPort);
    unsetenv("NOTIFY_SOCKET");
    ASSERT_EQ(manager.Receive(20s), "READY=1") << quenda.Errors();
    EXPECT_TRUE(TcpPortOpen(kPort));
    const auto reply = AskUdp(Query("installed.example", 1, 0x4242), kPort);
    ASSERT_TRUE(reply);
    EXPECT_EQ(*reply,
              quad9.ReplyTo(Query("installed.example", 1, 0x4242), FakeUpstream::Mode::kAnswer));

    // Its own copies of the component libraries are registered, never the build tree's.
    const std::string registry = ReadFile(home + "/registry");
    for (const char* library : {"libtarnel.so", "libpellin.so", "libpindletray2.so"}) {
        const std::string ownLibrary = std::filesystem::canonical(QUENDA_MOVED_PREFIX).string() +
                                       "/" QUENDA_LIBDIR "/" + library;
        EXPECT_NE(registry.find(ownLibrary), std::string::npos) << library << "\n" << registry;
    }
    EXPECT_EQ(registry.find(QUENDA_BUILD_DIR "/lib/"), std::string::npos) << registry;

    EXPECT_EQ(quenda.Stop(SIGTERM), 0);
    EXPECT_EQ(manager.Receive(1s), "STOPPING=1");
    const std::string settings = ReadFile(home + "/QUENDA.INI");
    EXPECT_NE(settings.find("DNS_0_NAME=9.9.9.9"), std::string::npos) << settings;
}

TEST(InstalledProgram, ShowsItsHelpAndVersion) {
    const std::string help = RunCommand(QUENDA_BINARY " --help");
    EXPECT_EQ(help.rfind("Usage: quenda ", 0), 0u) << help;
    EXPECT_NE(help.find("--listen ADDR"), std::string::npos) << help;
    EXPECT_EQ(RunCommand(QUENDA_BINARY " --version").rfind("quenda ", 0), 0u);
}

}  // namespace
}  // namespace quenda::test
