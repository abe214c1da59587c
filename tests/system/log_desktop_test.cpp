// The Log tab's windows in the real program on a real X server: the log box with lines in it,
// "Configure Log" and the separate log window, each saved as a picture under screenshots/.
#include <string>

#include "tests/system/desktop_fixture.h"

namespace quenda::test {
namespace {

TEST_F(DesktopTest, TheLogTabItsSettingsAndTheSeparateLogWindowShowAndKeepTheirPlace) {
    dir.WriteFile("QUENDA.INI",
                  "[OPTIONS]\nLOG_DETAIL=3\nLOG_DATE=Yes\n[NAMESERVER]\nDNS_0_NAME=127.0.0.2\n"
                  "DNS_0_ENABLED=Yes\nDNS_0_DESC=fake\n");
    auto quenda = Start();
    ASSERT_FALSE(window.empty());
    for (uint16_t id = 0x0801; id < 0x0806; ++id) EXPECT_TRUE(Answered(id));

    Keys(window, "alt+l");
    const auto tab = Screenshot(window, "quenda-log-tab-lines");
    EXPECT_GT(std::filesystem::exists(tab) ? std::filesystem::file_size(tab) : 0u, 1000u);

    // "&Settings" shares its access key with the "&System" tab, which takes it: the mouse
    // presses the button, the second of the row along the window's bottom.
    const std::string geometry = RunCommand("xdotool getwindowgeometry " + window);
    const size_t size = geometry.find("Geometry: ");
    ASSERT_NE(size, std::string::npos) << geometry;
    const int height = std::stoi(geometry.substr(geometry.find('x', size) + 1));
    RunCommand("xdotool mousemove --window " + window + " 134 " + std::to_string(height - 44) +
               " sleep 0.3 click 1");
    std::string settings;
    WaitFor([&] { return !(settings = VisibleWindow("^Configure Log$")).empty(); });
    ASSERT_FALSE(settings.empty());
    Screenshot(settings, "quenda-log-settings");
    Keys(settings, "Escape");
    EXPECT_TRUE(WaitFor([] { return VisibleWindow("^Configure Log$").empty(); }));

    Keys(window, "alt+l alt+w");
    std::string logWindow;
    ASSERT_TRUE(WaitFor([&] { return !(logWindow = VisibleWindow("^Quenda Log$")).empty(); }));
    std::this_thread::sleep_for(300ms);
    Screenshot(logWindow, "quenda-log-window");
    Keys(window, "alt+w");
    EXPECT_TRUE(WaitFor([] { return VisibleWindow("^Quenda Log$").empty(); }));

    EXPECT_EQ(quenda->Stop(SIGTERM), 0);
    EXPECT_NE(Setting("OPTIONS", "LOG_WINDOWW"), "0");
    EXPECT_NE(Setting("OPTIONS", "LOG_WINDOWH"), "0");
}

}  // namespace
}  // namespace quenda::test
