// The COM side shared by the TCP controls: IDispatch answered from a static table, one
// connection point for the events, and error info for failed calls.
#pragma once

#include <string>

#include "platform/com/com_object.h"
#include "platform/com/connection_point.h"
#include "platform/com/error_info.h"
#include "platform/com/type_info.h"
#include "platform/tcpcontrols/socket_owner.h"

namespace quenda::tcpcontrols {

// An object with dual interface I described by table, raising the events of eventIid.
template <class I>
class DispatchObject : public ComObject<I, IConnectionPointContainer, ISupportErrorInfo> {
public:
    DispatchObject(const DispInterface& table, const IID& eventIid, const char16_t* source)
        : table_(table), source_(source), point_(this, eventIid) {}

    HRESULT GetTypeInfoCount(UINT* count) override {
        if (count == nullptr) return E_POINTER;
        *count = 1;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
        if (info == nullptr) return E_POINTER;
        *info = nullptr;
        if (index != 0) return DISP_E_BADINDEX;
        return CreateInterfaceTypeInfo(&table_, nullptr, info);
    }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        return DispatchGetIDsOfNames(table_, names, count, ids);
    }
    HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo,
                   UINT* argError) override {
        return DispatchInvoke(table_, static_cast<I*>(this), id, flags, params, result, excepInfo, argError);
    }

    HRESULT EnumConnectionPoints(IEnumConnectionPoints** points) override {
        if (points != nullptr) *points = nullptr;
        return E_NOTIMPL;
    }
    HRESULT FindConnectionPoint(REFIID iid, IConnectionPoint** point) override {
        if (point == nullptr) return E_POINTER;
        *point = nullptr;
        if (!(iid == point_.EventIid())) return CONNECT_E_NOCONNECTION;
        point_.AddRef();
        *point = &point_;
        return S_OK;
    }

    HRESULT InterfaceSupportsErrorInfo(REFIID iid) override { return iid == table_.iid ? S_OK : S_FALSE; }

protected:
    ~DispatchObject() override { point_.DisconnectAll(); }

    // Raises event id on every advised sink. The object stays alive meanwhile even when a
    // sink lets go of its last reference.
    void Fire(DISPID id, EventArgs* args) {
        ComPtr<I> self(static_cast<I*>(this));
        point_.Fire(id, args);
    }

    // Wraps body as a Qt callback: the object stays alive until it returns, whatever its
    // events do, and a destruction meanwhile leaves the Qt objects to the loop.
    template <typename F>
    auto Callback(F body) {
        return [this, body] {
            CallbackScope scope;
            ComPtr<I> hold(static_cast<I*>(this));
            body();
        };
    }

    // Publishes description (UTF-8) as the calling thread's error info and returns hr.
    HRESULT Fail(HRESULT hr, const std::string& description) {
        const std::u16string text = Utf16FromUtf8(description);
        PublishErrorInfo(table_.iid, source_, text.c_str(), nullptr, 0);
        return hr;
    }

private:
    void* FindInterface(REFIID iid) override {
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == table_.iid) return static_cast<I*>(this);
        if (iid == IID_IConnectionPointContainer) return static_cast<IConnectionPointContainer*>(this);
        if (iid == IID_ISupportErrorInfo) return static_cast<ISupportErrorInfo*>(this);
        return nullptr;
    }

    const DispInterface& table_;  // members by name and DISPID
    const char16_t* source_;      // the error info's source
    ConnectionPoint point_;       // the event interface's sinks
};

}  // namespace quenda::tcpcontrols
