// PindleTray: one icon in the notification area, its picture and tool tip kept up to date,
// flashing between two pictures on a timer, and mouse activity on it raised as events.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "controls/kit/dual_control.h"
#include "controls/tray/pindletray_interface.h"
#include "platform/shell/picture.h"
#include "platform/shell/shell_api.h"

namespace quenda {

// The class the library registers and serves (pindletray_library.cpp).
const ControlClassInfo& PindleTrayClass();

// The bytes of the built-in default icon (an SVG), bundled into the library.
std::string_view DefaultTrayIconSvg();

class PindleTray final : public DualControl<IPindleTray> {
  public:
    // A new control with its defaults, its own window (the target of the icon's callback
    // messages and of Timer1) and the built-in picture.
    PindleTray();
    // Removes the icon when it is in the tray, then the window.
    ~PindleTray() override;

    HRESULT ShowAbout() override;
    HRESULT get_Enabled(VARIANT_BOOL* value) override;
    HRESULT put_Enabled(VARIANT_BOOL value) override;
    HRESULT get_ToolTipText(BSTR* value) override;
    HRESULT put_ToolTipText(BSTR value) override;
    HRESULT get_TrayIcon(IDispatch** value) override;
    HRESULT putref_TrayIcon(VARIANT value) override;
    HRESULT get_ShowIcon(VARIANT_BOOL* value) override;
    HRESULT put_ShowIcon(VARIANT_BOOL value) override;
    HRESULT FlashIcon(VARIANT_BOOL flash) override;
    HRESULT get_FlashInterval(int32_t* value) override;
    HRESULT put_FlashInterval(int32_t value) override;
    HRESULT get_OnStateIcon(IDispatch** value) override;
    HRESULT putref_OnStateIcon(VARIANT value) override;
    HRESULT get_OffStateIcon(IDispatch** value) override;
    HRESULT putref_OffStateIcon(VARIANT value) override;

    // From the control's window: the icon's callback message carrying mouseMessage, and a
    // tick of Timer1.
    void OnIconNotification(UINT mouseMessage);
    void OnTimer1();

  protected:
    HWND ControlWindow() override { return window_; }
    void InitProperties() override;
    HRESULT MissingPropertyValue(uint32_t index, VARIANT* value) override;
    HRESULT SavedValue(uint32_t index, VARIANT* value) override;
    void PropertiesLoading(bool starting) override { loading_ = starting; }
    void PropertiesLoaded() override;

  private:
    // The steps that talk to the shell.
    void AddIcon();
    void ChangePicture(IShellPicture* image);
    void ChangeTip(std::u16string_view text);
    void RemoveIcon();
    bool TaskbarExists() const;
    void ErrorBox(const char* text) const;
    // Writes text as the record's tip: its first 64 characters without NULs, then a NUL, cut
    // at the 64-character field.
    void PrepareTip(std::u16string_view text);
    // Puts a picture argument into *slot; a TrayIcon that is no icon is refused (false).
    HRESULT PutPicture(const VARIANT& value, ComPtr<IShellPicture>* slot, bool iconOnly);
    // At run time and not loading persisted values: the shell may be called.
    bool Live() { return !loading_ && UserMode(); }
    void RaiseMouse(DISPID event, int16_t button);
    void RaiseClick();

    HWND window_ = nullptr;           // our window: callback messages and Timer1
    ComPtr<IShellPicture> trayIcon_;  // imgTrayIcon: the normal picture
    ComPtr<IShellPicture> flashOn_;   // FlashIconOn
    ComPtr<IShellPicture> flashOff_;  // FlashIconOff
    ComPtr<IShellPicture> image1_;    // Image1: the built-in default icon
    std::u16string toolTipText_;      // imgTrayIcon's tool tip
    NOTIFYICONDATAA record_{};        // kept for every call to the shell
    int32_t flashInterval_ = 0;       // ms; Timer1's period while flashing
    bool enabled_ = true;             // mouse notifications raise events
    bool showIcon_ = true;            // the icon is wanted in the tray
    bool flashing_ = false;           // flashing was asked for
    bool flashPhase_ = false;         // true: the next tick shows FlashIconOff
    bool iconAdded_ = false;          // the icon is in the tray
    bool loading_ = false;            // persisted values are being applied
};

}  // namespace quenda
