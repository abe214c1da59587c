// Error information: the per-thread record a failing call leaves for its caller to read.
#include "platform/com/error_info.h"

#include "platform/com/com_object.h"

namespace quenda {
namespace {

class ErrorRecord final : public ComObject<IErrorInfo, ICreateErrorInfo> {
public:
    HRESULT GetGUID(GUID* guid) override {
        if (guid == nullptr) return E_INVALIDARG;
        *guid = guid_;
        return S_OK;
    }
    HRESULT GetSource(BSTR* text) override { return CopyOut(source_, text); }
    HRESULT GetDescription(BSTR* text) override { return CopyOut(description_, text); }
    HRESULT GetHelpFile(BSTR* text) override { return CopyOut(helpFile_, text); }
    HRESULT GetHelpContext(uint32_t* context) override {
        if (context == nullptr) return E_INVALIDARG;
        *context = helpContext_;
        return S_OK;
    }

    HRESULT SetGUID(REFGUID guid) override {
        guid_ = guid;
        return S_OK;
    }
    HRESULT SetSource(LPCOLESTR text) override { return CopyIn(text, &source_); }
    HRESULT SetDescription(LPCOLESTR text) override { return CopyIn(text, &description_); }
    HRESULT SetHelpFile(LPCOLESTR text) override { return CopyIn(text, &helpFile_); }
    HRESULT SetHelpContext(uint32_t context) override {
        helpContext_ = context;
        return S_OK;
    }

private:
    void* FindInterface(REFIID iid) override {
        if (iid == IID_IUnknown || iid == IID_IErrorInfo) return static_cast<IErrorInfo*>(this);
        if (iid == IID_ICreateErrorInfo) return static_cast<ICreateErrorInfo*>(this);
        return nullptr;
    }

    static HRESULT CopyOut(const Bstr& from, BSTR* to) {
        if (to == nullptr) return E_INVALIDARG;
        std::u16string_view v = from.View();
        *to = from.Get() ? SysAllocStringLen(v.data(), static_cast<uint32_t>(v.size())) : nullptr;
        return (from.Get() && *to == nullptr) ? E_OUTOFMEMORY : S_OK;
    }
    static HRESULT CopyIn(LPCOLESTR text, Bstr* to) {
        BSTR copy = SysAllocString(text);
        if (text != nullptr && copy == nullptr) return E_OUTOFMEMORY;
        to->Attach(copy);
        return S_OK;
    }

    GUID guid_ = GUID_NULL;     // interface that failed
    Bstr source_;               // ProgID of the failing object
    Bstr description_;          // text for people
    Bstr helpFile_;             // help file naming the topic
    uint32_t helpContext_ = 0;  // help topic number
};

// One record per thread; released when the thread ends.
thread_local ComPtr<IErrorInfo> tCurrentError;

}  // namespace

HRESULT CreateErrorInfo(ICreateErrorInfo** info) {
    if (info == nullptr) return E_INVALIDARG;
    *info = new ErrorRecord();
    return S_OK;
}

HRESULT SetErrorInfo(uint32_t reserved, IErrorInfo* info) {
    if (reserved != 0) return E_INVALIDARG;
    tCurrentError = ComPtr<IErrorInfo>(info);
    return S_OK;
}

HRESULT GetErrorInfo(uint32_t reserved, IErrorInfo** info) {
    if (info == nullptr || reserved != 0) return E_INVALIDARG;
    *info = tCurrentError.Detach();
    return *info != nullptr ? S_OK : S_FALSE;
}

HRESULT PublishErrorInfo(REFGUID iid, LPCOLESTR source, LPCOLESTR description, LPCOLESTR helpFile,
                         uint32_t helpContext) {
    ComPtr<ICreateErrorInfo> create;
    HRESULT hr = CreateErrorInfo(create.Out());
    if (FAILED(hr)) return hr;
    create->SetGUID(iid);
    create->SetSource(source);
    create->SetDescription(description);
    create->SetHelpFile(helpFile);
    create->SetHelpContext(helpContext);
    ComPtr<IErrorInfo> info;
    hr = create.As(IID_IErrorInfo, &info);
    if (FAILED(hr)) return hr;
    return SetErrorInfo(0, info.Get());
}

}  // namespace quenda
