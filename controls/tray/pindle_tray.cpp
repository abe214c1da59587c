// PindleTray: one icon in the notification area, its picture and tool tip kept up to date,
// flashing between two pictures on a timer, and mouse activity on it raised as events.
#include "controls/tray/pindle_tray.h"

#include <cstring>
#include <new>

#include "controls/kit/library_module.h"
#include "platform/com/connection_point.h"
#include "platform/winmsg/message_queue.h"
#include "platform/winmsg/timer.h"
#include "platform/winmsg/window.h"

namespace quenda {
namespace {

constexpr UINT kIconId = 1;
// The shell reports activity on the icon as this message, the mouse message in lParam.
constexpr UINT kCallbackMessage = WM_MOUSEMOVE;
constexpr UINT kAddFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
constexpr UINT_PTR kTimer1 = 1;
constexpr DWORD kAppBarDataSize = 36;
constexpr double kTwipsPerPixel = 1440.0 / kLogicalPixelsPerInch;

// A saved picture whose bytes are no picture.
const HRESULT kInvalidPicture = MakeHresult(0x800A01E1);

constexpr char kComponentName[] = "PindleTray";
constexpr char kAboutText[] =
    "PindleTray 2\n\nPuts one icon into the notification area, keeps its picture and tool tip up "
    "to date, "
    "makes it flash, and reports mouse activity on it as events.";
constexpr char kWindowClass[] = "PindleTrayWindow";

// Indexes of the persisted properties, in their saved order.
enum Saved : uint32_t {
    kSavedEnabled,
    kSavedToolTipText,
    kSavedTrayIcon,
    kSavedShowIcon,
    kSavedFlashInterval,
    kSavedOnStateIcon,
    kSavedOffStateIcon
};

int gLiveWindows = 0;  // windows of this library's class
int gInstanceTag = 0;  // its address names this library as the class's owner

LRESULT TrayWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* tray = reinterpret_cast<PindleTray*>(GetWindowLongPtrA(hwnd, 0));
    if (tray != nullptr && message == kCallbackMessage && wParam == kIconId) {
        tray->OnIconNotification(static_cast<UINT>(lParam));
        return 0;
    }
    if (tray != nullptr && message == WM_TIMER && wParam == kTimer1) {
        tray->OnTimer1();
        return 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

HWND CreateTrayWindow(PindleTray* tray) {
    if (gLiveWindows == 0) {
        WNDCLASSA windowClass;
        windowClass.lpfnWndProc = &TrayWindowProc;
        windowClass.cbWndExtra = sizeof(LONG_PTR);
        windowClass.hInstance = &gInstanceTag;
        windowClass.lpszClassName = kWindowClass;
        RegisterClassA(&windowClass);
    }
    HWND window = CreateWindowA(kWindowClass, kComponentName, &gInstanceTag, nullptr);
    if (window == nullptr) {
        if (gLiveWindows == 0) UnregisterClassA(kWindowClass, &gInstanceTag);
        return nullptr;
    }
    ++gLiveWindows;
    SetWindowLongPtrA(window, 0, reinterpret_cast<LONG_PTR>(tray));
    return window;
}

void DestroyTrayWindow(HWND window) {
    if (window == nullptr) return;
    SetWindowLongPtrA(window, 0, 0);
    DestroyWindow(window);
    if (--gLiveWindows == 0) UnregisterClassA(kWindowClass, &gInstanceTag);
}

HICON HandleOf(IShellPicture* picture) {
    int16_t type = PICTYPE_NONE;
    HICON handle = 0;
    PictureTypeAndHandle(picture, &type, &handle);
    return handle;
}

HRESULT OutPicture(IShellPicture* picture, IDispatch** out) {
    if (out == nullptr) return E_POINTER;
    *out = picture;
    if (picture != nullptr) picture->AddRef();
    return S_OK;
}

HRESULT OutBool(bool value, VARIANT_BOOL* out) {
    if (out == nullptr) return E_POINTER;
    *out = value ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

// X or Y of a cursor position in the host's scale units, named by their first three letters.
float Scaled(int32_t pixels, std::u16string_view units, bool vertical) {
    double twips = pixels * kTwipsPerPixel;
    std::u16string prefix;
    for (char16_t c : units.substr(0, 3))
        prefix += (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
    if (prefix == u"poi") return static_cast<float>(twips * 72 / 1440);
    if (prefix == u"pix") return static_cast<float>(pixels);
    if (prefix == u"cha") return static_cast<float>(twips / (vertical ? 240 : 120));
    if (prefix == u"inc") return static_cast<float>(twips / 1440);
    if (prefix == u"mil") return static_cast<float>(twips / 56.7);
    if (prefix == u"cen") return static_cast<float>(twips / 567);
    return static_cast<float>(twips);
}

}  // namespace

PindleTray::PindleTray() : DualControl(PindleTrayClass()) {
    window_ = CreateTrayWindow(this);
    std::string_view svg = DefaultTrayIconSvg();
    LoadPictureData(svg.data(), svg.size(), image1_.Out());
}

PindleTray::~PindleTray() {
    if (iconAdded_) RemoveIcon();
    if (window_ != nullptr) KillTimer(window_, kTimer1);
    DestroyTrayWindow(window_);
}

HRESULT PindleTray::ShowAbout() {
    MessageBoxA(window_, kAboutText, kComponentName, MB_ICONINFORMATION);
    return S_OK;
}

HRESULT PindleTray::get_Enabled(VARIANT_BOOL* value) {
    return OutBool(enabled_, value);
}

HRESULT PindleTray::put_Enabled(VARIANT_BOOL value) {
    enabled_ = value != VARIANT_FALSE;
    MarkDirty();
    return S_OK;
}

HRESULT PindleTray::get_ToolTipText(BSTR* value) {
    if (value == nullptr) return E_POINTER;
    *value = SysAllocStringLen(toolTipText_.data(), static_cast<uint32_t>(toolTipText_.size()));
    return *value != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT PindleTray::put_ToolTipText(BSTR value) {
    try {
        toolTipText_ = BstrView(value);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    MarkDirty();
    if (Live()) ChangeTip(toolTipText_);
    return S_OK;
}

HRESULT PindleTray::get_TrayIcon(IDispatch** value) {
    return OutPicture(trayIcon_.Get(), value);
}

HRESULT PindleTray::putref_TrayIcon(VARIANT value) {
    HRESULT hr = PutPicture(value, &trayIcon_, true);
    if (hr != S_OK) return SUCCEEDED(hr) ? S_OK : hr;
    if (Live()) ChangePicture(trayIcon_.Get());
    return S_OK;
}

HRESULT PindleTray::get_ShowIcon(VARIANT_BOOL* value) {
    return OutBool(showIcon_, value);
}

HRESULT PindleTray::put_ShowIcon(VARIANT_BOOL value) {
    showIcon_ = value != VARIANT_FALSE;
    MarkDirty();
    if (!Live()) return S_OK;
    if (showIcon_) {
        AddIcon();
    } else {
        RemoveIcon();
    }
    return S_OK;
}

HRESULT PindleTray::FlashIcon(VARIANT_BOOL flash) {
    flashing_ = flash != VARIANT_FALSE;
    if (!UserMode()) return S_OK;
    // A tick lets pending messages run; one of them may let go of this control.
    ComPtr<IDispatch> self(Dispatch());
    if (flashing_) {
        // Like a timer with interval 0, a period of 0 never ticks.
        if (flashInterval_ > 0)
            SetTimer(window_, kTimer1, static_cast<UINT>(flashInterval_), nullptr);
        OnTimer1();
        ChangePicture(flashOn_.Get());
    } else {
        KillTimer(window_, kTimer1);
        ChangePicture(trayIcon_.Get());
    }
    return S_OK;
}

HRESULT PindleTray::get_FlashInterval(int32_t* value) {
    if (value == nullptr) return E_POINTER;
    *value = flashInterval_;
    return S_OK;
}

HRESULT PindleTray::put_FlashInterval(int32_t value) {
    if (value < 0) return S_OK;
    flashInterval_ = value;
    MarkDirty();
    return S_OK;
}

HRESULT PindleTray::get_OnStateIcon(IDispatch** value) {
    return OutPicture(flashOn_.Get(), value);
}

HRESULT PindleTray::putref_OnStateIcon(VARIANT value) {
    return PutPicture(value, &flashOn_, false);
}

HRESULT PindleTray::get_OffStateIcon(IDispatch** value) {
    return OutPicture(flashOff_.Get(), value);
}

HRESULT PindleTray::putref_OffStateIcon(VARIANT value) {
    return PutPicture(value, &flashOff_, false);
}

HRESULT PindleTray::PutPicture(const VARIANT& value, ComPtr<IShellPicture>* slot, bool iconOnly) {
    Variant argument;
    HRESULT hr = VariantCopyInd(argument.Get(), &value);
    if (FAILED(hr)) return hr;
    ComPtr<IShellPicture> picture;
    const VARIANT& v = *argument.Get();
    if (v.vt == VT_DISPATCH || v.vt == VT_UNKNOWN) {
        IUnknown* object = v.vt == VT_DISPATCH ? static_cast<IUnknown*>(v.pdispVal) : v.punkVal;
        if (object != nullptr &&
            FAILED(object->QueryInterface(IID_IShellPicture, picture.OutVoid()))) {
            return DISP_E_TYPEMISMATCH;
        }
    } else if (v.vt == VT_BSTR) {
        // A saved picture: the bytes of its image file.
        std::string bytes = Latin1FromBstr(v.bstrVal);
        if (!bytes.empty() && FAILED(LoadPictureData(bytes.data(), bytes.size(), picture.Out()))) {
            return kInvalidPicture;
        }
    } else if (v.vt != VT_EMPTY && v.vt != VT_NULL) {
        return DISP_E_TYPEMISMATCH;
    }
    if (iconOnly && picture) {
        int16_t type = PICTYPE_NONE;
        HICON handle = 0;
        PictureTypeAndHandle(picture.Get(), &type, &handle);
        if (type != PICTYPE_ICON) {
            if (!loading_ && !UserMode()) ErrorBox("Image must be of type ICO");
            return S_FALSE;
        }
    }
    *slot = picture;
    MarkDirty();
    return S_OK;
}

void PindleTray::InitProperties() {
    showIcon_ = true;
    flashing_ = false;
    // Only a first placement while the form is designed greets the designer.
    if (UserMode()) return;
    if (TaskbarExists()) {
        ShowAbout();
    } else {
        ErrorBox("Unable to detect System Tray");
    }
}

HRESULT PindleTray::MissingPropertyValue(uint32_t index, VARIANT* value) {
    switch (index) {
        case kSavedEnabled:
        case kSavedShowIcon:
            *value = MakeVariantBool(true);
            return S_OK;
        case kSavedToolTipText:
            *value = MakeVariantBstr(SysAllocString(u""));
            return S_OK;
        case kSavedFlashInterval:
            *value = MakeVariantI4(0);
            return S_OK;
        case kSavedOnStateIcon:
            // The normal picture just read stands in for a missing on-phase picture.
            value->vt = VT_DISPATCH;
            value->pdispVal = trayIcon_.Get();
            if (value->pdispVal != nullptr) value->pdispVal->AddRef();
            return S_OK;
        default:
            VariantInit(value);
            return S_OK;
    }
}

HRESULT PindleTray::SavedValue(uint32_t index, VARIANT* value) {
    IShellPicture* picture = index == kSavedTrayIcon       ? trayIcon_.Get()
                             : index == kSavedOnStateIcon  ? flashOn_.Get()
                             : index == kSavedOffStateIcon ? flashOff_.Get()
                                                           : nullptr;
    bool isPicture =
        index == kSavedTrayIcon || index == kSavedOnStateIcon || index == kSavedOffStateIcon;
    if (!isPicture) return DualControl::SavedValue(index, value);
    VariantInit(value);
    BSTR data = nullptr;
    if (picture != nullptr) {
        HRESULT hr = picture->get_Data(&data);
        if (FAILED(hr)) return hr;
    } else {
        data = SysAllocString(u"");
        if (data == nullptr) return E_OUTOFMEMORY;
    }
    *value = MakeVariantBstr(data);
    return S_OK;
}

void PindleTray::PropertiesLoaded() {
    if (showIcon_ && UserMode()) AddIcon();
}

bool PindleTray::TaskbarExists() const {
    APPBARDATA data{};
    data.cbSize = kAppBarDataSize;
    return SHAppBarMessage(ABM_GETTASKBARPOS, &data) != 0;
}

void PindleTray::ErrorBox(const char* text) const {
    MessageBoxA(window_, text, kComponentName, MB_ICONERROR);
}

void PindleTray::PrepareTip(std::u16string_view text) {
    std::string tip;
    for (char16_t c : text.substr(0, kNotifyTipLength)) {
        if (c == u'\0') continue;
        tip += c <= 0xFF ? static_cast<char>(c) : '?';
    }
    std::memset(record_.szTip, 0, sizeof record_.szTip);
    std::memcpy(record_.szTip, tip.data(),
                tip.size() < sizeof record_.szTip ? tip.size() : sizeof record_.szTip);
}

void PindleTray::AddIcon() {
    if (iconAdded_) {
        ChangePicture(trayIcon_.Get());
        return;
    }
    if (!TaskbarExists()) {
        ErrorBox("There is No Tray Available!!!");
        return;
    }
    record_.cbSize = sizeof record_;
    record_.hWnd = window_;
    record_.uID = kIconId;
    record_.uFlags = kAddFlags;
    record_.uCallbackMessage = kCallbackMessage;
    record_.hIcon = HandleOf(trayIcon_.Get());
    PrepareTip(toolTipText_);
    if (record_.hIcon == 0) return;
    if (Shell_NotifyIconA(NIM_ADD, &record_)) {
        iconAdded_ = true;
    } else {
        ErrorBox("ERROR: Unable to create tray Icon");
    }
}

void PindleTray::ChangePicture(IShellPicture* image) {
    if (!UserMode() || !showIcon_) return;
    if (!iconAdded_) {
        AddIcon();
        return;
    }
    HICON handle = HandleOf(image);
    record_.hIcon = handle != 0 ? handle : HandleOf(image1_.Get());
    record_.uFlags = NIF_ICON;
    Shell_NotifyIconA(NIM_MODIFY, &record_);
}

void PindleTray::ChangeTip(std::u16string_view text) {
    PrepareTip(text.empty() ? std::u16string_view(toolTipText_) : text);
    if (!UserMode()) return;
    record_.uFlags = NIF_TIP;
    Shell_NotifyIconA(NIM_MODIFY, &record_);
}

void PindleTray::RemoveIcon() {
    Shell_NotifyIconA(NIM_DELETE, &record_);
    iconAdded_ = false;
}

void PindleTray::OnTimer1() {
    if (!iconAdded_) return;
    ComPtr<IDispatch> self(Dispatch());  // pending messages may let go of this control
    ChangePicture(flashPhase_ ? flashOff_.Get() : flashOn_.Get());
    flashPhase_ = !flashPhase_;
    ProcessPendingMessages();
}

void PindleTray::RaiseMouse(DISPID event, int16_t button) {
    int16_t shift = 0;
    if (GetAsyncKeyState(VK_SHIFT) != 0) shift += 1;
    if (GetAsyncKeyState(VK_CONTROL) != 0) shift += 2;
    if (GetAsyncKeyState(VK_MENU) != 0) shift += 4;
    POINT at{0, 0};
    GetCursorPos(&at);
    std::u16string units;
    Variant scaleUnits;
    if (SUCCEEDED(Ambient(DISPID_AMBIENT_SCALEUNITS, scaleUnits.Get())) &&
        scaleUnits->vt == VT_BSTR) {
        units = BstrView(scaleUnits->bstrVal);
    }
    EventArgs args;
    args.AddI2(button);
    args.AddI2(shift);
    args.AddR4(Scaled(at.x, units, false));
    args.AddR4(Scaled(at.y, units, true));
    FireEvent(event, &args);
}

void PindleTray::RaiseClick() {
    EventArgs none;
    FireEvent(kTrayEventClick, &none);
}

void PindleTray::OnIconNotification(UINT mouseMessage) {
    if (!enabled_ || !UserMode()) return;
    // A handler may let go of the host's last reference while events run.
    ComPtr<IDispatch> self(Dispatch());
    try {
        switch (mouseMessage) {
            case WM_MOUSEMOVE:
                RaiseMouse(kTrayEventMouseMove, 1);
                break;
            case WM_LBUTTONDOWN:
            case WM_RBUTTONDOWN:
            case WM_MBUTTONDOWN: {
                int16_t button = mouseMessage == WM_LBUTTONDOWN   ? 1
                                 : mouseMessage == WM_RBUTTONDOWN ? 2
                                                                  : 4;
                RaiseMouse(kTrayEventMouseDown, button);
                ProcessPendingMessages();
                RaiseClick();
                break;
            }
            case WM_LBUTTONUP:
                RaiseMouse(kTrayEventMouseUp, 1);
                break;
            case WM_RBUTTONUP:
                RaiseMouse(kTrayEventMouseUp, 2);
                break;
            case WM_MBUTTONUP:
                RaiseMouse(kTrayEventMouseUp, 4);
                break;
            case WM_LBUTTONDBLCLK:
            case WM_RBUTTONDBLCLK:
            case WM_MBUTTONDBLCLK: {
                EventArgs args;
                args.AddI2(mouseMessage == WM_LBUTTONDBLCLK   ? 1
                           : mouseMessage == WM_RBUTTONDBLCLK ? 2
                                                              : 4);
                FireEvent(kTrayEventDblClick, &args);
                break;
            }
            default:
                break;
        }
    } catch (const std::bad_alloc&) {
        // An event whose arguments cannot be built is dropped.
    }
}

}  // namespace quenda
