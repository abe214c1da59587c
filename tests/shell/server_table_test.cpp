// The name-server table's logic without widgets: rows and their figures, the focused row,
// the check box rules, the address check with its dialog, Esc, and the status texts.
#include "app/shell/server_table.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "app/shell/mainform.h"
#include "platform/profile/profile_file.h"
#include "tests/support/dns_builder.h"
#include "tests/support/session_fixture.h"

namespace quenda::test {
namespace {

// Records what the table writes into its widgets; answers the dialog from a script.
struct FakeTableWindow final : ServerTableWindow {
    void SetAddressField(int row, const std::string& text) override { address[row] = text; }
    void SetDescriptionField(int row, const std::string& text) override { description[row] = text; }
    void ShowFigures(int row, const ServerFigures& shown) override { figures[row] = shown; }
    void SetCheckBox(int row, bool ticked) override {
        box[row] = ticked;
        calls.push_back("box " + std::to_string(row) + (ticked ? " on" : " off"));
    }
    void SetRowLive(int row, bool on) override { live[row] = on; }
    int ShowCorrectDialog(const std::string& message, const std::string& title) override {
        dialogs.push_back({message, title});
        if (whileOpen) whileOpen();
        return answer;
    }
    void ShowServerTab() override { calls.push_back("tab"); }
    void FocusAddressField(int row) override {
        calls.push_back("focus " + std::to_string(row));
        if (focusSink != nullptr) focusSink->AddressFocused(row);  // as the field's focus-in does
    }
    void SelectAddressText(int row) override { calls.push_back("select " + std::to_string(row)); }

    std::string address[kUsedNameServers], description[kUsedNameServers];
    ServerFigures figures[kUsedNameServers];
    bool box[kUsedNameServers] = {}, live[kUsedNameServers] = {};
    std::vector<std::pair<std::string, std::string>> dialogs;
    std::vector<std::string> calls;
    int answer = 0;
    std::function<void()> whileOpen;
    ServerTable* focusSink = nullptr;
};

class ServerTableTest : public SessionTest {
  protected:
    // Slot 0 answered 3 times in 250 ms and won 1 of 3, slot 1 won 2 without a timed reply,
    // slot 2 is disabled.
    void Start() {
        dir.WriteFile("QUENDA.INI",
                      "[N_SERVERS]\nNDNS=3\n[NAMESERVER]\n"
                      "DNS_0_NAME=10.0.0.1\nDNS_0_DESC=first\nDNS_0_ENABLED=Yes\n"
                      "DNS_0_WINNING=1\nDNS_0_ATIME=250\nDNS_0_NATIME=3\n"
                      "DNS_1_NAME=10.0.0.2\nDNS_1_ENABLED=Yes\nDNS_1_WINNING=2\n"
                      "DNS_2_NAME=10.0.0.3\nDNS_2_DESC=spare\nDNS_2_ENABLED=No\n");
        session = Make();
        pump = [this] { window.calls.push_back("pump"); };
        table = std::make_unique<ServerTable>(*session, messages);
        table->SetWindow(&window);
        ASSERT_EQ(session->Load(), StartOutcome::kRunning);
    }
    std::string Saved(int slot, const char* key) {
        return GetPrivateProfileString("NAMESERVER", "DNS_" + std::to_string(slot) + key,
                                       "<absent>", 100, Ini());
    }
    // Types text into a row's address field and leaves it.
    void Enter(int row, const std::string& text) {
        table->AddressFocused(row);
        table->AddressTyped(row, text);
        table->AddressLeft(row);
    }

    std::unique_ptr<Session> session;
    FakeTableWindow window;
    std::unique_ptr<ServerTable> table;
};

TEST_F(ServerTableTest, RowsShowTimesSharesAndStatesAndTheRefreshLeavesTheFocusedRowAlone) {
    Start();
    EXPECT_EQ(window.figures[0].averageTime, "83ms");
    EXPECT_EQ(window.figures[0].share, "33.3%");
    EXPECT_EQ(window.figures[0].sharePercent, 33);
    EXPECT_EQ(window.figures[1].averageTime, "---");
    EXPECT_EQ(window.figures[1].share, "66.7%");
    EXPECT_EQ(window.figures[3].share, "0%");
    EXPECT_EQ(window.address[0], "10.0.0.1");
    EXPECT_EQ(window.description[2], "spare");
    for (int row : {0, 1, 2}) {
        EXPECT_TRUE(window.figures[row].checkEnabled) << row;
        EXPECT_TRUE(window.figures[row].descriptionWhite) << row;
    }
    EXPECT_FALSE(window.figures[3].checkEnabled);
    EXPECT_FALSE(window.figures[3].descriptionWhite);
    EXPECT_TRUE(window.box[0] && window.box[1] && window.live[0]);
    EXPECT_FALSE(window.box[2] || window.live[2]);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_FALSE(window.figures[0].responded);

    // A reply marks the server as answering; the row being edited keeps what is typed.
    table->AddressFocused(0);
    table->AddressTyped(0, "10.0.");
    session->UDPPort2DataIn(Query("a.example", 1, 1), "192.0.2.50", 40000);
    session->UDPPort1DataIn(GoodReply("a.example", 1, IdOf(udp1.sent.back().data)), "10.0.0.1", 53);
    EXPECT_TRUE(window.figures[0].responded);
    EXPECT_EQ(window.address[0], "10.0.0.1");  // never rewritten while focused
    EXPECT_EQ(table->AddressField(0), "10.0.");
    EXPECT_EQ(window.figures[0].share, "50%");  // 2 of 4 now

    // "&Clear" on the Server tab resets the figures and redraws.
    Mainform form(*session, messages, nullptr, {});
    form.TabSelected(kServerTab);
    form.ButtonClicked(1);
    EXPECT_EQ(window.figures[0].averageTime, "---");
    EXPECT_EQ(window.figures[0].share, "0%");
    EXPECT_FALSE(window.figures[0].responded);
    EXPECT_EQ(session->Servers().NDNS, 0);
}

TEST_F(ServerTableTest, ATypedAddressIsStoredTrimmedTicksANewRowAndIsSavedAgainAfterEsc) {
    Start();
    std::filesystem::remove(Ini());
    Enter(3, "  10.0.0.9 ");
    EXPECT_EQ(session->Servers()[3].address, "10.0.0.9");
    EXPECT_TRUE(session->Servers()[3].enabled);
    EXPECT_TRUE(table->Ticked(3));
    EXPECT_TRUE(window.box[3] && window.live[3]);
    EXPECT_EQ(window.address[3], "10.0.0.9");
    EXPECT_TRUE(window.figures[3].checkEnabled);
    EXPECT_EQ(table->FocusedRow(), kNoFocusedRow);
    EXPECT_EQ(Saved(3, "_NAME"), "10.0.0.9");
    EXPECT_EQ(Saved(3, "_ENABLED"), "Yes");

    // A disabled server keeps its box clear when its address changes.
    Enter(2, "10.0.0.4");
    EXPECT_EQ(Saved(2, "_NAME"), "10.0.0.4");
    EXPECT_EQ(Saved(2, "_ENABLED"), "No");
    EXPECT_FALSE(table->Ticked(2));

    // Esc brings the stored address back; leaving the field stores and saves it again.
    table->AddressFocused(3);
    table->AddressTyped(3, "10.0.0.77");
    table->AddressKey(3, 'x');
    EXPECT_EQ(table->AddressField(3), "10.0.0.77");
    table->AddressKey(3, kEscapeKey);
    EXPECT_EQ(window.address[3], "10.0.0.9");
    std::filesystem::remove(Ini());
    table->AddressFocused(4);  // the next field took the focus before the check ran
    table->AddressLeft(3);
    EXPECT_EQ(Saved(3, "_NAME"), "10.0.0.9");
    EXPECT_EQ(table->FocusedRow(), 4);

    // A description is kept when its field is left, and written with the next save.
    table->DescriptionFocused(3);
    EXPECT_EQ(table->FocusedRow(), 3);
    table->DescriptionTyped(3, "office");
    table->DescriptionLeft(3);
    EXPECT_EQ(table->FocusedRow(), kNoFocusedRow);
    EXPECT_EQ(session->Servers()[3].description, "office");
    EXPECT_EQ(Saved(3, "_DESC"), "");
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(ServerTableTest, AnInvalidAddressIsCorrectedOrPutBackAndTheCheckDoesNotNest) {
    Start();
    std::filesystem::remove(Ini());
    // The dialog takes the focus away from the field: no second check may start.
    // Nor may a reply's refresh, with the focus now in another row, undo what was typed.
    window.whileOpen = [this] {
        table->AddressFocused(4);
        table->AddressTyped(4, "bad");
        table->AddressLeft(4);
        table->AddressLeft(1);
        table->MakeListView();
    };
    window.focusSink = table.get();
    window.answer = 1;
    window.calls.clear();
    Enter(1, "10.0.0.a");
    ASSERT_EQ(window.dialogs.size(), 1u);
    EXPECT_EQ(window.dialogs[0].first, "Cannot add '10.0.0.a' to the list of name servers.");
    EXPECT_EQ(window.dialogs[0].second, "Invalid characters");
    EXPECT_EQ(window.calls,
              (std::vector<std::string>{"pump", "tab", "focus 1", "pump", "select 1"}));
    EXPECT_EQ(table->AddressField(1), "10.0.0.a");  // left for the user to correct
    EXPECT_EQ(session->Servers()[1].address, "10.0.0.2");
    EXPECT_EQ(table->FocusedRow(), 1);

    window.whileOpen = nullptr;
    window.answer = 0;
    window.calls.clear();
    Enter(1, " 127.0.0.1");  // trimmed before the check, shown as typed
    ASSERT_EQ(window.dialogs.size(), 2u);
    EXPECT_EQ(window.dialogs[1].first, "Cannot add ' 127.0.0.1' to the list of name servers.");
    EXPECT_EQ(window.dialogs[1].second, "This is your own ip address!");
    EXPECT_EQ(window.address[1], "10.0.0.2");
    EXPECT_TRUE(window.calls.empty());
    Enter(5, "192.168.1");
    EXPECT_EQ(window.dialogs.back().second, "Format error");
    EXPECT_EQ(window.address[5], "");
    EXPECT_FALSE(std::filesystem::exists(Ini()));

    // Without a window nobody is asked: the stored address comes back.
    table->SetWindow(nullptr);
    Enter(1, "300.1.1.1");
    EXPECT_EQ(table->AddressField(1), "10.0.0.2");
    EXPECT_EQ(window.dialogs.size(), 3u);
}

TEST_F(ServerTableTest, ClearingTheLastTickedBoxWarnsOnceAndEmptyingAnAddressClearsTheSlot) {
    Start();
    table->CheckClicked(0, false);
    EXPECT_FALSE(session->Servers()[0].enabled);
    EXPECT_FALSE(window.live[0]);
    EXPECT_TRUE(messages.shown.empty());
    table->CheckClicked(1, false);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].icon, MessageIcon::Information);
    EXPECT_EQ(messages.shown[0].title, "No Nameserver?!");
    EXPECT_EQ(messages.shown[0].text,
              "Warning: All name servers have been deselected. Unless you enable at least one "
              "nameserver, your DNS service will not work correctly!");
    EXPECT_FALSE(session->Servers()[1].enabled);  // cleared all the same
    session->RefreshServers();
    EXPECT_EQ(messages.shown.size(), 1u);
    table->CheckClicked(1, true);
    EXPECT_TRUE(session->Servers()[1].enabled);
    EXPECT_TRUE(window.live[1]);

    // Emptying the only enabled server's address: the slot goes, its wins leave the total,
    // its box clears with the warning, and the file waits for the next save.
    std::filesystem::remove(Ini());
    Enter(1, "");
    EXPECT_EQ(session->Servers()[1].address, "");
    EXPECT_EQ(session->Servers()[1].WINNING, 0);
    EXPECT_EQ(session->Servers().NDNS, 1);
    EXPECT_FALSE(session->Servers()[1].enabled);
    EXPECT_FALSE(window.box[1]);
    EXPECT_FALSE(window.figures[1].checkEnabled);
    EXPECT_FALSE(window.figures[1].descriptionWhite);
    EXPECT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(table->FocusedRow(), kNoFocusedRow);
    EXPECT_FALSE(std::filesystem::exists(Ini()));
    ASSERT_TRUE(session->SaveAllSettings());
    EXPECT_EQ(Saved(1, "_NAME"), "");
}

TEST_F(ServerTableTest, StatusTextsFollowTheBoxTheAddressAndTheShare) {
    Start();
    const auto text = [&](const char* name) { return table->StatusText(name).value_or("<none>"); };
    EXPECT_EQ(text("Check(0)"), "Disable this name server");
    EXPECT_EQ(text("Check(2)"), "Enable this name server");
    EXPECT_EQ(text("CheckI(9)"), "You will see a green 'OK' if this nameserver did answer");
    EXPECT_EQ(text("Text(0)"), "Edit this name server");
    EXPECT_EQ(text("Text(3)"), "Add the IP number of a name server here");
    EXPECT_EQ(text("Desc(4)"), "You can enter a descriptive text for this server here");
    EXPECT_EQ(text("Proz(0)"), "This server was the first to answer for 33.3% of all requests");
    EXPECT_EQ(text("Proz(3)"), "This server was the first to answer for 0% of all requests");
    EXPECT_EQ(text("ATime(5)"), "Average reply time in milliseconds");
    EXPECT_EQ(text("tabelle"), " ");
    EXPECT_EQ(text("pic(0)"), "<none>");
    EXPECT_EQ(text("Text(12)"), "<none>");
    EXPECT_EQ(text("Check3"), "<none>");  // the System tab's box
}

}  // namespace
}  // namespace quenda::test
