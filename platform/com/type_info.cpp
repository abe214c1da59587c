// Static type-info tables (names, DISPIDs, kinds, argument types) that drive IDispatch.
#include "platform/com/type_info.h"

#include "platform/com/com_object.h"
#include "platform/com/error_info.h"

namespace quenda {
namespace {

bool NamesEqual(const char16_t* a, const char16_t* b) {
    if (a == nullptr || b == nullptr) return false;
    for (;; ++a, ++b) {
        char16_t x = *a, y = *b;
        if (x >= u'a' && x <= u'z') x = static_cast<char16_t>(x - 32);
        if (y >= u'a' && y <= u'z') y = static_cast<char16_t>(y - 32);
        if (x != y) return false;
        if (x == 0) return true;
    }
}

void FillExcepInfo(HRESULT hr, EXCEPINFO* info) {
    *info = EXCEPINFO{};
    info->scode = hr;
    ComPtr<IErrorInfo> error;
    if (GetErrorInfo(0, error.Out()) == S_OK && error) {
        error->GetSource(&info->bstrSource);
        error->GetDescription(&info->bstrDescription);
        error->GetHelpFile(&info->bstrHelpFile);
        error->GetHelpContext(&info->dwHelpContext);
    }
}

class TableTypeInfo final : public ComObject<ITypeInfo> {
public:
    TableTypeInfo(const DispInterface* table, const CoclassInfo* coclass, IUnknown* owner)
        : table_(table), coclass_(coclass), owner_(owner) {}

    HRESULT GetTypeKind(TYPEKIND* kind) override {
        if (kind == nullptr) return E_INVALIDARG;
        *kind = coclass_ ? TKIND_COCLASS : TKIND_DISPATCH;
        return S_OK;
    }
    HRESULT GetGuid(GUID* guid) override {
        if (guid == nullptr) return E_INVALIDARG;
        *guid = coclass_ ? coclass_->clsid : table_->iid;
        return S_OK;
    }
    HRESULT GetName(BSTR* name) override {
        if (name == nullptr) return E_INVALIDARG;
        *name = SysAllocString(coclass_ ? coclass_->name : table_->name);
        return *name ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT GetFuncCount(UINT* count) override {
        if (count == nullptr) return E_INVALIDARG;
        *count = table_ ? table_->memberCount : 0;
        return S_OK;
    }
    HRESULT GetFuncDesc(UINT index, DispMember* member) override {
        if (member == nullptr) return E_INVALIDARG;
        if (table_ == nullptr || index >= table_->memberCount) return TYPE_E_ELEMENTNOTFOUND;
        *member = table_->members[index];
        return S_OK;
    }
    HRESULT GetIDsOfNames(LPOLESTR* names, UINT count, DISPID* ids) override {
        if (table_ == nullptr) return E_NOTIMPL;
        return DispatchGetIDsOfNames(*table_, names, count, ids);
    }
    HRESULT GetImplTypeCount(UINT* count) override {
        if (count == nullptr) return E_INVALIDARG;
        *count = coclass_ ? (coclass_->eventInterface ? 2 : 1) : 0;
        return S_OK;
    }
    HRESULT GetImplType(UINT index, int32_t* flags, ITypeInfo** info) override {
        if (flags == nullptr || info == nullptr) return E_INVALIDARG;
        *info = nullptr;
        if (coclass_ == nullptr) return TYPE_E_ELEMENTNOTFOUND;
        const DispInterface* target = nullptr;
        if (index == 0) {
            target = coclass_->defaultInterface;
            *flags = IMPLTYPEFLAG_FDEFAULT;
        } else if (index == 1 && coclass_->eventInterface) {
            target = coclass_->eventInterface;
            *flags = IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE;
        }
        if (target == nullptr) return TYPE_E_ELEMENTNOTFOUND;
        return CreateInterfaceTypeInfo(target, owner_.Get(), info);
    }
    HRESULT Invoke(void* object, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo,
                   UINT* argError) override {
        if (table_ == nullptr || object == nullptr) return E_INVALIDARG;
        return DispatchInvoke(*table_, object, id, flags, params, result, excepInfo, argError);
    }

private:
    void* FindInterface(REFIID iid) override {
        return (iid == IID_IUnknown || iid == IID_ITypeInfo) ? static_cast<ITypeInfo*>(this) : nullptr;
    }

    const DispInterface* table_;   // the interface described, nullptr for a class
    const CoclassInfo* coclass_;   // the class described, nullptr for an interface
    ComPtr<IUnknown> owner_;       // keeps the library with the tables loaded
};

}  // namespace

HRESULT CreateInterfaceTypeInfo(const DispInterface* table, IUnknown* owner, ITypeInfo** info) {
    if (table == nullptr || info == nullptr) return E_INVALIDARG;
    *info = new TableTypeInfo(table, nullptr, owner);
    return S_OK;
}

HRESULT CreateCoclassTypeInfo(const CoclassInfo* coclass, IUnknown* owner, ITypeInfo** info) {
    if (coclass == nullptr || info == nullptr) return E_INVALIDARG;
    *info = new TableTypeInfo(nullptr, coclass, owner);
    return S_OK;
}

const DispMember* FindDispMember(const DispInterface& table, DISPID id, uint16_t invokeKind) {
    for (uint32_t i = 0; i < table.memberCount; ++i) {
        const DispMember& m = table.members[i];
        if (m.dispid == id && m.invokeKind == invokeKind) return &m;
    }
    return nullptr;
}

HRESULT DispatchGetIDsOfNames(const DispInterface& table, LPOLESTR* names, UINT count, DISPID* ids) {
    if (names == nullptr || ids == nullptr) return E_INVALIDARG;
    if (count == 0) return S_OK;
    HRESULT hr = S_OK;
    ids[0] = DISPID_UNKNOWN;
    for (uint32_t i = 0; i < table.memberCount; ++i) {
        if (NamesEqual(table.members[i].name, names[0])) {
            ids[0] = table.members[i].dispid;
            break;
        }
    }
    if (ids[0] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
    for (UINT k = 1; k < count; ++k) {
        ids[k] = DISPID_UNKNOWN;
        hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
}

HRESULT DispatchInvoke(const DispInterface& table, void* object, DISPID id, WORD flags, DISPPARAMS* params,
                       VARIANT* result, EXCEPINFO* excepInfo, UINT* argError) {
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    if (params == nullptr) params = &none;
    bool isPut = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
    const DispMember* member = nullptr;
    if (isPut) {
        member = FindDispMember(table, id, INVOKE_PROPERTYPUT);
        if (member == nullptr && (flags & DISPATCH_PROPERTYPUTREF)) member = FindDispMember(table, id, INVOKE_PROPERTYPUTREF);
    } else {
        if (flags & DISPATCH_PROPERTYGET) member = FindDispMember(table, id, INVOKE_PROPERTYGET);
        if (member == nullptr && (flags & DISPATCH_METHOD)) member = FindDispMember(table, id, INVOKE_FUNC);
    }
    if (member == nullptr || member->thunk == nullptr) return DISP_E_MEMBERNOTFOUND;

    if (params->cNamedArgs > 0) {
        bool putNamed = isPut && params->cNamedArgs == 1 && params->rgdispidNamedArgs != nullptr &&
                        params->rgdispidNamedArgs[0] == DISPID_PROPERTYPUT;
        if (!putNamed) return DISP_E_NONAMEDARGS;
    }
    if (params->cArgs != member->paramCount) return DISP_E_BADPARAMCOUNT;
    if (params->cArgs > 0 && params->rgvarg == nullptr) return E_INVALIDARG;

    VARIANT args[kMaxDispParams];
    for (VARIANT& a : args) VariantInit(&a);
    auto clearArgs = [&] {
        for (VARIANT& a : args) VariantClear(&a);
    };
    for (UINT k = 0; k < member->paramCount; ++k) {
        UINT position = params->cArgs - 1 - k;
        const VARIANT* src = &params->rgvarg[position];
        VARTYPE target = member->paramTypes[k];
        HRESULT hr = target == VT_VARIANT ? VariantCopyInd(&args[k], src) : VariantChangeType(&args[k], src, 0, target);
        if (FAILED(hr)) {
            clearArgs();
            if (argError != nullptr) *argError = position;
            return hr == DISP_E_BADVARTYPE || hr == E_INVALIDARG ? DISP_E_TYPEMISMATCH : hr;
        }
    }
    VARIANT out;
    VariantInit(&out);
    HRESULT hr = member->thunk(object, args, &out);
    clearArgs();
    if (FAILED(hr)) {
        VariantClear(&out);
        if (excepInfo != nullptr) {
            FillExcepInfo(hr, excepInfo);
            return DISP_E_EXCEPTION;
        }
        return hr;
    }
    if (result != nullptr) {
        *result = out;
    } else {
        VariantClear(&out);
    }
    return hr;
}

}  // namespace quenda
