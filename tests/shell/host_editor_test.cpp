// The host entry editor's logic over a relay wired to fakes and a real cache: the query it
// sends, which replies it takes, what they do to the cache, the countdown and closing.
#include "app/shell/host_editor.h"

#include <gtest/gtest.h>

#include "app/shell/random_message_ids.h"
#include "tests/relay/relay_fixture.h"
#include "tests/support/scripted_messages.h"
#include "tests/support/temp_directory.h"

namespace quenda::test {
namespace {

struct RecordingEditorWindow final : HostEditorWindow {
    void SetStatus(const std::string& text) override { status = text; }
    void SetStartEnabled(bool enabled) override { startEnabled = enabled; }
    void SetTip(const std::string& text) override { tips.push_back(text); }
    void CacheEntryChanged() override { ++cacheChanges; }
    std::string status;
    bool startEnabled = true;
    std::vector<std::string> tips;
    int cacheChanges = 0;
};

class HostEditorTest : public RelayTest {
  protected:
    HostEditorTest() {
        cacheFile.OpenCacheDatabase();
        hooks.editor = [this](std::string_view datagram) {
            return editor.UpdateEntry_Data_Nameserver(datagram);
        };
    }
    // A reply from a listed server as it comes off the wire.
    void FromServer(const std::string& reply, const std::string& server = kServerA) {
        relay.HandleServerReply(reply, server, kDnsPort);
    }

    TempDirectory dir;
    CacheDatabase cacheFile{dir.Path(), {}};
    ScriptedMessages messages;
    RecordingEditorWindow window;
    HostEditor editor{cacheFile, messages,
                      [this](std::string_view query) { relay.SendToAllServers(query); }};
};

TEST_F(HostEditorTest, StartAsksEveryServerUnderTheFixedIdAndUpdateModeAsksAtOnce) {
    editor.Open(&window, {});
    EXPECT_TRUE(editor.Loaded());
    EXPECT_TRUE(upstreamPort.sent.empty());
    editor.Start("", "A");
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].title, "No domain name");
    EXPECT_EQ(messages.shown[0].text, "Please enter a domainname before");
    EXPECT_FALSE(editor.Waiting());

    editor.Start("www.Example.org", "A");
    EXPECT_EQ(upstreamPort.HostsSentTo(), (std::vector<std::string>{kServerA, kServerB}));
    DnsMessage expected;
    expected.id = kHostEditorMessageId;
    expected.name = "www.Example.org";
    std::string query = Build(expected);
    query[2] = 1;  // recursion desired, nothing else
    EXPECT_EQ(upstreamPort.sent[0].data, query);
    EXPECT_EQ(upstreamPort.sent[0].port, kDnsPort);
    EXPECT_TRUE(editor.Waiting());
    EXPECT_EQ(window.status, "Request sent, waiting for reply");
    EXPECT_FALSE(window.startEnabled);
    EXPECT_TRUE(table.WaitingCount() == 0);  // the editor's query is no client's request

    editor.Close();
    upstreamPort.sent.clear();
    editor.Open(&window, {"MAIL.EXAMPLE.ORG", "MX"});
    ASSERT_EQ(upstreamPort.sent.size(), 2u);
    EXPECT_EQ(GetQueryType(upstreamPort.sent[0].data), "MX");
    EXPECT_EQ(GetQueryName(upstreamPort.sent[0].data), "MAIL.EXAMPLE.ORG");
}

TEST_F(HostEditorTest, AGoodAnswerIsStoredAndANameErrorDeletesTheEntry) {
    const std::string key = MakeCacheKey("www.example.org", "A");
    editor.Open(&window, {});
    // The name comes back in another case; it is the same question. The first server answers
    // while the query is still going out to the second.
    const std::string good = GoodReply("WWW.example.ORG", 1, kHostEditorMessageId);
    hooks.onPump = [&] { FromServer(good); };
    editor.Start("www.example.org", "A");
    EXPECT_EQ(upstreamPort.sent.size(), 2u);
    EXPECT_EQ(cacheFile.CacheLookup(key), good);
    EXPECT_EQ(window.status, "Got reply! Entry is updated!");
    EXPECT_FALSE(editor.Waiting());
    EXPECT_FALSE(window.startEnabled);  // until the request changes
    EXPECT_EQ(window.cacheChanges, 1);
    EXPECT_TRUE(ToClients().empty());
    editor.RequestChanged();
    EXPECT_TRUE(window.startEnabled);

    // The second server's answer comes too late: the relay has no use for it either.
    FromServer(GoodReply("www.example.org", 1, kHostEditorMessageId), kServerB);
    EXPECT_EQ(window.cacheChanges, 1);
    EXPECT_TRUE(log.Has("Dropped reply from 10.0.0.2:53", 3));

    editor.Start("www.example.org", "A");
    FromServer(NegativeReply("www.example.org", 1, kHostEditorMessageId));
    EXPECT_EQ(cacheFile.CacheLookup(key), "");
    EXPECT_EQ(window.status,
              "No information about this domain available. Unable to add this information to "
              "database");
    EXPECT_TRUE(window.startEnabled);
    EXPECT_EQ(window.cacheChanges, 2);
}

TEST_F(HostEditorTest, TheCountdownAddsADotASecondAndClosingAbandonsTheQuery) {
    editor.Open(&window, {});
    editor.Start("slow.example.org", "MX");
    for (int second = 1; second < kHostEditorTimeout; ++second) editor.TimerTick();
    EXPECT_EQ(window.status, "Request sent, waiting for reply" + std::string(19, '.'));
    EXPECT_TRUE(editor.Waiting());
    editor.TimerTick();
    EXPECT_EQ(window.status, "Timeout, check internet connection and/or try again");
    EXPECT_TRUE(window.startEnabled);
    editor.TimerTick();
    EXPECT_EQ(window.status, "Timeout, check internet connection and/or try again");
    FromServer(GoodReply("slow.example.org", 15, kHostEditorMessageId));
    EXPECT_EQ(cacheFile.CacheLookup(MakeCacheKey("slow.example.org", "MX")), "");

    editor.Start("slow.example.org", "MX");
    editor.Close();
    EXPECT_FALSE(editor.Loaded());
    FromServer(GoodReply("slow.example.org", 15, kHostEditorMessageId));
    EXPECT_EQ(cacheFile.CacheLookup(MakeCacheKey("slow.example.org", "MX")), "");
    EXPECT_EQ(window.cacheChanges, 0);
}

TEST_F(HostEditorTest, RepliesToAnythingButItsOwnQueryAreLeftToTheRelay) {
    editor.Open(&window, {});
    editor.Start("www.example.org", "A");
    // A client asks the same question; its reply comes back under the relay's own ID.
    Ask(Query("www.example.org", 1, 0x0101));
    Reply(GoodReply("www.example.org", 1, 0x0202));
    ASSERT_EQ(ToClients().size(), 1u);
    EXPECT_EQ(IdOf(ToClients()[0].data), 0x0101);
    EXPECT_TRUE(editor.Waiting());

    // Under the editor's ID, but another name, another type, or no reply at all.
    FromServer(GoodReply("other.example.org", 1, kHostEditorMessageId));
    FromServer(GoodReply("www.example.org", 15, kHostEditorMessageId));
    FromServer(Query("www.example.org", 1, kHostEditorMessageId));
    DnsMessage checking;
    checking.id = kHostEditorMessageId;
    checking.response = true;
    checking.answers = 1;
    checking.name = "www.example.org";
    checking.checkingDisabled = true;  // an answer the relay would not cache either
    FromServer(Build(checking));
    EXPECT_TRUE(editor.Waiting());
    EXPECT_EQ(window.cacheChanges, 0);
    EXPECT_EQ(cacheFile.CacheLookup(MakeCacheKey("www.example.org", "A")), "");

    // The tip line is written only when its text changes.
    editor.ShowTip(HostEditorPart::kStart, true);
    editor.ShowTip(HostEditorPart::kStart, true);
    editor.ShowTip(HostEditorPart::kStart, false);
    editor.ShowTip(HostEditorPart::kForm, false);
    EXPECT_EQ(window.tips,
              (std::vector<std::string>{"Please add a domain name in the request frame before.",
                                        "Press here to send request to nameserver.", ""}));
}

}  // namespace
}  // namespace quenda::test
