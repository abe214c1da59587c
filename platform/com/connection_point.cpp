// Connection points: event sinks that advise an object, and raising events to all of them.
#include "platform/com/connection_point.h"

namespace quenda {

EventArgs::~EventArgs() {
    for (VARIANT* v : values_) {
        VariantClear(v);
        delete v;
    }
}

void EventArgs::AddI2(int16_t value) {
    auto* v = new VARIANT;
    VariantInit(v);
    v->vt = VT_I2;
    v->iVal = value;
    values_.push_back(v);
}

void EventArgs::AddR4(float value) {
    auto* v = new VARIANT;
    VariantInit(v);
    v->vt = VT_R4;
    v->fltVal = value;
    values_.push_back(v);
}

void EventArgs::AddI4(int32_t value) {
    auto* v = new VARIANT;
    *v = MakeVariantI4(value);
    values_.push_back(v);
}

void EventArgs::AddBool(bool value) {
    auto* v = new VARIANT;
    *v = MakeVariantBool(value);
    values_.push_back(v);
}

void EventArgs::AddLatin1(std::string_view bytes) {
    auto* v = new VARIANT;
    *v = MakeVariantBstr(BstrFromLatin1(bytes));
    values_.push_back(v);
}

void EventArgs::AddText(std::u16string_view text) {
    auto* v = new VARIANT;
    *v = MakeVariantBstr(SysAllocStringLen(text.data(), static_cast<uint32_t>(text.size())));
    values_.push_back(v);
}

void EventArgs::BuildParams(std::vector<VARIANT>* byRef, DISPPARAMS* params) {
    byRef->assign(values_.size(), VARIANT{});
    size_t n = values_.size();
    for (size_t i = 0; i < n; ++i) {
        VARIANT& r = (*byRef)[n - 1 - i];
        VariantInit(&r);
        VARIANT* value = values_[i];
        r.vt = static_cast<VARTYPE>(value->vt | VT_BYREF);
        switch (value->vt) {
            case VT_I2:
                r.piVal = &value->iVal;
                break;
            case VT_I4:
                r.plVal = &value->lVal;
                break;
            case VT_R4:
                r.pfltVal = &value->fltVal;
                break;
            case VT_BOOL:
                r.pboolVal = &value->boolVal;
                break;
            case VT_BSTR:
                r.pbstrVal = &value->bstrVal;
                break;
            default:
                r.vt = VT_BYREF | VT_VARIANT;
                r.pvarVal = value;
                break;
        }
    }
    *params = DISPPARAMS{n ? byRef->data() : nullptr, nullptr, static_cast<UINT>(n), 0};
}

HRESULT InvokeEvent(IDispatch* sink, DISPID id, EventArgs* args) {
    if (sink == nullptr) return E_POINTER;
    std::vector<VARIANT> byRef;
    DISPPARAMS params{nullptr, nullptr, 0, 0};
    if (args != nullptr) args->BuildParams(&byRef, &params);
    return sink->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr,
                        nullptr, nullptr);
}

ConnectionPoint::ConnectionPoint(IConnectionPointContainer* container, const IID& eventIid)
    : container_(container), eventIid_(eventIid) {}

ConnectionPoint::~ConnectionPoint() {
    DisconnectAll();
}

HRESULT ConnectionPoint::QueryInterface(REFIID iid, void** object) {
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IConnectionPoint) {
        *object = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG ConnectionPoint::AddRef() {
    return container_->AddRef();
}

ULONG ConnectionPoint::Release() {
    return container_->Release();
}

HRESULT ConnectionPoint::GetConnectionInterface(IID* iid) {
    if (iid == nullptr) return E_POINTER;
    *iid = eventIid_;
    return S_OK;
}

HRESULT ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** container) {
    if (container == nullptr) return E_POINTER;
    container_->AddRef();
    *container = container_;
    return S_OK;
}

HRESULT ConnectionPoint::Advise(IUnknown* sink, uint32_t* cookie) {
    if (cookie == nullptr) return E_POINTER;
    *cookie = 0;
    if (sink == nullptr) return E_POINTER;
    void* dispatch = nullptr;
    if (FAILED(sink->QueryInterface(eventIid_, &dispatch)) &&
        FAILED(sink->QueryInterface(IID_IDispatch, &dispatch))) {
        return CONNECT_E_CANNOTCONNECT;
    }
    // An event interface is a dispinterface: its pointer is an IDispatch.
    sinks_.emplace_back(nextCookie_, static_cast<IDispatch*>(dispatch));
    *cookie = nextCookie_++;
    if (nextCookie_ == 0) nextCookie_ = 1;
    return S_OK;
}

HRESULT ConnectionPoint::Unadvise(uint32_t cookie) {
    for (auto it = sinks_.begin(); it != sinks_.end(); ++it) {
        if (it->first == cookie) {
            IDispatch* sink = it->second;
            sinks_.erase(it);
            sink->Release();
            return S_OK;
        }
    }
    return CONNECT_E_NOCONNECTION;
}

HRESULT ConnectionPoint::EnumConnections(IEnumConnections** connections) {
    if (connections != nullptr) *connections = nullptr;
    return E_NOTIMPL;
}

int ConnectionPoint::Fire(DISPID id, EventArgs* args) {
    // Hold every sink for the whole round: a handler may unadvise itself or another sink.
    std::vector<ComPtr<IDispatch>> current;
    current.reserve(sinks_.size());
    for (const auto& [cookie, sink] : sinks_) current.emplace_back(sink);
    int called = 0;
    for (const ComPtr<IDispatch>& sink : current) {
        InvokeEvent(sink.Get(), id, args);
        ++called;
    }
    return called;
}

void ConnectionPoint::DisconnectAll() {
    std::vector<std::pair<uint32_t, IDispatch*>> gone;
    gone.swap(sinks_);
    for (auto& entry : gone) entry.second->Release();
}

}  // namespace quenda
