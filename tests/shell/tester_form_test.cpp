// The name-server tester's logic over fake controls, clock and help: choosing and checking the
// server, test identifiers, the lookup and ping sent, answers matched and timed, progress and
// time-outs, Stop, the refused ping, the server list, help and tips.
#include "app/shell/tester_form.h"

#include <gtest/gtest.h>

#include "app/shell/mainform.h"
#include "tests/support/dns_builder.h"
#include "tests/support/fake_tester_parts.h"
#include "tests/support/session_fixture.h"

namespace quenda::test {
namespace {

using namespace std::string_literals;

class TesterFormTest : public ::testing::Test {
  protected:
    TesterFormTest() {
        servers[0].address = "127.0.0.2";
        servers[0].description = "fake";
        servers[1].address = "1.2.";  // too short to be listed
        servers[3].address = "192.168.100.200";
        servers[3].description = "router";
        servers[10].address = "10.0.0.10";  // past the positions in use
        local.Add("192.0.2.7");
    }

    // The form loaded, with `text` in the server box.
    TesterForm& Open(const std::string& text = "127.0.0.2       fake") {
        form =
            std::make_unique<TesterForm>(TesterParts{servers, local, &udp, icmpOrNull, messages,
                                                     log, clock, random, help, pingRefusalLogged});
        form->Load();
        form->Activated();
        form->SetServerText(text);
        return *form;
    }

    // A reply to the last lookup sent, under another ID or name when given.
    std::string Reply(std::optional<uint16_t> id = {}, std::string name = {}) const {
        const std::string& query = udp.sent.back().data;
        DnsMessage reply;
        reply.response = true;
        reply.answers = 1;
        reply.id = id.value_or(IdOf(query));
        reply.name = name.empty() ? form->DomainText() : name;
        return Build(reply);
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
    FakeUdpControl udp;
    FakeIcmpControl icmp;
    IcmpControl* icmpOrNull = &icmp;
    ScriptedMessages messages;
    FakeLog log;
    FakeClock clock;
    FakeMessageIds random;
    FakeHelp help;
    bool pingRefusalLogged = false;
    std::unique_ptr<TesterForm> form;
};

struct Choice {
    std::string name;    // of the case
    std::string text;    // in the server box
    std::string server;  // GetSelNS
    std::string reason;  // of the message box; "" sends
};

class TesterChoiceTest : public TesterFormTest, public ::testing::WithParamInterface<Choice> {};

TEST_P(TesterChoiceTest, TheServerBoxGivesTheAddressOrTheReasonNothingIsSent) {
    const Choice& choice = GetParam();
    TesterForm& tester = Open(choice.text);
    EXPECT_EQ(tester.GetSelNS(), choice.server);
    tester.MouseOver(TesterArea::kStart);
    EXPECT_EQ(tester.Face().tip, choice.server.empty() ? "You have to select a nameserver before"
                                                       : "Press here to test " + choice.server);
    tester.StartClicked();
    if (choice.reason.empty()) {
        EXPECT_TRUE(messages.shown.empty());
        ASSERT_EQ(udp.sent.size(), 1u);
        EXPECT_EQ(udp.sent[0].host, choice.server);
        EXPECT_EQ(icmp.remoteHost, choice.server);
        return;
    }
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].buttons, MessageButtons::Ok);
    EXPECT_EQ(messages.shown[0].title, "Invalid DNS Server");
    EXPECT_EQ(messages.shown[0].text, "Could not send request: " + choice.reason);
    EXPECT_TRUE(udp.sent.empty());
    EXPECT_TRUE(icmp.sent.empty());
    EXPECT_TRUE(tester.Face().startEnabled);
    EXPECT_FALSE(tester.Face().stopEnabled);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, TesterChoiceTest,
    ::testing::Values(Choice{"Empty", "", "", "Please specify a nameserver"},
                      Choice{"FourCharacters", "9.9.", "", "Please specify a nameserver"},
                      Choice{"ListItem", "127.0.0.2       fake", "127.0.0.2", ""},
                      Choice{"WideListItem", "192.168.100.200 router", "192.168.100.200", ""},
                      Choice{"TypedAddress", "10.1.2.3", "10.1.2.3", ""},
                      Choice{"Letters", "10.1.2.x", "10.1.2.x", "Invalid characters"},
                      Choice{"ThreeParts", "10.1.2 ", "10.1.2", "Format error"},
                      Choice{"OwnAddress", "192.0.2.7  me", "192.0.2.7",
                             "This is your own ip address!"},
                      Choice{"Loopback", "127.0.0.1", "127.0.0.1", "This is your own ip address!"}),
    [](const ::testing::TestParamInfo<Choice>& info) { return info.param.name; });

TEST_F(TesterFormTest, IdentifiersStartAt1300StepByOneToFiveAndWrapAbove30000) {
    TesterForm& tester = Open();
    tester.MakeNewIDs();
    EXPECT_EQ(tester.TestIdentifier(), 1300);
    EXPECT_EQ(tester.PingData(), "AAAAAAAA 5 20");
    // The fake's numbers give steps 2, 3, 4, 5, 1, 2, ...
    std::vector<int> steps;
    uint16_t last = tester.TestIdentifier();
    while (true) {
        tester.MakeNewIDs();
        if (tester.TestIdentifier() < last) break;
        steps.push_back(tester.TestIdentifier() - last);
        last = tester.TestIdentifier();
    }
    EXPECT_EQ((std::vector<int>(steps.begin(), steps.begin() + 6)),
              (std::vector<int>{2, 3, 4, 5, 1, 2}));
    EXPECT_GT(last, 30000 - 5);
    EXPECT_LE(last, 30000);
    EXPECT_EQ(tester.TestIdentifier(), 1300);
    EXPECT_EQ(tester.PingData(), "AAAAAAAA 5 20");
}

TEST_F(TesterFormTest, ALookupAndAPingGoOutAtOnceAndTheirAnswersAreMatchedAndTimed) {
    TesterForm& tester = Open();
    tester.SetDomainText("www.example.org");
    tester.StartClicked();
    const uint16_t id = tester.TestIdentifier();
    ASSERT_EQ(udp.sent.size(), 1u);
    EXPECT_TRUE(udp.active);
    EXPECT_EQ(udp.sent[0].port, 53);
    EXPECT_EQ(udp.sent[0].data,
              "\x05\x14\x01\x00\x00\x01\x00\x00\x00\x00\x00\x00"
              "\x03www\x07"
              "example\x03org\x00\x00\x01\x00\x01"s);
    EXPECT_TRUE(icmp.winsockLoaded && icmp.active);
    EXPECT_EQ(icmp.type, 8);
    EXPECT_EQ(icmp.code, 0);
    EXPECT_EQ(icmp.sent, (std::vector<std::string>{"AAAAAAAA 5 20"}));
    EXPECT_EQ(tester.Face().status, "Reqest sent, waiting for answer...");
    EXPECT_FALSE(tester.Face().startEnabled);
    EXPECT_TRUE(tester.Face().stopEnabled);
    EXPECT_EQ(tester.Face().lookupProgress, 0);
    EXPECT_EQ(tester.Face().pingProgress, 0);

    clock.Advance(12);
    // An answer of an older test, a scrap, the request seen going out, another echo's reply.
    tester.LookupDataIn(Reply(id - 1));
    tester.LookupDataIn("\x05");
    tester.PingDataIn(8, 0, "AAAAAAAA 5 20");
    tester.PingDataIn(0, 0, "AAAAAAAA 5 19");
    EXPECT_EQ(tester.Face().lookupTime, "");
    EXPECT_EQ(tester.Face().pingTime, "");
    tester.LookupDataIn(Reply());
    EXPECT_EQ(tester.Face().lookupTime, "12ms");
    EXPECT_TRUE(tester.Face().lookupOkay);
    EXPECT_EQ(tester.Face().lookupProgress, -1);
    clock.Advance(25);
    tester.PingDataIn(0, 0, "AAAAAAAA 5 20");
    EXPECT_EQ(tester.Face().pingTime, "37ms");
    EXPECT_TRUE(tester.Face().pingOkay);
    EXPECT_EQ(tester.Face().pingProgress, -1);
    // Answered once: a second copy changes nothing.
    clock.Advance(5);
    tester.LookupDataIn(Reply());
    tester.PingDataIn(0, 0, "AAAAAAAA 5 20");
    EXPECT_EQ(tester.Face().lookupTime, "12ms");
    EXPECT_EQ(tester.Face().pingTime, "37ms");
    tester.TimerTick();
    EXPECT_TRUE(tester.Face().startEnabled);
    EXPECT_FALSE(tester.Face().stopEnabled);
    EXPECT_EQ(tester.Face().status, "");

    // The next test: the answer names another domain.
    tester.StartClicked();
    EXPECT_TRUE(tester.Face().lookupTime.empty() && tester.Face().pingTime.empty());
    EXPECT_FALSE(tester.Face().lookupOkay || tester.Face().pingOkay);
    tester.LookupDataIn(Reply({}, "www.example.com"));
    EXPECT_EQ(tester.Face().lookupTime, "??????");
    EXPECT_FALSE(tester.Face().lookupOkay);
    EXPECT_EQ(tester.Face().lookupProgress, -1);
    EXPECT_EQ(tester.Face().status, "Unexpected package arrived");
}

TEST_F(TesterFormTest, UnansweredTestsTimeOutAtTheFirstTickPast20SecondsWithTheBarNearlyFull) {
    TesterForm& tester = Open();
    tester.StartClicked();
    int before = -1;
    int ticks = 0;
    while (tester.Face().lookupTime.empty() && ticks < 100) {
        before = tester.Face().lookupProgress;
        clock.Advance(kTesterTimerMs);
        tester.TimerTick();
        ++ticks;
        if (ticks == 20) {
            EXPECT_EQ(tester.Face().pingProgress, 50);
        }
    }
    EXPECT_EQ(ticks, 41);  // 20500 ms: the tick at 20000 still waits
    EXPECT_GE(before, 97);
    EXPECT_EQ(tester.Face().lookupTime, "Timeout");
    EXPECT_EQ(tester.Face().pingTime, "Timeout");
    EXPECT_EQ(tester.Face().lookupProgress, -1);
    EXPECT_EQ(tester.Face().pingProgress, -1);
    EXPECT_TRUE(tester.Face().startEnabled);
    EXPECT_FALSE(tester.Face().stopEnabled);
    tester.LookupDataIn(Reply());
    EXPECT_EQ(tester.Face().lookupTime, "Timeout");
}

TEST_F(TesterFormTest, StopMakesLateAnswersMissAndTheNextTickGivesStartBack) {
    TesterForm& tester = Open();
    tester.StartClicked();
    const std::string oldReply = Reply();
    const std::string oldPing = tester.PingData();
    tester.MouseOver(TesterArea::kStop);
    EXPECT_EQ(tester.Face().tip, "Cancel running test");
    tester.StopClicked();
    EXPECT_NE(tester.PingData(), oldPing);
    EXPECT_TRUE(tester.Face().stopEnabled);
    tester.LookupDataIn(oldReply);
    tester.PingDataIn(0, 0, oldPing);
    clock.Advance(kTesterTimerMs);
    tester.TimerTick();
    EXPECT_EQ(tester.Face().lookupTime, "");
    EXPECT_EQ(tester.Face().pingTime, "");
    EXPECT_TRUE(tester.Face().startEnabled);
    EXPECT_FALSE(tester.Face().stopEnabled);
    EXPECT_EQ(tester.Face().status, "");
    tester.MouseOver(TesterArea::kStop);
    EXPECT_EQ(tester.Face().tip, " ");
}

TEST_F(TesterFormTest, APingThatCannotBeSentIsLoggedOnceAndTimesOut) {
    icmp.failOpen = 25014;
    Open().StartClicked();
    clock.Advance(kTesterTimeoutMs + 1);
    form->TimerTick();
    EXPECT_EQ(form->Face().pingTime, "Timeout");
    form->StartClicked();
    // A dialog opened again remembers it was said.
    icmpOrNull = nullptr;
    Open().StartClicked();
    EXPECT_EQ(RefusalLines(), 1) << (log.lines.empty() ? "" : log.lines[0].second);
    EXPECT_NE(log.lines[0].second.find("error 25014: Permission denied"), std::string::npos);
    EXPECT_TRUE(icmp.sent.empty());
    EXPECT_EQ(udp.sent.size(), 3u);
}

TEST_F(TesterFormTest, OpeningListsTheServersTakesTheHelpAndClosingGivesItBack) {
    TesterForm& tester = Open();
    EXPECT_EQ(tester.Face().servers,
              (std::vector<std::string>{"127.0.0.2       fake", "192.168.100.200 router"}));
    EXPECT_TRUE(tester.Face().timerEnabled);
    EXPECT_FALSE(tester.Face().stopEnabled);
    EXPECT_EQ(tester.Face().lookupProgress, -1);
    EXPECT_EQ(help.context, kHelpTester);
    tester.HelpClicked();
    EXPECT_EQ(help.opened, std::vector<int>{kHelpTester});

    const std::pair<TesterArea, const char*> tips[] = {
        {TesterArea::kForm, " "},
        {TesterArea::kNameserver, "Select or enter a nameserver you want to test"},
        {TesterArea::kAskFor, "Enter a domain here"},
        {TesterArea::kResult, "Press start to update this result frame"},
        {TesterArea::kClose, "Close window"},
        {TesterArea::kHelp, "Open help system"},
    };
    for (const auto& [area, tip] : tips) {
        tester.MouseOver(area);
        EXPECT_EQ(tester.Face().tip, tip);
    }
    tester.Unload();
    EXPECT_EQ(help.context, 1006);
    EXPECT_FALSE(tester.Face().timerEnabled);
}

}  // namespace
}  // namespace quenda::test
