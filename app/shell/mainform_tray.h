// The main window's tray icon: the program's picture and the tip "Quenda" from start-up to
// quit; the left button shows or hides the window, the right one pops up the tray menu.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "app/shell/mainform.h"
#include "app/shell/tray_icon.h"

namespace quenda {

inline constexpr const char* kTrayTip = "Quenda";

class MainformTray {
  public:
    // icon may be null (the control could not be created): then there is never a tray icon.
    // popUpMenu shows the tray menu at the pointer.
    MainformTray(Mainform& form, std::unique_ptr<TrayIcon> icon, std::function<void()> popUpMenu);
    MainformTray(const MainformTray&) = delete;
    MainformTray& operator=(const MainformTray&) = delete;

    // Puts the icon with the picture in pictureFile in the tray; false when it could not.
    bool Show(const std::string& pictureFile);
    // At quit.
    void Remove();
    // A tray icon is there to bring a hidden window back.
    bool IconShown();

  private:
    void MouseUp(int16_t button);

    Mainform& form_;
    std::unique_ptr<TrayIcon> icon_;
    std::function<void()> popUpMenu_;
};

}  // namespace quenda
