// The real program, headless, between real DNS clients and fake name servers on 127.0.0.2
// and 127.0.0.3, all inside a private network namespace.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <random>
#include <thread>

#include "app/relay/dns_codec.h"
#include "platform/profile/profile_file.h"
#include "tests/support/dns_builder.h"
#include "tests/support/temp_directory.h"
#include "tests/system/fake_upstream.h"
#include "tests/system/quenda_process.h"

namespace quenda::test {
namespace {

using namespace std::chrono_literals;
using Mode = FakeUpstream::Mode;

constexpr uint16_t kPort = 5353;

// Polls condition until it holds or the time-out passes; its last value.
template <typename Condition>
bool WaitFor(Condition condition, std::chrono::milliseconds timeout = 2s) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!condition() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(10ms);
    return condition();
}

uint8_t RcodeOf(const std::string& reply) {
    return reply.size() > 3 ? reply[3] & 0x0F : 0xFF;
}

class SystemTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (geteuid() != 0 || std::getenv("QUENDA_NETNS") == nullptr) {
            GTEST_SKIP() << "needs root in a private network namespace (run through ctest as root)";
        }
        home = dir.Path().string();
        WriteSettings(2);
        first = std::make_unique<FakeUpstream>("127.0.0.2");
        second = std::make_unique<FakeUpstream>("127.0.0.3");
        ASSERT_TRUE(first->Ok() && second->Ok());
    }

    void TearDown() override {
        if (!HasFailure() || home.empty()) return;
        const std::string output = ReadFile(home + "/stdout.txt");
        std::printf("--- quenda output (last part) ---\n%s\n--- errors ---\n%s\n",
                    output.substr(output.size() > 4000 ? output.size() - 4000 : 0).c_str(),
                    ReadFile(home + "/stderr.txt").c_str());
    }

    void WriteSettings(int detail) {
        dir.WriteFile("QUENDA.INI", "[OPTIONS]\nLOG_DETAIL=" + std::to_string(detail) +
                                        "\n[NAMESERVER]\nDNS_0_NAME=127.0.0.2\nDNS_0_ENABLED=Yes\n"
                                        "DNS_1_NAME=127.0.0.3\nDNS_1_ENABLED=Yes\n");
    }

    std::unique_ptr<QuendaProcess> Start() {
        auto process = std::make_unique<QuendaProcess>(home, kPort);
        EXPECT_TRUE(process->WaitUntilServing()) << process->Errors();
        return process;
    }

    void SetBoth(Mode mode) {
        first->SetMode(mode);
        second->SetMode(mode);
    }

    std::string Setting(const char* section, const char* key) {
        return GetPrivateProfileString(section, key, "<absent>", 100, home + "/QUENDA.INI");
    }

    TempDirectory dir;
    std::string home;
    std::unique_ptr<FakeUpstream> first, second;
};

TEST_F(SystemTest, MissIsRelayedAndAHitIsAnsweredAtOnceWithTheClientsId) {
    auto quenda = Start();
    const auto relayed = AskUdp(Query("www.example.org", 1, 0x1111), kPort);
    ASSERT_TRUE(relayed);
    EXPECT_EQ(IdOf(*relayed), 0x1111);
    EXPECT_EQ(RcodeOf(*relayed), 0);
    EXPECT_TRUE(WaitFor([&] { return first->Queries().size() + second->Queries().size() == 2; }));

    SetBoth(Mode::kSilent);
    const std::string again = Query("WWW.example.org", 1, 0x2222);
    const auto cached = AskUdp(again, kPort, 1000ms);
    ASSERT_TRUE(cached);
    // The later of the two replies is the one kept, under the new asker's ID and spelling.
    const std::string fromFirst = first->ReplyTo(again, Mode::kAnswer);
    const std::string fromSecond = second->ReplyTo(again, Mode::kAnswer);
    EXPECT_TRUE(*cached == fromFirst || *cached == fromSecond);
    // Refreshed upstream anyway, now only at the server with the most first answers.
    EXPECT_TRUE(WaitFor([&] { return first->Queries().size() + second->Queries().size() == 3; }));
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(first->Queries().size() + second->Queries().size(), 3u);

    // A real resolver client sees the answer too; AAAA has a question of its own.
    SetBoth(Mode::kAnswer);
    const std::string dug =
        RunCommand("dig @127.0.0.1 -p 5353 +short +tries=1 +time=3 www.example.org A");
    EXPECT_TRUE(dug == "192.0.2.2\n" || dug == "192.0.2.3\n") << dug;
    const auto aaaa = AskUdp(Query("www.example.org", 28, 0x3333), kPort);
    ASSERT_TRUE(aaaa);
    EXPECT_EQ(GetQueryType(*aaaa), "AAAA");
}

TEST_F(SystemTest, ClientsAskingTogetherEachGetTheirOwnId) {
    auto quenda = Start();
    SetBoth(Mode::kAnswer);
    first->SetDelayMs(300);
    second->SetDelayMs(300);
    UdpClient a, b, c;
    a.Send(Query("together.example", 1, 0xAAAA), kPort);
    b.Send(Query("together.example", 1, 0xBBBB), kPort);
    c.Send(Query("together.example", 1, 0xCCCC), kPort);
    const auto ra = a.Receive(3s), rb = b.Receive(3s), rc = c.Receive(3s);
    ASSERT_TRUE(ra && rb && rc);
    EXPECT_EQ(IdOf(*ra), 0xAAAA);
    EXPECT_EQ(IdOf(*rb), 0xBBBB);
    EXPECT_EQ(IdOf(*rc), 0xCCCC);
}

TEST_F(SystemTest, NegativeAndMissingAnswersArriveOnTime) {
    WriteSettings(3);
    auto quenda = Start();
    SetBoth(Mode::kNegative);
    auto start = std::chrono::steady_clock::now();
    const auto both = AskUdp(Query("nothing.example", 1, 0x0101), kPort, 5s);
    ASSERT_TRUE(both);
    EXPECT_EQ(RcodeOf(*both), 3);
    EXPECT_EQ(IdOf(*both), 0x0101);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 4s);

    first->SetMode(Mode::kNegative);
    second->SetMode(Mode::kSilent);
    UdpClient late, lost;
    start = std::chrono::steady_clock::now();
    const size_t asked = first->Queries().size();
    late.Send(Query("half.example", 1, 0x0202), kPort);
    for (int i = 0; i < 200 && first->Queries().size() == asked; ++i)
        std::this_thread::sleep_for(10ms);
    std::this_thread::sleep_for(50ms);  // its negative reply is on the way
    first->SetMode(Mode::kSilent);
    lost.Send(Query("silence.example", 1, 0x0303), kPort);
    const auto lostSent = std::chrono::steady_clock::now();
    const auto halfAnswer = late.Receive(12s);
    ASSERT_TRUE(halfAnswer);
    EXPECT_EQ(RcodeOf(*halfAnswer), 3);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GT(waited, 6s);
    EXPECT_LT(waited, 11s);

    // Nobody answers: nothing reaches the client, and after 35 s the request counts as lost.
    EXPECT_FALSE(lost.Receive(1s));
    EXPECT_TRUE(quenda->WaitForOutput("Q: 127.0.0.1 for: silence.example; TYPE: A", 1s));
    // The sweep runs every 2 s and frees a slot once it is older than 35 s.
    std::this_thread::sleep_until(lostSent + 39s);
    EXPECT_EQ(quenda->Stop(SIGTERM), 0);
    EXPECT_EQ(Setting("STATISTICS", "NOTANSWERED"), "1");
}

TEST_F(SystemTest, NegativeAnswersLeaveAsTheLastServerSaysNo) {
    auto quenda = Start();
    // Each answer leaves when the second server's reply arrives, not at the next two-second
    // sweep; several in a row, so that no sweep can happen to fall close to them all.
    for (const Mode mode : {Mode::kNegative, Mode::kNoData}) {
        SetBoth(mode);
        const bool nxdomain = mode == Mode::kNegative;
        for (uint16_t i = 0; i < 4; ++i) {
            const std::string name = "no" + std::to_string(i) + (nxdomain ? ".nx" : ".nodata");
            const auto start = std::chrono::steady_clock::now();
            const auto answer =
                AskUdp(Query(name + ".example", nxdomain ? 1 : 28, 0x4000 + i), kPort, 3s);
            const auto took = std::chrono::steady_clock::now() - start;
            ASSERT_TRUE(answer) << name;
            EXPECT_EQ(IdOf(*answer), 0x4000 + i);
            EXPECT_EQ(RcodeOf(*answer), nxdomain ? 3 : 0);
            EXPECT_LT(took, 500ms) << name;
        }
    }
    EXPECT_TRUE(quenda->WaitForOutput("A: (host not found): no3.nodata.example", 3s));
}

TEST_F(SystemTest, GarbageNeverHurtsTheService) {
    auto quenda = Start();
    UdpClient junk;
    std::mt19937 random(11);
    junk.Send("", kPort);
    junk.Send("x", kPort);
    junk.Send(std::string(65000, '\xc0'), kPort);
    for (int i = 0; i < 200; ++i) {
        std::string datagram(random() % 600, '\0');
        for (char& c : datagram) c = static_cast<char>(random());
        junk.Send(datagram, kPort);
    }
    // The burst may fill the socket's receive queue: a client asks again, as resolvers do.
    std::optional<std::string> answer;
    for (int attempt = 0; attempt < 5 && !answer; ++attempt) {
        answer = AskUdp(Query("still.example", 1, 0x5555), kPort, 2s);
    }
    ASSERT_TRUE(answer);
    EXPECT_EQ(IdOf(*answer), 0x5555);
    EXPECT_EQ(quenda->Stop(SIGTERM), 0);
}

TEST_F(SystemTest, RepliesFromUnlistedAddressesAreIgnored) {
    WriteSettings(3);
    auto quenda = Start();
    ASSERT_TRUE(AskUdp(Query("probe.example"), kPort));
    const uint16_t upstreamPort = first->LastSourcePort();
    ASSERT_NE(upstreamPort, 0);

    FakeUpstream forger("127.0.0.9");
    ASSERT_TRUE(forger.Ok());
    forger.SendFrom(forger.ReplyTo(Query("forged.example"), Mode::kAnswer), "127.0.0.1",
                    upstreamPort);
    EXPECT_TRUE(quenda->WaitForOutput("Dropped reply from 127.0.0.9:53", 3s));
    // From a listed server's own port, but nobody asked: spoofed, or a stray.
    first->SendFrom(first->ReplyTo(Query("planted.example"), Mode::kAnswer), "127.0.0.1",
                    upstreamPort);
    EXPECT_TRUE(quenda->WaitForOutput("Dropped reply from 127.0.0.2:53", 3s));
    SetBoth(Mode::kSilent);
    EXPECT_FALSE(AskUdp(Query("forged.example"), kPort, 1500ms));  // nothing was cached
    EXPECT_FALSE(AskUdp(Query("planted.example"), kPort, 1500ms));
}

TEST_F(SystemTest, TcpQueriesPassThroughEvenWhenSplit) {
    auto quenda = Start();
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(kPort);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
    timeval timeout{5, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    const std::string query = Query("tcp.example", 1, 0x7777);
    const char prefix[2] = {0, static_cast<char>(query.size())};
    ASSERT_EQ(write(fd, prefix, 2), 2);
    std::this_thread::sleep_for(100ms);
    ASSERT_EQ(write(fd, query.data(), query.size()), static_cast<ssize_t>(query.size()));
    std::string received;
    char buffer[512];
    while (received.size() < 2 || received.size() < 2u + (static_cast<uint8_t>(received[0]) << 8 |
                                                          static_cast<uint8_t>(received[1]))) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        received.append(buffer, static_cast<size_t>(n));
    }
    close(fd);
    ASSERT_GT(received.size(), 2u);
    // No server has won yet: the first listed one serves the connection.
    EXPECT_EQ(received.substr(2), first->ReplyTo(query, Mode::kAnswer));
    EXPECT_EQ(IdOf(received.substr(2)), 0x7777);
    const std::string dug = RunCommand("kdig @127.0.0.1 -p 5353 +tcp +short tcp2.example A");
    EXPECT_TRUE(dug == "192.0.2.2\n" || dug == "192.0.2.3\n") << dug;
}

TEST_F(SystemTest, SettingsAndCacheSurviveARestart) {
    auto quenda = Start();
    ASSERT_TRUE(AskUdp(Query("kept.example", 1, 1), kPort));
    EXPECT_EQ(quenda->Stop(SIGTERM), 0);
    EXPECT_EQ(Setting("STATISTICS", "TOTALQ"), "1");
    EXPECT_EQ(Setting("NAMESERVER", "DNS_0_NAME"), "127.0.0.2");

    SetBoth(Mode::kSilent);
    auto again = Start();
    const auto cached = AskUdp(Query("kept.example", 1, 2), kPort, 1500ms);
    ASSERT_TRUE(cached);
    EXPECT_EQ(IdOf(*cached), 2);
    EXPECT_EQ(again->Stop(SIGINT), 0);
    EXPECT_EQ(Setting("STATISTICS", "TOTALQ"), "2");
}

TEST_F(SystemTest, ASecondCopyEndsSilentlyAndChangesNothing) {
    auto quenda = Start();
    const std::string settings = ReadFile(home + "/QUENDA.INI");
    const std::string output = quenda->Output();
    QuendaProcess copy(home, kPort + 1);
    EXPECT_EQ(copy.Wait(10s), 0);
    EXPECT_EQ(ReadFile(home + "/QUENDA.INI"), settings);
    EXPECT_EQ(copy.Output(), "");  // nothing was logged
    EXPECT_EQ(quenda->Output(), output);
    EXPECT_TRUE(AskUdp(Query("alive.example"), kPort));
}

TEST_F(SystemTest, AHangUpAndAClosedOutputEndTheSessionSaving) {
    // Standard output read by a reader that has gone: log lines only stop going there.
    QuendaProcess quenda(home, kPort, QuendaProcess::Stdout::kClosedPipe);
    std::optional<std::string> reply;
    ASSERT_TRUE(WaitFor(
        [&] { return (reply = AskUdp(Query("piped.example"), kPort, 200ms)).has_value(); }, 20s));
    std::this_thread::sleep_for(1500ms);  // the log lines of the answer are flushed
    ASSERT_TRUE(AskUdp(Query("piped.example"), kPort));
    // The terminal going away ends the session like SIGTERM: everything is saved.
    EXPECT_EQ(quenda.Stop(SIGHUP), 0);
    EXPECT_GE(std::atoi(Setting("STATISTICS", "TOTALQ").c_str()), 2);
    EXPECT_EQ(Setting("OPTIONS", "LOG_FILE"), home + "/Quenda.LOG");
}

TEST_F(SystemTest, ALockFileThatCannotBeMadeIsAnErrorNotASecondCopy) {
    // Nothing can be created in sysfs, not even by root.
    const std::string run = std::string(QUENDA_BINARY) + " --headless --home /sys/kernel";
    const std::string said = RunCommand(run + " 2>&1; echo \"status $?\"");
    EXPECT_EQ(said.rfind("quenda: cannot lock /sys/kernel/quenda.lock: ", 0), 0u) << said;
    EXPECT_NE(said.find("\nstatus 1\n"), std::string::npos) << said;
}

TEST_F(SystemTest, ATakenPortEndsTheProgramWithItsMessage) {
    const int taken = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_port = htons(kPort);
    ASSERT_EQ(bind(taken, reinterpret_cast<sockaddr*>(&any), sizeof any), 0);
    const std::string settings = ReadFile(home + "/QUENDA.INI");
    QuendaProcess quenda(home, kPort);
    EXPECT_NE(quenda.Wait(20s), 0);
    EXPECT_NE(quenda.Errors().find("Error: Your localport 5353 (DNS) is already in use! Make sure "
                                   "that no other application is using this port."),
              std::string::npos)
        << quenda.Errors();
    EXPECT_EQ(ReadFile(home + "/QUENDA.INI"), settings);
    close(taken);
}

// dig's text has the header flags on the line with "flags:", the OPT record in its own section.
bool HasFlag(const std::string& dig, const std::string& flag) {
    const size_t line = dig.find(";; flags:");
    if (line == std::string::npos) return false;
    const std::string flags = dig.substr(line, dig.find(';', line + 9) - line);
    return flags.find(" " + flag) != std::string::npos;
}

TEST_F(SystemTest, APlainClientAfterAnEdnsClientGetsNoOptAndTruncationThenTcp) {
    auto quenda = Start();
    const std::string dig = "dig @127.0.0.1 -p 5353 +tries=1 +time=3 ";
    const std::string edns = RunCommand(dig + "+edns=0 +bufsize=1232 big.example A");
    EXPECT_NE(edns.find("ANSWER: 40,"), std::string::npos) << edns;
    EXPECT_NE(edns.find("OPT PSEUDOSECTION"), std::string::npos) << edns;

    // From the cache now, to a client that takes 512 octets and no OPT record.
    SetBoth(Mode::kSilent);
    const std::string plain = RunCommand(dig + "+noedns +ignore big.example A");
    EXPECT_TRUE(HasFlag(plain, "tc")) << plain;
    EXPECT_EQ(plain.find("OPT PSEUDOSECTION"), std::string::npos) << plain;
    EXPECT_NE(plain.find("ANSWER: 0,"), std::string::npos) << plain;

    // Over TCP, which is passed through, the whole answer comes.
    SetBoth(Mode::kAnswer);
    const std::string tcp = RunCommand(dig + "+noedns +tcp +short big.example A");
    EXPECT_EQ(std::count(tcp.begin(), tcp.end(), '\n'), 40) << tcp;
}

TEST_F(SystemTest, DnssecClientAfterAPlainOneGetsTheServersSignatures) {
    auto quenda = Start();
    ASSERT_TRUE(AskUdp(Query("signed.example", 1, 0x1111), kPort));
    const std::string plain = RunCommand("dig @127.0.0.1 -p 5353 +tries=1 +time=3 signed.example");
    EXPECT_EQ(plain.find("RRSIG"), std::string::npos) << plain;

    const std::string dnssec =
        RunCommand("kdig @127.0.0.1 -p 5353 +dnssec +retry=0 +time=3 signed.example A");
    EXPECT_NE(dnssec.find("RRSIG"), std::string::npos) << dnssec;
    EXPECT_NE(dnssec.find("flags: do"), std::string::npos) << dnssec;  // echoed in the OPT
    // The signed reply was not stored: the cache still answers plain askers without it.
    SetBoth(Mode::kSilent);
    const auto cached = AskUdp(Query("signed.example", 1, 0x2222), kPort, 1500ms);
    ASSERT_TRUE(cached);
    EXPECT_EQ(cached->size(), Query("signed.example").size() + 16);
}

TEST_F(SystemTest, EveryAskerGetsItsOwnSpellingOfTheQuestion) {
    auto quenda = Start();
    ASSERT_TRUE(AskUdp(Query("mixed.example", 1, 0x1111), kPort));
    const auto mixed = AskUdp(Query("MiXeD.ExAmPlE", 1, 0x2222), kPort);
    ASSERT_TRUE(mixed);
    EXPECT_EQ(GetQueryName(*mixed), "MiXeD.ExAmPlE");
    const std::string dug =
        RunCommand("dig @127.0.0.1 -p 5353 +tries=1 +time=3 +noall +question mIxEd.example A");
    EXPECT_NE(dug.find("mIxEd.example."), std::string::npos) << dug;
}

TEST_F(SystemTest, AQueryToASecondAddressIsAnsweredFromThatAddress) {
    auto quenda = Start();
    // A connected socket, as the C library's resolver uses, takes replies from 127.0.0.9 only.
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(kPort);
    inet_pton(AF_INET, "127.0.0.9", &to.sin_addr);
    ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
    timeval timeout{3, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    const std::string query = Query("second.example", 1, 0x0909);
    ASSERT_EQ(send(fd, query.data(), query.size(), 0), static_cast<ssize_t>(query.size()));
    char buffer[512];
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    close(fd);
    ASSERT_GT(n, 12);
    EXPECT_EQ(IdOf(std::string(buffer, static_cast<size_t>(n))), 0x0909);
    const std::string dug =
        RunCommand("dig @127.0.0.9 -p 5353 +short +tries=1 +time=3 second.example");
    EXPECT_TRUE(dug == "192.0.2.2\n" || dug == "192.0.2.3\n") << dug;
}

// Another resolver holds port 53 on one loopback address (as systemd-resolved does on
// 127.0.0.53): on every address quenda cannot start, on another one it serves beside it, and
// the address that is taken is named.
TEST_F(SystemTest, ListeningOnOneAddressBesideAnotherResolver) {
    FakeUpstream resolved("127.0.0.53");
    ASSERT_TRUE(resolved.Ok());

    QuendaProcess everywhere(home, 53);
    EXPECT_EQ(everywhere.Wait(20s), 1);
    EXPECT_NE(everywhere.Errors().find("Your localport 53 (DNS) is already in use!"),
              std::string::npos)
        << everywhere.Errors();

    QuendaProcess onTaken(home, 53, QuendaProcess::Stdout::kFile, false,
                          {"--listen", "127.0.0.53"});
    EXPECT_EQ(onTaken.Wait(20s), 1);
    EXPECT_NE(onTaken.Errors().find("Your localport 127.0.0.53:53 (DNS) is already in use!"),
              std::string::npos)
        << onTaken.Errors();

    QuendaProcess beside(home, 53, QuendaProcess::Stdout::kFile, false, {"--listen", "127.0.0.1"});
    ASSERT_TRUE(beside.WaitUntilServing()) << beside.Errors();
    const std::string udp =
        RunCommand("dig @127.0.0.1 +noedns +short +tries=1 +time=3 a.example A");
    EXPECT_TRUE(udp == "192.0.2.2\n" || udp == "192.0.2.3\n") << udp;
    const std::string tcp = RunCommand("kdig @127.0.0.1 +tcp +short b.example A");
    EXPECT_TRUE(tcp == "192.0.2.2\n" || tcp == "192.0.2.3\n") << tcp;
    // The other resolver still gets every question sent to it.
    EXPECT_EQ(RunCommand("dig @127.0.0.53 +noedns +short +tries=1 +time=3 c.example A"),
              "192.0.2.53\n");
    EXPECT_EQ(resolved.Queries().size(), 1u);
    EXPECT_EQ(beside.Stop(SIGTERM), 0);
}

}  // namespace
}  // namespace quenda::test
