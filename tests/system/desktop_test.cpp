// The real program with its windows, in a private X server with a system tray (trayer),
// between real DNS clients and a fake name server on 127.0.0.2, in a private network
// namespace. Saves a picture of every tab under the build folder's screenshots/.
#include <sstream>
#include <string>

#include "tests/system/desktop_fixture.h"

namespace quenda::test {
namespace {

// The window a window with this X id is a child of (its X id), or "" for the root window.
std::string ParentOf(const std::string& window) {
    const std::string tree = RunCommand("xwininfo -tree -id " + window + " 2>/dev/null");
    const std::string label = "Parent window id: ";
    size_t at = tree.find(label);
    if (at == std::string::npos) return {};
    at += label.size();
    const std::string parent = tree.substr(at, tree.find_first_of(" \n", at) - at);
    // xwininfo waits for a click when asked about window 0.
    return parent == "0x0" ? std::string() : parent;
}

// The program's tray icon as trayer embedded it: one of its windows whose grandparent is the
// tray's panel (trayer puts a socket window between them). Its X id, or "" while none is.
std::string TrayIconWindow(std::string* panel = nullptr) {
    std::istringstream windows(RunCommand("xdotool search --classname '^quenda$' 2>/dev/null"));
    for (std::string window; std::getline(windows, window);) {
        const std::string socket = window.empty() ? std::string() : ParentOf(window);
        const std::string above = socket.empty() ? std::string() : ParentOf(socket);
        if (above.empty()) continue;
        if (RunCommand("xwininfo -id " + above).find("\"panel\"") == std::string::npos) continue;
        if (panel != nullptr) *panel = above;
        return window;
    }
    return {};
}

TEST_F(DesktopTest, ShowsItsTabsAnswersAndKeepsAnsweringWhenHidden) {
    auto quenda = Start();
    ASSERT_FALSE(window.empty());
    EXPECT_TRUE(tray->Running());
    EXPECT_TRUE(Answered(0x0101));

    const std::filesystem::path pictures = QUENDA_SCREENSHOTS;
    std::filesystem::create_directories(pictures);
    const std::pair<const char*, const char*> tabs[] = {{"alt+r", "1-server"},
                                                        {"alt+l", "2-log"},
                                                        {"alt+c", "3-cache"},
                                                        {"alt+a", "4-about"},
                                                        {"alt+s", "0-system"}};
    for (const auto& [keys, name] : tabs) {
        Keys(window, keys);
        const std::filesystem::path file = pictures / (std::string("quenda-tab-") + name + ".png");
        std::filesystem::remove(file);
        RunCommand(std::string(QUENDA_GRAB_WINDOW) + " " + window + " " + file.string());
        EXPECT_GT(std::filesystem::exists(file) ? std::filesystem::file_size(file) : 0u, 1000u)
            << file;
    }

    // The icon is in the tray; hidden into it the program goes on serving, and a click on
    // the icon brings the window back.
    std::string panel;
    std::string icon;
    ASSERT_TRUE(WaitFor([&] { return !(icon = TrayIconWindow(&panel)).empty(); }));
    const std::filesystem::path trayPicture = pictures / "quenda-tray-icon.png";
    // xwininfo names windows in hexadecimal, grab_window takes them in decimal.
    RunCommand(std::string(QUENDA_GRAB_WINDOW) + " " +
               std::to_string(std::stoul(panel, nullptr, 0)) + " " + trayPicture.string());
    EXPECT_TRUE(std::filesystem::exists(trayPicture));
    Keys(window, "Escape");
    EXPECT_TRUE(WaitFor([] { return VisibleQuendaWindow().empty(); }));
    EXPECT_TRUE(Answered(0x0202));
    RunCommand("xdotool mousemove --window " + icon + " 8 8 sleep 0.3 click 1");
    EXPECT_TRUE(WaitFor([] { return !VisibleQuendaWindow().empty(); }));
    // The right button opens the tray menu, whose "&Hide" is offered while the window shows.
    RunCommand("xdotool mousemove --window " + icon + " 8 8 sleep 0.3 click 3 sleep 0.8 key h");
    EXPECT_TRUE(WaitFor([] { return VisibleQuendaWindow().empty(); }));
    RunCommand("xdotool mousemove --window " + icon + " 8 8 sleep 0.3 click 1");
    EXPECT_TRUE(WaitFor([] { return !VisibleQuendaWindow().empty(); }));

    EXPECT_EQ(quenda->Stop(SIGTERM), 0);
    EXPECT_NE(Setting("STATISTICS", "TOTALQ"), "<absent>");
}

TEST_F(DesktopTest, FileExitQuitsWithStatusZeroAndSavesTheSettings) {
    auto quenda = Start();
    ASSERT_FALSE(window.empty());
    EXPECT_TRUE(Answered(0x0303));
    Keys(window, "alt+f");
    RunCommand("xdotool key e");
    EXPECT_EQ(quenda->Wait(10s), 0);
    EXPECT_EQ(Setting("NAMESERVER", "DNS_0_NAME"), "127.0.0.2");
    EXPECT_NE(Setting("STATISTICS", "TOTALQ"), "<absent>");
}

TEST_F(DesktopTest, ASecondStartShowsTheFirstCopysWindowAndEndsChangingNothing) {
    const std::string log = home + "/Quenda.LOG";
    dir.WriteFile("QUENDA.INI",
                  "[OPTIONS]\nSYSTRAY=Yes\nLOG_DETAIL=3\nLOG_TOFILE=Yes\nLOG_FILE=" + log +
                      "\n[NAMESERVER]\nDNS_0_NAME=127.0.0.2\nDNS_0_ENABLED=Yes\n");
    QuendaProcess first(home, kPort, QuendaProcess::Stdout::kFile, true);
    ASSERT_TRUE(WaitFor(
        [&] { return ReadFile(log).find("INIT: Add DNS server") != std::string::npos; }, 20s))
        << ReadFile(home + "/stderr.txt");
    EXPECT_TRUE(Answered(0x0404));
    const std::string settings = ReadFile(home + "/QUENDA.INI");

    QuendaProcess second(home, kPort, QuendaProcess::Stdout::kFile, true);
    EXPECT_EQ(second.Wait(10s), 0);
    EXPECT_TRUE(WaitFor([&] {
        return ReadFile(log).find("Window shown at the request of a second start") !=
               std::string::npos;
    }));
    EXPECT_FALSE(VisibleQuendaWindow().empty());
    EXPECT_EQ(ReadFile(home + "/QUENDA.INI"), settings);
    EXPECT_EQ(first.Stop(SIGTERM), 0);
}

TEST_F(DesktopTest, WithoutATrayEscMinimisesAndASecondStartBringsTheWindowBack) {
    tray.reset();
    ASSERT_TRUE(WaitFor([] { return RunCommand("xdotool search --name '^panel$'").empty(); }));
    const std::string log = home + "/Quenda.LOG";
    dir.WriteFile("QUENDA.INI", "[OPTIONS]\nLOG_DETAIL=3\nLOG_TOFILE=Yes\nLOG_FILE=" + log +
                                    "\n[NAMESERVER]\nDNS_0_NAME=127.0.0.2\nDNS_0_ENABLED=Yes\n");
    QuendaProcess first(home, kPort, QuendaProcess::Stdout::kFile, true);
    // The tray control says there is no tray.
    std::string box;
    ASSERT_TRUE(WaitFor(
        [&] {
            box = RunCommand("xdotool search --onlyvisible --name '^PindleTray$' 2>/dev/null");
            return !box.empty();
        },
        20s))
        << ReadFile(home + "/stderr.txt");
    Keys(box.substr(0, box.find('\n')), "Return");
    ASSERT_TRUE(WaitFor([&] { return !(window = VisibleQuendaWindow()).empty(); }, 20s));
    EXPECT_TRUE(Answered(0x0606));

    // Minimised, not hidden: without a window manager the server leaves it mapped.
    Keys(window, "Escape");
    EXPECT_TRUE(Answered(0x0707));
    EXPECT_FALSE(VisibleQuendaWindow().empty());
    const std::filesystem::path pictures = QUENDA_SCREENSHOTS;
    std::filesystem::create_directories(pictures);
    RunCommand(std::string(QUENDA_GRAB_WINDOW) + " " + window + " " +
               (pictures / "quenda-no-tray.png").string());

    QuendaProcess second(home, kPort, QuendaProcess::Stdout::kFile, true);
    EXPECT_EQ(second.Wait(10s), 0);
    EXPECT_TRUE(WaitFor([&] {
        return ReadFile(log).find("Window shown at the request of a second start") !=
               std::string::npos;
    }));
    EXPECT_FALSE(VisibleQuendaWindow().empty());
    EXPECT_EQ(first.Stop(SIGTERM), 0);
}

TEST_F(DesktopTest, ADisplayThatDoesNotAnswerRunsHeadlessInsteadOfFailing) {
    const std::string display = std::getenv("DISPLAY");
    setenv("DISPLAY", ":97", 1);  // no X server there: a closed ssh session's leftover
    QuendaProcess quenda(home, kPort, QuendaProcess::Stdout::kFile, true);
    setenv("DISPLAY", display.c_str(), 1);
    EXPECT_TRUE(quenda.WaitUntilServing()) << quenda.Errors();
    EXPECT_NE(quenda.Errors().find("running without windows"), std::string::npos);
    EXPECT_TRUE(Answered(0x0505));
    EXPECT_EQ(quenda.Stop(SIGTERM), 0);
}

TEST_F(DesktopTest, ServerTabShowsItsTableAndAsksToCorrectABadAddress) {
    dir.WriteFile("QUENDA.INI",
                  "[N_SERVERS]\nNDNS=12\n[NAMESERVER]\n"
                  "DNS_0_NAME=127.0.0.2\nDNS_0_DESC=fake upstream\nDNS_0_ENABLED=Yes\n"
                  "DNS_0_WINNING=7\n"
                  "DNS_1_NAME=192.0.2.53\nDNS_1_DESC=office\nDNS_1_ENABLED=Yes\n"
                  "DNS_1_WINNING=5\nDNS_1_ATIME=250\nDNS_1_NATIME=3\n"
                  "DNS_2_NAME=198.51.100.1\nDNS_2_DESC=spare, switched off\nDNS_2_ENABLED=No\n");
    auto quenda = Start();
    ASSERT_FALSE(window.empty());
    EXPECT_TRUE(Answered(0x0808));  // the fake server answers: its row shows the green image
    const std::filesystem::path pictures = QUENDA_SCREENSHOTS;
    std::filesystem::create_directories(pictures);
    Keys(window, "alt+r");
    RunCommand(std::string(QUENDA_GRAB_WINDOW) + " " + window + " " +
               (pictures / "quenda-server-table.png").string());

    // From the tab strip: the first box, then the first address.
    Keys(window, "Tab Tab ctrl+a 1 0 period 0 period 0 period a Tab");
    std::string dialog;
    ASSERT_TRUE(WaitFor([&] {
        dialog = RunCommand("xdotool search --onlyvisible --name '^Invalid characters$'");
        return !dialog.empty();
    }));
    dialog = dialog.substr(0, dialog.find('\n'));
    RunCommand(std::string(QUENDA_GRAB_WINDOW) + " " + dialog + " " +
               (pictures / "quenda-correct-dialog.png").string());
    // "&Correct!" returns to the field; Esc there brings the stored address back.
    Keys(dialog, "Return");
    EXPECT_TRUE(WaitFor([] {
        return RunCommand("xdotool search --onlyvisible --name '^Invalid characters$'").empty();
    }));
    RunCommand(std::string(QUENDA_GRAB_WINDOW) + " " + window + " " +
               (pictures / "quenda-server-table-correct.png").string());
    // The field takes the focus back only once the window is active again; an Esc before
    // that would go to the window, which hides.
    RunCommand("xdotool windowfocus --sync " + window);
    std::this_thread::sleep_for(1s);
    Keys(window, "Escape Tab");
    EXPECT_FALSE(VisibleQuendaWindow().empty());
    RunCommand(std::string(QUENDA_GRAB_WINDOW) + " " + window + " " +
               (pictures / "quenda-server-table-after.png").string());
    EXPECT_TRUE(Answered(0x0909));
    EXPECT_EQ(quenda->Stop(SIGTERM), 0);
    EXPECT_EQ(Setting("NAMESERVER", "DNS_0_NAME"), "127.0.0.2");
    EXPECT_EQ(Setting("NAMESERVER", "DNS_2_ENABLED"), "No");
}

}  // namespace
}  // namespace quenda::test
