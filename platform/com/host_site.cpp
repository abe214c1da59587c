// The host side of a control's site: ambient properties answered through IDispatch.
#include <string>

#include "platform/com/com_object.h"
#include "platform/com/ole_interfaces.h"

namespace quenda {
namespace {

class HostSite final : public ComObject<IOleClientSite, IDispatch> {
public:
    explicit HostSite(const HostAmbients& ambients)
        : userMode_(ambients.userMode),
          scaleUnits_(ambients.scaleUnits ? ambients.scaleUnits : u""),
          localeId_(ambients.localeId) {}

    HRESULT SaveObject() override { return E_NOTIMPL; }
    HRESULT GetMoniker(uint32_t, uint32_t, IUnknown** moniker) override {
        if (moniker) *moniker = nullptr;
        return E_NOTIMPL;
    }
    HRESULT GetContainer(IUnknown** container) override {
        if (container) *container = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT ShowObject() override { return S_OK; }
    HRESULT OnShowWindow(int32_t) override { return S_OK; }
    HRESULT RequestNewObjectLayout() override { return E_NOTIMPL; }

    HRESULT GetTypeInfoCount(UINT* count) override {
        if (count) *count = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (info) *info = nullptr;
        return E_NOTIMPL;
    }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID, DISPID* ids) override {
        for (UINT i = 0; ids && i < count; ++i) ids[i] = DISPID_UNKNOWN;
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                   UINT*) override {
        if (!(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
        if (params != nullptr && params->cArgs != 0) return DISP_E_BADPARAMCOUNT;
        if (result == nullptr) return E_INVALIDARG;
        switch (id) {
            case DISPID_AMBIENT_USERMODE: *result = MakeVariantBool(userMode_); return S_OK;
            case DISPID_AMBIENT_UIDEAD: *result = MakeVariantBool(false); return S_OK;
            case DISPID_AMBIENT_LOCALEID: *result = MakeVariantI4(static_cast<int32_t>(localeId_)); return S_OK;
            case DISPID_AMBIENT_SCALEUNITS:
                *result = MakeVariantBstr(SysAllocStringLen(scaleUnits_.data(), static_cast<uint32_t>(scaleUnits_.size())));
                return S_OK;
            default: return DISP_E_MEMBERNOTFOUND;
        }
    }

    void SetUserMode(bool userMode) { userMode_ = userMode; }

private:
    void* FindInterface(REFIID iid) override {
        if (iid == IID_IUnknown || iid == IID_IOleClientSite) return static_cast<IOleClientSite*>(this);
        if (iid == IID_IDispatch) return static_cast<IDispatch*>(this);
        return nullptr;
    }

    bool userMode_;            // run time when true
    std::u16string scaleUnits_;
    LCID localeId_;
};

}  // namespace

HRESULT CreateHostSite(const HostAmbients& ambients, IOleClientSite** site) {
    if (site == nullptr) return E_INVALIDARG;
    *site = new HostSite(ambients);
    return S_OK;
}

HRESULT SetHostSiteUserMode(IOleClientSite* site, bool userMode) {
    auto* host = dynamic_cast<HostSite*>(site);
    if (host == nullptr) return E_INVALIDARG;
    host->SetUserMode(userMode);
    return S_OK;
}

HRESULT GetAmbientProperty(IOleClientSite* site, DISPID id, VARIANT* value) {
    if (site == nullptr || value == nullptr) return E_INVALIDARG;
    VariantInit(value);
    ComPtr<IDispatch> ambient;
    if (FAILED(site->QueryInterface(IID_IDispatch, ambient.OutVoid()))) return E_NOINTERFACE;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    return ambient->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, value, nullptr, nullptr);
}

}  // namespace quenda
