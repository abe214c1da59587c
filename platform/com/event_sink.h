// The host's end of a control's connection point: one object that answers IUnknown, IDispatch
// and the control's event interface, and hands every event to one function.
#pragma once

#include <functional>
#include <utility>

#include "platform/com/dispatch.h"

namespace quenda {

class EventSink final : public IDispatch {
  public:
    // Called with the event's DISPID and its arguments (last first, as IDispatch passes them);
    // never with null arguments.
    using Handler = std::function<void(DISPID id, const DISPPARAMS& params)>;

    EventSink(const IID& events, Handler handler) : events_(events), handler_(std::move(handler)) {}

    HRESULT QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == events_) {
            *object = static_cast<IDispatch*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    // The owner unadvises before it deletes the sink, so counting is not needed.
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
    HRESULT GetTypeInfoCount(UINT* count) override {
        if (count != nullptr) *count = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                   UINT*) override {
        if (params != nullptr && handler_) handler_(id, *params);
        return S_OK;
    }

  private:
    IID events_;
    Handler handler_;
};

}  // namespace quenda
