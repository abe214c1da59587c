// Start-up, saving and the relay wiring of the session, with fake controls.
#include "app/shell/session.h"

#include <gtest/gtest.h>

#include "app/relay/dns_codec.h"
#include "platform/profile/profile_file.h"
#include "tests/support/dns_builder.h"
#include "tests/support/session_fixture.h"

namespace quenda::test {
namespace {

TEST_F(SessionTest, StartsFromASeedFileAndServesRequests) {
    dir.WriteFile("DNSIP.DAT", "seed\n10.0.0.1,first,1,0\n192.0.2.7,this host,1,0\n");
    auto session = Make();
    ASSERT_EQ(session->Load(), StartOutcome::kRunning);
    EXPECT_EQ(udp1.localPort, 0);
    EXPECT_EQ(udp2.localPort, 5300);
    EXPECT_EQ(tcpServer.port, 5300);
    EXPECT_TRUE(session->Local().IsLocalAddress("192.0.2.7"));
    EXPECT_EQ(session->Servers()[0].address, "10.0.0.1");
    EXPECT_EQ(session->Servers()[1].address, "");  // its own address is refused
    EXPECT_EQ(session->GetOptions().DATABASE_VERSION, "1.2.3");
    EXPECT_TRUE(session->Cache().IsOpen());
    const std::string box = session->LogBox();
    EXPECT_NE(box.find(" INIT: Add DNS server: \r\n"), std::string::npos);
    EXPECT_NE(box.find("     * 10.0.0.1 / first"), std::string::npos);

    // A request goes upstream, the reply comes back to the client and into the cache.
    session->UDPPort2DataIn(Query("www.example.org", 1, 0x0707), "192.0.2.50", 40000);
    ASSERT_EQ(udp1.sent.size(), 1u);
    EXPECT_EQ(udp1.sent[0].host, "10.0.0.1");
    // Upstream it carries an ID of its own, which the reply must name.
    const uint16_t upstreamId = IdOf(udp1.sent[0].data);
    EXPECT_EQ(udp1.sent[0].data.substr(2), Query("www.example.org", 1, 0x0707).substr(2));
    session->UDPPort1DataIn(GoodReply("www.example.org", 1, 0x0707), "10.0.0.1", 53);
    EXPECT_TRUE(udp2.sent.empty() || upstreamId == 0x0707);
    session->UDPPort1DataIn(GoodReply("www.example.org", 1, upstreamId), "10.0.0.1", 53);
    ASSERT_EQ(udp2.sent.size(), 1u);
    EXPECT_EQ(udp2.sent[0].port, 40000);
    EXPECT_FALSE(session->Cache().CacheLookup(MakeCacheKey(Query("www.example.org"))).empty());

    // The next asker is answered at once from the cache file, under its own ID and spelling,
    // and the entry is still refreshed upstream.
    session->UDPPort2DataIn(Query("WWW.Example.org", 1, 0x0808), "192.0.2.51", 40001);
    ASSERT_EQ(udp2.sent.size(), 2u);
    EXPECT_EQ(IdOf(udp2.sent[1].data), 0x0808);
    EXPECT_EQ(udp2.sent[1].data.substr(2), GoodReply("WWW.Example.org").substr(2));
    ASSERT_EQ(udp1.sent.size(), 2u);
    EXPECT_EQ(udp1.sent[1].data.substr(2), Query("WWW.Example.org", 1, 0x0808).substr(2));
    EXPECT_EQ(session->Counters().ACACHE, 1);
}

TEST_F(SessionTest, BothEndpointsOpenWithLargeReceiveBuffersAndLogWhatWasGranted) {
    dir.WriteFile("QUENDA.INI", "[OPTIONS]\nLOG_DETAIL=3\n");
    udp1.granted = 4194304;
    udp2.granted = 1048576;  // capped by the system
    auto session = Make();
    ASSERT_EQ(session->Load(), StartOutcome::kRunning);
    EXPECT_EQ(udp1.bufferAtOpen, 4 * 1024 * 1024);
    EXPECT_EQ(udp2.bufferAtOpen, 4 * 1024 * 1024);
    EXPECT_EQ(udp1.maxPacketAtOpen, 65535);
    EXPECT_EQ(udp2.maxPacketAtOpen, 65535);
    const std::string box = session->LogBox();
    EXPECT_NE(box.find(" INIT: UDPPort1 receive buffer: 4194304 bytes\r\n"), std::string::npos);
    EXPECT_NE(box.find(" INIT: UDPPort2 receive buffer: 1048576 bytes\r\n"), std::string::npos);
    // Failures found while receiving are the controls' Error events.
    session->UDPPortError("UDPPort2", 10040, "Winsock error in recv()");
    EXPECT_NE(session->LogBox().find(" UDPPort2 error 10040: Winsock error in recv()\r\n"),
              std::string::npos);
}

TEST_F(SessionTest, DatagramsBeforeStartUpIsDoneAreDropped) {
    dir.WriteFile(
        "QUENDA.INI",
        "[OPTIONS]\nLOG_DETAIL=3\n[NAMESERVER]\nDNS_0_NAME=10.0.0.1\nDNS_0_ENABLED=Yes\n");
    Session* loading = nullptr;
    int early = 0;
    pump = [&] {
        if (loading == nullptr) return;
        ++early;
        loading->UDPPort2DataIn(Query("early.example"), "192.0.2.50", 40000);
        loading->UDPPort1DataIn(GoodReply("early.example"), "10.0.0.1", 53);
    };
    auto session = Make();
    loading = session.get();
    ASSERT_EQ(session->Load(), StartOutcome::kRunning);
    pump = nullptr;
    EXPECT_GT(early, 0);
    EXPECT_TRUE(udp1.sent.empty());
    EXPECT_TRUE(udp2.sent.empty());
    EXPECT_EQ(session->Table().PendingCount(), 0);
    EXPECT_EQ(session->Counters().TOTALQ, 0);
    session->UDPPort2DataIn(Query("later.example"), "192.0.2.50", 40000);
    EXPECT_EQ(udp1.sent.size(), 1u);
}

TEST_F(SessionTest, ReceiveBuffersAreNotLoggedBelowHighDetail) {
    dir.WriteFile("QUENDA.INI", "[OPTIONS]\nLOG_DETAIL=2\n");
    auto session = Make();
    ASSERT_EQ(session->Load(), StartOutcome::kRunning);
    EXPECT_EQ(session->LogBox().find("receive buffer"), std::string::npos);
}

TEST_F(SessionTest, TakenPortsEndStartUpWithTheirMessageAndChangeNoSettings) {
    dir.WriteFile("QUENDA.INI", "[OPTIONS]\nSYSTRAY=No\n");
    udp2.failOpen = kAddressInUse;
    auto session = Make(5353);
    EXPECT_EQ(session->Load(), StartOutcome::kFailed);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].icon, MessageIcon::Exclamation);
    EXPECT_EQ(messages.shown[0].title, "Error");
    EXPECT_EQ(messages.shown[0].text,
              "Your localport 5353 (DNS) is already in use! Make sure that no other application "
              "is using this port.");
    session->SaveForQuit();
    EXPECT_EQ(ProfileFile::Load(Ini())->Text(), "[OPTIONS]\nSYSTRAY=No\n");

    // The TCP port too; the settings were loaded by then, but nothing is saved.
    udp2.failOpen = 0;
    tcpServer.failure = kAddressInUse;
    std::filesystem::remove(Ini());
    auto tcp = Make(5353);
    EXPECT_EQ(tcp->Load(), StartOutcome::kFailed);
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[1].title, "Error");
    tcp->SaveForQuit();
    EXPECT_FALSE(std::filesystem::exists(Ini()));
}

TEST_F(SessionTest, OtherSocketFailuresAreLoggedWithTheirNumber) {
    udp1.failOpen = 25013;
    auto session = Make();
    EXPECT_EQ(session->Load(), StartOutcome::kFailed);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_NE(session->LogBox().find(
                  " Initialisation error:  25013, please check your TCP/IP setup.\r\n"),
              std::string::npos);
    session->SaveForQuit();
    EXPECT_FALSE(std::filesystem::exists(Ini()));
}

// Records the notices a window would draw.
struct RecordingObserver final : SessionObserver {
    void ShareChanged(ShareBar bar, int percent) override {
        shares.emplace_back(static_cast<int>(bar), percent);
    }
    void WaitingChanged(const std::string& text) override { waiting.push_back(text); }
    void ServersChanged() override { ++servers; }
    void LogLineAppended(size_t trimmed, const std::string& line) override {
        box.erase(0, trimmed);
        box += line;
    }
    void LogCleared() override { box.clear(); }
    void LogCaptionChanged(const std::string& text) override { caption = text; }
    void CacheChanged() override { ++cacheChanges; }
    std::vector<std::pair<int, int>> shares;
    std::vector<std::string> waiting;
    std::string box, caption;
    int servers = 0;
    int cacheChanges = 0;
};

TEST_F(SessionTest, CommandsChangeTheModelAndWindowsHearOfIt) {
    dir.WriteFile("DNSIP.DAT", "seed\n10.0.0.1,first,1,0\n");
    auto session = Make();
    RecordingObserver observer;
    session->AddObserver(&observer);
    ASSERT_EQ(session->Load(), StartOutcome::kRunning);
    EXPECT_EQ(observer.box, session->LogBox());
    EXPECT_EQ(observer.caption, "DNS Log");

    session->UDPPort2DataIn(Query("a.example", 1, 1), "192.0.2.50", 40000);
    session->UDPPort1DataIn(GoodReply("a.example", 1, IdOf(udp1.sent.back().data)), "10.0.0.1", 53);
    EXPECT_GT(observer.servers, 0);  // a first answer was credited
    session->UpdateStatistics();
    EXPECT_EQ(observer.shares.back(), std::make_pair(static_cast<int>(ShareBar::Lost), 0));
    EXPECT_EQ(session->Panel().shares[static_cast<int>(ShareBar::NameServer)], 100);
    EXPECT_EQ(session->Panel().waiting, " 0");
    session->CommitCache();
    EXPECT_EQ(observer.cacheChanges, 1);
    session->CommitCache();
    EXPECT_EQ(observer.cacheChanges, 1);  // nothing new stored

    // Clearing the cache statistics redraws the bars at 0.
    observer.shares.clear();
    session->ClearCacheStatistics();
    EXPECT_EQ(session->Counters().ADNS, 0);
    EXPECT_EQ(session->Panel().shares[static_cast<int>(ShareBar::NameServer)], 0);
    EXPECT_FALSE(observer.shares.empty());

    ASSERT_EQ(session->Servers()[0].WINNING, 1);
    session->ResetServerStatistics();
    EXPECT_EQ(session->Servers()[0].WINNING, 0);
    EXPECT_EQ(session->Servers().NDNS, 0);
    EXPECT_EQ(session->Servers()[0].NATIME, 0);
    EXPECT_FALSE(session->Servers()[0].responded);

    session->SetCacheDisabled(true);
    EXPECT_TRUE(session->GetOptions().cacheDisabled);
    EXPECT_TRUE(observer.box.ends_with(" * Cache disabled\r\n"));
    session->UDPPort2DataIn(Query("a.example", 1, 2), "192.0.2.50", 40001);
    EXPECT_EQ(udp2.sent.size(), 1u);  // not served from the cache any more
    session->SetCacheDisabled(false);
    EXPECT_TRUE(observer.box.ends_with(" * Cache enabled\r\n"));

    session->EnableServer(0, false);
    EXPECT_FALSE(session->Servers()[0].enabled);
    session->SetStartupInTray(true);
    ASSERT_TRUE(session->SaveAllSettings());
    EXPECT_EQ(GetPrivateProfileString("OPTIONS", "SYSTRAY", "", 20, Ini()), "Yes");
    EXPECT_EQ(GetPrivateProfileString("OPTIONS", "NOCACHE", "", 20, Ini()), "No");

    session->ClearLog();
    EXPECT_EQ(observer.box, "");
    session->RemoveObserver(&observer);
    const size_t waitingNotices = observer.waiting.size();
    session->UDPPort2DataIn(Query("b.example", 1, 3), "192.0.2.50", 40002);
    EXPECT_EQ(session->Panel().waiting, " 1");
    EXPECT_EQ(observer.waiting.size(), waitingNotices);
}

}  // namespace
}  // namespace quenda::test
