// A control object with dual interface I: the vtable is I itself, IDispatch is answered from
// the interface's type-info table, and everything else comes from ControlBase.
#pragma once

#include "controls/kit/control_base.h"

namespace quenda {

template <class I>
class DualControl : public I, public ControlBase {
  public:
    explicit DualControl(const ControlClassInfo& info) : ControlBase(info) {}

    HRESULT QueryInterface(REFIID iid, void** object) override {
        return ControlQueryInterface(iid, object);
    }
    ULONG AddRef() override { return ControlAddRef(); }
    ULONG Release() override { return ControlRelease(); }

    HRESULT GetTypeInfoCount(UINT* count) override {
        if (count == nullptr) return E_POINTER;
        *count = 1;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
        if (info == nullptr) return E_POINTER;
        *info = nullptr;
        if (index != 0) return DISP_E_BADINDEX;
        return CreateInterfaceTypeInfo(Table(), Dispatch(), info);
    }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        return DispatchGetIDsOfNames(*Table(), names, count, ids);
    }
    HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO* excepInfo, UINT* argError) override {
        return DispatchInvoke(*Table(), static_cast<I*>(this), id, flags, params, result, excepInfo,
                              argError);
    }

  protected:
    IDispatch* Dispatch() override { return static_cast<I*>(this); }

  private:
    const DispInterface* Table() const { return ClassInfo().typeLib->coclass->defaultInterface; }
};

// The usual ControlClassInfo::create: builds a T (whose constructor applies the defaults)
// and queries it for iid.
template <class T>
HRESULT CreateControl(REFIID iid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    auto* control = new T();
    HRESULT hr = control->QueryInterface(iid, object);
    control->Release();
    return hr;
}

}  // namespace quenda
