// The separate log window's shown flag, placement, stored geometry, tip line and layout.
#include "app/shell/log_window.h"

#include <cmath>

namespace quenda {
namespace {

int Half(int value) {
    return static_cast<int>(std::nearbyint(value / 2.0));
}

}  // namespace

WindowGeometry LogWindowDefaults(WindowGeometry stored, const WindowRoom& room) {
    if (stored.height == 0) stored.height = Half(room.mainHeight);
    if (stored.width == 0) stored.width = room.mainWidth;
    if (stored.left >= room.screenWidth) stored.left = room.screenWidth - Half(stored.width);
    if (stored.top >= room.screenHeight) stored.top = room.screenHeight - Half(stored.height);
    return stored;
}

LogWindowLayout LayOutLogWindow(int width, int height, int tipHeight, int buttonWidth,
                                int buttonHeight) {
    constexpr int m = kLogWindowMargin;
    LogWindowLayout layout;
    if (height > kLogWindowLayoutMinimum) {
        LogWindowLayout::Vertical v{};
        v.tipTop = height - tipHeight - m / 2;
        v.lowerLineTop = v.tipTop - m / 2;
        v.upperLineTop = v.lowerLineTop - 1;
        v.buttonTop = v.upperLineTop - buttonHeight - m;
        v.textTop = m;
        v.textHeight = v.buttonTop - m - v.textTop;
        layout.vertical = v;
    }
    if (width > kLogWindowLayoutMinimum) {
        LogWindowLayout::Horizontal h{};
        h.tipWidth = width - 2 * m;
        h.lineRight = width - m;
        h.buttonLeft = width - buttonWidth - m;
        h.textWidth = width - 2 * m;
        layout.horizontal = h;
    }
    return layout;
}

LogWindowForm::Placement LogWindowForm::Open() {
    shown_ = true;
    if (changed_) changed_();
    return {maximised_, session_.LogWindowGeometry()};
}

void LogWindowForm::Closed(bool minimisedOrMaximised, const WindowGeometry& normal) {
    if (!shown_) return;
    shown_ = false;
    maximised_ = minimisedOrMaximised;
    if (!minimisedOrMaximised) session_.SetLogWindowGeometry(normal);
    if (changed_) changed_();
}

bool LogWindowForm::PointAt(LogWindowPart part) {
    const char* tip = " ";
    if (part == LogWindowPart::kText) tip = "Quenda log";
    if (part == LogWindowPart::kCloseButton) tip = "Close this window";
    if (tip_ == tip) return false;
    tip_ = tip;
    return true;
}

}  // namespace quenda
