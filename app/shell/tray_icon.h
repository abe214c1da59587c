// The tray icon as the main window uses it: shown with a picture and a tip from start-up to
// quit, and the mouse buttons released over it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

namespace quenda {

// Mouse buttons as the tray reports them.
inline constexpr int16_t kTrayLeftButton = 1;
inline constexpr int16_t kTrayRightButton = 2;
inline constexpr int16_t kTrayMiddleButton = 4;

class TrayIcon {
  public:
    using MouseUpHandler = std::function<void(int16_t button)>;

    virtual ~TrayIcon() = default;

    // Asks for the icon in the tray with the picture in pictureFile and the tip. False when
    // the picture cannot be read or the control refuses it.
    virtual bool Show(const std::string& pictureFile, const std::string& tip) = 0;
    // Takes the icon out of the tray.
    virtual void Remove() = 0;
    // The icon is in a tray now, so a hidden window can be brought back through it. A tray
    // that appeared since Show (a panel restarted) gets the icon here.
    virtual bool Shown() = 0;

    void SetMouseUpHandler(MouseUpHandler handler) { onMouseUp_ = std::move(handler); }

  protected:
    void RaiseMouseUp(int16_t button) {
        if (onMouseUp_) onMouseUp_(button);
    }

  private:
    MouseUpHandler onMouseUp_;
};

}  // namespace quenda
