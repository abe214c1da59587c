// VARIANT clearing and copying: who frees which BSTR, array and reference.
#include "platform/com/variant.h"

#include "platform/com/dispatch.h"
#include "platform/com/safe_array.h"

namespace quenda {
namespace {

bool IsKnownScalar(VARTYPE vt) {
    switch (vt) {
        case VT_EMPTY: case VT_NULL: case VT_I2: case VT_I4: case VT_R4: case VT_R8: case VT_CY:
        case VT_DATE: case VT_BSTR: case VT_DISPATCH: case VT_ERROR: case VT_BOOL: case VT_UNKNOWN:
        case VT_I1: case VT_UI1: case VT_UI2: case VT_UI4: case VT_INT: case VT_UINT:
            return true;
        default:
            return false;
    }
}

bool IsKnownType(VARTYPE vt) {
    if (vt & VT_BYREF) {
        VARTYPE base = vt & ~VT_BYREF;
        if (base & VT_ARRAY) return IsKnownScalar(base & ~VT_ARRAY) || (base & ~VT_ARRAY) == VT_VARIANT;
        return (IsKnownScalar(base) && base != VT_EMPTY && base != VT_NULL) || base == VT_VARIANT;
    }
    if (vt & VT_ARRAY) {
        VARTYPE base = vt & ~VT_ARRAY;
        return (IsKnownScalar(base) && base != VT_EMPTY && base != VT_NULL) || base == VT_VARIANT;
    }
    return IsKnownScalar(vt);
}

}  // namespace

void VariantInit(VARIANT* v) {
    v->vt = VT_EMPTY;
    v->wReserved1 = v->wReserved2 = v->wReserved3 = 0;
    v->dblVal = 0;
}

HRESULT VariantClear(VARIANT* v) {
    if (v == nullptr) return E_INVALIDARG;
    if (!IsKnownType(v->vt)) return DISP_E_BADVARTYPE;
    if (!(v->vt & VT_BYREF)) {
        if (v->vt & VT_ARRAY) {
            HRESULT hr = SafeArrayDestroy(v->parray);
            if (FAILED(hr)) return hr;
        } else if (v->vt == VT_BSTR) {
            SysFreeString(v->bstrVal);
        } else if (v->vt == VT_UNKNOWN && v->punkVal != nullptr) {
            v->punkVal->Release();
        } else if (v->vt == VT_DISPATCH && v->pdispVal != nullptr) {
            v->pdispVal->Release();
        }
    }
    VariantInit(v);
    return S_OK;
}

HRESULT VariantCopy(VARIANT* dest, const VARIANT* src) {
    if (dest == nullptr || src == nullptr) return E_INVALIDARG;
    if (dest == src) return S_OK;
    if (!IsKnownType(src->vt)) return DISP_E_BADVARTYPE;
    VARIANT copy = *src;
    if (!(src->vt & VT_BYREF)) {
        if (src->vt & VT_ARRAY) {
            if (src->parray != nullptr) {
                HRESULT hr = SafeArrayCopy(src->parray, &copy.parray);
                if (FAILED(hr)) return hr;
            }
        } else if (src->vt == VT_BSTR) {
            if (src->bstrVal != nullptr) {
                copy.bstrVal = SysAllocStringByteLen(reinterpret_cast<const char*>(src->bstrVal), SysStringByteLen(src->bstrVal));
                if (copy.bstrVal == nullptr) return E_OUTOFMEMORY;
            }
        } else if (src->vt == VT_UNKNOWN && src->punkVal != nullptr) {
            src->punkVal->AddRef();
        } else if (src->vt == VT_DISPATCH && src->pdispVal != nullptr) {
            src->pdispVal->AddRef();
        }
    }
    HRESULT hr = VariantClear(dest);
    if (FAILED(hr)) {
        VariantClear(&copy);
        return hr;
    }
    *dest = copy;
    return S_OK;
}

HRESULT VariantCopyInd(VARIANT* dest, const VARIANT* src) {
    if (dest == nullptr || src == nullptr) return E_INVALIDARG;
    if (!(src->vt & VT_BYREF)) return VariantCopy(dest, src);
    if (!IsKnownType(src->vt)) return DISP_E_BADVARTYPE;
    if (src->byref == nullptr) return E_INVALIDARG;
    VARTYPE base = src->vt & ~VT_BYREF;
    if (base == VT_VARIANT) {
        const VARIANT* inner = src->pvarVal;
        if (inner->vt & VT_BYREF) return E_INVALIDARG;  // a reference to a reference is not valid
        if (inner == dest) return S_OK;
        return VariantCopyInd(dest, inner);
    }
    // A shallow value view of the referenced storage, copied deeply below.
    VARIANT view;
    VariantInit(&view);
    view.vt = base;
    if (base & VT_ARRAY) {
        view.parray = *src->pparray;
    } else {
        switch (base) {
            case VT_I1: view.cVal = *src->pcVal; break;
            case VT_UI1: view.bVal = *src->pbVal; break;
            case VT_I2: view.iVal = *src->piVal; break;
            case VT_UI2: view.uiVal = *src->puiVal; break;
            case VT_BOOL: view.boolVal = *src->pboolVal; break;
            case VT_I4: case VT_INT: view.lVal = *src->plVal; break;
            case VT_UI4: case VT_UINT: view.ulVal = *src->pulVal; break;
            case VT_ERROR: view.scode = *src->pscode; break;
            case VT_R4: view.fltVal = *src->pfltVal; break;
            case VT_R8: view.dblVal = *src->pdblVal; break;
            case VT_DATE: view.date = *src->pdate; break;
            case VT_CY: view.cyVal = *src->pcyVal; break;
            case VT_BSTR: view.bstrVal = *src->pbstrVal; break;
            case VT_UNKNOWN: view.punkVal = *src->ppunkVal; break;
            case VT_DISPATCH: view.pdispVal = *src->ppdispVal; break;
            default: return DISP_E_BADVARTYPE;
        }
    }
    VARIANT copy;
    VariantInit(&copy);
    HRESULT hr = VariantCopy(&copy, &view);
    if (FAILED(hr)) return hr;
    hr = VariantClear(dest);
    if (FAILED(hr)) {
        VariantClear(&copy);
        return hr;
    }
    *dest = copy;
    return S_OK;
}

void ClearExcepInfo(EXCEPINFO* info) {
    if (info == nullptr) return;
    SysFreeString(info->bstrSource);
    SysFreeString(info->bstrDescription);
    SysFreeString(info->bstrHelpFile);
    *info = EXCEPINFO{};
}

}  // namespace quenda
