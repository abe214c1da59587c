// The PindleTray control as its library and its hosts both know it: GUIDs, ProgID, the dual
// interface _PindleTray (IPindleTray here), its DISPIDs and the event DISPIDs.
#pragma once

#include <cstdint>

#include "platform/com/dispatch.h"

namespace quenda {

inline constexpr CLSID CLSID_PindleTray = {
    0x9D2F6C31, 0x58A4, 0x4C7B, {0xB1, 0x0E, 0x50, 0x69, 0x6E, 0x64, 0x6C, 0x01}};
inline constexpr IID IID_IPindleTray = {
    0x9D2F6C32, 0x58A4, 0x4C7B, {0xB1, 0x0E, 0x50, 0x69, 0x6E, 0x64, 0x6C, 0x02}};
inline constexpr IID DIID__PindleTrayEvents = {
    0x9D2F6C33, 0x58A4, 0x4C7B, {0xB1, 0x0E, 0x50, 0x69, 0x6E, 0x64, 0x6C, 0x03}};
inline constexpr GUID LIBID_PindleTrayIcon = {
    0x9D2F6C34, 0x58A4, 0x4C7B, {0xB1, 0x0E, 0x50, 0x69, 0x6E, 0x64, 0x6C, 0x04}};

inline constexpr char16_t kPindleTrayProgId[] = u"PindleTrayIcon.PindleTray";
// The library's file name, found beside the program (or on the loader's path).
inline constexpr char kPindleTrayLibraryName[] = "libpindletray2.so";

enum PindleTrayDispid : DISPID {
    kTrayDispShowAbout = -552,            // method: the About dialog, modal
    kTrayDispEnabled = -514,              // BOOL; persisted
    kTrayDispToolTipText = 0x68030005,    // BSTR; persisted
    kTrayDispTrayIcon = 0x68030004,       // picture, put by reference; persisted
    kTrayDispShowIcon = 0x68030003,       // BOOL; persisted
    kTrayDispFlashIcon = 0x60030017,      // method (New_FlashIcon: BOOL)
    kTrayDispFlashInterval = 0x68030002,  // I4, milliseconds; persisted
    kTrayDispOnStateIcon = 0x68030001,    // picture, put by reference; persisted
    kTrayDispOffStateIcon = 0x68030000,   // picture, put by reference; persisted
};

// Events, all arguments by reference: Button (I2) is 1 left, 2 right, 4 middle; Shift (I2) the
// sum of 1 Shift, 2 Ctrl, 4 Alt held; X and Y (R4) the cursor in the host's scale units.
enum PindleTrayEventDispid : DISPID {
    kTrayEventClick = 1,      // none
    kTrayEventDblClick = 2,   // Button
    kTrayEventMouseDown = 3,  // Button, Shift, X, Y
    kTrayEventMouseMove = 4,  // Button, Shift, X, Y
    kTrayEventMouseUp = 5,    // Button, Shift, X, Y
};

// The dual interface, in type-library order. A picture put takes a picture object (VT_DISPATCH
// or VT_UNKNOWN), the bytes of an image file as text (one character per byte, as a saved
// control stores its pictures), or nothing (VT_EMPTY, VT_NULL, "") for no picture.
class IPindleTray : public IDispatch {
  public:
    virtual HRESULT ShowAbout() = 0;
    virtual HRESULT get_Enabled(VARIANT_BOOL* value) = 0;
    virtual HRESULT put_Enabled(VARIANT_BOOL value) = 0;
    virtual HRESULT get_ToolTipText(BSTR* value) = 0;
    virtual HRESULT put_ToolTipText(BSTR value) = 0;
    virtual HRESULT get_TrayIcon(IDispatch** value) = 0;
    virtual HRESULT putref_TrayIcon(VARIANT value) = 0;
    virtual HRESULT get_ShowIcon(VARIANT_BOOL* value) = 0;
    virtual HRESULT put_ShowIcon(VARIANT_BOOL value) = 0;
    virtual HRESULT FlashIcon(VARIANT_BOOL flash) = 0;
    virtual HRESULT get_FlashInterval(int32_t* value) = 0;
    virtual HRESULT put_FlashInterval(int32_t value) = 0;
    virtual HRESULT get_OnStateIcon(IDispatch** value) = 0;
    virtual HRESULT putref_OnStateIcon(VARIANT value) = 0;
    virtual HRESULT get_OffStateIcon(IDispatch** value) = 0;
    virtual HRESULT putref_OffStateIcon(VARIANT value) = 0;

  protected:
    ~IPindleTray() = default;
};

}  // namespace quenda
