// The program's side of the PindleTray control.
#include "app/shell/tray_icon_control.h"

#include "platform/com/bstr.h"
#include "platform/com/com_library.h"
#include "platform/com/connection_point.h"
#include "platform/shell/picture.h"
#include "platform/shell/shell_api.h"

namespace quenda {
namespace {

bool TrayExists() {
    APPBARDATA data{};
    data.cbSize = sizeof data;
    return SHAppBarMessage(ABM_GETTASKBARPOS, &data) != 0;
}

}  // namespace

std::unique_ptr<TrayIconControl> TrayIconControl::Create(HRESULT* result) {
    HRESULT ignored;
    HRESULT& hr = result != nullptr ? *result : ignored;
    CLSID clsid{};
    hr = CLSIDFromProgID(kPindleTrayProgId, &clsid);
    if (FAILED(hr)) return nullptr;
    std::unique_ptr<TrayIconControl> tray(new TrayIconControl);
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IPindleTray,
                          tray->control_.OutVoid());
    if (FAILED(hr)) return nullptr;
    // Sited at run time: only then does the control talk to the tray.
    ComPtr<IOleObject> ole;
    HostAmbients ambients;
    ambients.scaleUnits = u"Pixel";
    hr = CreateHostSite(ambients, tray->site_.Out());
    if (SUCCEEDED(hr)) hr = tray->control_.As(IID_IOleObject, &ole);
    if (SUCCEEDED(hr)) hr = ole->SetClientSite(tray->site_.Get());
    if (FAILED(hr)) return nullptr;
    // No icon until Show gives it the program's picture.
    tray->PutShowIcon(false);
    // MouseUp's arguments come last first: the button is the first one.
    hr = tray->events_.Connect(tray->control_.Get(), DIID__PindleTrayEvents,
                               [raw = tray.get()](DISPID id, const DISPPARAMS& params) {
                                   if (id != kTrayEventMouseUp || params.cArgs != 4) return;
                                   const VARIANT& button = params.rgvarg[3];
                                   if (button.vt == (VT_BYREF | VT_I2) && button.piVal != nullptr) {
                                       raw->RaiseMouseUp(*button.piVal);
                                   }
                               });
    if (FAILED(hr)) return nullptr;
    hr = S_OK;
    return tray;
}

TrayIconControl::~TrayIconControl() {
    if (!control_) return;
    Remove();
    events_.Disconnect();
    ComPtr<IOleObject> ole;
    if (SUCCEEDED(control_.As(IID_IOleObject, &ole))) ole->SetClientSite(nullptr);
    control_.Reset();
}

bool TrayIconControl::Show(const std::string& pictureFile, const std::string& tip) {
    ComPtr<IShellPicture> picture;
    if (FAILED(LoadPictureFile(pictureFile.c_str(), picture.Out()))) return false;
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_DISPATCH;
    value.pdispVal = picture.Get();
    Bstr text = Bstr::FromLatin1(tip);
    // Picture and tip first, with the icon still off, so it is added once, complete.
    if (FAILED(control_->put_ToolTipText(text.Get())) || FAILED(control_->putref_TrayIcon(value))) {
        return false;
    }
    wanted_ = true;
    inTray_ = TrayExists();
    // Without a tray the control says so, once.
    PutShowIcon(true);
    return true;
}

void TrayIconControl::Remove() {
    if (!wanted_) return;
    wanted_ = false;
    inTray_ = false;
    PutShowIcon(false);
}

bool TrayIconControl::Shown() {
    if (!wanted_) return false;
    if (!TrayExists()) {
        inTray_ = false;
        return false;
    }
    // A tray that came after the icon was asked for gets it now.
    if (!inTray_) {
        inTray_ = true;
        PutShowIcon(true);
    }
    return true;
}

void TrayIconControl::PutShowIcon(bool show) {
    control_->put_ShowIcon(show ? VARIANT_TRUE : VARIANT_FALSE);
}

}  // namespace quenda
