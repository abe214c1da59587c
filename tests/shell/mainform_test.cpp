// Start-up, the quit path and the relay wiring of the main form, with fake controls.
#include "app/shell/mainform.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>

#include "app/relay/dns_codec.h"
#include "platform/profile/profile_file.h"
#include "tests/support/dns_builder.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fake_relay_ports.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/temp_directory.h"

namespace quenda::test {
namespace {

class FakeUdpControl final : public UdpControl {
  public:
    int SetActive(bool on) override {
        if (on && failOpen != 0) return failOpen;
        active = on;
        return 0;
    }
    int SetLocalPort(int32_t port) override {
        localPort = port;
        return 0;
    }
    int SetLocalHost(const std::string&) override { return 0; }
    int SetWinsockLoaded(bool) override { return 0; }
    int SetMaxPacketSize(int32_t bytes) override {
        if (!active) maxPacketAtOpen = bytes;
        return 0;
    }
    int SetInBufferSize(int32_t bytes) override {
        if (!active) bufferAtOpen = bytes;
        return 0;
    }
    int32_t GrantedInBufferSize() override { return active ? granted : -1; }
    bool IsActive() override { return active; }
    void SendDatagram(const std::string& host, uint16_t port, std::string_view data) override {
        sent.push_back({host, port, std::string(data)});
    }
    bool active = false;
    int32_t localPort = -1;
    int failOpen = 0;
    int32_t bufferAtOpen = -1;  // the receive buffer asked for while closed
    int32_t maxPacketAtOpen = -1;
    int32_t granted = 212992;  // what the system gives the open socket
    std::vector<SentDatagram> sent;
};

struct NullTcpServer final : TcpServerControl {
    int StartListening(uint16_t p) override {
        port = p;
        return failure;
    }
    void SendToConnection(int, std::string_view) override {}
    void CloseConnection(int) override {}
    uint16_t port = 0;
    int failure = 0;
};

struct NullTcpClient final : TcpClientControl {
    void SetOption(bool) override {}
    void SetRemoteHost(const std::string&) override {}
    void SetRemotePort(uint16_t) override {}
    void SetConnected(bool) override {}
    void Send(std::string_view) override {}
};

struct NullTcpClients final : TcpClientArray {
    TcpClientControl& Element(int) override { return client; }
    void CreateElement(int) override {}
    NullTcpClient client;
};

struct RecordingMessages final : MessageService {
    MessageAnswer ShowMessage(MessageIcon, MessageButtons, const std::string& title,
                              const std::string& text, MessageAnswer safe) override {
        shown.emplace_back(title, text);
        return safe;
    }
    std::vector<std::pair<std::string, std::string>> shown;
};

class MainformTest : public ::testing::Test {
  protected:
    MainformTest() {
        paths.dataDirectory = dir.Path().string() + "/";
        paths.configDirectory = paths.dataDirectory;
    }
    std::unique_ptr<Mainform> Make(uint16_t port = 5300) {
        MainformParts parts{paths,
                            "1.2.3",
                            port,
                            53,
                            udp1,
                            udp2,
                            tcpServer,
                            tcpClients,
                            messages,
                            clock,
                            [this] {
                                if (pump) pump();
                            },
                            [](LocalAddresses& local, LogSink&) { local.Add("192.0.2.7"); }};
        return std::make_unique<Mainform>(parts);
    }
    std::string Ini() const { return paths.SettingsFile(); }

    TempDirectory dir;
    ProgramPaths paths;
    FakeUdpControl udp1, udp2;
    NullTcpServer tcpServer;
    NullTcpClients tcpClients;
    RecordingMessages messages;
    FakeClock clock;
    std::function<void()> pump;  // events that come in while messages are let run
};

TEST_F(MainformTest, StartsFromASeedFileAndServesRequests) {
    dir.WriteFile("DNSIP.DAT", "seed\n10.0.0.1,first,1,0\n192.0.2.7,this host,1,0\n");
    auto form = Make();
    ASSERT_EQ(form->Load(), StartOutcome::kRunning);
    EXPECT_EQ(udp1.localPort, 0);
    EXPECT_EQ(udp2.localPort, 5300);
    EXPECT_EQ(tcpServer.port, 5300);
    EXPECT_TRUE(form->Local().IsLocalAddress("192.0.2.7"));
    EXPECT_EQ(form->Servers()[0].address, "10.0.0.1");
    EXPECT_EQ(form->Servers()[1].address, "");  // its own address is refused
    EXPECT_EQ(form->GetOptions().DATABASE_VERSION, "1.2.3");
    EXPECT_TRUE(form->Cache().IsOpen());
    const std::string box = form->Log().LogBox();
    EXPECT_NE(box.find(" INIT: Add DNS server: \r\n"), std::string::npos);
    EXPECT_NE(box.find("     * 10.0.0.1 / first"), std::string::npos);

    // A request goes upstream, the reply comes back to the client and into the cache.
    form->UDPPort2DataIn(Query("www.example.org", 1, 0x0707), "192.0.2.50", 40000);
    ASSERT_EQ(udp1.sent.size(), 1u);
    EXPECT_EQ(udp1.sent[0].host, "10.0.0.1");
    // Upstream it carries an ID of its own, which the reply must name.
    const uint16_t upstreamId = IdOf(udp1.sent[0].data);
    EXPECT_EQ(udp1.sent[0].data.substr(2), Query("www.example.org", 1, 0x0707).substr(2));
    form->UDPPort1DataIn(GoodReply("www.example.org", 1, 0x0707), "10.0.0.1", 53);
    EXPECT_TRUE(udp2.sent.empty() || upstreamId == 0x0707);
    form->UDPPort1DataIn(GoodReply("www.example.org", 1, upstreamId), "10.0.0.1", 53);
    ASSERT_EQ(udp2.sent.size(), 1u);
    EXPECT_EQ(udp2.sent[0].port, 40000);
    EXPECT_FALSE(form->Cache().CacheLookup(MakeCacheKey(Query("www.example.org"))).empty());

    // The next asker is answered at once from the cache file, under its own ID, and the entry
    // is still refreshed upstream.
    form->UDPPort2DataIn(Query("WWW.Example.org", 1, 0x0808), "192.0.2.51", 40001);
    ASSERT_EQ(udp2.sent.size(), 2u);
    EXPECT_EQ(IdOf(udp2.sent[1].data), 0x0808);
    EXPECT_EQ(udp2.sent[1].data.substr(2), udp2.sent[0].data.substr(2));
    ASSERT_EQ(udp1.sent.size(), 2u);
    EXPECT_EQ(udp1.sent[1].data.substr(2), Query("WWW.Example.org", 1, 0x0808).substr(2));
    EXPECT_EQ(form->Counters().ACACHE, 1);
}

TEST_F(MainformTest, BothEndpointsOpenWithLargeReceiveBuffersAndLogWhatWasGranted) {
    dir.WriteFile("QUENDA.INI", "[OPTIONS]\nLOG_DETAIL=3\n");
    udp1.granted = 4194304;
    udp2.granted = 1048576;  // capped by the system
    auto form = Make();
    ASSERT_EQ(form->Load(), StartOutcome::kRunning);
    EXPECT_EQ(udp1.bufferAtOpen, 4 * 1024 * 1024);
    EXPECT_EQ(udp2.bufferAtOpen, 4 * 1024 * 1024);
    EXPECT_EQ(udp1.maxPacketAtOpen, 65535);
    EXPECT_EQ(udp2.maxPacketAtOpen, 65535);
    const std::string box = form->Log().LogBox();
    EXPECT_NE(box.find(" INIT: UDPPort1 receive buffer: 4194304 bytes\r\n"), std::string::npos);
    EXPECT_NE(box.find(" INIT: UDPPort2 receive buffer: 1048576 bytes\r\n"), std::string::npos);
    // Failures found while receiving are the controls' Error events.
    form->UDPPortError("UDPPort2", 10040, "Winsock error in recv()");
    EXPECT_NE(form->Log().LogBox().find(" UDPPort2 error 10040: Winsock error in recv()\r\n"),
              std::string::npos);
}

TEST_F(MainformTest, DatagramsBeforeStartUpIsDoneAreDropped) {
    dir.WriteFile(
        "QUENDA.INI",
        "[OPTIONS]\nLOG_DETAIL=3\n[NAMESERVER]\nDNS_0_NAME=10.0.0.1\nDNS_0_ENABLED=Yes\n");
    Mainform* loading = nullptr;
    int early = 0;
    pump = [&] {
        if (loading == nullptr) return;
        ++early;
        loading->UDPPort2DataIn(Query("early.example"), "192.0.2.50", 40000);
        loading->UDPPort1DataIn(GoodReply("early.example"), "10.0.0.1", 53);
    };
    auto form = Make();
    loading = form.get();
    ASSERT_EQ(form->Load(), StartOutcome::kRunning);
    pump = nullptr;
    EXPECT_GT(early, 0);
    EXPECT_TRUE(udp1.sent.empty());
    EXPECT_TRUE(udp2.sent.empty());
    EXPECT_EQ(form->Table().PendingCount(), 0);
    EXPECT_EQ(form->Counters().TOTALQ, 0);
    form->UDPPort2DataIn(Query("later.example"), "192.0.2.50", 40000);
    EXPECT_EQ(udp1.sent.size(), 1u);
}

TEST_F(MainformTest, ReceiveBuffersAreNotLoggedBelowHighDetail) {
    dir.WriteFile("QUENDA.INI", "[OPTIONS]\nLOG_DETAIL=2\n");
    auto form = Make();
    ASSERT_EQ(form->Load(), StartOutcome::kRunning);
    EXPECT_EQ(form->Log().LogBox().find("receive buffer"), std::string::npos);
}

TEST_F(MainformTest, ATakenPortEndsStartUpWithItsMessageAndChangesNoSettings) {
    dir.WriteFile("QUENDA.INI", "[OPTIONS]\nSYSTRAY=No\n");
    udp2.failOpen = kAddressInUse;
    auto form = Make(5353);
    EXPECT_EQ(form->Load(), StartOutcome::kFailed);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].first, "Error");
    EXPECT_EQ(messages.shown[0].second,
              "Your localport 5353 (DNS) is already in use! Make sure that no other application "
              "is using this port.");
    EXPECT_TRUE(form->QuitRequested());
    EXPECT_TRUE(form->QueryUnload(UnloadReason::kCode));
    EXPECT_EQ(ProfileFile::Load(Ini())->Text(), "[OPTIONS]\nSYSTRAY=No\n");
}

TEST_F(MainformTest, ATakenTcpPortEndsStartUpTooWithoutSaving) {
    tcpServer.failure = kAddressInUse;
    auto form = Make(5353);
    EXPECT_EQ(form->Load(), StartOutcome::kFailed);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].first, "Error");
    EXPECT_TRUE(form->QueryUnload(UnloadReason::kSessionEnding));
    EXPECT_FALSE(std::filesystem::exists(Ini()));  // settings were loaded, but nothing is saved
}

TEST_F(MainformTest, OtherSocketFailuresAreLoggedWithTheirNumber) {
    udp1.failOpen = 25013;
    auto form = Make();
    EXPECT_EQ(form->Load(), StartOutcome::kFailed);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_NE(form->Log().LogBox().find(
                  " Initialisation error:  25013, please check your TCP/IP setup.\r\n"),
              std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(Ini()));
}

TEST_F(MainformTest, ClosingHidesButSessionEndQuitsAndSaves) {
    auto form = Make();
    ASSERT_EQ(form->Load(), StartOutcome::kRunning);
    EXPECT_FALSE(form->QueryUnload(UnloadReason::kUserClosed));
    EXPECT_TRUE(form->WindowHidden());
    EXPECT_FALSE(std::filesystem::exists(Ini()));

    form->Counters().ADNS = 12;
    EXPECT_TRUE(form->QueryUnload(UnloadReason::kSessionEnding));
    EXPECT_EQ(GetPrivateProfileString("STATISTICS", "ADNS", "", 20, Ini()), "12");

    auto again = Make();
    ASSERT_EQ(again->Load(), StartOutcome::kRunning);
    EXPECT_EQ(again->Counters().ADNS, 12);
}

TEST_F(MainformTest, TimerUnloadsOnceAQuitWasAsked) {
    auto form = Make();
    ASSERT_EQ(form->Load(), StartOutcome::kRunning);
    int unloads = 0;
    form->SetUnloadHandler([&] { unloads += form->QueryUnload(UnloadReason::kCode) ? 1 : 0; });
    form->Timer1Tick();
    EXPECT_EQ(unloads, 0);
    form->RequestQuit();
    form->Timer1Tick();
    EXPECT_EQ(unloads, 1);
    EXPECT_TRUE(std::filesystem::exists(Ini()));
}

TEST_F(MainformTest, TrayStartupHidesTheWindowAndKeepsTheStoredVersion) {
    dir.WriteFile("QUENDA.INI", "[OPTIONS]\nDATABASE_VERSION=1.2.3\nSYSTRAY=Yes\n");
    auto form = Make();
    ASSERT_EQ(form->Load(), StartOutcome::kRunning);
    EXPECT_TRUE(form->WindowHidden());
    EXPECT_EQ(form->GetOptions().DATABASE_VERSION, "1.2.3");
}

TEST_F(MainformTest, AFullDiskIsLoggedOncePerStreakAndWritingIsTriedAgainAtTheNextSave) {
    dir.WriteFile("QUENDA.INI", "[OPTIONS]\nLOG_TOFILE=Yes\nLOG_FILE=/dev/full\n");
    auto form = Make();
    ASSERT_EQ(form->Load(), StartOutcome::kRunning);  // its lines fail to reach the log file
    const auto count = [&](const std::string& text) {
        const std::string& box = form->Log().LogBox();
        int found = 0;
        for (size_t at = box.find(text); at != std::string::npos; at = box.find(text, at + 1))
            ++found;
        return found;
    };
    const auto tick = [&](int times) {
        for (int i = 0; i < times; ++i) form->Timer1Tick();
    };
    const std::string logFull = " Error writing logfile /dev/full: No space left on device";
    const std::string settingsFull =
        " Error saving settings: cannot write " + Ini() + ": File too large\r\n";
    EXPECT_EQ(count(logFull), 1);
    EXPECT_FALSE(form->Log().LogFileOpen());
    {
        const FileSizeLimit full(16);
        tick(21);  // the first periodic save
        EXPECT_EQ(count(settingsFull), 1);
        EXPECT_TRUE(form->Log().LogFileOpen());  // tried again...
        form->Log().WriteLog("line", 1);
        EXPECT_FALSE(form->Log().LogFileOpen());  // ...and failed again, without a word
        tick(60);
        EXPECT_EQ(count(settingsFull), 1);
        EXPECT_EQ(count(logFull), 1);
    }
    tick(60);  // saved: the streak is over
    EXPECT_EQ(GetPrivateProfileString("OPTIONS", "LOG_FILE", "", 80, Ini()), "/dev/full");
    const FileSizeLimit full(16);
    EXPECT_TRUE(form->QueryUnload(UnloadReason::kSessionEnding));
    EXPECT_EQ(count(settingsFull), 2);
}

}  // namespace
}  // namespace quenda::test
