// The program's host of PindleTray over the recording shell: the icon added once with its
// picture and tip, released buttons passed on, no tray said once and a later tray used.
#include "app/shell/tray_icon_control.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/winmsg/window.h"
#include "tests/tray/tray_fixture.h"

namespace quenda::test {
namespace {

constexpr const char* kIcon = QUENDA_ICON_DIR "/quenda-tray.svg";

using TrayIconControlTest = TrayTest;

TEST_F(TrayIconControlTest, AddsOnceWithPictureAndTipPassesReleasedButtonsAndRemoves) {
    auto tray = TrayIconControl::Create();
    ASSERT_NE(tray, nullptr);
    std::vector<int16_t> released;
    tray->SetMouseUpHandler([&](int16_t button) { released.push_back(button); });
    EXPECT_FALSE(tray->Shown());
    EXPECT_FALSE(tray->Show("/nonexistent/quenda-tray.svg", "Quenda"));
    EXPECT_FALSE(tray->Shown());
    EXPECT_TRUE(CallsOf(NIM_ADD).empty());

    ASSERT_TRUE(tray->Show(kIcon, "Quenda"));
    std::vector<NotifyCall> adds = CallsOf(NIM_ADD);
    ASSERT_EQ(adds.size(), 1u);
    EXPECT_EQ(adds[0].Tip(), "Quenda");
    EXPECT_NE(adds[0].record.hIcon, 0u);
    EXPECT_TRUE(tray->Shown());

    const HWND window = WindowOf(tray->Control());
    for (LPARAM message : {513, 514, 515, 516, 517, 519, 520, 512}) {
        SendMessageA(window, 512, 1, message);
    }
    EXPECT_EQ(released,
              (std::vector<int16_t>{kTrayLeftButton, kTrayRightButton, kTrayMiddleButton}));

    const size_t deletes = CallsOf(NIM_DELETE).size();
    tray->Remove();
    EXPECT_EQ(CallsOf(NIM_DELETE).size(), deletes + 1);
    EXPECT_FALSE(tray->Shown());
    EXPECT_EQ(CallsOf(NIM_ADD).size(), 1u);
    EXPECT_TRUE(shell_.boxes.empty());
}

TEST_F(TrayIconControlTest, WithoutATraySaysSoOnceAndUsesATrayThatComesLater) {
    shell_.trayAvailable = false;
    auto tray = TrayIconControl::Create();
    ASSERT_NE(tray, nullptr);
    ASSERT_TRUE(tray->Show(kIcon, "Quenda"));
    EXPECT_TRUE(CallsOf(NIM_ADD).empty());
    ASSERT_EQ(shell_.boxes.size(), 1u);
    EXPECT_EQ(shell_.boxes[0].text, "There is No Tray Available!!!");
    EXPECT_FALSE(tray->Shown());
    EXPECT_FALSE(tray->Shown());
    EXPECT_EQ(shell_.boxes.size(), 1u);

    shell_.trayAvailable = true;
    EXPECT_TRUE(tray->Shown());
    std::vector<NotifyCall> adds = CallsOf(NIM_ADD);
    ASSERT_EQ(adds.size(), 1u);
    EXPECT_EQ(adds[0].Tip(), "Quenda");
    EXPECT_TRUE(tray->Shown());
    EXPECT_EQ(CallsOf(NIM_ADD).size(), 1u);
    EXPECT_EQ(shell_.boxes.size(), 1u);
}

}  // namespace
}  // namespace quenda::test
