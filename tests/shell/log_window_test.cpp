// The separate log window's layout and geometry defaults.
#include "app/shell/log_window.h"

#include <gtest/gtest.h>

namespace quenda::test {
namespace {

TEST(LogWindowLayoutTest, ControlsStackInsideTheWindowWithoutOverlapOnceItIsLargeEnough) {
    constexpr int tipHeight = 18, buttonWidth = 90, buttonHeight = 30;
    const LogWindowLayout small = LayOutLogWindow(kLogWindowLayoutMinimum, kLogWindowLayoutMinimum,
                                                  tipHeight, buttonWidth, buttonHeight);
    EXPECT_FALSE(small.vertical.has_value());
    EXPECT_FALSE(small.horizontal.has_value());
    EXPECT_TRUE(LayOutLogWindow(900, 100, tipHeight, buttonWidth, buttonHeight).horizontal);
    EXPECT_FALSE(LayOutLogWindow(900, 100, tipHeight, buttonWidth, buttonHeight).vertical);

    for (int size = kLogWindowLayoutMinimum + 1; size < 2000; size += 37) {
        const LogWindowLayout at =
            LayOutLogWindow(size, size, tipHeight, buttonWidth, buttonHeight);
        ASSERT_TRUE(at.vertical && at.horizontal) << size;
        const auto& v = *at.vertical;
        const auto& h = *at.horizontal;
        EXPECT_GT(v.textTop, 0);
        EXPECT_GT(v.textHeight, 0);
        EXPECT_LT(v.textTop + v.textHeight, v.buttonTop) << size;
        EXPECT_LT(v.buttonTop + buttonHeight, v.upperLineTop) << size;
        EXPECT_LT(v.upperLineTop, v.lowerLineTop);
        EXPECT_LT(v.lowerLineTop, v.tipTop);
        EXPECT_LT(v.tipTop + tipHeight, size);
        EXPECT_LT(h.buttonLeft + buttonWidth, size);
        EXPECT_GT(h.buttonLeft, 0);
        EXPECT_LT(kLogWindowMargin + h.textWidth, size);
        EXPECT_LT(kLogWindowMargin + h.tipWidth, size);
        EXPECT_LT(h.lineRight, size);
    }
}

TEST(LogWindowLayoutTest, UnsetOrOffScreenGeometryIsFilledFromTheMainWindowAndTheScreen) {
    const WindowRoom room{601, 441, 1280, 800};
    EXPECT_EQ(LogWindowDefaults({200, 200, 0, 0}, room), (WindowGeometry{200, 200, 601, 220}));
    EXPECT_EQ(LogWindowDefaults({1280, 900, 400, 300}, room),
              (WindowGeometry{1080, 650, 400, 300}));
    // Set and on the screen: kept as it is.
    EXPECT_EQ(LogWindowDefaults({1279, 799, 10, 10}, room), (WindowGeometry{1279, 799, 10, 10}));
}

}  // namespace
}  // namespace quenda::test
