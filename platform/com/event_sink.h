// The host's end of a control's connection point: one object that answers IUnknown, IDispatch
// and the control's event interface, and hands every event to one function; and the
// connection that advises it on a control.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>

#include "platform/com/connection_point.h"
#include "platform/com/dispatch.h"
#include "platform/com/unknown.h"

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

// A sink advised on one event interface of a control until Disconnect or the end.
class EventConnection {
  public:
    EventConnection() = default;
    ~EventConnection() { Disconnect(); }
    EventConnection(const EventConnection&) = delete;
    EventConnection& operator=(const EventConnection&) = delete;

    // Hands the control's events to handler; S_OK, or why the control would not take them.
    HRESULT Connect(IUnknown* control, const IID& events, EventSink::Handler handler) {
        ComPtr<IConnectionPointContainer> container;
        HRESULT hr = control->QueryInterface(IID_IConnectionPointContainer, container.OutVoid());
        if (SUCCEEDED(hr)) hr = container->FindConnectionPoint(events, point_.Out());
        if (FAILED(hr)) return hr;
        sink_ = std::make_unique<EventSink>(events, std::move(handler));
        return point_->Advise(sink_.get(), &cookie_);
    }
    void Disconnect() {
        if (point_ && cookie_ != 0) point_->Unadvise(cookie_);
        cookie_ = 0;
        point_.Reset();
    }

  private:
    ComPtr<IConnectionPoint> point_;
    std::unique_ptr<EventSink> sink_;
    uint32_t cookie_ = 0;  // the sink's connection, 0 when not connected
};

}  // namespace quenda
