// The main window's tray icon and what its mouse buttons do.
#include "app/shell/mainform_tray.h"

#include <utility>

namespace quenda {

MainformTray::MainformTray(Mainform& form, std::unique_ptr<TrayIcon> icon,
                           std::function<void()> popUpMenu)
    : form_(form), icon_(std::move(icon)), popUpMenu_(std::move(popUpMenu)) {
    if (icon_) icon_->SetMouseUpHandler([this](int16_t button) { MouseUp(button); });
}

bool MainformTray::Show(const std::string& pictureFile) {
    return icon_ && icon_->Show(pictureFile, kTrayTip);
}

void MainformTray::Remove() {
    if (icon_) icon_->Remove();
}

bool MainformTray::IconShown() {
    return icon_ && icon_->Shown();
}

void MainformTray::MouseUp(int16_t button) {
    // On release, so the menu does not open under a button still held.
    if (button == kTrayLeftButton) form_.TrayIconClicked();
    if (button == kTrayRightButton && popUpMenu_) popUpMenu_();
}

}  // namespace quenda
