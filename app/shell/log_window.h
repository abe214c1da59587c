// The separate log window's logic without widgets: whether it is shown, where it opens, what
// its closing stores, its tip line and the layout of its controls as it is resized.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "app/shell/session.h"

namespace quenda {

// The room the separate window's geometry defaults are taken from.
struct WindowRoom {
    int mainWidth = 0;  // the main window
    int mainHeight = 0;
    int screenWidth = 0;
    int screenHeight = 0;
};

// The stored geometry with its unset parts filled: a height of 0 becomes half the main
// window's height, a width of 0 the main window's width; a left or top at or beyond the
// screen's edge comes back so that half the window is on the screen.
WindowGeometry LogWindowDefaults(WindowGeometry stored, const WindowRoom& room);

// The parts of the window that have a tip.
enum class LogWindowPart { kText, kCloseButton, kForm };

// Where the controls go in a window of a given inside size, in pixels: the text box above the
// close button at the right, two separator lines and the tip line along the bottom, each
// control kLogWindowMargin from the edges. A direction is left as it is (nullopt) while the
// window is not larger than kLogWindowLayoutMinimum in it.
struct LogWindowLayout {
    struct Vertical {
        int tipTop, lowerLineTop, upperLineTop, buttonTop, textTop, textHeight;
    };
    struct Horizontal {
        int tipWidth, lineRight, buttonLeft, textWidth;
    };
    std::optional<Vertical> vertical;
    std::optional<Horizontal> horizontal;
};

inline constexpr int kLogWindowLayoutMinimum = 180;
inline constexpr int kLogWindowMargin = 6;

// tipHeight, buttonWidth and buttonHeight are the controls' own sizes.
LogWindowLayout LayOutLogWindow(int width, int height, int tipHeight, int buttonWidth,
                                int buttonHeight);

class LogWindowForm {
  public:
    // changed is told whenever the window is shown or hidden.
    explicit LogWindowForm(Session& session, std::function<void()> changed = {})
        : session_(session), changed_(std::move(changed)) {}

    bool Shown() const { return shown_; }

    // Where an opening window goes: maximised, or at the geometry.
    struct Placement {
        bool maximised = false;
        WindowGeometry geometry;
    };
    // The window is being opened: it counts as shown from now on. It opens maximised when it
    // was last closed minimised or maximised, else at the stored geometry.
    Placement Open();
    // The window closed (its button, the log tab or its close box). Closed minimised or
    // maximised it opens maximised next time and the stored geometry stays; else normal is
    // stored, to be saved with the settings. Nothing happens when it was not shown.
    void Closed(bool minimisedOrMaximised, const WindowGeometry& normal);

    // The pointer is over a part: true when the tip line's text changes.
    bool PointAt(LogWindowPart part);
    const std::string& Tip() const { return tip_; }

  private:
    Session& session_;
    std::function<void()> changed_;
    bool shown_ = false;
    bool maximised_ = false;  // opens maximised next time
    std::string tip_;
};

}  // namespace quenda
